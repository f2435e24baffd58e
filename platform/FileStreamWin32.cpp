// FileStream on Windows, with the promises of FileStream.h kept by Win32's
// own means:
//
// - Holds are share modes, not locks, and Windows enforces them on every
//   program. A held file (OpenHeld, CreateHeld, CreateNew, TryHold) is open for
//   reading and writing and lets others share reading only. Sharing is checked
//   both ways - a newcomer must allow what the holder does - so everyone who
//   will not share writing is refused with a sharing violation, which reads
//   "in use by another program": another hold, a shared reader of this layer,
//   and the games, which open their archives for reading and share only
//   reading (GENERIC_READ, FILE_SHARE_READ), so they can never read one half-way
//   through a change. Only a reader that itself allows writers (as a hex
//   viewer or a test's check of the bytes does) may look, as any reader may
//   past an advisory flock on Linux.
// - OpenReadShared reads and shares reading only: other readers may come, a
//   holder may not.
// - CreateNew makes the file and holds it in one call (CREATE_NEW with the
//   share mode): its name never stands on a file nobody holds, which Linux
//   reaches by making the file without a name and linking it in once held.
//   So the sweep of leftovers, which takes "nobody holds it" for "its writer
//   is gone", can never take a file from a writer that has just made it.
// - Every handle shares deleting (FILE_SHARE_DELETE), as a Linux file's
//   names may change while it is open: the layer renames and removes files it
//   holds itself (a temporary put in place, a leftover removed while held).
// - Positions are 64-bit: every read and write names its offset
//   (OVERLAPPED), so the system's file pointer is never used.
#include "platform/FileStream.h"

#include "platform/Errors.h"
#include "platform/FaultInjection.h"
#include "platform/OpenFailure.h"
#include "platform/Win32Errors.h"
#include "platform/Win32Files.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

using faults::Call;

namespace {

constexpr DWORD ReadWrite = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD Exclusive = FILE_SHARE_READ | FILE_SHARE_DELETE;
constexpr DWORD SharedReading = FILE_SHARE_READ | FILE_SHARE_DELETE;

HANDLE HandleOf(int fd) {
    return LongToHandle(fd);
}

int FdOf(HANDLE handle) {
    return HandleToLong(handle);
}

// What kind of open: the access, the share mode, whether the file must be new
// or may be created, and whether a link at the path is refused.
struct OpenRequest {
    DWORD access;
    DWORD share;
    DWORD disposition;
    bool refuseLinks;
};

bool IsFolder(const std::string& path) {
    std::wstring wide;
    if (SystemPath(path, wide) != 0)
        return false;
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Opens a regular file as asked. Returns an invalid handle and fills
// `failure` on failure.
TScopedHandle OpenRegular(const std::string& path, const OpenRequest& request,
                          OpenFailure& failure) {
    if (int error = faults::Enter(Call::Open)) {
        failure.error = error;
        return TScopedHandle();
    }
    const DWORD linkFlag = request.refuseLinks ? FILE_FLAG_OPEN_REPARSE_POINT : 0;
    TScopedHandle handle = OpenSystemFile(path, request.access, request.share, request.disposition,
                                          linkFlag, failure.error);
    if (!handle.IsValid()) {
        // Windows refuses to open a folder as a file with "access denied".
        if (failure.error == EACCES && IsFolder(path))
            failure.error = EISDIR;
        return handle;
    }
    if (request.refuseLinks && IsLinkHandle(handle.Get())) {
        failure = {ELOOP, nullptr}; // what Linux's O_NOFOLLOW answers
        return TScopedHandle();
    }
    if (::GetFileType(handle.Get()) != FILE_TYPE_DISK) {
        failure = {0, "not a regular file"};
        return TScopedHandle();
    }
    return handle;
}

int SetEndOfFile(HANDLE handle, uint64_t length) {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
    return ::SetFileInformationByHandle(handle, FileEndOfFileInfo, &end, sizeof end)
               ? 0
               : LastErrorNumber();
}

OVERLAPPED At(uint64_t position) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    return at;
}

// One read or write asks for at most this much.
constexpr size_t LargestCall = size_t{1} << 30;

// Which streams of this process have which file open, and how, so that a
// rename over a file this process holds can close those handles for its
// moment (TReleasedHolds, used by RenameFile in FileSystemWin32.cpp).
struct OpenStream {
    FileStream* stream;
    uint64_t volume;
    uint64_t index;
    DWORD access;
    DWORD share;
};
std::mutex openStreamsMutex;
std::vector<OpenStream> openStreams;

void Register(FileStream* stream, HANDLE handle, DWORD access, DWORD share) {
    TFileInfo info;
    if (InfoOfHandle(handle, info, false) != 0)
        return; // only a rename over it would have needed to know
    const std::lock_guard lock(openStreamsMutex);
    openStreams.push_back({stream, info.device, info.inode, access, share});
}

void Unregister(const FileStream* stream) {
    const std::lock_guard lock(openStreamsMutex);
    std::erase_if(openStreams, [stream](const OpenStream& open) { return open.stream == stream; });
}

void Moved(const FileStream* from, FileStream* to) {
    const std::lock_guard lock(openStreamsMutex);
    for (OpenStream& open : openStreams)
        if (open.stream == from)
            open.stream = to;
}

} // namespace

TReleasedHolds::TReleasedHolds(const TFileInfo& file) {
    const std::lock_guard lock(openStreamsMutex);
    for (auto open = openStreams.begin(); open != openStreams.end();) {
        if (open->volume != file.device || open->index != file.inode) {
            ++open;
            continue;
        }
        ::CloseHandle(HandleOf(std::exchange(open->stream->fd_, -1)));
        released_.push_back({open->stream, open->access, open->share});
        open = openStreams.erase(open);
    }
}

void TReleasedHolds::Retake(const std::string& path) {
    for (const Released& hold : released_) {
        int error = 0;
        TScopedHandle handle =
            OpenSystemFile(path, hold.access, hold.share, OPEN_EXISTING, 0, error);
        if (!handle.IsValid())
            continue; // the stream stays closed: its next use fails
        Register(hold.stream, handle.Get(), hold.access, hold.share);
        hold.stream->fd_ = FdOf(handle.Release());
    }
    released_.clear();
}

FileStream FileStream::Opened(void* handle, const std::string& path, unsigned long access,
                              unsigned long share) {
    FileStream stream(FdOf(handle), path);
    Register(&stream, handle, access, share);
    return stream;
}

namespace {

// The open file's handle, or the failure thrown as `Failure`.
template <typename Failure>
HANDLE OpenOrThrow(const std::string& path, const OpenRequest& request) {
    OpenFailure failure;
    TScopedHandle handle = OpenRegular(path, request, failure);
    if (!handle.IsValid())
        ThrowFailure<Failure>(path, failure);
    return handle.Release();
}

constexpr OpenRequest HeldExisting{ReadWrite, Exclusive, OPEN_EXISTING, false};
constexpr OpenRequest ReadShared{GENERIC_READ, SharedReading, OPEN_EXISTING, false};
constexpr OpenRequest New{ReadWrite, Exclusive, CREATE_NEW, true};

} // namespace

FileStream FileStream::OpenHeld(const std::string& path) {
    return Opened(OpenOrThrow<EFOpenError>(path, HeldExisting), path, ReadWrite, Exclusive);
}

FileStream FileStream::CreateHeld(const std::string& path, Links links) {
    // Opened without emptying (OPEN_ALWAYS) and cut once held, so a file held
    // by someone else is never cut: their share mode fails the open first.
    const OpenRequest request{ReadWrite, Exclusive, OPEN_ALWAYS, links == Links::Refuse};
    FileStream stream =
        Opened(OpenOrThrow<EFCreateError>(path, request), path, ReadWrite, Exclusive);
    if (stream.Length() != 0) {
        if (int error = SetEndOfFile(HandleOf(stream.fd_), 0))
            throw EFCreateError(path, error);
    }
    return stream;
}

FileStream FileStream::CreateNew(const std::string& path) {
    // CREATE_NEW fails on anything standing at the name, a link included.
    return Opened(OpenOrThrow<EFCreateError>(path, New), path, ReadWrite, Exclusive);
}

FileStream FileStream::OpenReadShared(const std::string& path) {
    return Opened(OpenOrThrow<EFOpenError>(path, ReadShared), path, GENERIC_READ, SharedReading);
}

std::optional<FileStream> FileStream::TryHold(const std::string& path, int* why) {
    const OpenRequest request{ReadWrite, Exclusive, OPEN_EXISTING, true};
    OpenFailure failure;
    TScopedHandle handle = OpenRegular(path, request, failure);
    if (!handle.IsValid()) {
        if (why)
            *why = failure.error;
        return std::nullopt;
    }
    return Opened(handle.Release(), path, request.access, request.share);
}

FileStream::FileStream(FileStream&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), pos_(other.pos_), path_(std::move(other.path_)) {
    Moved(&other, this);
}

FileStream& FileStream::operator=(FileStream&& other) noexcept {
    if (this != &other) {
        if (fd_ != -1) {
            Unregister(this);
            ::CloseHandle(HandleOf(fd_));
        }
        fd_ = std::exchange(other.fd_, -1);
        pos_ = other.pos_;
        path_ = std::move(other.path_);
        Moved(&other, this);
    }
    return *this;
}

FileStream::~FileStream() {
    if (fd_ != -1) {
        Unregister(this);
        ::CloseHandle(HandleOf(fd_));
    }
}

TFileInfo FileStream::Info() const {
    if (int error = faults::Enter(Call::Stat))
        throw EOSError(error, path_);
    TFileInfo info;
    if (int error = InfoOfHandle(HandleOf(fd_), info))
        throw EOSError(error, path_);
    return info;
}

size_t FileStream::ReadSomeAt(uint64_t offset, char* buffer, size_t count) {
    OVERLAPPED at = At(offset);
    DWORD got = 0;
    const auto asked = static_cast<DWORD>(std::min(count, LargestCall));
    if (!::ReadFile(HandleOf(fd_), buffer, asked, &got, &at)) {
        // Reading at a given offset past the end answers "end of file".
        if (::GetLastError() == ERROR_HANDLE_EOF)
            return 0;
        throw EReadError(path_, LastErrorNumber());
    }
    return got;
}

size_t FileStream::WriteSomeAt(uint64_t offset, const char* buffer, size_t count) {
    OVERLAPPED at = At(offset);
    DWORD written = 0;
    const auto asked = static_cast<DWORD>(std::min(count, LargestCall));
    if (!::WriteFile(HandleOf(fd_), buffer, asked, &written, &at))
        throw EWriteError(path_, LastErrorNumber());
    return written;
}

void FileStream::SetLength(uint64_t length) {
    if (int error = faults::Enter(Call::SetLength))
        throw EOSError(error, path_);
    if (int error = SetEndOfFile(HandleOf(fd_), length))
        throw EOSError(error, path_);
}

void FileStream::Reserve(uint64_t length) {
    const uint64_t old = Length();
    if (length <= old)
        return;
    if (int error = faults::Enter(Call::SetLength))
        throw EOSError(error, path_);
    // The clusters are allocated first, so a full disk fails here; the length
    // follows. A file system that cannot allocate ahead just takes the length.
    FILE_ALLOCATION_INFO allocation{};
    allocation.AllocationSize.QuadPart = static_cast<LONGLONG>(length);
    int error = 0;
    if (!::SetFileInformationByHandle(HandleOf(fd_), FileAllocationInfo, &allocation,
                                      sizeof allocation) &&
        !Unsupported(::GetLastError()))
        error = LastErrorNumber();
    if (error == 0)
        error = SetEndOfFile(HandleOf(fd_), length);
    if (error != 0) {
        (void)SetEndOfFile(HandleOf(fd_), old); // gives back what was allocated
        throw EOSError(error, path_);
    }
}

void FileStream::CopyFrom(FileStream& source, uint64_t count) {
    // Windows has no copy between two open files; the buffer does it.
    CopyThroughBuffer(source, count);
}

void FileStream::CopyAttributesFrom(const TFileInfo& info) {
    if (int error = faults::Enter(Call::Attributes))
        throw EOSError(error, path_);
    // A file's permissions on Windows are its access-control list, which a new
    // file inherits from its folder, as every file written there gets; what
    // carries over is the attribute bits (read-only, hidden, system, archive).
    constexpr DWORD Kept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                           FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    FILE_BASIC_INFO basic{}; // times of 0 are left as they are
    basic.FileAttributes = info.mode & Kept ? info.mode & Kept : FILE_ATTRIBUTE_NORMAL;
    if (!::SetFileInformationByHandle(HandleOf(fd_), FileBasicInfo, &basic, sizeof basic))
        throw EOSError(LastErrorNumber(), path_);
}

bool TFileInfo::OwnedByThisUser() const {
    // An owner that could not be asked (0) is nobody's.
    static const std::vector<uint32_t> mine = ThisUsersOwnerIds();
    return owner != 0 && std::find(mine.begin(), mine.end(), owner) != mine.end();
}

void FileStream::Flush() {
    if (int error = faults::Enter(Call::Flush))
        throw EOSError(error, path_);
    if (!::FlushFileBuffers(HandleOf(fd_)))
        throw EOSError(LastErrorNumber(), path_);
}

void FileStream::WriteBehind(uint64_t, uint64_t) {
    // Windows has no call that starts write-back without waiting for it.
    Flush();
}

void FileStream::Abandon() {
    // Closed at once: a removed file keeps its name until its last handle is
    // closed, and that name must not outlive the command.
    if (fd_ == -1)
        return;
    Unregister(this);
    ::CloseHandle(HandleOf(std::exchange(fd_, -1)));
}

void FileStream::Close() {
    if (fd_ == -1)
        return;
    int error = faults::Enter(Call::Close);
    Unregister(this);
    if (!::CloseHandle(HandleOf(std::exchange(fd_, -1))) && error == 0)
        error = LastErrorNumber();
    if (error)
        throw EOSError(error, path_);
}
