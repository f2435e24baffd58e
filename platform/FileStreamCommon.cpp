// The parts of FileStream written once for every system, over its own
// per-system functions (FileStream.cpp on POSIX, FileStreamWin32.cpp on Windows).
#include "platform/FileStream.h"

#include "platform/Errors.h"
#include "platform/FaultInjection.h"

#include <algorithm>
#include <memory>
#include <new>

namespace {

// Copy buffer: large enough to amortise the calls, aligned so the kernel's
// copies run at full speed. Made for each copy, as large as it needs: one kept
// per thread would be freed at the thread's end, which MinGW-w64's runtime does
// not manage for a thread it did not start (the program then hangs as it exits).
constexpr size_t CopyBufferSize = 1 << 20;
constexpr std::align_val_t CopyBufferAlignment{4096};

struct FreeCopyBuffer {
    void operator()(char* p) const { ::operator delete(p, CopyBufferAlignment); }
};

std::unique_ptr<char, FreeCopyBuffer> CopyBufferFor(uint64_t count) {
    const auto size = static_cast<size_t>(std::min<uint64_t>(count, CopyBufferSize));
    return std::unique_ptr<char, FreeCopyBuffer>(
        static_cast<char*>(::operator new(std::max<size_t>(size, 1), CopyBufferAlignment)));
}

} // namespace

size_t FileStream::Read(void* buffer, size_t count) {
    auto* bytes = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < count) {
        if (int error = faults::Enter(faults::Call::Read))
            throw EReadError(path_, error);
        const size_t got = ReadSomeAt(pos_ + done, bytes + done, count - done);
        if (got == 0)
            break; // the end of the file
        done += got;
    }
    pos_ += done;
    return done;
}

void FileStream::Write(const void* buffer, size_t count) {
    const auto* bytes = static_cast<const char*>(buffer);
    size_t done = 0;
    while (done < count) {
        if (int error = faults::Enter(faults::Call::Write))
            throw EWriteError(path_, error);
        const size_t written = WriteSomeAt(pos_ + done, bytes + done, count - done);
        if (written == 0)
            throw EWriteError(path_); // no room, and no reason given
        done += written;
    }
    pos_ += done;
}

void FileStream::ReadExact(void* buffer, size_t count) {
    if (Read(buffer, count) != count)
        throw EReadError(path_);
}

void FileStream::CopyThroughBuffer(FileStream& source, uint64_t count) {
    const auto held = CopyBufferFor(count);
    char* const buffer = held.get();
    while (count > 0) {
        const auto chunk = static_cast<size_t>(std::min<uint64_t>(count, CopyBufferSize));
        const size_t got = source.Read(buffer, chunk);
        if (got == 0)
            throw EReadError(source.path_);
        Write(buffer, got);
        count -= got;
    }
}
