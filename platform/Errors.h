// Exceptions of the program. Every failure reaches the user as one of these.
// what() is the exact text the editor's message box shows; a file failure
// also keeps the file (or entry) it concerns and the system's reason, which
// the command line prints instead, one line per failure.
#pragma once

#include <stdexcept>
#include <string>

// The program's general failure kind; all others derive from it.
class Exception : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A failure that concerns one file (or one entry of an archive).
class EFileError : public Exception {
public:
    EFileError(const std::string& message, std::string path, int error, std::string reason);

    // The file or entry concerned, as given; may be empty.
    const std::string& Path() const { return path_; }
    // Whether Path() is the name of an entry of an archive - bytes from the
    // archive, not a path the user chose - rather than a file's path.
    bool NamesEntry() const { return namesEntry_; }
    // The system's error number, or 0 when the failure has none.
    int SystemError() const { return error_; }
    // What went wrong in a few words, without the path: "Cannot open: No such
    // file or directory", "File too large", "Stream read error".
    const std::string& Reason() const { return reason_; }

    // Tells the failure of the archive's entry `name`; the message stays.
    void SetEntryName(std::string name) {
        path_ = std::move(name);
        namesEntry_ = true;
    }

private:
    std::string path_;
    bool namesEntry_ = false;
    int error_;
    std::string reason_;
};

// The system's text for an error number; a file held by someone else, which
// the lock reports as EWOULDBLOCK, reads "in use by another program".
std::string SystemErrorText(int error);

// "Cannot open file %s"
class EFOpenError : public EFileError {
public:
    explicit EFOpenError(const std::string& path, int error = 0);
    EFOpenError(const std::string& path, const std::string& why);
};

// "Cannot create file %s"
class EFCreateError : public EFileError {
public:
    explicit EFCreateError(const std::string& path, int error = 0);
    EFCreateError(const std::string& path, const std::string& why);
};

// "Stream read error"
class EReadError : public EFileError {
public:
    explicit EReadError(const std::string& path = {}, int error = 0);
};

// "Stream write error"
class EWriteError : public EFileError {
public:
    explicit EWriteError(const std::string& path = {}, int error = 0);
};

// "System Error.  Code: %d." and, on the next line, the system's text.
class EOSError : public EFileError {
public:
    explicit EOSError(int code, const std::string& path = {});
};

// "List index out of bounds (%d)"
class EListError : public Exception {
public:
    explicit EListError(long long index);
};

// Inside a catch block: rethrows the failure being handled, told of the
// archive's entry named `name` when it is a file failure (the window's message
// stays the same).
[[noreturn]] void RethrowNamingEntry(const std::string& name);
