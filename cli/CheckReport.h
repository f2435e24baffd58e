// The integrity report of an archive pair, computed from its records and the
// two file lengths alone, in O(n log n) so that it copes with a million entries.
#pragma once

#include "archive/ArchiveEntry.h"

#include <cstdint>
#include <string>
#include <vector>

struct CheckReport {
    std::vector<std::string> problems; // one line each
    uint64_t deadBytes = 0;            // data file bytes no record refers to
    uint64_t dataLength = 0;
};

// `entries` in slot order (DirIndex = slot).
CheckReport CheckPair(const std::vector<TArchiveEntry>& entries, uint64_t dataLength,
                      uint64_t directoryLength);

// "2048 bytes (33.3%)"
std::string DeadSpaceText(const CheckReport& report);
