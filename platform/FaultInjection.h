// Test seam of the file layer: every system call that FileStream makes is
// counted here, and a test can make the Nth call fail with a chosen error code
// or run an action right before it (the crash harness kills the process there).
// Costs one counter increment per call when unused.
#pragma once

#include <functional>

namespace faults {

enum class Call { Open, Read, Write, SetLength, Flush, Close };

// Makes the `n`th file-layer call from now (1 = the next one) fail with `error`.
// With `only` set, only calls of that kind are counted.
void FailNthCall(long n, int error);
void FailNthCall(long n, int error, Call only);
// Runs `action` right before the `n`th file-layer call from now.
void BeforeNthCall(long n, std::function<void()> action);
// Removes any armed fault and restarts the count.
void Reset();
// File-layer calls counted since the last Reset().
long CallsSoFar();

// Called by the file layer before each system call: returns the error code to
// fake, or 0 to go ahead.
int Enter(Call call);

} // namespace faults
