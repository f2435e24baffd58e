// A directory file rewritten in place, whole or not at all.
//
// Where a directory file cannot be replaced by a new one (it has other names,
// is reached through a link, belongs to another user, or its folder takes no
// new file), its records are rewritten where they are. Stopped part-way, that
// would leave records twice or lose some, so the new records first go to the
// end of the file as a journal, in one write:
//
//   slot M      head: Offset M (its own slot: the old record count), Size N
//               (the new count); name field: HeadMagic, then F, the first
//               slot that changes (32-bit little-endian)
//   next        the new records of slots F to N-1
//   last slot   tail: Offset M, Size N; name field: TailMagic, then a 64-bit
//               checksum of every byte from the head up to it
//
// Both magic texts begin with a zero byte, so a reader that knows nothing of
// journals sees records without a name. Once the journal is written the
// rewrite is whole: the new records then go over slots F to N-1 and the file
// is cut to N records. Whoever opens the file finds the journal by its head
// (the first record whose Offset is its own slot, whose name begins with
// HeadMagic, with F <= N <= M, and after which no more records follow than
// the whole journal holds) and takes the new records when the journal is
// complete, the old ones before the head when it is torn; a writer then
// settles the file so.
#pragma once

#include "archive/ArchiveEntry.h"
#include "platform/FileStream.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

struct TDirectoryJournal {
    uint64_t OldCount;     // M: the slot of the head
    uint64_t NewCount;     // N, at most M
    uint64_t FirstChanged; // F, at most N
    bool Complete;         // written whole; otherwise the old records count
};

// The journal's bytes for a directory of `oldCount` records that is to hold
// `records` (in slot order, N of them, N <= oldCount), of which those before
// `firstChanged` stay as they are.
std::string EncodeJournal(uint64_t oldCount, uint64_t firstChanged,
                          std::span<const TArchiveEntry> records);
// The journal among a directory file's records as read (ReadDirectory), if
// there is one.
std::optional<TDirectoryJournal> FindJournal(std::span<const TArchiveEntry> records);
// Turns the records read into what the directory holds by the journal, with
// slots numbered afresh.
void ResolveJournal(std::vector<TArchiveEntry>& records, const TDirectoryJournal& journal);
// Brings the file to the records ResolveJournal gave, `resolved`: the new
// records written over their slots and the file cut after them (complete), or
// the file cut back to its old records (torn); then puts it on disk. Safe to
// run again after a failure. Throws the file layer's exceptions.
void SettleJournal(FileStream& dir, const TDirectoryJournal& journal,
                   std::span<const TArchiveEntry> resolved);

// Rewrites the directory file `dir` in place to hold `records` (in slot
// order, no more than it holds now), of which those before `firstChanged`
// already stand in their slots. Throws the file layer's exceptions while the
// file still holds its old records (it may then end in a torn journal, which
// settling cuts off). Once the journal is written the rewrite is whole: a
// failure in settling it is returned as its reason instead, and the journal
// stays in the file until it is settled.
std::string RewriteDirectoryInPlace(FileStream& dir, uint64_t firstChanged,
                                    std::span<const TArchiveEntry> records);
