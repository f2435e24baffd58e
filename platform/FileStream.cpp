#include "platform/FileStream.h"

#include "platform/Errors.h"
#include "platform/FaultInjection.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

using faults::Call;

namespace {

// Opens a regular file. O_NONBLOCK keeps a FIFO from stalling the open; it is
// cleared again once the file is known to be regular. Returns -1 on failure.
int OpenRegular(const std::string& path, int flags) {
    if (int error = faults::Enter(Call::Open)) {
        errno = error;
        return -1;
    }
    int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0)
        return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// Takes the lock that keeps other opens through this layer out; closes the
// file when someone else holds it.
bool Lock(int fd, int operation) {
    while (::flock(fd, operation | LOCK_NB) != 0) {
        if (errno != EINTR) {
            ::close(fd);
            return false;
        }
    }
    return true;
}

// Copy buffer: large enough to amortise the calls, aligned so the kernel's
// copies run at full speed.
constexpr size_t CopyBufferSize = 1 << 20;

char* CopyBuffer() {
    struct Free {
        void operator()(char* p) const { std::free(p); }
    };
    thread_local std::unique_ptr<char, Free> buffer(
        static_cast<char*>(std::aligned_alloc(4096, CopyBufferSize)));
    if (!buffer)
        throw std::bad_alloc();
    return buffer.get();
}

} // namespace

FileStream FileStream::OpenHeld(const std::string& path) {
    int fd = OpenRegular(path, O_RDWR);
    if (fd < 0 || !Lock(fd, LOCK_EX))
        throw EFOpenError(path);
    return FileStream(fd, path);
}

FileStream FileStream::CreateHeld(const std::string& path, Links links) {
    // Lock before emptying, so a file held by someone else is never cut.
    int fd = OpenRegular(path, O_RDWR | O_CREAT | (links == Links::Refuse ? O_NOFOLLOW : 0));
    if (fd < 0 || !Lock(fd, LOCK_EX))
        throw EFCreateError(path);
    // A new file is already empty: cutting it anyway makes ext4 write it back
    // on close, which slows extracting many files several times over.
    struct stat info {};
    if (::fstat(fd, &info) != 0 || (info.st_size != 0 && ::ftruncate(fd, 0) != 0)) {
        ::close(fd);
        throw EFCreateError(path);
    }
    return FileStream(fd, path);
}

FileStream FileStream::OpenReadShared(const std::string& path) {
    int fd = OpenRegular(path, O_RDONLY);
    if (fd < 0 || !Lock(fd, LOCK_SH))
        throw EFOpenError(path);
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

uint64_t FileStream::Length() const {
    struct stat info {};
    if (::fstat(fd_, &info) != 0)
        throw EOSError(errno);
    return static_cast<uint64_t>(info.st_size);
}

size_t FileStream::Read(void* buffer, size_t count) {
    auto* bytes = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < count) {
        if (faults::Enter(Call::Read))
            throw EReadError();
        ssize_t n = ::pread(fd_, bytes + done, count - done, static_cast<off_t>(pos_ + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw EReadError();
        }
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    pos_ += done;
    return done;
}

void FileStream::ReadExact(void* buffer, size_t count) {
    if (Read(buffer, count) != count)
        throw EReadError();
}

void FileStream::Write(const void* buffer, size_t count) {
    const auto* bytes = static_cast<const char*>(buffer);
    size_t done = 0;
    while (done < count) {
        if (faults::Enter(Call::Write))
            throw EWriteError();
        ssize_t n = ::pwrite(fd_, bytes + done, count - done, static_cast<off_t>(pos_ + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw EWriteError();
        done += static_cast<size_t>(n);
    }
    pos_ += done;
}

void FileStream::SetLength(uint64_t length) {
    if (int error = faults::Enter(Call::SetLength))
        throw EOSError(error);
    if (::ftruncate(fd_, static_cast<off_t>(length)) != 0)
        throw EOSError(errno);
}

void FileStream::Reserve(uint64_t length) {
    uint64_t old = Length();
    if (length <= old)
        return;
    if (int error = faults::Enter(Call::SetLength))
        throw EOSError(error);
    int result = ::posix_fallocate(fd_, static_cast<off_t>(old), static_cast<off_t>(length - old));
    if (result == EOPNOTSUPP || result == ENOSYS || result == EINVAL) {
        // The file system cannot reserve space: a plain length change will do.
        if (::ftruncate(fd_, static_cast<off_t>(length)) == 0)
            return;
        result = errno;
    }
    if (result != 0) {
        (void)::ftruncate(fd_, static_cast<off_t>(old)); // undo any partial growth
        throw EOSError(result);
    }
}

void FileStream::CopyFrom(FileStream& source, uint64_t count) {
    // The kernel copies without bringing the bytes to user space; where it
    // cannot (other file systems, older kernels), fall back to a buffer.
    (void)::posix_fadvise(source.fd_, static_cast<off_t>(source.pos_), static_cast<off_t>(count),
                          POSIX_FADV_SEQUENTIAL);
    while (count > 0) {
        if (faults::Enter(Call::Read))
            throw EReadError();
        if (faults::Enter(Call::Write))
            throw EWriteError();
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
        if (n < 0 && (errno == ENOSPC || errno == EFBIG || errno == EDQUOT))
            throw EWriteError();
        break; // end of the source or no kernel copy: the buffer tells which
    }
    if (count > 0)
        CopyThroughBuffer(source, count);
}

void FileStream::CopyThroughBuffer(FileStream& source, uint64_t count) {
    char* buffer = CopyBuffer();
    while (count > 0) {
        size_t chunk = static_cast<size_t>(std::min<uint64_t>(count, CopyBufferSize));
        size_t got = source.Read(buffer, chunk);
        if (got == 0)
            throw EReadError();
        Write(buffer, got);
        count -= got;
    }
}

void FileStream::Flush() {
    if (int error = faults::Enter(Call::Flush))
        throw EOSError(error);
    if (::fsync(fd_) != 0)
        throw EOSError(errno);
}

void FileStream::Close() {
    if (fd_ < 0)
        return;
    int error = faults::Enter(Call::Close);
    int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error)
        throw EOSError(error);
}
