// The parts of FileStream that only call its own functions, one for every
// system (FileStream.cpp on POSIX, FileStreamWin32.cpp on Windows).
#include "platform/FileStream.h"

#include "platform/Errors.h"

#include <algorithm>
#include <memory>
#include <new>

namespace {

// Copy buffer: large enough to amortise the calls, aligned so the kernel's
// copies run at full speed.
constexpr size_t CopyBufferSize = 1 << 20;
constexpr std::align_val_t CopyBufferAlignment{4096};

char* CopyBuffer() {
    struct Free {
        void operator()(char* p) const { ::operator delete(p, CopyBufferAlignment); }
    };
    thread_local std::unique_ptr<char, Free> buffer(
        static_cast<char*>(::operator new(CopyBufferSize, CopyBufferAlignment)));
    return buffer.get();
}

} // namespace

void FileStream::ReadExact(void* buffer, size_t count) {
    if (Read(buffer, count) != count)
        throw EReadError(path_);
}

void FileStream::CopyThroughBuffer(FileStream& source, uint64_t count) {
    char* buffer = CopyBuffer();
    while (count > 0) {
        const auto chunk = static_cast<size_t>(std::min<uint64_t>(count, CopyBufferSize));
        const size_t got = source.Read(buffer, chunk);
        if (got == 0)
            throw EReadError(source.path_);
        Write(buffer, got);
        count -= got;
    }
}
