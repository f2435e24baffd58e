// One open archive: its data file of 2048-byte sectors and the store of its
// directory (DirectoryStore.h), both held open, and the directory in memory as
// a table in slot order. Every change is written to the files at once.
#pragma once

#include "archive/ArchiveEntry.h"
#include "archive/DirectoryStore.h"
#include "platform/FileStream.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Where an entry's data lies in the data file, in sectors.
struct TDataPlace {
    uint32_t Offset;
    uint32_t Size;
};

class TGTA3Archive {
public:
    // Opens the archive at `FileName` (the data file's path) or, with
    // `CreateNew`, creates it empty; held exclusively. Throws EFOpenError /
    // EFCreateError / EReadError. Create never empties an existing file, which
    // other names may share (OpenArchiveFiles). An opening shows what a change
    // that was stopped left behind as its files and store resolve it (a
    // compaction in place, OpenArchiveFiles; a rewrite of the directory, Load).
    TGTA3Archive(const std::string& FileName, bool CreateNew);
    TGTA3Archive(const std::string& FileName, TOpenMode Mode);
    // Creates an empty archive of the kind given (TOpenMode::Create).
    TGTA3Archive(const std::string& FileName, TArchiveKind NewKind);
    // Takes over an archive's files, held exclusively, whose directory holds
    // `Table` (in slot order), as a compaction in place leaves them; nothing
    // is read.
    TGTA3Archive(const std::string& FileName, TArchiveFiles Files,
                 std::vector<TArchiveEntry> Table);
    // An archive object can take another's place, so that its holder keeps
    // working on a compacted archive. The store is told where the data
    // stream went (TDirectoryStore::UseDataFile).
    TGTA3Archive(TGTA3Archive&& other) noexcept;
    TGTA3Archive& operator=(TGTA3Archive&& other) noexcept;
    // Flushes the files to disk if anything changed, and closes them; failures
    // are ignored here.
    ~TGTA3Archive();
    TGTA3Archive(const TGTA3Archive&) = delete;
    TGTA3Archive& operator=(const TGTA3Archive&) = delete;

    // The data file's path exactly as passed to the constructor.
    const std::string& FileName() const { return FileName_; }
    // Opened with TOpenMode::Shared: changes are refused.
    bool IsReadOnly() const { return ReadOnly_; }
    uint64_t DataLength() const { return ImgStream.Length(); }
    // The bytes of the directory the table stands for (TDirectoryStore::Length).
    uint64_t DirectoryLength() const { return Directory_->Length(); }
    // For the title and the status bar only: the code that works on the
    // records serves every kind alike.
    TArchiveKind Kind() const { return Directory_->Kind(); }
    // What the check holds the records against (TDirectoryStore::Facts).
    TDirectoryFacts DirectoryFacts() const { return Directory_->Facts(); }
    // What the opening found beside the archive, to be told as warnings.
    const TWarnings& OpeningWarnings() const { return OpeningWarnings_; }

    // The table is always in slot order: Table()[i].DirIndex == i, for every
    // entry and after every change. An index into it is a slot; a list that
    // shows another order holds its own permutation of the slots.
    TArchiveEntry GetEntry(int Index) const; // throws EListError
    int Count() const { return static_cast<int>(Entries.size()); }
    // The whole table, for reading it in bulk; valid until the next change.
    std::span<const TArchiveEntry> Table() const { return Entries; }

    // Copies the entry's Size x 2048 bytes into `Dest` at its position.
    void ExtractEntry(int Index, FileStream& Dest);
    // Copies `length` bytes of the data file from byte `begin` into `Dest` at
    // its position.
    void CopyData(uint64_t begin, uint64_t length, FileStream& Dest);
    // Appends `Source` (from its position to its end) as a new last entry.
    // When the directory had to make room for it by moving entries to its end
    // (TDirectoryStore::PrepareAppend), returns each old slot's new slot;
    // otherwise nothing, and every entry kept its slot.
    std::vector<int32_t> AddFile(std::string_view Name, FileStream& Source);
    // Appends `Source` to the data file, at the next sector boundary, for an
    // entry that does not point at it yet; on failure the data file is cut
    // back. Returns where the data lies.
    TDataPlace AppendData(FileStream& Source);
    // Points the entry at other data: its record is rewritten in place with the
    // new Offset and Size, so it names either the old data or the new, never a
    // mix. The entry keeps its name and slot.
    void SetEntryData(int Index, TDataPlace Place);
    // Rewrites the entry's record with a new name; the entry keeps its slot.
    void RenameEntry(int Index, std::string_view NewName);
    void MarkDeleted(int Index);
    // Drops the marked entries and writes the directory anew, whole or not at
    // all (TDirectoryStore::ReplaceAll); the entries after each dropped one
    // move down to close the gap. Failures after the new directory is whole
    // are returned; earlier ones are thrown, with the directory and the table
    // as they were and no entry marked.
    TWarnings PurgeDeleted();
    // Writes the directory anew as `table` (records in slot order; DirIndex
    // and marks are set here), whole or not at all (TDirectoryStore::
    // ReplaceAll), and takes it as the table: Undo and Redo. Throws with the
    // directory and the table as they were.
    TWarnings ReplaceTable(std::vector<TArchiveEntry> table);
    // Puts the files on disk (fsync) when anything was written since the last
    // flush. Commands call it once at their end.
    void Flush();

private:
    TGTA3Archive(const std::string& FileName, TOpenMode Mode, TArchiveFiles Files);
    const TArchiveEntry& At(int Index) const;
    // Refuses a change of an archive opened for reading; settles what a change
    // that was stopped left unsettled.
    void BeginChange();
    // Where `length` bytes appended to a data file of `dataLength` bytes go.
    TDataPlace PlaceForAppend(uint64_t dataLength, uint64_t length, std::string_view name) const;
    // Appends the rest of `Source` at the next sector boundary of the data
    // file, now `oldLength` bytes long; the data file is cut back when that fails.
    TDataPlace CopyToEnd(FileStream& Source, std::string_view name, uint64_t oldLength);
    // Puts the entries a failed purge dropped (`dropped`, in slot order) back
    // in their slots, the table `count` entries long again, and unmarks them.
    void RestoreDropped(const std::vector<TArchiveEntry>& dropped, size_t count);

    std::string FileName_;
    bool ReadOnly_;
    FileStream ImgStream;
    std::unique_ptr<TDirectoryStore> Directory_;
    std::vector<TArchiveEntry> Entries;
    TWarnings OpeningWarnings_;
    bool Unflushed = false; // written to since the last Flush
};
