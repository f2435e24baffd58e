// Undo and Redo. A change never moves or overwrites data in the data file
// (only compaction does), so each command is undone exactly by writing the
// old records back: the command bodies describe what they changed as a
// TUndoStep, and TUndoHistory writes the directory as it was before or after
// through the store's whole-or-nothing ReplaceAll.
#pragma once

#include "archive/ArchiveEntry.h"
#include "archive/DirectoryStore.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

class TGTA3Archive;

// The command a step undoes, for the menu's words.
enum class TUndoCommand { Add, Import, Delete, Rename };

// What one command changed in the table, keeping only the records it touched
// (a delete of 100,000 of 1,000,000 entries keeps 100,000 records, not the
// table). Each record's DirIndex is its slot.
struct TUndoStep {
    TUndoCommand Command = TUndoCommand::Add;
    // Records the command dropped, with their slots in the table before it,
    // ascending.
    std::vector<TArchiveEntry> Dropped;
    // Records rewritten in place: each slot's record before and after,
    // matched by position, the slots ascending and each once.
    std::vector<TArchiveEntry> Rewritten;
    std::vector<TArchiveEntry> RewrittenTo;
    // Records appended at the table's end, as they were appended, in slot order.
    std::vector<TArchiveEntry> Appended;

    // Room for the directory was made during the command: entries' data was
    // moved and the sectors it left hold records now, so no table from before
    // can be written back, and the history is forgotten.
    bool Relaid = false;

    bool Empty() const { return Dropped.empty() && Rewritten.empty() && Appended.empty(); }
    // The entries the command touched, for the menu ("Delete 3 Entries").
    size_t Count() const;
    size_t Bytes() const;

    // Called by the command bodies as they go: the table's record of a slot
    // before and after a rewrite (several rewrites of one slot keep the first
    // old and the last new record), and a record as it was appended.
    void NoteRewrite(const TArchiveEntry& before, const TArchiveEntry& after);
    void NoteAppend(const TArchiveEntry& appended) { Appended.push_back(appended); }
    // Sorts the rewrites by slot and folds those of one slot; called once the
    // command is over.
    void Finish();
};

// What the table holds, told cheaply: the records' count and a checksum of
// their bytes in slot order.
struct TTableStamp {
    size_t Count = 0;
    uint64_t Sum = 0;
    bool operator==(const TTableStamp&) const = default;
};
TTableStamp StampOf(std::span<const TArchiveEntry> table);

// What an undo or a redo did: the slots of the entries it brought back or
// changed (ascending), for the list to select, and what failed after the new
// directory was whole.
struct TUndoOutcome {
    std::vector<int> Slots;
    TWarnings Warnings;
};

// The steps of one open archive, the latest last. It holds at most MaxSteps
// steps and MaxBytes of records (the latest step is always kept); the oldest
// go first.
class TUndoHistory {
public:
    static constexpr size_t MaxSteps = 100;
    static constexpr size_t MaxBytes = size_t{64} << 20;

    // Takes the step of a command just done (also of one that failed part
    // way: what it did), with the archive as the command left it. A step that
    // changed nothing is dropped; any other clears what could be redone.
    void Record(TUndoStep step, const TGTA3Archive& archive);
    // Forgets every step: after a compaction, or another archive opened.
    void Clear();

    // The command the next Undo or Redo works on, if any.
    std::optional<TUndoCommand> UndoCommand() const;
    std::optional<TUndoCommand> RedoCommand() const;
    // The entries it touched, for the menu's words.
    size_t UndoCount() const { return undo_.empty() ? 0 : undo_.back().step.Count(); }
    size_t RedoCount() const { return redo_.empty() ? 0 : redo_.back().step.Count(); }

    // Writes the directory back as it was before the latest step (Undo) or
    // after the latest undone one (Redo), whole or not at all, and puts it on
    // disk. Refused (Exception) when the table is no longer what the step
    // left, with nothing changed; a failure to write leaves the step where it
    // was.
    TUndoOutcome Undo(TGTA3Archive& archive);
    TUndoOutcome Redo(TGTA3Archive& archive);

    size_t Steps() const { return undo_.size() + redo_.size(); }
    size_t Bytes() const { return bytes_; }

private:
    struct Held {
        TUndoStep step;
        TTableStamp expected; // the table the step may be applied to
    };
    void Trim();
    // The table one side of a step, from the table the other side of it.
    using TTableOf = std::vector<TArchiveEntry> (*)(std::span<const TArchiveEntry>,
                                                    const TUndoStep&, std::vector<int>& slots);
    // Writes tableOf(the table, the latest step of `from`) and moves that step
    // to `to`; refused with `refusal` when the table is not what it expects.
    static TUndoOutcome Move(TGTA3Archive& archive, std::deque<Held>& from, std::deque<Held>& to,
                             TTableOf tableOf, const char* refusal);

    std::deque<Held> undo_;
    std::deque<Held> redo_;
    size_t bytes_ = 0;
};
