// The later game's single-file archive as stored: bytes 0-3 "VER2", bytes
// 4-7 the record count N (u32, little-endian), then N records of 32 bytes
// (u32 Offset in sectors from the start of the file, u16 Size in sectors,
// u16 size in archive, 24-byte name), then the data in whole sectors at or
// after the first sector boundary past the records. The only code that
// encodes or decodes this header and these records.
#pragma once

#include "archive/ArchiveEntry.h"
#include "platform/FileStream.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::string_view SingleFileSignature = "VER2";
inline constexpr uint64_t SingleFileHeaderSize = 8;
// Sizes are 16-bit: an entry of 65,536 sectors (128 MiB) or more cannot be stored.
inline constexpr uint32_t MaxSingleFileSectors = 0xFFFF;

// Whether a file whose first bytes are `firstBytes` is a single-file archive:
// the signature decides, whatever lies beside the file.
bool HasSingleFileSignature(std::string_view firstBytes);

// The byte where record `slot` begins; DirectoryEnd(N) is where N records end.
constexpr uint64_t RecordAt(uint64_t slot) {
    return SingleFileHeaderSize + slot * 32;
}
constexpr uint64_t DirectoryEnd(uint64_t records) {
    return RecordAt(records);
}

void DecodeSingleFileRecord(const unsigned char* record, TArchiveEntry& entry);
// Throws when the entry's Size does not fit the 16-bit field (never wraps).
void EncodeSingleFileRecord(const TArchiveEntry& entry, unsigned char* record);
// Refuses (Exception naming `name`) data of `sectors` sectors, which a record
// of this kind cannot hold.
void CheckSingleFileSize(std::string_view name, uint64_t sectors);

// The directory as read from a file, however damaged.
struct TSingleFileDirectory {
    std::vector<TArchiveEntry> Records; // the whole records present, slot order
    uint64_t CountedRecords = 0;        // what the header says (0 when it is cut short)
    bool HeaderCut = false;             // the file ends inside the 8-byte header
};
// Reads the header and the records the file holds: a count that runs past the
// end gives the whole records present, no more (memory follows the file's
// length, never the count). The file must start with the signature. Throws
// EReadError, and EFOpenError for more than MaxRecords records.
TSingleFileDirectory ReadSingleFileDirectory(FileStream& file);
// The same as the file reads once `patch` is written at byte `patchAt` (a
// journal not yet written in place).
TSingleFileDirectory ReadSingleFileDirectory(FileStream& file, uint64_t patchAt,
                                             std::string_view patch);

// The header and `records` as stored, zero bytes after them up to `length`
// bytes (at least DirectoryEnd(records.size())).
std::string EncodeSingleFileDirectory(std::span<const TArchiveEntry> records, uint64_t length);

// Where the directory of `records` records may end at most before it needs
// more room: new and compacted archives leave a quarter of their record count
// and at least 512 records (16 KiB) of spare room, rounded up to whole
// sectors. Adding records is the common change: a batch of a few hundred
// models then finds room without moving any data, and a large archive grows
// its room in steps of a quarter, so the data moved for room over many adds
// stays a small share of what is added.
uint64_t RoomFor(uint64_t records);
