#include "history/SettingsStorage.h"

#include "platform/Errors.h"
#include "platform/FileStream.h"
#include "platform/FileSystem.h"
#include "platform/TemporaryFile.h"

#include <algorithm>
#include <cerrno>
#include <optional>

namespace {

// Makes the folder and any missing folders above it, as a desktop's
// configuration folders are made. A link to a folder counts as the folder.
void MakeFolders(const std::string& folder) {
    if (TargetInfo(folder))
        return;
    if (const std::string parent = FolderOf(folder); parent != folder)
        MakeFolders(parent);
    try {
        MakeFolder(folder);
    } catch (const EOSError& failure) {
        if (failure.SystemError() != EEXIST) // made meanwhile by someone else
            throw;
    }
}

void WriteInPlace(const std::string& path, QByteArrayView bytes) {
    FileStream file = FileStream::OpenHeld(path);
    file.Write(bytes.data(), static_cast<size_t>(bytes.size()));
    file.SetLength(static_cast<uint64_t>(bytes.size()));
    file.Flush();
    file.Close();
}

} // namespace

TStoredSettings ReadStoredSettings(const std::string& path, qsizetype most) {
    using TState = TStoredSettings::TState;
    TStoredSettings stored;
    std::optional<FileStream> file;
    try {
        file.emplace(FileStream::OpenReadShared(path));
    } catch (const EFOpenError& failure) {
        const int error = failure.SystemError();
        stored.State = error == ENOENT || error == ENOTDIR ? TState::Missing : TState::Unreadable;
        return stored;
    }
    try {
        // At most one byte past the bound, which tells a larger file. The
        // length is a hint only: a file may grow while it is read.
        const auto limit = static_cast<uint64_t>(most) + 1;
        stored.Bytes.reserve(static_cast<qsizetype>(std::min(file->Length(), limit)));
        char buffer[64 * 1024];
        while (static_cast<uint64_t>(stored.Bytes.size()) < limit) {
            const uint64_t wanted = limit - static_cast<uint64_t>(stored.Bytes.size());
            const size_t got = file->Read(buffer, std::min<uint64_t>(sizeof buffer, wanted));
            if (got == 0)
                break;
            stored.Bytes.append(buffer, static_cast<qsizetype>(got));
        }
    } catch (const EFileError&) {
        return {TState::Unreadable, {}};
    }
    if (stored.Bytes.size() > most)
        return {TState::TooLarge, {}};
    stored.State = TState::Read;
    return stored;
}

void WriteStoredSettings(const std::string& path, QByteArrayView bytes) {
    const std::string folder = FolderOf(path);
    MakeFolders(folder);
    // A link stays a link: the file it leads to is what the user keeps.
    if (PathKind(path) == TPathKind::Link)
        return WriteInPlace(path, bytes);
    RemoveStaleTemporariesQuietly(folder);
    std::optional<TTemporaryFile> file;
    try {
        file.emplace(path);
    } catch (const EFCreateError& refused) {
        const int error = refused.SystemError();
        if (error != EACCES && error != EPERM)
            throw;
        return WriteInPlace(path, bytes); // a folder that lets no new file be made
    }
    file->Stream().Write(bytes.data(), static_cast<size_t>(bytes.size()));
    file->Stream().Flush();
    file->ReplaceFinal(TTemporaryFile::Replacing::UnheldFilesOnly);
}
