#include "archive/ArchiveRebuild.h"

#include "archive/Gta3Archive.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/TemporaryFile.h"

#include <cerrno>

namespace {

[[noreturn]] void ThrowAlreadyExists(const std::string& path) {
    throw ERebuildRefused::PairExists(path);
}

} // namespace

TRebuildResult RebuildArchive(TGTA3Archive& source, const std::string& dataPath,
                              const TCopyProgress& progress, std::stop_token stop) {
    const std::string dirPath = DirectoryFileName(dataPath);
    if (dirPath == dataPath)
        throw Exception(dataPath + " would be its own directory file");
    const std::string folder = FolderOf(dataPath);
    RemoveStaleTemporariesQuietly(folder);
    for (const std::string& path : {dataPath, dirPath})
        if (PathExists(path))
            ThrowAlreadyExists(path);

    const TPackPlan plan = PlanPackedCopy(source);
    RequireFreeSpace(dataPath, plan);
    TRebuildResult result;
    result.SourceDataLength = source.DataLength();
    result.DataLength = plan.bytes;
    const std::string token = NewTemporaryToken();
    TTemporaryFile img(dataPath, token);
    TTemporaryFile dir(dirPath, token);
    WritePackedCopy(source, plan, img.Stream(), dir.Stream(), progress, stop);

    // Linked in under the final names, which never replaces a file that
    // appeared there meanwhile. Until both temporary names are gone, a rebuild
    // killed here is undone by the next one in this folder.
    const auto link = [](TTemporaryFile& file) {
        try {
            file.LinkFinal();
        } catch (const EFileError& error) {
            if (error.SystemError() == EEXIST)
                ThrowAlreadyExists(file.FinalPath());
            throw;
        }
    };
    link(dir);
    try {
        link(img);
    } catch (...) {
        RemoveFile(dirPath); // no directory file without its data file
        throw;
    }
    // The pair is whole and in place from here on: what fails now is told,
    // not a failure of the rebuild.
    try {
        dir.RemoveTemporaryName();
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
