// The editor's name order (CompareByName) for a large table, computed once per
// entry instead of once per comparison.
#pragma once

#include "archive/ArchiveEntry.h"

#include <vector>

// Sorts by name text, ascending or descending, exactly as CompareByName
// orders; entries whose names compare equal stay in slot order.
void SortByName(std::vector<TArchiveEntry>& entries, bool descending);
