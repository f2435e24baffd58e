// The orders in which the entry list can be sorted, the type text of a name,
// and the program-wide sort state.
#pragma once

#include "archive/ArchiveEntry.h"
#include "archive/NameFold.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Sort state: the order applied on every re-sort, and its direction.
extern TCompareFunc CurrentCompare;
extern bool SortDescending;

int32_t CompareInt(int32_t A, int32_t B);
int32_t CompareByName(const TArchiveEntry& E1, const TArchiveEntry& E2);
int32_t CompareByType(const TArchiveEntry& E1, const TArchiveEntry& E2);
int32_t CompareBySize(const TArchiveEntry& E1, const TArchiveEntry& E2);
int32_t CompareByDirIndex(const TArchiveEntry& E1, const TArchiveEntry& E2);

// The extension of a name: from its last '.' to the end, provided no '\' and no
// ':' follows that dot; otherwise empty.
std::string_view NameExtension(std::string_view Name);
// "DFF File" for x.dff, "File" for a name without extension, " File" for "name.".
std::string GetTypeText(std::string_view Name);

// A sorted list's rows: the slots of `table` (an archive's table, or its
// first entries) in the order of `compare`, ascending or `descending`. The
// three orders of the list's columns are sorted by a key computed once per
// entry, which is several times faster on a large table than calling the
// comparison; entries that compare equal stand in slot order. Any other
// comparison orders the slots as it compares their entries, stably, in the
// direction it takes from SortDescending itself. The table is not touched.
std::vector<uint32_t> SortedSlots(std::span<const TArchiveEntry> table, TCompareFunc compare,
                                  bool descending);
// The same for some of the table's slots: puts `slots` in that order. Slots
// that stand nearly in order already (a list's rows before a sort in the other
// direction, or after a few entries changed) are sorted more quickly.
void SortSlots(std::span<const TArchiveEntry> table, std::span<uint32_t> slots,
               TCompareFunc compare, bool descending);
