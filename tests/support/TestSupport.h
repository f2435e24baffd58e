// What every test suite shares: a fresh temporary folder per test, whole-file
// reads and writes, pairs built with the program's own record codec, data
// that tells copies apart, work in a child process, and the message of a
// failure.
#pragma once

#include "archive/ArchiveEntry.h"

#include <cstdint>
#include <filesystem>
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

// A path of ours (UTF-8) as the standard library takes it on every system.
std::filesystem::path HostPath(const std::string& path);
std::string ReadAll(const std::string& path);
void WriteAll(const std::string& path, std::string_view bytes);
uint64_t FileLength(const std::string& path);
bool Exists(const std::string& path);

// A further name for a file (a hard link). Throws when the system refuses.
void MakeHardLink(const std::string& existing, const std::string& added);
// A symbolic link at `link` to `target` (a file, or a folder when `folder`);
// false where the system refuses one (Windows, without the privilege).
bool MakeSymbolicLink(const std::string& target, const std::string& link, bool folder = false);

// Whether this is a Windows program running under Wine on Linux.
bool RunsUnderWine();
// The number of a process other than this one that runs for as long as the
// test program does (on Linux its parent, on Windows a suspended copy of it).
long OtherRunningProcess();

// Why a test does not run on Windows, where it is skipped with that reason.
inline constexpr const char* NoFileSizeLimitOnWindows =
    "Windows has no per-process file-size limit (RLIMIT_FSIZE) to fake a full disk with; the "
    "fault seam fakes the same failure in the tests that run there";
inline constexpr const char* NoSecondUserOnWindows =
    "needs a second user and POSIX file modes; Windows keeps access-control lists and the tests "
    "have no second account there";
inline constexpr const char* NoSymbolicLinksHere =
    "cannot make symbolic links here (Windows needs a privilege for them)";

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
// resource limits, another user, a second holder of a file. Windows has no
// fork: there the body runs in this process, where a second open of a file is
// refused by the first one's share mode as another process's would be (the
// tests of limits and users do not run there).
std::string RunInChild(const std::function<std::string()>& body);
// Inside RunInChild: goes on as the unprivileged user "nobody" (65534), as a
// second user who shares a folder would. Returns false when that is not
// possible (the tests are not run as root, or on Windows).
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
