#include "cli/NameOrder.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace {

// The name text with a-z folded to A-Z and every byte after its end zeroed,
// read as three big-endian words: comparing the words compares the folded
// bytes in order, and the end of the shorter name (a zero byte) sorts first,
// which is CompareByName's order.
struct Keyed {
    std::array<uint64_t, 3> key;
    const TArchiveEntry* entry;
};

std::array<uint64_t, 3> NameKey(const TArchiveEntry& entry) {
    std::array<uint64_t, 3> key{};
    for (size_t i = 0; i < sizeof entry.Name; ++i) {
        auto byte = static_cast<unsigned char>(entry.Name[i]);
        if (byte == 0)
            break;
        if (byte >= 'a' && byte <= 'z')
            byte -= 'a' - 'A';
        key[i / 8] |= uint64_t{byte} << (8 * (7 - i % 8));
    }
    return key;
}

} // namespace

void SortByName(std::vector<TArchiveEntry>& entries, bool descending) {
    std::vector<Keyed> keyed;
    keyed.reserve(entries.size());
    for (const TArchiveEntry& entry : entries)
        keyed.push_back({NameKey(entry), &entry});
    std::sort(keyed.begin(), keyed.end(), [descending](const Keyed& a, const Keyed& b) {
        if (a.key != b.key)
            return descending ? b.key < a.key : a.key < b.key;
        return a.entry->DirIndex < b.entry->DirIndex;
    });
    std::vector<TArchiveEntry> sorted;
    sorted.reserve(entries.size());
    for (const Keyed& item : keyed)
        sorted.push_back(*item.entry);
    entries = std::move(sorted);
}
