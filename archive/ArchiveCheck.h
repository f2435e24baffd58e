// The integrity check of an archive pair: what its records say against each
// other and against the two files' lengths. Findings are handed over one at a
// time as they are found, so that a hostile directory of millions of records
// costs no memory per finding.
#pragma once

#include "archive/ArchiveEntry.h"
#include "archive/DirectoryStore.h"

#include <cstdint>
#include <functional>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

class TGTA3Archive;

struct TCheckFinding {
    enum class TKind {
        PartialDataFile,  // the data file is not a whole number of sectors
        PartialRecord,    // the directory file ends in a piece of a record
        PastEnd,          // a record reaches past the data file's end
        DuplicateRecord,  // a record repeats another one exactly (offset, size, name)
        Overlap,          // a record's data overlaps another record's
        UnsafeName,       // a display name that cannot be a file name
        UnsafeOnWindows,  // a display name that cannot be a file name on Windows
        UnterminatedName, // a stored name of all 24 bytes, without a zero byte
        DuplicateName,    // display names equal but for the case of a-z
        NotAfterPrevious, // a record the games read wrongly (StreamingOrder.h)
        Header,           // the header is cut short, or counts records the file lacks
        InsideDirectory,  // a record's data begins inside the directory
        SizeInArchive,    // a second size that is not 0 and differs from the size
        SkippedName,      // a name the game does not stream
        PastReadLimit,    // data the game cannot reach (past 4 GiB)
    };
    TKind Kind;
    std::string Text;           // one line; names written as PrintableName does
    std::vector<int32_t> Slots; // the records concerned (at most a few), by slot
};

struct TCheckSummary {
    uint64_t Entries = 0;
    uint64_t DataLength = 0;
    uint64_t DirectoryLength = 0;
    uint64_t DeadBytes = 0; // data file bytes that no record refers to
    uint64_t Problems = 0;  // findings reported
};

using TFindingSink = std::function<void(const TCheckFinding&)>;

// Checks the records (in slot order, as an archive's table holds them) against
// each other and the two lengths, and against the order in which the games
// stream them, reporting each finding to `report` as found. Besides the records it
// uses memory for one ordering of them at a time, 24 bytes a record, and two
// bits a record. Dead space by itself is not a finding. `stop` is asked between
// the kinds of findings (ECancelled, Cancel.h).
TCheckSummary CheckEntries(std::span<const TArchiveEntry> entries, uint64_t dataLength,
                           uint64_t directoryLength, const TFindingSink& report,
                           std::stop_token stop = {});
// The same against what the archive's kind says of its records (its store's
// facts): where its data may begin, what the header counts, what the game
// reaches and streams.
TCheckSummary CheckEntries(std::span<const TArchiveEntry> entries, uint64_t dataLength,
                           uint64_t directoryLength, const TDirectoryFacts& facts,
                           const TFindingSink& report, std::stop_token stop = {});
// The same on an open archive's table and files.
TCheckSummary CheckArchive(const TGTA3Archive& archive, const TFindingSink& report,
                           std::stop_token stop = {});

// The share of the data file that is dead space, in percent.
double DeadSpacePercent(uint64_t deadBytes, uint64_t dataLength);
// "2048 bytes (33.3%)": dead space and its share of the data file.
std::string DeadSpaceText(uint64_t deadBytes, uint64_t dataLength);
