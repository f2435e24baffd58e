#include "archive/ArchiveCompact.h"

#include "archive/EmbeddedDirectory.h"
#include "archive/PairDirectory.h"

#include "platform/Errors.h"
#include "platform/FileSwap.h"
#include "platform/FileSystem.h"
#include "platform/TemporaryFile.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

[[noreturn]] void Refuse(const std::string& path, const std::string& why) {
    const std::string reason = why + "; nothing was written";
    throw EFileError(path + ": " + reason, path, 0, reason);
}

// The file standing at `path`, when a new file may be renamed over it: other
// names of it, a link leading to it and another owner would not follow.
TFileInfo ReplaceableFile(const std::string& path) {
    const char* const Instead = ", which compacting in place would not keep: write a compacted "
                                "copy with rebuild instead";
    if (PathKind(path) == TPathKind::Link)
        Refuse(path, std::string("it is a symbolic link") + Instead);
    const std::optional<TFileInfo> info = PathInfo(path);
    if (!info)
        throw EFOpenError(path, ENOENT);
    if (info->links != 1)
        Refuse(path, std::string("the file has other names") + Instead);
    if (!info->OwnedByThisUser())
        Refuse(path, std::string("the file belongs to another user") + Instead);
    return *info;
}

} // namespace

TCompactResult CompactArchive(TGTA3Archive& archive, const TCopyProgress& progress,
                              std::stop_token stop) {
    const std::string imgPath = archive.FileName();
    const bool pair = archive.Kind() == TArchiveKind::Pair;
    const std::string dirPath = DirectoryFileName(imgPath);
    if (archive.IsReadOnly())
        throw Exception(imgPath + " is open for reading only");
    const TFileInfo oldImg = ReplaceableFile(imgPath);
    const std::optional<TFileInfo> oldDir =
        pair ? std::optional(ReplaceableFile(dirPath)) : std::nullopt;
    // The opening settled a marker of ours: one that stands is someone else's.
    if (const std::string marker = SwapMarkerPath(imgPath); PathExists(marker))
        Refuse(marker, "a file of another compaction stands there (remove it if it is not "
                       "yours)");
    RemoveStaleTemporariesQuietly(FolderOf(imgPath));

    TCompactResult result;
    result.OldDataLength = archive.DataLength();
    TPackPlan plan = PlanPackedCopy(archive, archive.Kind());
    RequireFreeSpace(imgPath, plan);
    result.DataLength = plan.bytes;

    const std::string token = NewTemporaryToken();
    TTemporaryFile img(imgPath, token);
    img.Stream().CopyAttributesFrom(oldImg);
    std::optional<TTemporaryFile> dir;
    if (pair) {
        dir.emplace(dirPath, token);
        dir->Stream().CopyAttributesFrom(*oldDir);
    }
    WritePackedCopy(archive, plan, img.Stream(), dir ? &dir->Stream() : nullptr, progress, stop);
    std::vector<TArchiveEntry> table = std::move(plan.records);
    plan = {};

    std::vector<TTemporaryFile*> files{&img};
    if (dir)
        files.push_back(&*dir);
    result.Warnings = SwapIntoPlace(files, token);
    // The new files have been held since they were made; the old ones' hold
    // goes with the old files.
    std::unique_ptr<TDirectoryStore> store;
    if (dir)
        store = std::make_unique<TPairDirectory>(std::move(dir->Stream()), true);
    else
        store = std::make_unique<TEmbeddedDirectory>(imgPath, true);
    archive =
        TGTA3Archive(imgPath, {std::move(img.Stream()), std::move(store), {}}, std::move(table));
    return result;
}
