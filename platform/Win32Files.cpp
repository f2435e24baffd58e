#include "platform/Win32Files.h"

#include "platform/Errors.h"
#include "platform/WidePath.h"
#include "platform/Win32Errors.h"

#include <aclapi.h>
#include <algorithm>
#include <cerrno>
#include <memory>
#include <mutex>

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

TScopedHandle OpenToAsk(const std::string& path, int& error, bool followLinks) {
    // READ_CONTROL reads the owner; like FILE_READ_ATTRIBUTES it is no data
    // access, which share modes govern.
    return OpenSystemFile(path, FILE_READ_ATTRIBUTES | READ_CONTROL,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                          FILE_FLAG_BACKUP_SEMANTICS |
                              (followLinks ? DWORD{0} : FILE_FLAG_OPEN_REPARSE_POINT),
                          error);
}

bool IsLinkHandle(HANDLE handle) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag))
        return false;
    return (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           (tag.ReparseTag == IO_REPARSE_TAG_SYMLINK ||
            tag.ReparseTag == IO_REPARSE_TAG_MOUNT_POINT);
}

namespace {

// The security identifiers this process has met, numbered by place from 1.
std::mutex ownersMutex;
std::vector<std::vector<unsigned char>> owners;

uint32_t NumberOf(PSID sid) {
    const auto* bytes = static_cast<const unsigned char*>(sid);
    const std::vector<unsigned char> key(bytes, bytes + ::GetLengthSid(sid));
    const std::lock_guard lock(ownersMutex);
    const auto known = std::find(owners.begin(), owners.end(), key);
    if (known != owners.end())
        return static_cast<uint32_t>(known - owners.begin()) + 1;
    owners.push_back(key);
    return static_cast<uint32_t>(owners.size());
}

} // namespace

std::vector<uint32_t> ThisUsersOwnerIds() {
    std::vector<uint32_t> ids;
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return ids;
    const TScopedHandle closeToken(token);
    for (const TOKEN_INFORMATION_CLASS kind : {TokenUser, TokenOwner}) {
        DWORD size = 0;
        (void)::GetTokenInformation(token, kind, nullptr, 0, &size);
        std::vector<unsigned char> data(size);
        if (size == 0 || !::GetTokenInformation(token, kind, data.data(), size, &size))
            continue;
        ids.push_back(NumberOf(kind == TokenUser
                                   ? reinterpret_cast<TOKEN_USER*>(data.data())->User.Sid
                                   : reinterpret_cast<TOKEN_OWNER*>(data.data())->Owner));
    }
    return ids;
}

uint32_t OwnerIdOf(HANDLE handle) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                          nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return 0;
    const std::unique_ptr<void, decltype(&::LocalFree)> freeDescriptor(descriptor, ::LocalFree);
    // A file system that records no owners (FAT) leaves every file to anyone
    // who may write it: such a file counts as this user's own.
    if (!owner || !::IsValidSid(owner)) {
        const std::vector<uint32_t> mine = ThisUsersOwnerIds();
        return mine.empty() ? 0 : mine.front();
    }
    return NumberOf(owner);
}

int InfoOfHandle(HANDLE handle, TFileInfo& info, bool askOwner) {
    BY_HANDLE_FILE_INFORMATION system{};
    if (!::GetFileInformationByHandle(handle, &system))
        return LastErrorNumber();
    // The volume's serial number and the file's index name one file on the
    // machine, as a device and inode number do on Linux.
    info = {uint64_t{system.nFileSizeHigh} << 32 | system.nFileSizeLow,
            system.dwFileAttributes,
            askOwner ? OwnerIdOf(handle) : 0,
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
