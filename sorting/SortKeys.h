// The sort keys behind SortSlots: a key per entry whose order agrees with
// the comparison, so that most comparisons during a sort compare two integers
// and only entries with equal keys are compared in full.
#pragma once

#include "archive/ArchiveEntry.h"

#include <compare>
#include <cstdint>

struct TSortKey {
    uint64_t primary;
    uint64_t secondary;
    auto operator<=>(const TSortKey&) const = default;
};

// For CompareByName in the given direction: the first 16 name bytes, folded.
TSortKey NameSortKey(const TArchiveEntry& entry, bool descending);
// For CompareBySize: the size in the given direction, then the first twelve
// name bytes, folded, ascending.
TSortKey SizeSortKey(const TArchiveEntry& entry, bool descending);
// For CompareByType: `typeRank` is the rank of the entry's type text among the
// table's `typeCount` type texts, then the first twelve name bytes.
TSortKey TypeSortKey(const TArchiveEntry& entry, uint32_t typeRank, uint32_t typeCount,
                     bool descending);
