// Why an open failed, as FileStream.cpp and FileStreamWin32.cpp tell it.
// Internal to the file layer.
#pragma once

#include <string>

// The system's error number, or a reason of our own.
struct OpenFailure {
    int error = 0;
    const char* why = nullptr;
};

// EFOpenError or EFCreateError, with the reason the open gave.
template <typename Failure>
[[noreturn]] void ThrowFailure(const std::string& path, const OpenFailure& failure) {
    if (failure.why)
        throw Failure(path, failure.why);
    throw Failure(path, failure.error);
}
