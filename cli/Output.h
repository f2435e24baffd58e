// Buffered standard output: a listing of a million entries must not cost a
// system call per line.
#pragma once

#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>

class Output {
public:
    Output() { buffer_.reserve(Capacity); }
    ~Output(); // flushes, ignoring errors: call Flush() to see them
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    Output& operator<<(std::string_view text);
    Output& operator<<(char c);
    template <std::unsigned_integral Number> Output& operator<<(Number number) {
        return WriteNumber(number);
    }
    // Writes everything held; throws EWriteError when standard output fails.
    void Flush();

private:
    static constexpr size_t Capacity = 1 << 20;
    Output& WriteNumber(uint64_t number);
    void MaybeFlush();

    std::string buffer_;
};
