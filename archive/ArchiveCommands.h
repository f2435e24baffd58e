// The command bodies both programs share: each multi-step operation on an
// archive, with its safety rules, written once. The editor and pelkon-cli add
// only how they ask and how they show progress and results.
#pragma once

#include "archive/ArchiveEntry.h"
#include "archive/Cancel.h"
#include "archive/Gta3Archive.h"
#include "archive/UndoHistory.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Called after item `done` (counting from 1) of a batch is done.
using TItemProgress = std::function<void(size_t done)>;

struct TNewPair {
    std::unique_ptr<TGTA3Archive> Archive;
    TWarnings Warnings; // the pair is in place; its folder may not be on disk
};
// Creates an empty pair at `dataPath` and its directory file, as
// TOpenMode::Create does, and puts the folder on disk. An existing file of the
// pair is only replaced when `replaceExisting` says so; otherwise it is
// refused (EFileError "... already exists"). Nothing is touched when it fails.
TNewPair CreatePair(const std::string& dataPath, bool replaceExisting);
// The same for an archive of either kind: a single-file archive is one new
// file, with room for 512 records before its data.
TNewPair CreateArchive(const std::string& dataPath, TArchiveKind kind, bool replaceExisting);

// Adds each file as a new entry named by the part of its path after the last
// '/', in the order given, until the first failure; the files before it stay
// added. What was written is put on disk in either case; the first failure is
// then rethrown. `undo`, when given, gets what was added, also after a
// failure or a stop. `stop` is asked before each file (Cancel.h). `moved`,
// when given, gets - also after a failure or a stop - the slot each entry that
// stood before has now, when room was made for the new records
// (TGTA3Archive::AddFile); it stays empty when every entry kept its slot.
void AddFiles(TGTA3Archive& archive, std::span<const std::string> paths,
              const TItemProgress& progress = {}, TUndoStep* undo = nullptr,
              std::stop_token stop = {}, std::vector<int32_t>* moved = nullptr);
// Follows the moves of one AddFile (`newSlots`, each old slot's new one)
// in `moved`, the slots that the entries standing at `count` slots before a
// batch have now (empty: where they stood).
void FollowMoves(std::vector<int32_t>& moved, size_t count, std::span<const int32_t> newSlots);

// What an import did with one file.
struct TImportedFile {
    int32_t Slot;  // of the entry the file became the data of
    bool Replaced; // the entry was there before; otherwise it was added
};
struct TImportResult {
    // A line per file done, in the order of the files.
    std::vector<TImportedFile> Files;
    // Names that several entries carry, as the one replaced spells it: the
    // first of them in slot order.
    std::vector<std::string> SharedNames;
    // When room was made for added entries: the slot each entry that stood
    // before the import now has (FollowMoves); empty otherwise.
    std::vector<int32_t> MovedSlots;

    // The slots of the entries replaced (`replaced`) or added, in file order.
    std::vector<int32_t> Slots(bool replaced) const;
};
// Import and replace: each file is matched by the display name of the entry
// it would be added as (its name cut to 24 bytes, without leading and trailing
// blanks and control bytes), letter case of a-z aside. The first entry in slot
// order with that display name - one there before, or one an earlier file of
// the batch added - gets the file as its new data; a file without such an
// entry is added. New data is appended and put on disk before any record
// points at it, and each record is then rewritten in place, so after a
// failure or a power cut every entry holds either its old data or its new.
// The first failure stops the batch: the files before it are done and told in
// `result` (and in `undo`, when given), and the failure is rethrown. So does a
// stop asked for before a file (Cancel.h).
void ImportFiles(TGTA3Archive& archive, std::span<const std::string> paths, TImportResult& result,
                 const TItemProgress& progress = {}, TUndoStep* undo = nullptr,
                 std::stop_token stop = {});

// Deletes the entries in the slots given, all or none: a slot outside the
// table is refused (EListError) before anything changes; the others are
// marked and purged, and the directory is put on disk. A failure is rethrown
// afterwards; what failed after the new directory was whole is returned
// (PurgeDeleted). `undo`, when given, gets the entries dropped once the new
// directory is whole.
TWarnings DeleteEntries(TGTA3Archive& archive, std::span<const int> slots,
                        TUndoStep* undo = nullptr);

// Renames the entry in `slot` (TGTA3Archive::RenameEntry) and puts it on disk;
// `undo`, when given, gets the record before and after once it is rewritten.
void RenameEntry(TGTA3Archive& archive, int slot, std::string_view newName,
                 TUndoStep* undo = nullptr);

// Refuses an entry whose display name could leave a folder or name the folder
// itself (EFCreateError naming the entry, not a path): for extracts into a
// folder the user never sees.
void RequireSafeName(const TArchiveEntry& entry);
// Where entry `entry` is extracted in `folder`: the folder and the display
// name. A display name that could leave the folder or name the folder itself,
// and a symbolic link or a folder standing at the target, are refused
// (EFCreateError of that path), so all can be checked before anything is
// written.
std::string ExtractTarget(const TArchiveEntry& entry, std::string_view folder);
// Writes the entry in slot `index` into the file `targetPath`: under a temporary name in
// the same folder, renamed over the target once whole. A link, a folder, a
// file held by anyone or one that cannot be written standing at the target is
// refused (EFCreateError); after a failure no file is left under the target's
// name, and an existing one is unchanged. Failures name the entry when its
// data cannot be read, and the target otherwise.
void ExtractEntryToFile(TGTA3Archive& archive, int index, const std::string& targetPath);
// Removes what extracts into `folder` that were killed left behind (their
// temporary files). Run before a batch; failures are ignored.
void PrepareExtractFolder(const std::string& folder);
// ExtractTarget, then ExtractEntryToFile. Returns the target's path.
std::string ExtractEntryToFolder(TGTA3Archive& archive, int index, std::string_view folder);
// PrepareExtractFolder, then ExtractEntryToFolder for each slot in the order
// given, until the first failure, or a stop asked for before an entry
// (Cancel.h): the files written before stay, whole. Returns the targets.
std::vector<std::string> ExtractEntries(TGTA3Archive& archive, std::span<const int> slots,
                                        const std::string& folder,
                                        const TItemProgress& progress = {},
                                        std::stop_token stop = {});
