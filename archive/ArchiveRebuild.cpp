#include "archive/ArchiveRebuild.h"

#include "archive/DirectoryCodec.h"
#include "archive/Gta3Archive.h"
#include "archive/PrintableName.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/TemporaryFile.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <numeric>

namespace {

// Copies are cut into pieces of this size so progress can be shown.
constexpr uint64_t ProgressStep = 64ull << 20;

[[noreturn]] void ThrowAlreadyExists(const std::string& path) {
    throw Exception(path + " already exists; rebuild writes only a new pair");
}

// A run of source data that the new data file takes over whole: records that
// overlap or touch share one run, so shared bytes are copied once.
struct Run {
    uint64_t begin;
    uint64_t end;
    uint64_t newBegin;
};

// The records in slot order with their new offsets, and the runs to copy.
struct Plan {
    std::vector<TArchiveEntry> records;
    std::vector<Run> runs;
    uint64_t bytes = 0;
};

Plan MakePlan(const TGTA3Archive& source) {
    Plan plan;
    const auto table = source.Table();
    plan.records.assign(table.begin(), table.end());
    std::sort(
        plan.records.begin(), plan.records.end(),
        [](const TArchiveEntry& a, const TArchiveEntry& b) { return a.DirIndex < b.DirIndex; });

    const uint64_t dataLength = source.DataLength();
    std::vector<uint32_t> byData;
    for (uint32_t i = 0; i < plan.records.size(); ++i) {
        const TArchiveEntry& record = plan.records[i];
        if (record.Size == 0)
            continue;
        if (DataEnd(record) > dataLength)
            throw Exception("slot " + std::to_string(record.DirIndex) + " \"" +
                            PrintableName(NameText(record)) + "\" reaches past the end of " +
                            source.FileName() + " (run check); nothing was written");
        byData.push_back(i);
    }
    std::sort(byData.begin(), byData.end(), [&](uint32_t a, uint32_t b) {
        return plan.records[a].Offset < plan.records[b].Offset;
    });
    for (uint32_t i : byData) {
        TArchiveEntry& record = plan.records[i];
        if (plan.runs.empty() || DataBegin(record) > plan.runs.back().end) {
            plan.runs.push_back({DataBegin(record), DataEnd(record), plan.bytes});
            plan.bytes += DataEnd(record) - DataBegin(record);
        }
        Run& run = plan.runs.back();
        if (DataEnd(record) > run.end) {
            plan.bytes += DataEnd(record) - run.end;
            run.end = DataEnd(record);
        }
        const uint64_t newBegin = run.newBegin + (DataBegin(record) - run.begin);
        record.Offset = static_cast<uint32_t>(newBegin / SectorSize);
    }
    if (plan.bytes / SectorSize > std::numeric_limits<uint32_t>::max())
        throw Exception("the compacted data would not fit the 32-bit sector offsets");
    // Records without data point at the end of the new data, as an added
    // empty file would.
    for (TArchiveEntry& record : plan.records)
        if (record.Size == 0)
            record.Offset = static_cast<uint32_t>(plan.bytes / SectorSize);
    return plan;
}

void CopyRuns(TGTA3Archive& source, const Plan& plan, FileStream& img,
              const TCopyProgress& progress) {
    uint64_t done = 0;
    for (const Run& run : plan.runs) {
        img.Seek(run.newBegin);
        for (uint64_t at = run.begin; at < run.end;) {
            const uint64_t piece = std::min(run.end - at, ProgressStep);
            source.CopyData(at, piece, img);
            at += piece;
            done += piece;
            if (progress)
                progress(done, plan.bytes);
        }
    }
}

} // namespace

TRebuildResult RebuildArchive(TGTA3Archive& source, const std::string& dataPath,
                              const TCopyProgress& progress) {
    const std::string dirPath = DirectoryFileName(dataPath);
    if (dirPath == dataPath)
        throw Exception(dataPath + " would be its own directory file");
    const std::string folder = FolderOf(dataPath);
    RemoveStaleTemporariesQuietly(folder);
    for (const std::string& path : {dataPath, dirPath})
        if (PathExists(path))
            ThrowAlreadyExists(path);

    const Plan plan = MakePlan(source);
    TRebuildResult result;
    result.SourceDataLength = source.DataLength();
    result.DataLength = plan.bytes;
    const std::string token = NewTemporaryToken();
    TTemporaryFile img(dataPath, token);
    TTemporaryFile dir(dirPath, token);
    // Room for all of it first, so a full disk fails before any copying.
    img.Stream().Reserve(plan.bytes);
    CopyRuns(source, plan, img.Stream(), progress);
    WriteRecords(dir.Stream(), 0, plan.records);
    img.Stream().Flush();
    dir.Stream().Flush();

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
