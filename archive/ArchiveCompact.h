// Compacting in place: the open archive's files (a pair, or a single file)
// rewritten as its compacted copy (PackedCopy.h) of the same kind under the
// same names, so that its user keeps working on it. The new files are written
// whole beside the old ones and then put in their place as one change
// (FileSwap.h): after a failure or a kill at any point, the next opening finds
// the old archive or the new one, never a mix. A single file's directory
// cannot be renamed apart from its data, so it is compacted the same way:
// the whole file anew.
#pragma once

#include "archive/Gta3Archive.h"
#include "archive/PackedCopy.h"

#include <cstdint>
#include <stop_token>

struct TCompactResult {
    uint64_t OldDataLength = 0;
    uint64_t DataLength = 0; // of the new data file
    // What failed once the new pair had taken the old one's place: it is in
    // place, or is put there by the next opening.
    TWarnings Warnings;
};

// Compacts `archive`, which must be open for writing, in place; afterwards
// `archive` is the new pair, held as the old one was - nobody else can open
// the pair in between. Refuses before anything is written (Exception) where
// renaming new files over the pair's would not keep it as its user knows it:
// a file of the pair that is a symbolic link, has other names or belongs to
// another user (rebuild writes a compacted copy instead); where a swap marker
// stands in the way; and where PlanPackedCopy or RequireFreeSpace refuse.
// Throws the file layer's exceptions while the old pair still stands, with
// `archive` unchanged.
TCompactResult CompactArchive(TGTA3Archive& archive, const TCopyProgress& progress = {},
                              std::stop_token stop = {});
