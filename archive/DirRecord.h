// Encoding of the 32-byte directory record: little-endian integers, 24-byte name.
#pragma once

#include "archive/ArchiveEntry.h"

#include <cstring>
#include <string_view>

inline constexpr size_t DirRecordSize = 32;

inline uint32_t LoadLE32(const unsigned char* bytes) {
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
           uint32_t(bytes[3]) << 24;
}

inline void StoreLE32(unsigned char* bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

inline void DecodeRecord(const unsigned char* record, TArchiveEntry& entry) {
    entry.Offset = LoadLE32(record);
    entry.Size = LoadLE32(record + 4);
    std::memcpy(entry.Name, record + 8, sizeof entry.Name);
}

inline void EncodeRecord(const TArchiveEntry& entry, unsigned char* record) {
    StoreLE32(record, entry.Offset);
    StoreLE32(record + 4, entry.Size);
    std::memcpy(record + 8, entry.Name, sizeof entry.Name);
}

// Sets a name field: its first min(24, length) bytes, then zero bytes.
inline void SetName(char (&field)[24], std::string_view name) {
    std::memset(field, 0, sizeof field);
    std::memcpy(field, name.data(), std::min(name.size(), sizeof field));
}
