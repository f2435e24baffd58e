#include "cli/Output.h"

#include "platform/Errors.h"

#include <cerrno>
#include <charconv>
#include <unistd.h>

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
    size_t done = 0;
    while (done < buffer_.size()) {
        ssize_t written = ::write(STDOUT_FILENO, buffer_.data() + done, buffer_.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            buffer_.clear();
            throw EOSError(written < 0 ? errno : EIO);
        }
        done += static_cast<size_t>(written);
    }
    buffer_.clear();
}
