#include "archive/ArchiveCheck.h"

#include "archive/Cancel.h"
#include "archive/Gta3Archive.h"
#include "archive/NameFold.h"
#include "archive/PrintableName.h"
#include "archive/StreamingOrder.h"
#include "platform/LargeMemory.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// A record in one of the check's orders: a sort key and its place in the span.
// The key's second word orders only names, which often share their first
// eight bytes.
struct Keyed {
    uint64_t key;
    uint64_t more;
    uint32_t index;
};

// Members of a group of equal names that one finding lists by name.
constexpr size_t ListedMembers = 8;

std::string Describe(const TArchiveEntry& entry) {
    std::string text =
        "slot " + std::to_string(entry.DirIndex) + " \"" + PrintableName(NameText(entry)) + "\"";
    if (entry.Size > 0)
        text += " sectors " + std::to_string(entry.Offset) + "-" +
                std::to_string(uint64_t{entry.Offset} + entry.Size - 1);
    return text;
}

class Checker {
public:
    Checker(std::span<const TArchiveEntry> entries, uint64_t dataLength,
            const TDirectoryFacts& facts, const TFindingSink& report)
        : entries_(entries), dataLength_(dataLength), facts_(facts), report_(report),
          duplicate_(entries.size(), false) {
        order_.reserve(entries.size());
        PreferLargePages(order_);
    }

    void Report(TCheckFinding::TKind kind, std::string text, std::vector<int32_t> slots) {
        ++summary_.Problems;
        if (report_)
            report_(TCheckFinding{kind, std::move(text), std::move(slots)});
    }

    // Past the end, exact repeats and overlaps, in the order of the data; and
    // the bytes the records cover, for the dead space.
    void CheckRanges() {
        Order(
            [](const TArchiveEntry& e) {
                return std::pair(uint64_t{e.Offset} << 32 | e.Size, 0ul);
            },
            [](const TArchiveEntry& a, const TArchiveEntry& b) {
                const int names = std::memcmp(a.Name, b.Name, sizeof a.Name);
                return names != 0 ? names < 0 : a.DirIndex < b.DirIndex;
            });
        const TArchiveEntry* original = nullptr; // the last record that is no repeat
        const TArchiveEntry* furthest = nullptr;
        // The directory and its spare room, where the data file holds them.
        uint64_t coveredEnd =
            std::min(facts_.Reserved, dataLength_); // end of the bytes counted so far
        uint64_t covered = coveredEnd;
        for (const Keyed& item : order_) {
            const TArchiveEntry& entry = entries_[item.index];
            if (original && original->Offset == entry.Offset && original->Size == entry.Size &&
                std::memcmp(original->Name, entry.Name, sizeof entry.Name) == 0) {
                duplicate_[item.index] = true;
                Report(TCheckFinding::TKind::DuplicateRecord,
                       "duplicate record: slot " + std::to_string(entry.DirIndex) +
                           " is the same record as " + Describe(*original),
                       {entry.DirIndex, original->DirIndex});
                continue;
            }
            original = &entry;
            if (entry.Size == 0)
                continue;
            if (DataEnd(entry) > dataLength_)
                Report(TCheckFinding::TKind::PastEnd,
                       "past end: " + Describe(entry) + " ends at byte " +
                           std::to_string(DataEnd(entry)) + ", the data file has " +
                           std::to_string(dataLength_),
                       {entry.DirIndex});
            if (furthest && DataBegin(entry) < DataEnd(*furthest))
                Report(TCheckFinding::TKind::Overlap,
                       "overlap: " + Describe(entry) + " overlaps " + Describe(*furthest),
                       {entry.DirIndex, furthest->DirIndex});
            if (!furthest || DataEnd(entry) > DataEnd(*furthest))
                furthest = &entry;

            const uint64_t begin = std::max(DataBegin(entry), coveredEnd);
            const uint64_t end = std::min(DataEnd(entry), dataLength_);
            if (end > begin) {
                covered += end - begin;
                coveredEnd = end;
            }
        }
        summary_.DeadBytes = dataLength_ - covered;
    }

    // Names that cannot be files, and names without a zero byte, by slot.
    void CheckEachName() {
        for (const TArchiveEntry& entry : entries_) {
            // Told on every system: archives travel between them.
            if (!IsSafeFileNameAnywhere(DisplayName(entry)))
                Report(TCheckFinding::TKind::UnsafeName,
                       "unsafe name: " + Describe(entry) + " cannot be extracted as a file",
                       {entry.DirIndex});
            else if (!IsSafeWindowsFileName(DisplayName(entry)))
                Report(TCheckFinding::TKind::UnsafeOnWindows,
                       "unsafe name on Windows: " + Describe(entry) +
                           " cannot be extracted as a file there",
                       {entry.DirIndex});
            if (NameUnterminated(entry))
                Report(TCheckFinding::TKind::UnterminatedName,
                       "unterminated name: " + Describe(entry) +
                           " fills all 24 bytes with no zero byte after it",
                       {entry.DirIndex});
        }
    }

    // What the kind's format says of each record: data inside the directory,
    // a second size, a name the game skips, data it cannot reach.
    void CheckAgainstFormat() {
        for (const TArchiveEntry& entry : entries_) {
            if (entry.Size != 0 && DataBegin(entry) < facts_.DataStart)
                Report(TCheckFinding::TKind::InsideDirectory,
                       "inside the directory: " + Describe(entry) + " begins before byte " +
                           std::to_string(facts_.DataStart) + ", where the directory ends",
                       {entry.DirIndex});
            if (entry.SizeInArchive != 0 && entry.SizeInArchive != entry.Size)
                Report(TCheckFinding::TKind::SizeInArchive,
                       "size in archive: " + Describe(entry) + " says " +
                           std::to_string(entry.SizeInArchive) +
                           " sectors in its second size field, which the game reads instead",
                       {entry.DirIndex});
            if (facts_.StreamedOnly && !IsStreamed(entry, *facts_.Streaming))
                Report(TCheckFinding::TKind::SkippedName,
                       "skipped name: " + Describe(entry) +
                           " has no type the game streams, so the game never reads it",
                       {entry.DirIndex});
            if (entry.Size != 0 && DataEnd(entry) > facts_.ReadLimit)
                Report(TCheckFinding::TKind::PastReadLimit,
                       "out of reach: " + Describe(entry) + " ends past byte " +
                           std::to_string(facts_.ReadLimit) + ", which the game does not read",
                       {entry.DirIndex});
        }
    }

    // Display names that are equal but for the case of a-z; repeats of a
    // record were told already.
    void CheckDuplicateNames() {
        Order(
            [](const TArchiveEntry& e) {
                const TFoldedKey key = FoldedKey(DisplayName(e));
                return std::pair(key[0], key[1]);
            },
            [](const TArchiveEntry& a, const TArchiveEntry& b) {
                const int32_t names = CompareText(DisplayName(a), DisplayName(b));
                return names != 0 ? names < 0 : a.DirIndex < b.DirIndex;
            });
        std::erase_if(order_, [this](const Keyed& item) { return duplicate_[item.index]; });
        for (size_t first = 0; first < order_.size();) {
            size_t last = first + 1;
            while (last < order_.size() && SameName(order_[first], order_[last]))
                ++last;
            if (last - first > 1)
                ReportDuplicateNames(first, last);
            first = last;
        }
    }

    // Records that the games read wrongly, by slot; the memory of the orders
    // above is given back first.
    void CheckStreamingOrder() {
        order_ = std::vector<Keyed>();
        ForEachStreamingBreak(entries_, *facts_.Streaming,
                              [this](const TArchiveEntry& entry, const TArchiveEntry& before) {
                                  Report(TCheckFinding::TKind::NotAfterPrevious,
                                         "not after the entry before it: " + Describe(entry) +
                                             " should begin at sector " +
                                             std::to_string(uint64_t{before.Offset} + before.Size) +
                                             ", where " + Describe(before) +
                                             " ends; compact the archive",
                                         {entry.DirIndex, before.DirIndex});
                              });
    }

    TCheckSummary Summary() const { return summary_; }

private:
    template <typename KeyOf, typename TieBefore> void Order(KeyOf keyOf, TieBefore tieBefore) {
        order_.resize(entries_.size());
        for (size_t i = 0; i < entries_.size(); ++i) {
            const auto [key, more] = keyOf(entries_[i]);
            order_[i] = {key, more, static_cast<uint32_t>(i)};
        }
        std::sort(order_.begin(), order_.end(), [&](const Keyed& a, const Keyed& b) {
            if (a.key != b.key)
                return a.key < b.key;
            if (a.more != b.more)
                return a.more < b.more;
            return tieBefore(entries_[a.index], entries_[b.index]);
        });
    }

    bool SameName(const Keyed& a, const Keyed& b) const {
        return a.key == b.key && a.more == b.more &&
               SameText(DisplayName(entries_[a.index]), DisplayName(entries_[b.index]));
    }

    void ReportDuplicateNames(size_t first, size_t last) {
        std::string line = "duplicate name:";
        std::vector<int32_t> slots;
        for (size_t i = first; i < last && slots.size() < ListedMembers; ++i) {
            const TArchiveEntry& entry = entries_[order_[i].index];
            line += (i == first ? " " : ", ") + Describe(entry);
            slots.push_back(entry.DirIndex);
        }
        if (last - first > slots.size())
            line += " and " + std::to_string(last - first - slots.size()) + " more";
        Report(TCheckFinding::TKind::DuplicateName, std::move(line), std::move(slots));
    }

    std::span<const TArchiveEntry> entries_;
    uint64_t dataLength_;
    const TDirectoryFacts& facts_;
    const TFindingSink& report_;
    std::vector<bool> duplicate_; // by place in the span: repeats an earlier record
    std::vector<Keyed> order_;
    TCheckSummary summary_;
};

} // namespace

TCheckSummary CheckEntries(std::span<const TArchiveEntry> entries, uint64_t dataLength,
                           uint64_t directoryLength, const TFindingSink& report,
                           std::stop_token stop) {
    return CheckEntries(entries, dataLength, directoryLength, TDirectoryFacts{}, report,
                        std::move(stop));
}

TCheckSummary CheckEntries(std::span<const TArchiveEntry> entries, uint64_t dataLength,
                           uint64_t directoryLength, const TDirectoryFacts& facts,
                           const TFindingSink& report, std::stop_token stop) {
    Checker checker(entries, dataLength, facts, report);
    if (facts.HeaderCut)
        checker.Report(TCheckFinding::TKind::Header,
                       "header: the file ends inside the 8-byte header", {});
    else if (facts.CountedRecords && *facts.CountedRecords > entries.size())
        checker.Report(TCheckFinding::TKind::Header,
                       "header: it counts " + std::to_string(*facts.CountedRecords) +
                           " records, the file holds " + std::to_string(entries.size()),
                       {});
    if (dataLength % SectorSize != 0)
        checker.Report(TCheckFinding::TKind::PartialDataFile,
                       "data file: its length " + std::to_string(dataLength) +
                           " is not a whole number of sectors",
                       {});
    if (const uint64_t piece = directoryLength % sizeof(TDirEntry))
        checker.Report(TCheckFinding::TKind::PartialRecord,
                       std::string(facts.CountedRecords ? "partial record: the directory"
                                                        : "partial record: the directory file") +
                           " ends in " + std::to_string(piece) +
                           " bytes that are not a whole record",
                       {});
    StopIfAsked(stop);
    checker.CheckRanges();
    StopIfAsked(stop);
    checker.CheckEachName();
    checker.CheckAgainstFormat();
    StopIfAsked(stop);
    checker.CheckDuplicateNames();
    StopIfAsked(stop);
    checker.CheckStreamingOrder();
    TCheckSummary summary = checker.Summary();
    summary.Entries = entries.size();
    summary.DataLength = dataLength;
    summary.DirectoryLength = directoryLength;
    return summary;
}

TCheckSummary CheckArchive(const TGTA3Archive& archive, const TFindingSink& report,
                           std::stop_token stop) {
    return CheckEntries(archive.Table(), archive.DataLength(), archive.DirectoryLength(),
                        archive.DirectoryFacts(), report, std::move(stop));
}

double DeadSpacePercent(uint64_t deadBytes, uint64_t dataLength) {
    return dataLength == 0
               ? 0.0
               : 100.0 * static_cast<double>(deadBytes) / static_cast<double>(dataLength);
}

std::string DeadSpaceText(uint64_t deadBytes, uint64_t dataLength) {
    char text[64];
    std::snprintf(text, sizeof text, "%llu bytes (%.1f%%)",
                  static_cast<unsigned long long>(deadBytes),
                  DeadSpacePercent(deadBytes, dataLength));
    return text;
}
