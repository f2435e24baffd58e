// A compacted copy of an archive: the same records in the same slots, their
// data packed without dead space in slot order, as the games stream it, into
// a new pair that appears whole or not at all. The source is only read.
#pragma once

#include "archive/PackedCopy.h"

#include <cstdint>
#include <stop_token>
#include <string>

class TGTA3Archive;

struct TRebuildResult {
    TArchiveKind Kind = TArchiveKind::Pair; // of the copy
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

// Writes the compacted copy of `source` (PackedCopy.h) as the new pair whose
// data file is `dataPath`. Refuses (ERebuildRefused) when a file of the new
// pair exists or appears meanwhile - nothing is ever replaced - and when a
// record reaches past the source's data file; (Exception) when the new data
// file would be its own directory file; and,
// before anything is written, when the copy would pass the largest data file
// a directory can address or the free space of the destination (EFileError,
// ENOSPC). Leftovers of rebuilds that were killed in the same folder are
// removed first. Throws the file layer's exceptions; the source is never
// changed.
TRebuildResult RebuildArchive(TGTA3Archive& source, const std::string& dataPath,
                              const TCopyProgress& progress = {}, std::stop_token stop = {});
// The same, the copy of the kind `kind` (the source's above): a single file
// at `dataPath` alone, or a pair. Converts an archive from one kind to the
// other.
TRebuildResult RebuildArchive(TGTA3Archive& source, const std::string& dataPath, TArchiveKind kind,
                              const TCopyProgress& progress = {}, std::stop_token stop = {});
