#include "archive/UndoHistory.h"

#include "archive/Gta3Archive.h"
#include "platform/Checksum.h"
#include "platform/Errors.h"

#include <algorithm>
#include <exception>
#include <string_view>

namespace {

size_t SlotOf(const TArchiveEntry& entry) {
    return static_cast<size_t>(entry.DirIndex);
}

// The table before `step`, from the table after it: its appended records
// cut off, its dropped ones put back in their slots, its rewritten ones as
// they were. `slots` gets the slots of the entries brought back or changed.
std::vector<TArchiveEntry> TableBefore(std::span<const TArchiveEntry> after, const TUndoStep& step,
                                       std::vector<int>& slots) {
    const size_t kept = after.size() - std::min(after.size(), step.Appended.size());
    std::vector<TArchiveEntry> before;
    before.reserve(kept + step.Dropped.size());
    size_t from = 0;
    for (const TArchiveEntry& dropped : step.Dropped) {
        const size_t run =
            std::min(SlotOf(dropped) - std::min(SlotOf(dropped), before.size()), kept - from);
        before.insert(before.end(), after.begin() + static_cast<ptrdiff_t>(from),
                      after.begin() + static_cast<ptrdiff_t>(from + run));
        from += run;
        before.push_back(dropped);
        slots.push_back(dropped.DirIndex);
    }
    before.insert(before.end(), after.begin() + static_cast<ptrdiff_t>(from),
                  after.begin() + static_cast<ptrdiff_t>(kept));
    // A rewrite of a record the same command appended went with the append.
    for (const TArchiveEntry& old : step.Rewritten)
        if (SlotOf(old) < before.size()) {
            before[SlotOf(old)] = old;
            slots.push_back(old.DirIndex);
        }
    return before;
}

// The table after `step`, from the table before it.
std::vector<TArchiveEntry> TableAfter(std::span<const TArchiveEntry> before, const TUndoStep& step,
                                      std::vector<int>& slots) {
    std::vector<TArchiveEntry> after;
    after.reserve(before.size() - std::min(before.size(), step.Dropped.size()) +
                  step.Appended.size());
    size_t from = 0;
    for (const TArchiveEntry& dropped : step.Dropped) {
        const size_t to = std::clamp(SlotOf(dropped), from, before.size());
        after.insert(after.end(), before.begin() + static_cast<ptrdiff_t>(from),
                     before.begin() + static_cast<ptrdiff_t>(to));
        from = std::min(to + 1, before.size());
    }
    after.insert(after.end(), before.begin() + static_cast<ptrdiff_t>(from), before.end());
    for (const TArchiveEntry& appended : step.Appended) {
        slots.push_back(static_cast<int>(after.size()));
        after.push_back(appended);
    }
    for (const TArchiveEntry& rewritten : step.RewrittenTo)
        if (SlotOf(rewritten) < after.size()) {
            after[SlotOf(rewritten)] = rewritten;
            slots.push_back(rewritten.DirIndex);
        }
    return after;
}

void SortSlots(std::vector<int>& slots) {
    std::sort(slots.begin(), slots.end());
    slots.erase(std::unique(slots.begin(), slots.end()), slots.end());
}

} // namespace

size_t TUndoStep::Count() const {
    // A record the command appended and then rewrote is one entry.
    const size_t firstAppended =
        Appended.empty() ? SIZE_MAX : static_cast<size_t>(Appended.front().DirIndex);
    const auto ownRewrites =
        std::count_if(Rewritten.begin(), Rewritten.end(),
                      [&](const TArchiveEntry& entry) { return SlotOf(entry) < firstAppended; });
    return Dropped.size() + Appended.size() + static_cast<size_t>(ownRewrites);
}

size_t TUndoStep::Bytes() const {
    return (Dropped.capacity() + Rewritten.capacity() + RewrittenTo.capacity() +
            Appended.capacity()) *
           sizeof(TArchiveEntry);
}

void TUndoStep::NoteRewrite(const TArchiveEntry& before, const TArchiveEntry& after) {
    Rewritten.push_back(before);
    RewrittenTo.push_back(after);
}

void TUndoStep::Finish() {
    // Stable by slot, so the first of a slot's rewrites holds its oldest
    // record and the last its newest.
    std::vector<size_t> order(Rewritten.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return Rewritten[a].DirIndex < Rewritten[b].DirIndex;
    });
    std::vector<TArchiveEntry> oldRecords, newRecords;
    for (const size_t i : order) {
        if (!oldRecords.empty() && oldRecords.back().DirIndex == Rewritten[i].DirIndex) {
            newRecords.back() = RewrittenTo[i];
            continue;
        }
        oldRecords.push_back(Rewritten[i]);
        newRecords.push_back(RewrittenTo[i]);
    }
    Rewritten = std::move(oldRecords);
    RewrittenTo = std::move(newRecords);
    std::sort(Dropped.begin(), Dropped.end(), [](const TArchiveEntry& a, const TArchiveEntry& b) {
        return a.DirIndex < b.DirIndex;
    });
    Dropped.shrink_to_fit();
    Appended.shrink_to_fit();
}

TTableStamp StampOf(std::span<const TArchiveEntry> table) {
    // The record's bytes as stored: Offset, Size and Name, 32 bytes.
    constexpr size_t RecordBytes = sizeof(TDirEntry);
    static_assert(offsetof(TArchiveEntry, Name) + sizeof(TArchiveEntry::Name) == RecordBytes);
    uint64_t sum = 0;
    for (const TArchiveEntry& entry : table)
        sum = (sum ^ Checksum64({reinterpret_cast<const char*>(&entry), RecordBytes})) *
              0x100000001B3u;
    return {table.size(), sum};
}

void TUndoHistory::Record(TUndoStep step, const TGTA3Archive& archive) {
    if (step.Relaid) {
        Clear();
        return;
    }
    step.Finish();
    if (step.Empty())
        return;
    for (const Held& undone : redo_)
        bytes_ -= undone.step.Bytes();
    redo_.clear();
    bytes_ += step.Bytes();
    undo_.push_back({std::move(step), StampOf(archive.Table())});
    Trim();
}

void TUndoHistory::Trim() {
    while (undo_.size() > 1 && (undo_.size() > MaxSteps || bytes_ > MaxBytes)) {
        bytes_ -= undo_.front().step.Bytes();
        undo_.pop_front();
    }
}

void TUndoHistory::Clear() {
    undo_.clear();
    redo_.clear();
    bytes_ = 0;
}

std::optional<TUndoCommand> TUndoHistory::UndoCommand() const {
    if (undo_.empty())
        return std::nullopt;
    return undo_.back().step.Command;
}

std::optional<TUndoCommand> TUndoHistory::RedoCommand() const {
    if (redo_.empty())
        return std::nullopt;
    return redo_.back().step.Command;
}

TUndoOutcome TUndoHistory::Undo(TGTA3Archive& archive) {
    if (undo_.empty())
        throw Exception("There is nothing to undo");
    return Move(archive, undo_, redo_, TableBefore,
                "Cannot undo: the archive's directory is no longer as the command left it");
}

TUndoOutcome TUndoHistory::Redo(TGTA3Archive& archive) {
    if (redo_.empty())
        throw Exception("There is nothing to redo");
    return Move(archive, redo_, undo_, TableAfter,
                "Cannot redo: the archive's directory is no longer as Undo left it");
}

TUndoOutcome TUndoHistory::Move(TGTA3Archive& archive, std::deque<Held>& from, std::deque<Held>& to,
                                TTableOf tableOf, const char* refusal) {
    if (StampOf(archive.Table()) != from.back().expected)
        throw Exception(refusal);
    TUndoOutcome outcome;
    outcome.Warnings =
        archive.ReplaceTable(tableOf(archive.Table(), from.back().step, outcome.Slots));
    SortSlots(outcome.Slots);
    // The directory is the new one now, whether or not it reaches the disk
    // below: the step can be taken back.
    to.push_back({std::move(from.back().step), StampOf(archive.Table())});
    from.pop_back();
    archive.Flush();
    return outcome;
}
