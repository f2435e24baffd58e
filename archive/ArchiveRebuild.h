// A compacted copy of an archive: the same records in the same slots, their
// data packed without dead space in slot order, as the games stream it, into
// a new pair that appears whole or not at all. The source is only read.
#pragma once

#include "platform/Errors.h"

#include <cstdint>
#include <functional>
#include <string>

class TGTA3Archive;
struct TArchiveEntry;

// A compacted copy refused before anything was written: a file of the new
// pair exists, or a record reaches past the end of the source's data file.
// what() says so in the command line's words; the window words it in its own.
class ERebuildRefused : public Exception {
public:
    enum class TWhy { PairExists, PastEnd };
    // The file of the new pair that exists.
    static ERebuildRefused PairExists(const std::string& path);
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

struct TRebuildResult {
    uint64_t SourceDataLength = 0;
    uint64_t DataLength = 0; // of the new data file
    // The new pair is complete and in place in either case; when its folder
    // could not be put on disk, a power cut may still take its names away.
    bool FolderSynced = true;
    std::string SyncProblem; // the reason, when it could not
    // When a temporary name could not be removed (the next rebuild in the
    // folder removes it), the reason.
    std::string LeftoverProblem;
};

// Bytes copied so far of the total.
using TCopyProgress = std::function<void(uint64_t done, uint64_t total)>;

// Writes the compacted copy of `source` as the new pair whose data file is
// `dataPath`: each record's data right after the data of the record before
// it in slot order. Records with exactly the same range share one copy;
// records that overlap in part are copied each on its own. Refuses
// (ERebuildRefused) when a file of the new pair exists or appears meanwhile -
// nothing is ever replaced - and when a record reaches past the source's data
// file; (Exception) when the new data file would be its own directory file;
// and, before anything is written, when the copy would pass the largest data
// file a directory can address or the free space of the destination
// (EFileError, ENOSPC). Leftovers of rebuilds that were killed in the same
// folder are removed first. Throws the file layer's exceptions; the source is
// never changed.
TRebuildResult RebuildArchive(TGTA3Archive& source, const std::string& dataPath,
                              const TCopyProgress& progress = {});
