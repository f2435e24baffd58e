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
static_assert(sizeof(TDirEntry) == 32);

struct TArchiveEntry {
    uint32_t Offset;
    uint32_t Size;
    char Name[24];
    int32_t DirIndex; // slot of the record in the directory file
    uint8_t Deleted;  // 1 between MarkDeleted and PurgeDeleted
};

// The stored name text: the bytes of Name up to the first zero byte, at most 24.
// Not trimmed.
inline std::string_view NameText(const TArchiveEntry& entry) {
    const char* end = entry.Name;
    while (end != entry.Name + sizeof entry.Name && *end != '\0')
        ++end;
    return {entry.Name, static_cast<size_t>(end - entry.Name)};
}

// The display name: the stored name text without leading and trailing bytes of
// value 1 to 32 (control characters and the blank).
std::string_view DisplayName(const TArchiveEntry& entry);

// Whether a display name can be used as a file name inside a chosen folder:
// not empty, not "." or "..", and without '/'. An entry's name must never
// choose where a file is written.
bool IsSafeFileName(std::string_view displayName);

// The name an added file gets: the part of its path after the last '/', bytes
// unchanged.
std::string_view EntryNameFromPath(std::string_view path);

// An entry comparison function: the sign of the result orders E1 against E2.
using TCompareFunc = int32_t (*)(const TArchiveEntry& E1, const TArchiveEntry& E2);
