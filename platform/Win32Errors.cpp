#include "platform/Win32Errors.h"
#include "platform/ErrorText.h"

#include <windows.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace {

// Windows' codes for the failures a file layer meets, by the error number
// whose promise they break. Where the C runtime's own table differs, this
// one follows what the program does next: a sharing violation is a file
// somebody holds, not a permission problem.
constexpr std::pair<unsigned long, int> ErrorNumbers[] = {
    {ERROR_FILE_NOT_FOUND, ENOENT},
    {ERROR_PATH_NOT_FOUND, ENOENT},
    {ERROR_INVALID_DRIVE, ENOENT},
    {ERROR_BAD_NETPATH, ENOENT},
    {ERROR_BAD_NET_NAME, ENOENT},
    {ERROR_BAD_PATHNAME, ENOENT},
    {ERROR_NO_MORE_FILES, ENOENT},
    {ERROR_DIRECTORY, ENOTDIR},
    {ERROR_ACCESS_DENIED, EACCES},
    {ERROR_NETWORK_ACCESS_DENIED, EACCES},
    {ERROR_CANNOT_MAKE, EACCES},
    {ERROR_CANT_ACCESS_FILE, EACCES},
    {ERROR_PRIVILEGE_NOT_HELD, EPERM},
    {ERROR_WRITE_PROTECT, EROFS},
    {ERROR_SHARING_VIOLATION, EWOULDBLOCK},
    {ERROR_LOCK_VIOLATION, EWOULDBLOCK},
    {ERROR_USER_MAPPED_FILE, EWOULDBLOCK},
    {ERROR_FILE_EXISTS, EEXIST},
    {ERROR_ALREADY_EXISTS, EEXIST},
    {ERROR_DISK_FULL, ENOSPC},
    {ERROR_HANDLE_DISK_FULL, ENOSPC},
    {1295, ENOSPC}, // ERROR_DISK_QUOTA_EXCEEDED
    {ERROR_FILE_TOO_LARGE, EFBIG},
    {ERROR_DIR_NOT_EMPTY, ENOTEMPTY},
    {ERROR_FILENAME_EXCED_RANGE, ENAMETOOLONG},
    {ERROR_INVALID_NAME, EINVAL},
    {ERROR_INVALID_PARAMETER, EINVAL},
    {ERROR_NEGATIVE_SEEK, EINVAL},
    {ERROR_NOT_SAME_DEVICE, EXDEV},
    {ERROR_TOO_MANY_OPEN_FILES, EMFILE},
    {ERROR_NOT_ENOUGH_MEMORY, ENOMEM},
    {ERROR_OUTOFMEMORY, ENOMEM},
    {ERROR_NOT_ENOUGH_QUOTA, ENOMEM},
    {ERROR_INVALID_HANDLE, EBADF},
    {ERROR_BROKEN_PIPE, EPIPE},
    {ERROR_NO_DATA, EPIPE},
    {ERROR_NOT_SUPPORTED, EOPNOTSUPP},
    {ERROR_INVALID_FUNCTION, ENOSYS},
    {ERROR_CANT_RESOLVE_FILENAME, ELOOP},
    {ERROR_BUSY, EBUSY},
    {ERROR_PATH_BUSY, EBUSY},
    {ERROR_DRIVE_LOCKED, EBUSY},
    {ERROR_OPERATION_ABORTED, EINTR},
    {ERROR_NO_UNICODE_TRANSLATION, EILSEQ},
    {ERROR_CRC, EIO},
    {ERROR_READ_FAULT, EIO},
    {ERROR_WRITE_FAULT, EIO},
    {ERROR_GEN_FAILURE, EIO},
    {ERROR_IO_DEVICE, EIO},
    {ERROR_SECTOR_NOT_FOUND, EIO},
    {ERROR_NOT_READY, EIO},
};

// Linux's words for the error numbers above, so that a reason reads the same
// on both systems (the C runtime of Windows words several of them otherwise).
constexpr std::pair<int, const char*> Texts[] = {
    {ENOENT, "No such file or directory"},
    {ENOTDIR, "Not a directory"},
    {EISDIR, "Is a directory"},
    {EACCES, "Permission denied"},
    {EPERM, "Operation not permitted"},
    {EROFS, "Read-only file system"},
    {EEXIST, "File exists"},
    {ENOSPC, "No space left on device"},
    {EFBIG, "File too large"},
    {ENOTEMPTY, "Directory not empty"},
    {ENAMETOOLONG, "File name too long"},
    {EINVAL, "Invalid argument"},
    {EXDEV, "Invalid cross-device link"},
    {EMFILE, "Too many open files"},
    {ENOMEM, "Cannot allocate memory"},
    {EBADF, "Bad file descriptor"},
    {EPIPE, "Broken pipe"},
    {EOPNOTSUPP, "Operation not supported"},
    {ENOSYS, "Function not implemented"},
    {ELOOP, "Too many levels of symbolic links"},
    {EBUSY, "Device or resource busy"},
    {EINTR, "Interrupted system call"},
    {EILSEQ, "Invalid or incomplete multibyte or wide character"},
    {EIO, "Input/output error"},
    {EWOULDBLOCK, "Resource temporarily unavailable"},
};

} // namespace

int ErrorNumberFromWindows(unsigned long code) {
    for (const auto& [windows, number] : ErrorNumbers)
        if (windows == code)
            return number;
    return EIO;
}

int LastErrorNumber() {
    return ErrorNumberFromWindows(::GetLastError());
}

std::string ErrorNumberText(int error) {
    for (const auto& [number, text] : Texts)
        if (number == error)
            return text;
    return std::strerror(error);
}
