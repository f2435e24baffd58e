#include "platform/Win32Files.h"

#include "platform/Errors.h"
#include "platform/WidePath.h"
#include "platform/Win32Errors.h"

#include <cerrno>

namespace {

std::wstring ToSystem(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

} // namespace

int SystemPath(const std::string& path, std::wstring& out) {
    const std::optional<std::u16string> wide = WideFromUtf8(path);
    if (!wide)
        return EILSEQ;
    out = ToSystem(*wide);
    for (wchar_t& c : out)
        if (c == L'/')
            c = L'\\';
    if (out.size() < ShortPathLimit)
        return 0;
    // Only a full path can carry the prefix; GetFullPathNameW knows no length limit.
    const DWORD needed = ::GetFullPathNameW(out.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return LastErrorNumber();
    std::wstring full(needed, L'\0');
    const DWORD written = ::GetFullPathNameW(out.c_str(), needed, full.data(), nullptr);
    if (written == 0 || written >= needed)
        return LastErrorNumber();
    full.resize(written);
    out = ToSystem(LongPathForm(std::u16string(full.begin(), full.end())));
    return 0;
}

std::string Utf8FromSystem(std::wstring_view name) {
    return Utf8FromWide(std::u16string(name.begin(), name.end()));
}

TScopedHandle OpenSystemFile(const std::string& path, DWORD access, DWORD share, DWORD disposition,
                             DWORD flags, int& error) {
    std::wstring wide;
    if ((error = SystemPath(path, wide)) != 0)
        return TScopedHandle();
    TScopedHandle handle(::CreateFileW(wide.c_str(), access, share, nullptr, disposition,
                                       FILE_ATTRIBUTE_NORMAL | flags, nullptr));
    error = handle.IsValid() ? 0 : LastErrorNumber();
    return handle;
}

TScopedHandle OpenToAsk(const std::string& path, int& error) {
    return OpenSystemFile(path, FILE_READ_ATTRIBUTES,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                          FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, error);
}

bool IsLinkHandle(HANDLE handle) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag))
        return false;
    return (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           (tag.ReparseTag == IO_REPARSE_TAG_SYMLINK ||
            tag.ReparseTag == IO_REPARSE_TAG_MOUNT_POINT);
}

int InfoOfHandle(HANDLE handle, TFileInfo& info) {
    BY_HANDLE_FILE_INFORMATION system{};
    if (!::GetFileInformationByHandle(handle, &system))
        return LastErrorNumber();
    // The volume's serial number and the file's index name one file on the
    // machine, as a device and inode number do on Linux.
    info = {uint64_t{system.nFileSizeHigh} << 32 | system.nFileSizeLow,
            system.dwFileAttributes,
            0,
            0,
            system.dwVolumeSerialNumber,
            uint64_t{system.nFileIndexHigh} << 32 | system.nFileIndexLow,
            system.nNumberOfLinks};
    return 0;
}

bool Unsupported(DWORD code) {
    return code == ERROR_INVALID_PARAMETER || code == ERROR_NOT_SUPPORTED ||
           code == ERROR_INVALID_FUNCTION || code == ERROR_CALL_NOT_IMPLEMENTED;
}
