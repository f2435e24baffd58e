#include "platform/Errors.h"

#include <cerrno>
#include <cstring>
#include <exception>

namespace {

std::string WithReason(const std::string& action, int error) {
    return error == 0 ? action : action + ": " + SystemErrorText(error);
}

} // namespace

EFileError::EFileError(const std::string& message, std::string path, int error, std::string reason)
    : Exception(message), path_(std::move(path)), error_(error), reason_(std::move(reason)) {}

std::string SystemErrorText(int error) {
    if (error == EWOULDBLOCK)
        return "in use by another program";
    return std::strerror(error);
}

EFOpenError::EFOpenError(const std::string& path, int error)
    : EFileError("Cannot open file " + path, path, error, WithReason("Cannot open", error)) {}

EFOpenError::EFOpenError(const std::string& path, const std::string& why)
    : EFileError("Cannot open file " + path, path, 0, "Cannot open: " + why) {}

EFCreateError::EFCreateError(const std::string& path, int error)
    : EFileError("Cannot create file " + path, path, error, WithReason("Cannot create", error)) {}

EFCreateError::EFCreateError(const std::string& path, const std::string& why)
    : EFileError("Cannot create file " + path, path, 0, "Cannot create: " + why) {}

EReadError::EReadError(const std::string& path, int error)
    : EFileError("Stream read error", path, error,
                 error == 0 ? "Stream read error" : SystemErrorText(error)) {}

EWriteError::EWriteError(const std::string& path, int error)
    : EFileError("Stream write error", path, error,
                 error == 0 ? "Stream write error" : SystemErrorText(error)) {}

EOSError::EOSError(int code, const std::string& path)
    : EFileError("System Error.  Code: " + std::to_string(code) + ".\n" + std::strerror(code), path,
                 code, SystemErrorText(code)) {}

EListError::EListError(long long index)
    : Exception("List index out of bounds (" + std::to_string(index) + ")") {}

void RethrowNamingEntry(const std::string& name) {
    try {
        throw;
    } catch (EFileError& error) {
        error.SetEntryName(name);
        throw;
    }
}
