// The directory file as stored: bare 32-byte records, each an Offset and a
// Size in sectors (little-endian) and a 24-byte name. The only code that
// encodes or decodes records.
#pragma once

#include "archive/ArchiveEntry.h"
#include "platform/FileStream.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

inline constexpr size_t DirRecordSize = 32;
static_assert(sizeof(TDirEntry) == DirRecordSize);

// The most records a directory may hold: the table's index is 32-bit signed.
inline constexpr uint64_t MaxRecords = INT32_MAX;

inline uint32_t LoadLE32(const unsigned char* bytes) {
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
           uint32_t(bytes[3]) << 24;
}
inline void StoreLE32(unsigned char* bytes, uint32_t value) {
    for (size_t i = 0; i < 4; ++i)
        bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

void DecodeRecord(const unsigned char* record, TArchiveEntry& entry);
void EncodeRecord(const TArchiveEntry& entry, unsigned char* record);
// Sets a name field: its first min(24, length) bytes, then zero bytes.
void SetName(char (&field)[24], std::string_view name);
// An entry with these fields, not deleted.
TArchiveEntry MakeEntry(uint32_t offset, uint32_t size, std::string_view name, int32_t slot = 0);

// Every whole record of the directory file, in slot order (DirIndex = slot);
// a trailing piece shorter than a record is not one. Refuses a directory of
// more than MaxRecords records (EFOpenError). Throws EReadError.
std::vector<TArchiveEntry> ReadDirectory(FileStream& dir);
// Writes the entries as consecutive records from slot `firstSlot` on.
// Throws EWriteError.
void WriteRecords(FileStream& dir, uint64_t firstSlot, std::span<const TArchiveEntry> entries);
// The entries' records as stored, one after another.
std::string EncodeRecords(std::span<const TArchiveEntry> entries);
