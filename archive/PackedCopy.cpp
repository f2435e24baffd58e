#include "archive/PackedCopy.h"

#include "archive/Cancel.h"
#include "archive/DirectoryCodec.h"
#include "archive/Gta3Archive.h"
#include "archive/PrintableName.h"
#include "archive/SingleFileFormat.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <numeric>
#include <span>

namespace {

// Copies are cut into pieces of this size so progress can be shown and a stop
// is heeded within a fraction of a second.
constexpr uint64_t ProgressStep = 4ull << 20;
// The data copied is sent to disk while the copy goes on, and put on disk now
// and then: left to the end, putting a gibibyte on disk takes seconds that no
// stop could cut short. The flushes matter even so: a file system may make a
// flush wait for other files' data written before (a freshly written source),
// which the copy's own write-behind does not wait for.
constexpr uint64_t WriteBehindStep = 16ull << 20;
constexpr uint64_t FlushStep = 128ull << 20;

// The largest data file the 32-bit sector offsets of a record can address.
constexpr uint64_t MaxDataBytes = uint64_t{std::numeric_limits<uint32_t>::max()} * SectorSize;

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

} // namespace

ERebuildRefused::ERebuildRefused(const std::string& message, TWhy why, std::string path,
                                 int32_t slot, std::string name)
    : Exception(message), why_(why), path_(std::move(path)), slot_(slot), name_(std::move(name)) {}

ERebuildRefused ERebuildRefused::PairExists(const std::string& path, TArchiveKind kind) {
    return {path + " already exists; rebuild writes only a new " +
                (kind == TArchiveKind::Pair ? "pair" : "archive"),
            TWhy::PairExists,
            path,
            -1,
            {}};
}

ERebuildRefused ERebuildRefused::PastEnd(const std::string& dataPath, const TArchiveEntry& record) {
    const std::string name(NameText(record));
    return {"slot " + std::to_string(record.DirIndex) + " \"" + PrintableName(name) +
                "\" reaches past the end of " + dataPath + " (run check); nothing was written",
            TWhy::PastEnd, dataPath, record.DirIndex, name};
}

TPackPlan PlanPackedCopy(const TGTA3Archive& source, TArchiveKind kind) {
    TPackPlan plan;
    plan.kind = kind;
    const auto table = source.Table();
    plan.records.assign(table.begin(), table.end()); // in slot order, given new offsets below

    const uint64_t dataLength = source.DataLength();
    for (TArchiveEntry& record : plan.records) {
        if (record.Size != 0 && DataEnd(record) > dataLength)
            throw ERebuildRefused::PastEnd(source.FileName(), record);
        if (kind == TArchiveKind::SingleFile)
            CheckSingleFileSize(PrintableName(NameText(record)), record.Size);
        else
            record.SizeInArchive = 0; // a pair's record has no such field
    }
    if (kind == TArchiveKind::SingleFile)
        plan.dataStart = plan.bytes = RoomFor(plan.records.size());

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

void RequireFreeSpace(const std::string& dataPath, const TPackPlan& plan) {
    const uint64_t needed =
        plan.bytes + (plan.kind == TArchiveKind::Pair ? plan.records.size() * DirRecordSize : 0);
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

void WritePackedCopy(TGTA3Archive& source, const TPackPlan& plan, FileStream& img, FileStream* dir,
                     const TCopyProgress& progress, std::stop_token stop) {
    img.Reserve(plan.bytes);
    if (plan.kind == TArchiveKind::SingleFile) {
        const std::string directory = EncodeSingleFileDirectory(plan.records, plan.dataStart);
        img.Seek(0);
        img.Write(directory.data(), directory.size());
    }
    const uint64_t total = plan.bytes - plan.dataStart;
    uint64_t done = 0;
    uint64_t sentToDisk = 0; // write-back has been started for the bytes before this
    for (const TCopyRun& run : plan.runs) {
        img.Seek(run.newBegin);
        for (uint64_t at = run.begin; at < run.end;) {
            StopIfAsked(stop);
            const uint64_t piece = std::min(run.end - at, ProgressStep);
            source.CopyData(at, piece, img);
            at += piece;
            done += piece;
            if (done % WriteBehindStep < piece) { // every FlushStep is one too
                if (done % FlushStep < piece)
                    img.Flush();
                else
                    img.WriteBehind(sentToDisk, img.Position());
                sentToDisk = img.Position();
            }
            if (progress)
                progress(done, total);
        }
    }
    StopIfAsked(stop);
    if (dir)
        WriteRecords(*dir, 0, plan.records);
    img.Flush();
    if (dir)
        dir->Flush();
    StopIfAsked(stop); // the last moment before the copy is put in place
}
