// A 64-bit checksum of a few bytes written together: enough to tell a record
// that a power cut left with stale blocks from the one that was written.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

// FNV-1a over 64-bit words.
inline uint64_t Checksum64(std::string_view bytes) {
    uint64_t hash = 0xCBF29CE484222325u;
    for (size_t at = 0; at < bytes.size(); at += 8) {
        uint64_t word = 0;
        std::memcpy(&word, bytes.data() + at, std::min<size_t>(8, bytes.size() - at));
        hash = (hash ^ word) * 0x100000001B3u;
    }
    return hash ^ (hash >> 29);
}
