#include "archive/ArchiveRebuild.h"

#include "archive/Gta3Archive.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/TemporaryFile.h"

#include <cerrno>
#include <optional>
#include <utility>

namespace {

[[noreturn]] void ThrowAlreadyExists(const std::string& path, TArchiveKind kind) {
    throw ERebuildRefused::PairExists(path, kind);
}

} // namespace

TRebuildResult RebuildArchive(TGTA3Archive& source, const std::string& dataPath,
                              const TCopyProgress& progress, std::stop_token stop) {
    return RebuildArchive(source, dataPath, source.Kind(), progress, std::move(stop));
}

TRebuildResult RebuildArchive(TGTA3Archive& source, const std::string& dataPath, TArchiveKind kind,
                              const TCopyProgress& progress, std::stop_token stop) {
    const bool pair = kind == TArchiveKind::Pair;
    const std::string dirPath = DirectoryFileName(dataPath);
    if (pair && dirPath == dataPath)
        throw Exception(dataPath + " would be its own directory file");
    const std::string folder = FolderOf(dataPath);
    RemoveStaleTemporariesQuietly(folder);
    for (const std::string& path : {dataPath, dirPath})
        if ((pair || path == dataPath) && PathExists(path))
            ThrowAlreadyExists(path, kind);

    const TPackPlan plan = PlanPackedCopy(source, kind);
    RequireFreeSpace(dataPath, plan);
    TRebuildResult result;
    result.Kind = kind;
    result.SourceDataLength = source.DataLength();
    result.DataLength = plan.bytes;
    const std::string token = NewTemporaryToken();
    TTemporaryFile img(dataPath, token);
    std::optional<TTemporaryFile> dir;
    if (pair)
        dir.emplace(dirPath, token);
    WritePackedCopy(source, plan, img.Stream(), dir ? &dir->Stream() : nullptr, progress, stop);

    // Linked in under the final names, which never replaces a file that
    // appeared there meanwhile. Until both temporary names are gone, a rebuild
    // killed here is undone by the next one in this folder.
    const auto link = [kind](TTemporaryFile& file) {
        try {
            file.LinkFinal();
        } catch (const EFileError& error) {
            if (error.SystemError() == EEXIST)
                ThrowAlreadyExists(file.FinalPath(), kind);
            throw;
        }
    };
    if (dir)
        link(*dir);
    try {
        link(img);
    } catch (...) {
        if (dir)
            RemoveFile(dirPath); // no directory file without its data file
        throw;
    }
    // The pair is whole and in place from here on: what fails now is told,
    // not a failure of the rebuild.
    try {
        if (dir)
            dir->RemoveTemporaryName();
        img.RemoveTemporaryName();
    } catch (const EFileError& error) {
        result.LeftoverProblem = error.Reason(); // the next rebuild here removes them
    }
    try {
        SyncFolder(folder);
    } catch (const EFileError& error) {
        result.FolderSynced = false;
        result.SyncProblem = error.Reason();
    }
    return result;
}
