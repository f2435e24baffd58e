// Shared by the reliability tests: the operations under test, each on a pair
// in a fresh folder, and an independent reading of what a folder holds, by
// which an interrupted operation is judged.
#pragma once

#include "archive/Gta3Archive.h"
#include "archive/UndoHistory.h"
#include "tests/support/TestSupport.h"

#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace reliability {

// A pair's two files as bytes, and what an operation does to it.
struct Scenario {
    enum class Op { Add, Rename, Purge, Import, Rebuild, Extract, Create, Sweep, Compact, Undo };

    std::string name;
    std::string dirBytes;
    std::string imgBytes;
    Op op;
    // Add, Import: the files given, by file name; Extract: files standing in
    // the target folder beforehand; Create, Sweep: files standing beside the
    // pair beforehand.
    std::map<std::string, std::string> files;
    // Rename: the entry renamed (to RenamedName); Purge: the entries deleted;
    // Extract: the entries extracted; Sweep: files of `files` that are also
    // linked under their final name (a rebuild killed between its links).
    std::vector<std::string> names;
    // Purge: the directory file has a second name, so it is rewritten in place.
    bool dirLinked = false;
    // Purge, run as root: the directory file belongs to another user, so it
    // is rewritten in place too.
    bool dirOfAnotherUser = false;
    // `imgBytes` is a single-file archive; there is no directory file.
    bool singleFile = false;
    // Undo: the step of a command that left the pair as it is, undone.
    TUndoStep undone{};
};

// The refusal of a rebuild whose new archive exists: what a rerun of one that
// finished says.
bool IsRebuildOverExisting(const std::string& message);

// A token whose process cannot run, for leftovers laid out by hand.
inline constexpr const char* DeadToken = "2147483647-dead";

inline constexpr const char* RenamedName = "renamed-entry.dff";

// Six records over a data file of six sectors; entry i is "entry<i>.dff".
std::string SixRecords();
// The scenarios every harness walks.
std::vector<Scenario> Scenarios();

// Test names and failure reports show the scenario's name, not its bytes.
inline void PrintTo(const Scenario& scenario, std::ostream* out) {
    *out << scenario.name;
}

// The scenario's folder: the pair, the files to add in "in/", the target
// folder "out/", and the place of a rebuilt pair.
class PairOnDisk {
public:
    explicit PairOnDisk(const Scenario& scenario);
    std::string Img() const { return dir_.File("gta3.img"); }
    std::string Dir() const { return dir_.File("gta3.dir"); }
    std::string Input(const std::string& name) const { return dir_.File("in/" + name); }
    std::string Out() const { return dir_.File("out"); }
    std::string RebuiltImg() const { return dir_.File("new.img"); }
    const std::string& Path() const { return dir_.Path(); }
    // Whether where each record's data lies is part of what the folder holds:
    // a compaction moves the data and keeps every byte.
    bool LayoutMatters() const { return layoutMatters_; }

private:
    TempDir dir_;
    bool layoutMatters_;
};

// Runs the scenario's operation on an open archive of the pair, as the
// programs' commands do (Create works on the rebuilt pair's place, Sweep on
// the folder). `beforeRun` is called right before the operation
// itself, after every file it needs is open.
void RunOperation(const Scenario& scenario, const PairOnDisk& pair, TGTA3Archive& archive,
                  const std::function<void()>& beforeRun);

// What the folder holds as a reader sees it, read without the program's own
// code: for the pair and a rebuilt pair each record's name and data (or that
// it reaches past the data file's end), a trailing piece of a record, and the
// bytes of every file in "out/". Temporary files are left out. A directory
// file that ends in the journal of a rewrite in place is read as the journal
// says (archive/DirectoryJournal.h), and a pair with a compaction's marker
// beside it as the marker says (platform/FileSwap.h): its new files where
// they stand.
using Contents = std::map<std::string, std::string>;
Contents ReadContents(const PairOnDisk& pair);
// The pair's directory file as a compaction's marker says it is, if there is
// one standing: its bytes. For a single-file archive, its directory's records
// as the journal beside it says they are, each as a pair's 32-byte record.
std::string DirectoryBytes(const PairOnDisk& pair);
// Names of the files in the folder tree that the program left behind under a
// temporary name, and markers of compactions.
std::vector<std::string> TemporaryLeftovers(const PairOnDisk& pair);
// Every name in the folder tree with its file's length and identity: what a
// reader must not change.
std::string FolderListing(const PairOnDisk& pair);
// A directory file's bytes as the journal at its end, if any, says they are.
std::string ResolvedDirectory(const std::string& dirBytes);
// Whether the directory file still ends in a journal.
bool HoldsJournal(const std::string& dirBytes);

// What a user does after a failed or killed operation: opens the pair (which
// settles a journal) and runs the operation again where it did not finish.
// A rebuild whose pair is already whole refuses, after clearing leftovers.
void RunAgain(const Scenario& scenario, const PairOnDisk& pair, TGTA3Archive& archive);
// Whether the operation is run again even when the folder already reads as
// its clean result: its leftovers are cleared only by the next run.
bool RunsAgainAnyway(const Scenario& scenario);

// What the folder held before the operation and after a clean run of it,
// and the file-layer calls the run made.
struct CleanRun {
    Contents before;
    Contents after;
    long calls = 0;
};
CleanRun RunCleanly(const Scenario& scenario);

// Whether an interrupted operation left an acceptable state between `before`
// and `after` (its clean result): for the operations that are all or nothing
// the one or the other whole, otherwise each item the one or the other.
// Returns a description of the first wrong item, or "".
std::string JudgeInterrupted(const Scenario& scenario, const Contents& before,
                             const Contents& after, const Contents& now);

// The table is the directory (as its journal says, if it has one), entry by
// entry in slot order: Table()[i].DirIndex == i, and slot i holds exactly the
// record of entry i.
// Returns a description of the first mismatch, or "" when the table agrees.
std::string TableAgreesWithDirectory(const TGTA3Archive& archive, const std::string& dirBytes);
// Whether a journal is left: at the end of the directory file, or beside a
// single-file archive.
bool JournalLeft(const PairOnDisk& pair);

// The whole records of a directory file's bytes, each 32 bytes.
std::vector<std::string> RecordsOf(const std::string& dirBytes);

} // namespace reliability
