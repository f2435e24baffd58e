// Exceptions of the program. Every failure reaches the user as one of these,
// carrying the exact text the message box shows.
#pragma once

#include <stdexcept>
#include <string>

// The program's general failure kind; all others derive from it.
class Exception : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "Cannot open file %s"
class EFOpenError : public Exception {
public:
    explicit EFOpenError(const std::string& path);
};

// "Cannot create file %s"
class EFCreateError : public Exception {
public:
    explicit EFCreateError(const std::string& path);
};

// "Stream read error"
class EReadError : public Exception {
public:
    EReadError();
};

// "Stream write error"
class EWriteError : public Exception {
public:
    EWriteError();
};

// "System Error.  Code: %d." and, on the next line, the system's text.
class EOSError : public Exception {
public:
    explicit EOSError(int code);
    int Code() const { return code_; }

private:
    int code_;
};

// "List index out of bounds (%d)"
class EListError : public Exception {
public:
    explicit EListError(long long index);
};
