// The parts of FileStream that only call its own functions, one for every
// system (FileStream.cpp on POSIX, FileStreamWin32.cpp on Windows).
#include "platform/FileStream.h"

#include "platform/Errors.h"

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
