// Shared by the reliability tests: fixture pairs, the operations under test,
// and the checks that tie the entry table to the bytes of the directory file.
#pragma once

#include "archive/Gta3Archive.h"
#include "tests/core/TestFiles.h"

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace reliability {

// A pair's two files as bytes, and what an operation does to it.
struct Scenario {
    std::string name;
    std::string dirBytes;
    std::string imgBytes;
    enum class Op { Add, Rename, Purge } op;
    std::string sourceBytes;           // Add: the file added
    std::string renamed;               // Rename: the name of the entry renamed
    std::vector<std::string> toDelete; // Purge: the names of the entries marked
};

inline constexpr const char* AddedName = "added.bin";
inline constexpr const char* RenamedName = "renamed-entry.dff";

// Six records over a data file of six sectors; entry i is "entry<i>.dff".
std::string SixRecords();
// The scenarios every harness walks: adds to a clean and to a ragged pair,
// a rename, and a purge of two of six entries.
std::vector<Scenario> Scenarios();

// Test names and failure reports show the scenario's name, not its bytes.
inline void PrintTo(const Scenario& scenario, std::ostream* out) {
    *out << scenario.name;
}

// The pair of a scenario, written into a fresh folder.
class PairOnDisk {
public:
    explicit PairOnDisk(const Scenario& scenario);
    std::string Img() const { return dir_.File("gta3.img"); }
    std::string Dir() const { return dir_.File("gta3.dir"); }
    std::string Source() const { return dir_.File("source.bin"); }
    std::string Scratch(const std::string& name) const { return dir_.File(name); }

private:
    TempDir dir_;
};

// Runs the scenario's operation on an open archive. `beforeRun` is called
// right before the operation itself, after every file it needs is open.
void RunOperation(const Scenario& scenario, const PairOnDisk& pair, TGTA3Archive& archive,
                  const std::function<void()>& beforeRun);

// The whole records of a directory file's bytes, each 32 bytes.
std::vector<std::string> RecordsOf(const std::string& dirBytes);
// The 32 record bytes an entry is written as.
std::string RecordOf(const TArchiveEntry& entry);

// Every entry's DirIndex is unique and names a slot holding exactly its record.
// Returns a description of the first mismatch, or "" when the table agrees.
std::string TableAgreesWithDirectory(const TGTA3Archive& archive, const std::string& dirBytes);

} // namespace reliability
