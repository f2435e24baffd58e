// SortedSlots and SortSlots: the list's three orders sorted by keys computed
// once per entry.
#include "platform/LargeMemory.h"
#include "sorting/SortFunctions.h"
#include "sorting/SortKeys.h"
#include "sorting/TypeText.h"

#include <algorithm>
#include <numeric>
#include <unordered_map>
#include <vector>

namespace {

// The first 16 bytes of a Name field, folded, as two big-endian words.
TSortKey FoldedNameWords(const TArchiveEntry& entry) {
    const TFoldedKey key = FoldedKey(NameText(entry));
    return {key[0], key[1]};
}

// Entries whose keys are equal: the whole name decides, then the slot.
bool NameThenSlotBefore(const TArchiveEntry& a, uint32_t slotA, const TArchiveEntry& b,
                        uint32_t slotB, bool descending) {
    const int32_t byName = CompareText(NameText(a), NameText(b));
    if (byName != 0)
        return descending ? byName > 0 : byName < 0;
    return slotA < slotB;
}

// A type text as a hashable value: whether there is an extension, and its
// body (at most 23 bytes), folded.
struct TypeId {
    TFoldedKey body;
    uint32_t length;
    bool hasExtension;
    bool operator==(const TypeId&) const = default;
};

struct TypeIdHash {
    size_t operator()(const TypeId& id) const {
        uint64_t h = id.length * 0x9E3779B97F4A7C15u + id.hasExtension;
        for (uint64_t word : id.body)
            h = (h ^ word) * 0x100000001B3u;
        return static_cast<size_t>(h ^ (h >> 29));
    }
};

TypeId TypeIdOf(const TTypeText& text) {
    return {FoldedKey(text.Body()), static_cast<uint32_t>(text.Body().size()), text.HasExtension()};
}

// The rank of every type text that occurs in the table, in the type order.
class TypeRanks {
public:
    explicit TypeRanks(std::span<const TArchiveEntry> table) {
        // The texts point into the table, which stays as it is meanwhile.
        std::vector<std::pair<TypeId, TTypeText>> distinct;
        for (const TArchiveEntry& entry : table) {
            const TTypeText text = TypeTextOf(entry);
            const TypeId id = TypeIdOf(text);
            if (ranks_.emplace(id, 0).second)
                distinct.emplace_back(id, text);
        }
        std::sort(distinct.begin(), distinct.end(), [](const auto& a, const auto& b) {
            return CompareTypeTexts(a.second, b.second) < 0;
        });
        for (size_t rank = 0; rank < distinct.size(); ++rank)
            ranks_[distinct[rank].first] = static_cast<uint32_t>(rank);
    }
    uint32_t RankOf(const TArchiveEntry& entry) const {
        return ranks_.at(TypeIdOf(TypeTextOf(entry)));
    }
    uint32_t Count() const { return static_cast<uint32_t>(ranks_.size()); }

private:
    std::unordered_map<TypeId, uint32_t, TypeIdHash> ranks_;
};

// Puts `slots` in the order of a key computed once per entry: smaller keys
// first, entries of equal keys ordered by `tieBefore`.
template <typename KeyOf, typename TieBefore>
void SortByKey(std::span<const TArchiveEntry> table, std::span<uint32_t> slots, KeyOf keyOf,
               TieBefore tieBefore) {
    using Key = decltype(keyOf(table.front()));
    struct Keyed {
        Key key;
        uint32_t slot;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(slots.size());
    PreferLargePages(keyed);
    const bool inSlotOrder = std::is_sorted(slots.begin(), slots.end());
    if (inSlotOrder || slots.size() < table.size() / 2) {
        for (const uint32_t slot : slots)
            keyed.push_back({keyOf(table[slot]), slot});
    } else {
        // Most of the table, in another order: the keys are computed as the
        // table lies in memory, then taken in the order given, rather than
        // read from all over it. Given the rows of a list, that order is often
        // nearly the sorted one (the other direction, a few entries changed),
        // which the sort then gets through quickly.
        std::vector<Key> keys;
        keys.reserve(table.size());
        PreferLargePages(keys);
        for (const TArchiveEntry& entry : table)
            keys.push_back(keyOf(entry));
        for (const uint32_t slot : slots)
            keyed.push_back({keys[slot], slot});
    }
    std::sort(keyed.begin(), keyed.end(), [&](const Keyed& a, const Keyed& b) {
        if (a.key != b.key)
            return a.key < b.key;
        return tieBefore(table[a.slot], a.slot, table[b.slot], b.slot);
    });
    for (size_t i = 0; i < keyed.size(); ++i)
        slots[i] = keyed[i].slot;
}

} // namespace

TSortKey NameSortKey(const TArchiveEntry& entry, bool descending) {
    const TSortKey key = FoldedNameWords(entry);
    return descending ? TSortKey{~key.primary, ~key.secondary} : key;
}

// A 32-bit primary key above the first twelve name bytes, folded: names that
// share a type or a size usually differ within them.
TSortKey WithNameBelow(uint32_t primary, const TArchiveEntry& entry) {
    const TSortKey name = FoldedNameWords(entry);
    return {uint64_t{primary} << 32 | name.primary >> 32,
            name.primary << 32 | name.secondary >> 32};
}

TSortKey SizeSortKey(const TArchiveEntry& entry, bool descending) {
    return WithNameBelow(descending ? ~entry.Size : entry.Size, entry);
}

TSortKey TypeSortKey(const TArchiveEntry& entry, uint32_t typeRank, uint32_t typeCount,
                     bool descending) {
    return WithNameBelow(descending ? typeCount - 1 - typeRank : typeRank, entry);
}

void SortSlots(std::span<const TArchiveEntry> table, std::span<uint32_t> slots,
               TCompareFunc compare, bool descending) {
    // Only the name order itself runs backwards; the other two keep their
    // names ascending within a size or a type.
    const auto nameAscending = [](const TArchiveEntry& a, uint32_t slotA, const TArchiveEntry& b,
                                  uint32_t slotB) {
        return NameThenSlotBefore(a, slotA, b, slotB, false);
    };
    if (compare == CompareByName) {
        SortByKey(
            table, slots,
            [descending](const TArchiveEntry& e) { return NameSortKey(e, descending); },
            [descending](const TArchiveEntry& a, uint32_t slotA, const TArchiveEntry& b,
                         uint32_t slotB) {
                return NameThenSlotBefore(a, slotA, b, slotB, descending);
            });
    } else if (compare == CompareBySize) {
        SortByKey(
            table, slots,
            [descending](const TArchiveEntry& e) { return SizeSortKey(e, descending); },
            nameAscending);
    } else if (compare == CompareByType) {
        const TypeRanks ranks(table);
        SortByKey(
            table, slots,
            [&](const TArchiveEntry& e) {
                return TypeSortKey(e, ranks.RankOf(e), ranks.Count(), descending);
            },
            nameAscending);
    } else {
        // Ties by slot: the slots may come in any order (a list's rows).
        std::sort(slots.begin(), slots.end(), [&](uint32_t a, uint32_t b) {
            const int32_t order = compare(table[a], table[b]);
            return order != 0 ? order < 0 : a < b;
        });
    }
}

std::vector<uint32_t> SortedSlots(std::span<const TArchiveEntry> table, TCompareFunc compare,
                                  bool descending) {
    std::vector<uint32_t> slots(table.size());
    std::iota(slots.begin(), slots.end(), 0u);
    SortSlots(table, slots, compare, descending);
    return slots;
}
