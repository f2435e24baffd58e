#include "cli/NameOrder.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace {

struct Keyed {
    FoldedKey key;
    const TArchiveEntry* entry;
};

} // namespace

FoldedKey MakeFoldedKey(std::string_view text) {
    FoldedKey key{};
    for (size_t i = 0; i < text.size() && i < 24; ++i) {
        auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 'a' && byte <= 'z')
            byte -= 'a' - 'A';
        key[i / 8] |= uint64_t{byte} << (8 * (7 - i % 8));
    }
    return key;
}

void SortByName(std::vector<TArchiveEntry>& entries, bool descending) {
    std::vector<Keyed> keyed;
    keyed.reserve(entries.size());
    for (const TArchiveEntry& entry : entries)
        keyed.push_back({MakeFoldedKey(NameText(entry)), &entry});
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
