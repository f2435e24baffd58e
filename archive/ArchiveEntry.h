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
// Inline, as NameText: a filter asks it of every entry at each keystroke.
inline std::string_view DisplayText(std::string_view storedName);
inline std::string_view DisplayName(const TArchiveEntry& entry) {
    return DisplayText(NameText(entry));
}
std::string_view DisplayName(const TArchiveEntry&&) = delete;
// The same of a stored name text given as such; a view into `storedName`.
inline std::string_view DisplayText(std::string_view storedName) {
    const auto trimmed = [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 1 && byte <= 32;
    };
    while (!storedName.empty() && trimmed(storedName.front()))
        storedName.remove_prefix(1);
    while (!storedName.empty() && trimmed(storedName.back()))
        storedName.remove_suffix(1);
    return storedName;
}

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

// Whether a display name can be used as a file name inside a chosen folder
// on every system: not empty, not "." or "..", and without '/'. An entry's
// name must never choose where a file is written.
bool IsSafeFileNameAnywhere(std::string_view displayName);
// Whether such a name is also one Windows takes as a plain file name, rather
// than refusing it or reading it as something else: none of \ : < > " | ? *
// (a ':' names a stream of another file) or control characters, no device
// name (CON, PRN, AUX, NUL, COM0-9, LPT0-9, with any extension), and no dot
// or blank at the end (Windows would drop it).
bool IsSafeWindowsFileName(std::string_view displayName);
// The rule of the system the program runs on: on Windows both of the above.
bool IsSafeFileName(std::string_view displayName);

// The name an added file gets: the part of its path after the last '/', bytes
// unchanged.
std::string_view EntryNameFromPath(std::string_view path);

// An entry comparison function: the sign of the result orders E1 against E2.
using TCompareFunc = int32_t (*)(const TArchiveEntry& E1, const TArchiveEntry& E2);
