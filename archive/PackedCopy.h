// The compacted copy of an archive's data, as rebuild and compaction in place
// both write it: every record in the same slot, its data right after the data
// of the record before it in slot order, as the games stream it
// (StreamingOrder.h), with no dead space.
#pragma once

#include "archive/ArchiveEntry.h"
#include "archive/DirectoryStore.h"
#include "platform/Errors.h"

#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

class FileStream;
class TGTA3Archive;

// A compacted copy refused before anything was written: a file of the new
// pair exists, or a record reaches past the end of the source's data file.
// what() says so in the command line's words; the window words it in its own.
// Rebuild and compaction in place both refuse so.
class ERebuildRefused : public Exception {
public:
    enum class TWhy { PairExists, PastEnd };
    // The file of the new archive, of the kind given, that exists.
    static ERebuildRefused PairExists(const std::string& path,
                                      TArchiveKind kind = TArchiveKind::Pair);
    // The record reaching past the end of the data file at `dataPath`.
    static ERebuildRefused PastEnd(const std::string& dataPath, const TArchiveEntry& record);

    TWhy Why() const { return why_; }
    // The file that exists, or the source's data file.
    const std::string& Path() const { return path_; }
    // Of PastEnd: the record's slot and stored name text.
    int32_t Slot() const { return slot_; }
    const std::string& Name() const { return name_; }

private:
    ERebuildRefused(const std::string& message, TWhy why, std::string path, int32_t slot,
                    std::string name);
    TWhy why_;
    std::string path_;
    int32_t slot_;
    std::string name_;
};

// Bytes copied so far of the total.
using TCopyProgress = std::function<void(uint64_t done, uint64_t total)>;

// A run of source data copied whole into the new data file: records next to
// each other in slot order whose data lie next to each other in the source
// make one run, so data already in order is copied in one go.
struct TCopyRun {
    uint64_t begin;
    uint64_t end;
    uint64_t newBegin;
};

// The records in slot order with their new offsets, and the runs to copy.
struct TPackPlan {
    TArchiveKind kind = TArchiveKind::Pair; // of the copy
    std::vector<TArchiveEntry> records;
    std::vector<TCopyRun> runs;
    // Where the data begins: 0 in a pair's data file; in a single file past
    // the header, the records and their spare room (RoomFor).
    uint64_t dataStart = 0;
    uint64_t bytes = 0; // of the new data file
};

// Lays out the copy of `source`. Records with exactly the same range share
// one copy; records that overlap only in part are copied each on its own;
// records without data point where the next data begins, as an added empty
// file would. The copy is of the kind `kind`, whatever the source's: a single
// file leaves the spare room of a new one after its directory. Refuses, before
// anything is written, a record that reaches past the source's data file
// (ERebuildRefused), a copy larger than a directory's sector offsets can
// address and, for a single file, an entry larger than its records can hold
// (Exception, naming the entry).
TPackPlan PlanPackedCopy(const TGTA3Archive& source, TArchiveKind kind);
// Refuses (EFileError, ENOSPC) before anything is written when the folder of
// `dataPath` cannot hold the new pair. Where the system cannot tell (a folder
// that is not there, say), the writes themselves tell.
void RequireFreeSpace(const std::string& dataPath, const TPackPlan& plan);
// Writes the copy into the empty file `img` and, for a pair, the empty
// directory file `dir` (nothing for a single file), and puts them on disk.
// The data file's room is reserved first, so a full disk fails before any
// copying. Throws the file layer's exceptions, and ECancelled (Cancel.h)
// when `stop` is asked to stop, which it asks before each run and each piece.
void WritePackedCopy(TGTA3Archive& source, const TPackPlan& plan, FileStream& img, FileStream* dir,
                     const TCopyProgress& progress, std::stop_token stop = {});
