#include "platform/FileStream.h"

#include "platform/Errors.h"
#include "platform/FaultInjection.h"
#include "platform/FileSystem.h"
#include "platform/OpenFailure.h"
#include "platform/StatInfo.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

using faults::Call;

namespace {

// Opens a regular file and takes the hold `lock` (LOCK_EX or LOCK_SH) on it.
// O_NONBLOCK keeps a FIFO from stalling the open; it is cleared again once
// the file is known to be regular. Returns -1 and fills `failure` on failure.
int OpenAndHold(const std::string& path, int flags, int lock, OpenFailure& failure) {
    if (int error = faults::Enter(Call::Open)) {
        failure.error = error;
        return -1;
    }
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) {
        failure.error = errno;
        return -1;
    }
    const auto fail = [&](int error, const char* why = nullptr) {
        failure = {error, why};
        ::close(fd);
        return -1;
    };
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return fail(errno);
    if (S_ISDIR(info.st_mode))
        return fail(EISDIR);
    if (!S_ISREG(info.st_mode))
        return fail(0, "not a regular file");
    const int status = ::fcntl(fd, F_GETFL);
    if (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0)
        return fail(errno);
    // Someone else's hold answers EWOULDBLOCK: "in use by another program".
    while (::flock(fd, lock | LOCK_NB) != 0) {
        if (errno != EINTR)
            return fail(errno);
    }
    return fd;
}

} // namespace

bool TFileInfo::OwnedByThisUser() const {
    return owner == ::geteuid();
}

FileStream FileStream::OpenHeld(const std::string& path) {
    OpenFailure failure;
    const int fd = OpenAndHold(path, O_RDWR, LOCK_EX, failure);
    if (fd < 0)
        ThrowFailure<EFOpenError>(path, failure);
    return FileStream(fd, path);
}

FileStream FileStream::CreateHeld(const std::string& path, Links links) {
    // Held before it is emptied, so a file held by someone else is never cut.
    OpenFailure failure;
    const int flags = O_RDWR | O_CREAT | (links == Links::Refuse ? O_NOFOLLOW : 0);
    const int fd = OpenAndHold(path, flags, LOCK_EX, failure);
    if (fd < 0)
        ThrowFailure<EFCreateError>(path, failure);
    FileStream stream(fd, path);
    // A new file is already empty: cutting it anyway makes ext4 write it back
    // on close, which slows extracting many files several times over.
    struct stat info {};
    if (::fstat(fd, &info) != 0 || (info.st_size != 0 && ::ftruncate(fd, 0) != 0))
        throw EFCreateError(path, errno);
    return stream;
}

FileStream FileStream::CreateNew(const std::string& path) {
    // Made without a name in its folder and held before it is linked in, so
    // that no one ever finds the name on a file nobody holds.
    int error = faults::Enter(Call::Open);
    const int fd =
        error ? -1 : ::open(FolderOf(path).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = error ? error : errno;
        if (error == EOPNOTSUPP || error == EISDIR || error == EINVAL)
            return CreateNamed(path); // a file system that makes no nameless files
        throw EFCreateError(path, error);
    }
    FileStream stream(fd, path);
    // Nobody else can reach a nameless file: the hold cannot be refused.
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        if (errno != EINTR)
            throw EFCreateError(path, errno);
    if (int faked = faults::Enter(Call::Link))
        throw EFCreateError(path, faked);
    // The open file's own entry under /proc names it for linkat; without
    // AT_SYMLINK_FOLLOW that would link the entry itself.
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) != 0) {
        error = errno;
        if (error == ENOENT && !PathExists("/proc/self/fd"))
            return CreateNamed(path); // no /proc to link through
        throw EFCreateError(path, error);
    }
    return stream;
}

FileStream FileStream::CreateNamed(const std::string& path) {
    if (int error = faults::Enter(Call::Open))
        throw EFCreateError(path, error);
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        throw EFCreateError(path, errno);
    // Until the hold is taken the name stands on a file nobody holds; the
    // sweep of leftovers leaves it alone while its writer lives
    // (TemporaryFile.cpp). Whatever fails takes the name away again.
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        const int error = errno;
        ::unlink(path.c_str());
        ::close(fd);
        throw EFCreateError(path, error);
    }
    return FileStream(fd, path);
}

FileStream FileStream::OpenReadShared(const std::string& path) {
    OpenFailure failure;
    const int fd = OpenAndHold(path, O_RDONLY, LOCK_SH, failure);
    if (fd < 0)
        ThrowFailure<EFOpenError>(path, failure);
    return FileStream(fd, path);
}

std::optional<FileStream> FileStream::TryHold(const std::string& path, int* why) {
    OpenFailure failure;
    const int fd = OpenAndHold(path, O_RDWR | O_NOFOLLOW, LOCK_EX, failure);
    if (fd < 0) {
        if (why)
            *why = failure.error;
        return std::nullopt;
    }
    return FileStream(fd, path);
}

FileStream::FileStream(FileStream&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), pos_(other.pos_), path_(std::move(other.path_)) {}

FileStream& FileStream::operator=(FileStream&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        pos_ = other.pos_;
        path_ = std::move(other.path_);
    }
    return *this;
}

FileStream::~FileStream() {
    if (fd_ >= 0)
        ::close(fd_);
}

TFileInfo FileStream::Info() const {
    if (int error = faults::Enter(Call::Stat))
        throw EOSError(error, path_);
    struct stat info {};
    if (::fstat(fd_, &info) != 0)
        throw EOSError(errno, path_);
    return InfoOf(info);
}

size_t FileStream::ReadSomeAt(uint64_t offset, char* buffer, size_t count) {
    for (;;) {
        const ssize_t n = ::pread(fd_, buffer, count, static_cast<off_t>(offset));
        if (n >= 0)
            return static_cast<size_t>(n);
        if (errno != EINTR)
            throw EReadError(path_, errno);
    }
}

size_t FileStream::WriteSomeAt(uint64_t offset, const char* buffer, size_t count) {
    for (;;) {
        const ssize_t n = ::pwrite(fd_, buffer, count, static_cast<off_t>(offset));
        if (n >= 0)
            return static_cast<size_t>(n);
        if (errno != EINTR)
            throw EWriteError(path_, errno);
    }
}

void FileStream::SetLength(uint64_t length) {
    if (int error = faults::Enter(Call::SetLength))
        throw EOSError(error, path_);
    if (::ftruncate(fd_, static_cast<off_t>(length)) != 0)
        throw EOSError(errno, path_);
}

void FileStream::Reserve(uint64_t length) {
    const uint64_t old = Length();
    if (length <= old)
        return;
    if (int error = faults::Enter(Call::SetLength))
        throw EOSError(error, path_);
    int result = ::posix_fallocate(fd_, static_cast<off_t>(old), static_cast<off_t>(length - old));
    if (result == EOPNOTSUPP || result == ENOSYS || result == EINVAL) {
        // The file system cannot reserve space: a plain length change will do.
        if (::ftruncate(fd_, static_cast<off_t>(length)) == 0)
            return;
        result = errno;
    }
    if (result != 0) {
        (void)::ftruncate(fd_, static_cast<off_t>(old)); // undo any partial growth
        throw EOSError(result, path_);
    }
}

void FileStream::CopyFrom(FileStream& source, uint64_t count) {
    // The kernel copies without bringing the bytes to user space; where it
    // cannot (other file systems, older kernels), fall back to a buffer.
    (void)::posix_fadvise(source.fd_, static_cast<off_t>(source.pos_), static_cast<off_t>(count),
                          POSIX_FADV_SEQUENTIAL);
    while (count > 0) {
        if (int error = faults::Enter(Call::Read))
            throw EReadError(source.path_, error);
        if (int error = faults::Enter(Call::Write))
            throw EWriteError(path_, error);
        loff_t in = static_cast<loff_t>(source.pos_);
        loff_t out = static_cast<loff_t>(pos_);
        size_t chunk = static_cast<size_t>(std::min<uint64_t>(count, 1u << 30));
        ssize_t n = ::copy_file_range(source.fd_, &in, fd_, &out, chunk, 0);
        if (n > 0) {
            source.pos_ += static_cast<uint64_t>(n);
            pos_ += static_cast<uint64_t>(n);
            count -= static_cast<uint64_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EFBIG || IsOutOfSpace(errno)))
            throw EWriteError(path_, errno);
        break; // end of the source or no kernel copy: the buffer tells which
    }
    if (count > 0)
        CopyThroughBuffer(source, count);
}

void FileStream::CopyAttributesFrom(const TFileInfo& info) {
    if (int error = faults::Enter(Call::Attributes))
        throw EOSError(error, path_);
    // The owner goes first: changing it clears the set-user-ID bits.
    if (::fchown(fd_, info.owner, info.group) != 0)
        throw EOSError(errno, path_);
    if (::fchmod(fd_, static_cast<mode_t>(info.mode)) != 0)
        throw EOSError(errno, path_);
}

void FileStream::Flush() {
    if (int error = faults::Enter(Call::Flush))
        throw EOSError(error, path_);
    if (::fsync(fd_) != 0)
        throw EOSError(errno, path_);
}

void FileStream::WriteBehind(uint64_t doneBefore, uint64_t end) {
#ifdef __linux__
    if (int error = faults::Enter(Call::Flush))
        throw EOSError(error, path_);
    const auto syncRange = [&](off_t from, off_t to, unsigned flags) {
        return to <= from || ::sync_file_range(fd_, from, to - from, flags) == 0;
    };
    const auto done = static_cast<off_t>(std::min(doneBefore, end));
    if (syncRange(done, static_cast<off_t>(end), SYNC_FILE_RANGE_WRITE) &&
        syncRange(0, done,
                  SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER))
        return;
    // A file system without the call (EINVAL, ENOSYS) is waited for whole.
    if (errno != EINVAL && errno != ENOSYS)
        throw EOSError(errno, path_);
    if (::fsync(fd_) != 0)
        throw EOSError(errno, path_);
#else
    (void)doneBefore;
    (void)end;
    Flush();
#endif
}

void FileStream::Abandon() {
    // Below this, closing here costs less than starting a thread.
    constexpr blkcnt_t LargeFileBlocks = (64 << 20) / 512;
    struct stat info {};
    if (fd_ < 0)
        return;
    const int fd = std::exchange(fd_, -1);
    if (::fstat(fd, &info) != 0 || info.st_blocks < LargeFileBlocks)
        ::close(fd);
    else
        std::thread([fd] { ::close(fd); }).detach();
}

void FileStream::Close() {
    if (fd_ < 0)
        return;
    int error = faults::Enter(Call::Close);
    int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error)
        throw EOSError(error, path_);
}
