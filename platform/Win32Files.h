// What FileStreamWin32.cpp and FileSystemWin32.cpp share: paths as Windows
// takes them, opening with CreateFileW, and what a handle says of its file.
// Internal to the file layer on Windows.
#pragma once

#include "platform/FileStream.h"

#include <windows.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The path as Windows takes it: UTF-16 with backslashes, in the "\\?\" form
// when it is MAX_PATH characters or longer. Returns 0, or the error number
// when the path cannot name a file there (EILSEQ: its bytes are not UTF-8).
int SystemPath(const std::string& path, std::wstring& out);
// A name Windows gives, as UTF-8.
std::string Utf8FromSystem(std::wstring_view name);

// A handle closed when it goes out of scope.
class TScopedHandle {
public:
    explicit TScopedHandle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    TScopedHandle(TScopedHandle&& other) noexcept
        : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
    TScopedHandle(const TScopedHandle&) = delete;
    TScopedHandle& operator=(const TScopedHandle&) = delete;
    TScopedHandle& operator=(TScopedHandle&&) = delete;
    ~TScopedHandle() {
        if (IsValid())
            ::CloseHandle(handle_);
    }
    HANDLE Get() const { return handle_; }
    bool IsValid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }

private:
    HANDLE handle_;
};

// CreateFileW on the path; on failure an invalid handle, with `error` set to
// the error number.
TScopedHandle OpenSystemFile(const std::string& path, DWORD access, DWORD share, DWORD disposition,
                             DWORD flags, int& error);
// Opens whatever stands at the path - file, folder or link itself, or with
// `followLinks` what a link leads to - only to ask about it: no data access,
// so no holder's share mode stands in the way.
TScopedHandle OpenToAsk(const std::string& path, int& error, bool followLinks = false);

// Whether a handle opened with FILE_FLAG_OPEN_REPARSE_POINT is a symbolic
// link or a junction (other reparse points, such as files kept in the cloud,
// are files like any other).
bool IsLinkHandle(HANDLE handle);
// What the system says of an open file: length, attribute bits (as `mode`),
// volume serial number (`device`), file index (`inode`), name count and, with
// `askOwner` (the handle then needs READ_CONTROL), the owner (OwnerIdOf).
// Returns 0 or the error number.
int InfoOfHandle(HANDLE handle, TFileInfo& info, bool askOwner = true);
// The number that stands for the owner of an open file in TFileInfo::owner:
// this process numbers each security identifier it meets, from 1, so two
// files have equal numbers exactly when they have one owner. 0 when the
// owner cannot be asked: nobody's, so never this user's.
uint32_t OwnerIdOf(HANDLE handle);
// The numbers of this user's identifiers: the user, and the token's default
// owner of new files (the Administrators group for an elevated program).
std::vector<uint32_t> ThisUsersOwnerIds();

// Why a file system cannot do a thing at all (as opposed to failing at it):
// a call answered so is tried again the older way.
bool Unsupported(DWORD code);

// The holds this process's own streams have on one file, closed for the
// moment of a rename over that file: without POSIX rename semantics Windows
// cannot replace a file that is open, even by the program renaming.
class TReleasedHolds {
public:
    explicit TReleasedHolds(const TFileInfo& file);
    // After a failed rename: the streams open the file at `path` again, as they
    // had it. A stream that cannot is left closed, and its next use fails.
    void Retake(const std::string& path);

private:
    struct Released {
        FileStream* stream;
        DWORD access;
        DWORD share;
    };
    std::vector<Released> released_;
};
