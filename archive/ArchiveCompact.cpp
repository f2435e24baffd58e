#include "archive/ArchiveCompact.h"

#include "archive/PairDirectory.h"

#include "platform/Errors.h"
#include "platform/FileSwap.h"
#include "platform/FileSystem.h"
#include "platform/TemporaryFile.h"

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
    const std::string dirPath = DirectoryFileName(imgPath);
    if (archive.IsReadOnly())
        throw Exception(imgPath + " is open for reading only");
    // Its copy would be a pair: a directory file beside it would be taken
    // for its own, and the single file written over as a pair's data.
    if (archive.Kind() == TArchiveKind::SingleFile)
        throw Exception(imgPath + " is a single-file archive, which cannot be compacted in "
                                  "place yet; rebuild it into a new pair instead");
    const TFileInfo oldImg = ReplaceableFile(imgPath);
    const TFileInfo oldDir = ReplaceableFile(dirPath);
    // The opening settled a marker of ours: one that stands is someone else's.
    if (const std::string marker = SwapMarkerPath(imgPath); PathExists(marker))
        Refuse(marker, "a file of another compaction stands there (remove it if it is not "
                       "yours)");
    RemoveStaleTemporariesQuietly(FolderOf(imgPath));

    TCompactResult result;
    result.OldDataLength = archive.DataLength();
    TPackPlan plan = PlanPackedCopy(archive);
    RequireFreeSpace(imgPath, plan);
    result.DataLength = plan.bytes;

    const std::string token = NewTemporaryToken();
    TTemporaryFile img(imgPath, token);
    TTemporaryFile dir(dirPath, token);
    img.Stream().CopyAttributesFrom(oldImg);
    dir.Stream().CopyAttributesFrom(oldDir);
    WritePackedCopy(archive, plan, img.Stream(), dir.Stream(), progress, stop);
    std::vector<TArchiveEntry> table = std::move(plan.records);
    plan = {};

    TTemporaryFile* const files[] = {&img, &dir};
    result.Warnings = SwapIntoPlace(files, token);
    // The new files have been held since they were made; the old pair's hold
    // goes with the old files.
    archive = TGTA3Archive(imgPath,
                           {std::move(img.Stream()),
                            std::make_unique<TPairDirectory>(std::move(dir.Stream()), true),
                            {}},
                           std::move(table));
    return result;
}
