// The directory of a single-file archive: the header and the records at the
// start of the data file (SingleFileFormat.h), written through the archive's
// own data stream.
//
// One record that lies within one 512-byte disk block is rewritten in place
// (rename, replace), as a pair's record is; a new record goes into the spare
// room after the last one before the header's count takes it in. Anything
// larger - a record across a block boundary, a new directory (delete), making
// room - goes through a journal beside the file (SingleFileJournal.h).
//
// Making room: when the records reach the data, the entries whose data lies
// where the grown directory is to end are copied, in slot order, to the end
// of the file, and their records move to the end of the directory, so that a
// directory in streaming order stays so; then the grown directory, with the
// new record, is written over the freed sectors through the journal.
#pragma once

#include "archive/DirectoryStore.h"

#include <optional>
#include <string>
#include <vector>

class TEmbeddedDirectory final : public TDirectoryStore {
public:
    TEmbeddedDirectory(std::string path, bool writable);

    TArchiveKind Kind() const override { return TArchiveKind::SingleFile; }
    void UseDataFile(FileStream& data) override { File_ = &data; }
    // A complete journal beside the file says what the directory holds.
    std::vector<TArchiveEntry> Load() override;
    void BeginChange() override;
    void WriteRecord(const TArchiveEntry& entry) override;
    void AppendRecord(const TArchiveEntry& entry) override;
    TWarnings ReplaceAll(std::span<const TArchiveEntry> records, size_t unchanged) override;
    uint64_t Length() const override;
    void Flush() override;
    std::optional<std::vector<TArchiveEntry>>
    PrepareAppend(std::span<const TArchiveEntry> records) override;
    TDirectoryFacts Facts() const override;
    void Adopt(std::span<const TArchiveEntry> records) override;

private:
    // The journal written, then its bytes in place; failures after the
    // journal stands are returned (the change is whole), earlier ones thrown.
    TWarnings Journaled(uint64_t offset, std::string bytes);
    // Settles a journal beside the file: written in place and removed when
    // complete, removed when not.
    void Settle();
    void NoteData(const TArchiveEntry& entry);

    std::string Path_;
    bool Writable_;
    FileStream* File_ = nullptr;
    uint64_t Count_ = 0;              // records in the directory
    uint64_t CountedRecords_ = 0;     // what the header said when loaded
    bool HeaderCut_ = false;          // the file ended inside the header when loaded
    uint64_t Piece_ = 0;              // bytes of a cut record after the last whole one
    uint64_t FirstData_ = UINT64_MAX; // the lowest byte any record's data begins at
    // A journal may stand beside the file, or its removal may not be on disk:
    // settled before the next change.
    bool Pending_ = false;
    // Room made by PrepareAppend, written with the next AppendRecord.
    struct Growth {
        std::string Bytes;  // the grown directory as stored, without the new record
        uint64_t FirstData; // FirstData_ once it stands
    };
    std::optional<Growth> Growth_;
};

// Creates an empty single-file archive at `path` in place of any old file
// there, under a temporary name renamed over it: the header and the spare
// room (RoomFor). A journal left beside an old file there is removed first.
TArchiveFiles CreateSingleFile(const std::string& path);
