#include "cli/CheckReport.h"

#include "cli/NameOrder.h"
#include "cli/Names.h"
#include "cli/ReadOnlyPair.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

namespace {

std::string Describe(const TArchiveEntry& entry) {
    std::string text =
        "slot " + std::to_string(entry.DirIndex) + " \"" + PrintableName(NameText(entry)) + "\"";
    if (entry.Size > 0)
        text += " sectors " + std::to_string(entry.Offset) + "-" +
                std::to_string(uint64_t{entry.Offset} + entry.Size - 1);
    return text;
}

void CheckRanges(const std::vector<TArchiveEntry>& entries, CheckReport& report) {
    // Entries with data, by first sector: an entry overlaps an earlier one
    // exactly when it starts before the furthest end reached so far.
    std::vector<const TArchiveEntry*> byOffset;
    byOffset.reserve(entries.size());
    for (const TArchiveEntry& entry : entries)
        if (entry.Size > 0)
            byOffset.push_back(&entry);
    std::sort(byOffset.begin(), byOffset.end(), [](const auto* a, const auto* b) {
        return DataBegin(*a) != DataBegin(*b) ? DataBegin(*a) < DataBegin(*b)
                                              : a->DirIndex < b->DirIndex;
    });

    const TArchiveEntry* furthest = nullptr;
    uint64_t covered = 0;
    uint64_t coveredEnd = 0; // end of the data file bytes counted so far
    for (const TArchiveEntry* entry : byOffset) {
        if (DataEnd(*entry) > report.dataLength)
            report.problems.push_back("past end: " + Describe(*entry) + " ends at byte " +
                                      std::to_string(DataEnd(*entry)) + ", the data file has " +
                                      std::to_string(report.dataLength));
        if (furthest && DataBegin(*entry) < DataEnd(*furthest))
            report.problems.push_back("overlap: " + Describe(*entry) + " overlaps " +
                                      Describe(*furthest));
        if (!furthest || DataEnd(*entry) > DataEnd(*furthest))
            furthest = entry;

        uint64_t begin = std::max(DataBegin(*entry), coveredEnd);
        uint64_t end = std::min(DataEnd(*entry), report.dataLength);
        if (end > begin) {
            covered += end - begin;
            coveredEnd = end;
        }
    }
    report.deadBytes = report.dataLength - covered;
}

void CheckNames(const std::vector<TArchiveEntry>& entries, CheckReport& report) {
    for (const TArchiveEntry& entry : entries)
        if (!IsSafeFileName(DisplayName(entry)))
            report.problems.push_back("unsafe name: " + Describe(entry) +
                                      " cannot be extracted as a file");

    // Display names as keys, computed once: equal keys are equal names.
    std::vector<std::pair<FoldedKey, const TArchiveEntry*>> byName;
    byName.reserve(entries.size());
    for (const TArchiveEntry& entry : entries)
        byName.emplace_back(MakeFoldedKey(DisplayName(entry)), &entry);
    std::sort(byName.begin(), byName.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : a.second->DirIndex < b.second->DirIndex;
    });
    for (size_t first = 0; first < byName.size();) {
        size_t last = first + 1;
        while (last < byName.size() && byName[last].first == byName[first].first)
            ++last;
        if (last - first > 1) {
            std::string line = "duplicate name:";
            for (size_t i = first; i < last; ++i)
                line += (i == first ? " " : ", ") + Describe(*byName[i].second);
            report.problems.push_back(line);
        }
        first = last;
    }
}

} // namespace

CheckReport CheckPair(const std::vector<TArchiveEntry>& entries, uint64_t dataLength,
                      uint64_t directoryLength) {
    CheckReport report;
    report.dataLength = dataLength;
    if (dataLength % SectorSize != 0)
        report.problems.push_back("data file: its length " + std::to_string(dataLength) +
                                  " is not a whole number of sectors");
    if (uint64_t piece = directoryLength % sizeof(TDirEntry))
        report.problems.push_back("partial record: the directory file ends in " +
                                  std::to_string(piece) + " bytes that are not a whole record");
    CheckRanges(entries, report);
    CheckNames(entries, report);
    return report;
}

std::string DeadSpaceText(const CheckReport& report) {
    double percent = report.dataLength == 0 ? 0.0
                                            : 100.0 * static_cast<double>(report.deadBytes) /
                                                  static_cast<double>(report.dataLength);
    char text[64];
    std::snprintf(text, sizeof text, "%llu bytes (%.1f%%)",
                  static_cast<unsigned long long>(report.deadBytes), percent);
    return text;
}
