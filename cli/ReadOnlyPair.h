// An archive pair opened for reading only, for the commands that change
// nothing (list, check, rebuild's source). Both files are opened shared, which
// fails while the editor or another command holds them.
#pragma once

#include "archive/ArchiveEntry.h"
#include "platform/FileStream.h"

#include <cstdint>
#include <string>
#include <vector>

struct ReadOnlyPair {
    FileStream img;
    FileStream dir;
    uint64_t imgLength;
    uint64_t dirLength;
    std::vector<TArchiveEntry> entries; // in slot order; DirIndex = slot
};

// Opens the data file, then the directory file beside it, and reads every
// whole 32-byte record; a trailing piece shorter than a record is left out, as
// the archive object does. Throws EFOpenError / EReadError.
ReadOnlyPair OpenReadOnly(const std::string& dataFileName);

// Byte range of an entry's data in the data file, in 64 bits so that no
// record can wrap around.
inline uint64_t DataBegin(const TArchiveEntry& entry) {
    return uint64_t{entry.Offset} * SectorSize;
}
inline uint64_t DataEnd(const TArchiveEntry& entry) {
    return DataBegin(entry) + uint64_t{entry.Size} * SectorSize;
}
