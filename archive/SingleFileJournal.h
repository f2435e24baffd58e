// The journal of a change to a single-file archive larger than one record that
// lies within one disk block: the directory lives inside the data file and
// cannot be replaced by a rename, so the bytes it is to hold are first put in
// a file beside it, "<archive>.pelkon-journal", whole and on disk, and only
// then written in place. The file is written under a temporary name and
// renamed, so the journal's name shows a complete journal or none; a checksum
// tells one a power cut left with stale blocks.
//
//   bytes 0-15   "pelkon ver2 jrnl"
//   16-31        device and inode of the archive it belongs to (u64 each)
//   32-39        Offset: where the bytes go in the archive
//   40-47        L, the number of bytes
//   48...        the L bytes
//   last 8       checksum (Checksum64) of everything before it
//
// An opening that finds a complete journal of this archive writes its bytes
// in place before anything else and removes it; any other journal there is
// torn or not this archive's, and is removed unread.
#pragma once

#include "platform/FileStream.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

std::string JournalPathOf(const std::string& archivePath);

struct TSingleFileJournal {
    uint64_t Offset = 0;
    std::string Bytes;
};

// Puts the journal beside `archive` (whose path names it), whole and on
// disk, with its folder synced. Throws the file layer's exceptions, with no
// journal left; returns once the journal stands (also when its folder could
// not be synced and it could not be taken back either).
void WriteSingleFileJournal(const FileStream& archive, const TSingleFileJournal& journal);
// Whether a journal file stands beside the archive.
bool JournalStands(const std::string& archivePath);
// The complete journal of `archive` beside it, if there is one; a journal
// that is torn, belongs to another file or reaches past the archive's end is
// nothing. Throws EReadError / EFOpenError.
std::optional<TSingleFileJournal> ReadSingleFileJournal(const FileStream& archive);
// Writes the journal's bytes in place and puts them on disk. Safe to repeat.
void ApplySingleFileJournal(FileStream& archive, const TSingleFileJournal& journal);
// Removes the journal file, if any, and syncs the folder so it stays removed.
void RemoveSingleFileJournal(const std::string& archivePath);
