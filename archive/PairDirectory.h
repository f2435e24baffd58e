// The directory of a pair: a separate file of bare 32-byte records beside the
// data file (DirectoryCodec.h), held open with it.
#pragma once

#include "archive/DirectoryStore.h"
#include "platform/FileStream.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

class TPairDirectory final : public TDirectoryStore {
public:
    // `dir`: the directory file, held; `writable`: whether the archive may change.
    TPairDirectory(FileStream dir, bool writable);

    TArchiveKind Kind() const override { return TArchiveKind::Pair; }
    // A journal of a rewrite in place that was stopped (DirectoryJournal.h)
    // says what the file holds.
    std::vector<TArchiveEntry> Load() override;
    void BeginChange() override;
    // One 32-byte write at a 32-byte boundary: the record is old or new, whole.
    void WriteRecord(const TArchiveEntry& entry) override;
    // A trailing piece shorter than a record is not a record: the new record
    // goes over it, at the slot the next reader will see, and the piece comes
    // back when the write fails.
    void AppendRecord(const TArchiveEntry& entry) override;
    // A new file renamed over the old one where that keeps every name, owner
    // and group of it; otherwise rewritten in place through a journal.
    TWarnings ReplaceAll(std::span<const TArchiveEntry> records, size_t unchanged) override;
    uint64_t Length() const override;
    void Flush() override;

private:
    bool ReplaceFile(std::span<const TArchiveEntry> records, TWarnings& warnings);
    void RewriteInPlace(std::span<const TArchiveEntry> records, size_t unchanged,
                        TWarnings& warnings);

    FileStream Dir_;
    bool Writable_;
    // The file may still hold a journal, or its settling may not be on disk
    // yet: settled before the next change.
    bool JournalPending_ = false;
    uint64_t PendingRecords_ = 0; // the records the unsettled journal stands for
};

// Opens the pair whose data file is `dataPath`, or creates it (TOpenMode::Create):
// new files are made under temporary names and renamed over the old ones, each
// of which must be a regular file that nobody holds; it is held from then until
// it is replaced. The directory file goes first: stopped between the two, the
// pair is an empty archive beside the old data file's bytes. A data file path
// that names its own directory file (".dir"), or two names of one file, are
// refused before anything is made.
TArchiveFiles OpenPair(const std::string& dataPath, TOpenMode mode);
// Settles a compaction of the pair at `dataPath` that was stopped once it was
// made (FileSwap.h), and returns where its data file and directory file are to
// be opened.
std::vector<std::string> SettlePair(const std::string& dataPath, TOpenMode mode);
// OpenPair with the data file already open, and its directory file at `dirPath`
// (SettlePair); `mode` is not Create.
TArchiveFiles OpenPair(FileStream data, const std::string& dirPath, TOpenMode mode);
