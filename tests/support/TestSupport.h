// What every test suite shares: a fresh temporary folder per test, whole-file
// reads and writes, pairs built with the program's own record codec, data
// that tells copies apart, work in a child process, and the message of a
// failure.
#pragma once

#include "archive/ArchiveEntry.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

class TempDir {
public:
    TempDir();  // a new, empty folder under the system's temporary folder
    ~TempDir(); // removed with everything in it
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(std::string_view name) const { return path_ + "/" + std::string(name); }

private:
    std::string path_;
};

std::string ReadAll(const std::string& path);
void WriteAll(const std::string& path, std::string_view bytes);
uint64_t FileLength(const std::string& path);
bool Exists(const std::string& path);

// A 32-byte directory record with the given fields.
std::string Record(uint32_t offset, uint32_t size, std::string_view name);
// A single-file archive's record (second size 0), and the whole file: the
// header, the records, zero bytes up to sector `dataSector`, then `data`.
std::string V2Record(uint32_t offset, uint32_t size, std::string_view name);
std::string SingleFile(const std::string& records, const std::string& data, uint32_t dataSector);
// Writes the pair whose data file is `dataPath`: its directory file beside it.
void WritePair(const std::string& dataPath, std::string_view dirBytes, std::string_view imgBytes);

// An entry's stored and display names, as strings that outlive the entry.
std::string NameOf(const TArchiveEntry& entry);
std::string DisplayOf(const TArchiveEntry& entry);
// `length` bytes of a pattern that differs per seed, so copies can be told apart.
std::string Pattern(size_t length, unsigned seed = 1);

// Runs `body` in a forked child and returns what it returned (an exception's
// message when it threw). For faults that must not touch the test process:
// resource limits, another user, a second holder of a file.
std::string RunInChild(const std::function<std::string()>& body);
// Inside RunInChild: goes on as the unprivileged user "nobody" (65534), as a
// second user who shares a folder would. Returns false when that is not
// possible (the tests are not run as root).
bool BecomeNobody();
// Runs `body` in a child as a user whom file permissions bind: as root, the
// user nobody; otherwise the user running the tests.
std::string AsUnprivilegedUser(const std::function<std::string()>& body);
// Hands a file to that user (as root), so that only its folder's permissions
// stand in its way.
void GiveToUnprivilegedUser(const std::string& path);

// The message of the exception `action` throws, or "" when it throws none.
template <typename Action> std::string MessageOf(Action&& action) {
    try {
        action();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "";
}
