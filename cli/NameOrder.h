// The editor's name order (CompareByName) for a large table, computed once per
// entry instead of once per comparison.
#pragma once

#include "archive/ArchiveEntry.h"

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

// A text of at most 24 bytes, without zero bytes, as a key whose order is the
// editor's text comparison (CompareText): a-z folded to A-Z, the bytes read as
// three big-endian words, zero after the text's end so a prefix sorts first.
// Equal keys mean CompareText gives 0.
using FoldedKey = std::array<uint64_t, 3>;
FoldedKey MakeFoldedKey(std::string_view text);

// Sorts by name text, ascending or descending, exactly as CompareByName
// orders; entries whose names compare equal stay in slot order.
void SortByName(std::vector<TArchiveEntry>& entries, bool descending);
