#include "platform/Errors.h"

#include <cstring>

EFOpenError::EFOpenError(const std::string& path) : Exception("Cannot open file " + path) {}

EFCreateError::EFCreateError(const std::string& path) : Exception("Cannot create file " + path) {}

EReadError::EReadError() : Exception("Stream read error") {}

EWriteError::EWriteError() : Exception("Stream write error") {}

EOSError::EOSError(int code)
    : Exception("System Error.  Code: " + std::to_string(code) + ".\n" + std::strerror(code)),
      code_(code) {}

EListError::EListError(long long index)
    : Exception("List index out of bounds (" + std::to_string(index) + ")") {}
