// Test seam of the file layer: every system call that the file layer makes
// (FileStream, the folder operations, standard output) is counted here, and a test can make the Nth
// call fail with a chosen error code or run an action right before it (the crash harness kills the
// process there). Costs one counter increment per call when unused.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace faults {

enum class Call {
    Open,       // opening or creating a file, with its lock
    Read,       // reading a file
    Write,      // writing a file or standard output
    SetLength,  // cutting, extending or reserving a file
    Flush,      // putting a file's data on disk
    Close,      // closing a file
    Stat,       // asking what stands at a path
    Rename,     // renaming a file over another name
    Link,       // giving a file a second name
    Remove,     // removing a name
    List,       // reading a folder's names
    SyncFolder, // putting a folder's names on disk
    Attributes, // copying a file's mode and owner
    MakeFolder, // making a folder
};

// Makes the `n`th file-layer call from now (1 = the next one) fail with `error`.
// With `only` set, only calls of that kind are counted.
void FailNthCall(long n, int error, std::optional<Call> only = std::nullopt);
// Runs `action` right before the `n`th file-layer call from now (of kind
// `only`, when given): a race made to happen at one exact moment.
void BeforeNthCall(long n, std::function<void()> action, std::optional<Call> only = std::nullopt);
// Makes FreeSpace (FileSystem.h) report `bytes` until Reset(): a full disk
// without filling one.
void FakeFreeSpace(uint64_t bytes);
// Removes any armed fault and faked figure, and restarts the count.
void Reset();
// Whether the armed fault was delivered (its call was reached) since it was armed.
bool Fired();
// File-layer calls counted since the last Reset().
long CallsSoFar();

// Called by the file layer before each system call: returns the error code to
// fake, or 0 to go ahead.
int Enter(Call call);
// The figure FakeFreeSpace set, if any; asked by the file layer.
std::optional<uint64_t> FakedFreeSpace();

} // namespace faults
