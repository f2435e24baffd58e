#include "platform/FileSystem.h"

#include "platform/Errors.h"
#include "platform/FaultInjection.h"
#include "platform/StatInfo.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

using faults::Call;

namespace {

// Fails with the seam's error, or runs the call and fails with the system's.
template <typename SystemCall>
void Checked(Call call, const std::string& path, SystemCall&& systemCall) {
    if (int error = faults::Enter(call))
        throw EOSError(error, path);
    if (systemCall() != 0)
        throw EOSError(errno, path);
}

} // namespace

namespace {

// lstat (or stat, following a link) through the seam; false when nothing
// stands at the path.
bool StatPath(const std::string& path, struct stat& info, bool followLink = false) {
    if (int error = faults::Enter(Call::Stat))
        throw EOSError(error, path);
    if ((followLink ? ::stat(path.c_str(), &info) : ::lstat(path.c_str(), &info)) == 0)
        return true;
    if (errno == ENOENT || errno == ENOTDIR)
        return false;
    throw EOSError(errno, path);
}

} // namespace

std::optional<TFileInfo> PathInfo(const std::string& path) {
    struct stat info {};
    if (!StatPath(path, info))
        return std::nullopt;
    return InfoOf(info);
}

std::optional<TFileInfo> TargetInfo(const std::string& path) {
    struct stat info {};
    if (!StatPath(path, info, true))
        return std::nullopt;
    return InfoOf(info);
}

TPathKind PathKind(const std::string& path) {
    struct stat info {};
    if (!StatPath(path, info))
        return TPathKind::Missing;
    if (S_ISREG(info.st_mode))
        return TPathKind::File;
    if (S_ISDIR(info.st_mode))
        return TPathKind::Folder;
    if (S_ISLNK(info.st_mode))
        return TPathKind::Link;
    return TPathKind::Other;
}

void RenameFile(const std::string& from, const std::string& to) {
    Checked(Call::Rename, to, [&] { return ::rename(from.c_str(), to.c_str()); });
}

void LinkFile(const std::string& existing, const std::string& added) {
    // linkat without AT_SYMLINK_FOLLOW never follows a link at `existing`, and
    // never replaces anything at `added`.
    Checked(Call::Link, added,
            [&] { return ::linkat(AT_FDCWD, existing.c_str(), AT_FDCWD, added.c_str(), 0); });
}

void RemoveFile(const std::string& path) {
    Checked(Call::Remove, path, [&] { return ::unlink(path.c_str()); });
}

void MakeFolder(const std::string& path) {
    Checked(Call::MakeFolder, path, [&] { return ::mkdir(path.c_str(), S_IRWXU); });
}

void SyncFolder(const std::string& folder) {
    if (int error = faults::Enter(Call::SyncFolder))
        throw EOSError(error, folder);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        throw EOSError(errno, folder);
    const int result = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    if (result != 0)
        throw EOSError(error, folder);
}

uint64_t FreeSpace(const std::string& folder) {
    if (int error = faults::Enter(Call::Stat))
        throw EOSError(error, folder);
    if (const std::optional<uint64_t> faked = faults::FakedFreeSpace())
        return *faked;
    struct statvfs info {};
    if (::statvfs(folder.c_str(), &info) != 0)
        throw EOSError(errno, folder);
    return uint64_t{info.f_bavail} * info.f_frsize;
}

std::vector<std::string> FolderNames(const std::string& folder) {
    if (int error = faults::Enter(Call::List))
        throw EOSError(error, folder);
    std::unique_ptr<DIR, int (*)(DIR*)> stream(::opendir(folder.c_str()), ::closedir);
    if (!stream)
        throw EOSError(errno, folder);
    std::vector<std::string> names;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(stream.get());
        if (!entry)
            break;
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..")
            names.emplace_back(name);
    }
    if (errno != 0)
        throw EOSError(errno, folder);
    return names;
}

void WriteStandardOutput(std::string_view bytes) {
    while (!bytes.empty()) {
        if (int error = faults::Enter(Call::Write))
            throw EWriteError("standard output", error);
        const ssize_t written = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            throw EWriteError("standard output", written < 0 ? errno : 0);
        bytes.remove_prefix(static_cast<size_t>(written));
    }
}
