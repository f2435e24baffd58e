#include "cli/Output.h"

#include "platform/FileSystem.h"

#include <charconv>

Output::~Output() {
    try {
        Flush();
    } catch (...) {
    }
}

Output& Output::operator<<(std::string_view text) {
    buffer_.append(text);
    MaybeFlush();
    return *this;
}

Output& Output::operator<<(char c) {
    buffer_.push_back(c);
    MaybeFlush();
    return *this;
}

Output& Output::WriteNumber(uint64_t number) {
    char digits[24];
    auto result = std::to_chars(digits, digits + sizeof digits, number);
    return *this << std::string_view(digits, static_cast<size_t>(result.ptr - digits));
}

void Output::MaybeFlush() {
    if (buffer_.size() >= Capacity)
        Flush();
}

void Output::Flush() {
    // Emptied either way, so that a failed write is not tried again at the end;
    // the buffer's memory is kept for what comes next.
    try {
        WriteStandardOutput(buffer_);
    } catch (...) {
        buffer_.clear();
        throw;
    }
    buffer_.clear();
}
