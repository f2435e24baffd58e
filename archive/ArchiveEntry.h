// The directory record as stored, and one entry of the archive's table in memory.
#pragma once

#include <cstdint>
#include <string_view>

// The unit of sector offsets and sizes.
inline constexpr uint32_t SectorSize = 2048;

// One 32-byte directory record: Offset and Size in sectors (little-endian on disk)
// and a 24-byte name, zero-filled, without terminator when 24 long.
struct TDirEntry {
    uint32_t Offset;
    uint32_t Size;
    char Name[24];
};

struct TArchiveEntry {
    uint32_t Offset;
    uint32_t Size;
    char Name[24];
    int32_t DirIndex; // slot of the record in the directory file
    uint8_t Deleted;  // 1 between MarkDeleted and PurgeDeleted
    // A single-file archive's second size field, kept as stored (0 in the
    // game's own files; when not 0 the game reads that many sectors instead
    // of Size). Always 0 in a pair.
    uint16_t SizeInArchive;
};
// The table's memory per entry stays what it was.
static_assert(sizeof(TArchiveEntry) == 40);

// The stored name text: the bytes of Name up to the first zero byte, at most 24.
// Not trimmed. The view points into `entry`, so it cannot be taken of a
// temporary copy.
inline std::string_view NameText(const TArchiveEntry& entry) {
    const char* end = entry.Name;
    while (end != entry.Name + sizeof entry.Name && *end != '\0')
        ++end;
    return {entry.Name, static_cast<size_t>(end - entry.Name)};
}
std::string_view NameText(const TArchiveEntry&&) = delete;

// The display name: the stored name text without leading and trailing bytes of
// value 1 to 32 (control characters and the blank). A view into `entry`.
std::string_view DisplayName(const TArchiveEntry& entry);
// The same of a stored name text given as such; a view into `storedName`.
std::string_view DisplayText(std::string_view storedName);
std::string_view DisplayName(const TArchiveEntry&&) = delete;

// Whether a stored name fills all 24 bytes with no zero byte after it: a game
// that copies names as C strings reads past the end of such a name.
inline bool NameUnterminated(const TArchiveEntry& entry) {
    return NameText(entry).size() == sizeof entry.Name;
}

// Byte range of an entry's data in the data file, in 64 bits so that no
// record can wrap around.
inline uint64_t DataBegin(const TArchiveEntry& entry) {
    return uint64_t{entry.Offset} * SectorSize;
}
inline uint64_t DataEnd(const TArchiveEntry& entry) {
    return DataBegin(entry) + uint64_t{entry.Size} * SectorSize;
}

// Whether a display name can be used as a file name inside a chosen folder:
// not empty, not "." or "..", and without '/'. An entry's name must never
// choose where a file is written.
bool IsSafeFileName(std::string_view displayName);

// The name an added file gets: the part of its path after the last '/', bytes
// unchanged.
std::string_view EntryNameFromPath(std::string_view path);

// An entry comparison function: the sign of the result orders E1 against E2.
using TCompareFunc = int32_t (*)(const TArchiveEntry& E1, const TArchiveEntry& E2);
