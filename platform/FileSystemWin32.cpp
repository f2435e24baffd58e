// The folder operations of FileSystem.h on Windows. Where Windows differs
// from Linux, and how the promises still hold:
//
// - Renames. A rename over an existing name uses POSIX semantics
//   (FileRenameInfoEx) where the system has them (Windows 10 1709 and later,
//   on NTFS): the name changes to the new file at once, in one step, even when
//   the old file is open. Elsewhere (older systems, FAT, network shares,
//   Wine) the rename is MoveFileExW with MOVEFILE_WRITE_THROUGH, which is
//   just as atomic but cannot replace a file that is open - not even by this
//   program, which holds the files it replaces (an archive's directory file,
//   the file an extraction replaces). So this program's own holds on the
//   replaced file are closed for the moment of the rename and taken again if
//   it fails (TReleasedHolds); a file another program has open stays, and the
//   rename fails as "in use".
// - Removals. A removed file that is still open is "delete pending" on
//   Windows: its name stays, and cannot be opened or created, until the last
//   handle closes. POSIX semantics (FileDispositionInfoEx) free the name at
//   once where the system has them. Elsewhere the layer relies on closing
//   soon: every file it removes while open (a temporary name, a leftover
//   held while swept) is closed right after, and a name it needs again is
//   always a fresh one.
// - Folders cannot be synced: NTFS journals its names, and MOVEFILE_WRITE_THROUGH
//   waits for a rename to reach the disk. SyncFolder only passes the fault seam.
// - No hard links on FAT: LinkFile fails there ("Function not implemented"), and a
//   rebuild with it, before anything is in place.
#include "platform/FileSystem.h"

#include "platform/Errors.h"
#include "platform/FaultInjection.h"
#include "platform/Win32Errors.h"
#include "platform/Win32Files.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

using faults::Call;

namespace {

// The classes' numbers, which MinGW's headers only name for later systems.
constexpr auto FileDispositionInfoExClass = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr auto FileRenameInfoExClass = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
constexpr DWORD RenameReplaces = 0x1;    // FILE_RENAME_FLAG_REPLACE_IF_EXISTS
constexpr DWORD RenamePosix = 0x2;       // FILE_RENAME_FLAG_POSIX_SEMANTICS
constexpr DWORD DispositionDelete = 0x1; // FILE_DISPOSITION_FLAG_DELETE
constexpr DWORD DispositionPosix = 0x2;  // FILE_DISPOSITION_FLAG_POSIX_SEMANTICS

constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

void SeamOrThrow(Call call, const std::string& path) {
    if (int error = faults::Enter(call))
        throw EOSError(error, path);
}

std::wstring SystemPathOrThrow(const std::string& path) {
    std::wstring wide;
    if (int error = SystemPath(path, wide))
        throw EOSError(error, path);
    return wide;
}

// Opens the name itself (a link is not followed) to rename or remove it.
TScopedHandle OpenToChange(const std::string& path, const std::string& reported) {
    int error = 0;
    TScopedHandle handle =
        OpenSystemFile(path, DELETE | SYNCHRONIZE, ShareAll, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, error);
    if (!handle.IsValid())
        throw EOSError(error, reported);
    return handle;
}

// The rename in one step with POSIX semantics; false when the system or the
// file system has none.
bool RenamePosixStyle(const std::string& from, const std::wstring& to,
                      const std::string& reported) {
    TScopedHandle source = OpenToChange(from, reported);
    // The target's full path, as NtSetInformationFile takes it.
    const DWORD needed = ::GetFullPathNameW(to.c_str(), 0, nullptr, nullptr);
    std::wstring full(needed, L'\0');
    const DWORD length = ::GetFullPathNameW(to.c_str(), needed, full.data(), nullptr);
    if (needed == 0 || length == 0 || length >= needed)
        throw EOSError(LastErrorNumber(), reported);
    full.resize(length);
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + full.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->Flags = RenameReplaces | RenamePosix;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(full.size() * sizeof(wchar_t));
    std::memcpy(rename->FileName, full.c_str(), full.size() * sizeof(wchar_t));
    if (::SetFileInformationByHandle(source.Get(), FileRenameInfoExClass, rename,
                                     static_cast<DWORD>(buffer.size())))
        return true;
    const DWORD code = ::GetLastError();
    if (Unsupported(code))
        return false;
    throw EOSError(ErrorNumberFromWindows(code), reported);
}

// How a path is asked about.
struct Asking {
    bool followLinks = false;
    bool owner = true; // TFileInfo::owner, which costs a call more
};

// What stands at the path, asked without opening its data; false when
// nothing. `link` tells whether it is a link itself.
bool AskPath(const std::string& path, TFileInfo& info, bool& link, Asking asking) {
    if (int error = faults::Enter(Call::Stat))
        throw EOSError(error, path);
    int error = 0;
    TScopedHandle handle = OpenToAsk(path, error, asking.followLinks);
    if (handle.IsValid()) {
        if ((error = InfoOfHandle(handle.Get(), info, asking.owner)) != 0)
            throw EOSError(error, path);
        link = !asking.followLinks && IsLinkHandle(handle.Get());
        return true;
    }
    if (error == ENOENT || error == ENOTDIR || error == EINVAL)
        return false;
    // A file waiting for its last handle to close before it goes (delete
    // pending) cannot be opened at all, but its name still stands: a file of
    // nobody's, the same as no other file.
    const std::wstring wide = SystemPathOrThrow(path);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) {
        if (LastErrorNumber() == ENOENT)
            return false;
        throw EOSError(error, path);
    }
    info = {uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow,
            data.dwFileAttributes,
            0,
            0,
            0,
            0,
            1};
    link = false;
    return true;
}

std::optional<TFileInfo> InfoAt(const std::string& path, Asking asking) {
    TFileInfo info;
    bool link = false;
    if (!AskPath(path, info, link, asking))
        return std::nullopt;
    return info;
}

} // namespace

std::optional<TFileInfo> PathInfo(const std::string& path) {
    return InfoAt(path, {});
}

std::optional<TFileInfo> TargetInfo(const std::string& path) {
    return InfoAt(path, {.followLinks = true});
}

TPathKind PathKind(const std::string& path) {
    TFileInfo info;
    bool link = false;
    if (!AskPath(path, info, link, {.owner = false}))
        return TPathKind::Missing;
    if (link)
        return TPathKind::Link;
    if (info.mode & FILE_ATTRIBUTE_DIRECTORY)
        return TPathKind::Folder;
    if (info.mode & FILE_ATTRIBUTE_DEVICE)
        return TPathKind::Other;
    return TPathKind::File;
}

void RenameFile(const std::string& from, const std::string& to) {
    SeamOrThrow(Call::Rename, to);
    const std::wstring target = SystemPathOrThrow(to);
    if (RenamePosixStyle(from, target, to))
        return;
    // This program's own holds on the file replaced are let go for the moment
    // of the rename (see the top of this file).
    std::optional<TReleasedHolds> released;
    int error = 0;
    if (TScopedHandle replaced = OpenToAsk(to, error); replaced.IsValid()) {
        TFileInfo info;
        if (InfoOfHandle(replaced.Get(), info, false) == 0)
            released.emplace(info);
    }
    const std::wstring source = SystemPathOrThrow(from);
    if (::MoveFileExW(source.c_str(), target.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return;
    error = LastErrorNumber();
    if (released)
        released->Retake(to);
    throw EOSError(error, to);
}

void LinkFile(const std::string& existing, const std::string& added) {
    SeamOrThrow(Call::Link, added);
    const std::wstring from = SystemPathOrThrow(existing);
    const std::wstring name = SystemPathOrThrow(added);
    // Never replaces anything standing at `added`.
    if (!::CreateHardLinkW(name.c_str(), from.c_str(), nullptr))
        throw EOSError(LastErrorNumber(), added);
}

void RemoveFile(const std::string& path) {
    SeamOrThrow(Call::Remove, path);
    TScopedHandle file = OpenToChange(path, path);
    FILE_DISPOSITION_INFO_EX posix{DispositionDelete | DispositionPosix};
    if (::SetFileInformationByHandle(file.Get(), FileDispositionInfoExClass, &posix, sizeof posix))
        return;
    if (!Unsupported(::GetLastError()))
        throw EOSError(LastErrorNumber(), path);
    FILE_DISPOSITION_INFO classic{TRUE}; // delete pending until the last handle closes
    if (!::SetFileInformationByHandle(file.Get(), FileDispositionInfo, &classic, sizeof classic))
        throw EOSError(LastErrorNumber(), path);
}

void MakeFolder(const std::string& path) {
    SeamOrThrow(Call::MakeFolder, path);
    const std::wstring wide = SystemPathOrThrow(path);
    // The folder inherits its parent's access rules, as a profile's folders do.
    if (!::CreateDirectoryW(wide.c_str(), nullptr))
        throw EOSError(LastErrorNumber(), path);
}

void SyncFolder(const std::string& folder) {
    // Nothing to do on Windows (see the top of this file); the seam still
    // counts the call, so a test can fail it as on Linux.
    SeamOrThrow(Call::SyncFolder, folder);
}

uint64_t FreeSpace(const std::string& folder) {
    SeamOrThrow(Call::Stat, folder);
    if (const std::optional<uint64_t> faked = faults::FakedFreeSpace())
        return *faked;
    const std::wstring wide = SystemPathOrThrow(folder);
    // What this user may still write: a quota counted, not only the disk.
    ULARGE_INTEGER available{};
    if (!::GetDiskFreeSpaceExW(wide.c_str(), &available, nullptr, nullptr))
        throw EOSError(LastErrorNumber(), folder);
    return available.QuadPart;
}

std::vector<std::string> FolderNames(const std::string& folder) {
    SeamOrThrow(Call::List, folder);
    const std::wstring pattern = SystemPathOrThrow(JoinPath(folder, "*"));
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                       FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    std::vector<std::string> names;
    if (search == INVALID_HANDLE_VALUE) {
        if (::GetLastError() == ERROR_FILE_NOT_FOUND)
            return names; // a drive's empty root has not even "."
        throw EOSError(LastErrorNumber(), folder);
    }
    do {
        const std::wstring_view name = found.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(Utf8FromSystem(name));
    } while (::FindNextFileW(search, &found));
    const DWORD code = ::GetLastError();
    ::FindClose(search);
    if (code != ERROR_NO_MORE_FILES)
        throw EOSError(ErrorNumberFromWindows(code), folder);
    return names;
}

void WriteStandardOutput(std::string_view bytes) {
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    while (!bytes.empty()) {
        if (int error = faults::Enter(Call::Write))
            throw EWriteError("standard output", error);
        DWORD written = 0;
        const auto asked = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 30));
        if (!::WriteFile(output, bytes.data(), asked, &written, nullptr))
            throw EWriteError("standard output", LastErrorNumber());
        if (written == 0)
            throw EWriteError("standard output");
        bytes.remove_prefix(written);
    }
}
