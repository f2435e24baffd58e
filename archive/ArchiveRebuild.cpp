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
#include <span>
#include <vector>

namespace {

// Copies are cut into pieces of this size so progress can be shown.
constexpr uint64_t ProgressStep = 64ull << 20;

[[noreturn]] void ThrowAlreadyExists(const std::string& path) {
    throw Exception(path + " already exists; rebuild writes only a new pair");
}

// The largest data file the 32-bit sector offsets of a record can address.
constexpr uint64_t MaxDataBytes = uint64_t{std::numeric_limits<uint32_t>::max()} * SectorSize;

// A run of source data copied whole into the new data file: records next to
// each other in slot order whose data lie next to each other in the source
// make one run, so data already in order is copied in one go.
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

// For each record (by place in slot order), the earliest record with exactly
// the same data range: the one whose copy it shares. Itself for most.
std::vector<uint32_t> SharedCopies(std::span<const TArchiveEntry> records) {
    std::vector<uint32_t> byRange(records.size());
    std::iota(byRange.begin(), byRange.end(), 0u);
    std::sort(byRange.begin(), byRange.end(), [&](uint32_t a, uint32_t b) {
        const TArchiveEntry& x = records[a];
        const TArchiveEntry& y = records[b];
        if (x.Offset != y.Offset || x.Size != y.Size)
            return x.Offset != y.Offset ? x.Offset < y.Offset : x.Size < y.Size;
        return a < b;
    });
    std::vector<uint32_t> copyOf(records.size());
    for (size_t i = 0; i < byRange.size(); ++i) {
        const TArchiveEntry& record = records[byRange[i]];
        const bool sameAsBefore = i > 0 && records[byRange[i - 1]].Offset == record.Offset &&
                                  records[byRange[i - 1]].Size == record.Size;
        copyOf[byRange[i]] = sameAsBefore ? copyOf[byRange[i - 1]] : byRange[i];
    }
    return copyOf;
}

// Lays the data out in slot order, each record's right after the one before
// it, so that the copy streams as the games read it (StreamingOrder.h).
// Records with exactly the same range share one copy; records that overlap
// only in part are copied each on its own. Records without data point where
// the next data begins, as an added empty file would.
Plan MakePlan(const TGTA3Archive& source) {
    Plan plan;
    const auto table = source.Table();
    plan.records.assign(table.begin(), table.end()); // in slot order, given new offsets below

    const uint64_t dataLength = source.DataLength();
    for (const TArchiveEntry& record : plan.records)
        if (record.Size != 0 && DataEnd(record) > dataLength)
            throw Exception("slot " + std::to_string(record.DirIndex) + " \"" +
                            PrintableName(NameText(record)) + "\" reaches past the end of " +
                            source.FileName() + " (run check); nothing was written");

    const std::vector<uint32_t> copyOf = SharedCopies(plan.records);
    for (uint32_t i = 0; i < plan.records.size(); ++i) {
        TArchiveEntry& record = plan.records[i];
        if (copyOf[i] != i) {
            record.Offset = plan.records[copyOf[i]].Offset; // already the new one
            continue;
        }
        const uint64_t begin = DataBegin(record);
        const uint64_t end = DataEnd(record);
        if (record.Size != 0) {
            if (!plan.runs.empty() && plan.runs.back().end == begin)
                plan.runs.back().end = end;
            else
                plan.runs.push_back({begin, end, plan.bytes});
        }
        record.Offset = static_cast<uint32_t>(plan.bytes / SectorSize); // fits: see below
        plan.bytes += end - begin;
        // Refused as soon as it is too large, before the sum could wrap.
        if (plan.bytes > MaxDataBytes)
            throw Exception("the compacted copy would be larger than the " +
                            std::to_string(MaxDataBytes) +
                            " bytes that a directory's sector offsets can address; nothing "
                            "was written");
    }
    return plan;
}

// Refuses before anything is written when the folder cannot hold the new pair.
// Where the system cannot tell (a folder that is not there, say), the writes
// themselves tell: the data file's room is reserved before any copying.
void RequireFreeSpace(const std::string& dataPath, const Plan& plan) {
    const uint64_t needed = plan.bytes + plan.records.size() * DirRecordSize;
    uint64_t free = 0;
    try {
        free = FreeSpace(FolderOf(dataPath));
    } catch (const EOSError&) {
        return;
    }
    if (needed <= free)
        return;
    const std::string reason = "not enough free space: the compacted copy needs " +
                               std::to_string(needed) + " bytes, " + std::to_string(free) +
                               " are free; nothing was written";
    throw EFileError(dataPath + ": " + reason, dataPath, ENOSPC, reason);
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
    RequireFreeSpace(dataPath, plan);
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
