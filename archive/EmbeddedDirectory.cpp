#include "archive/EmbeddedDirectory.h"

#include "archive/DirectoryCodec.h"
#include "archive/PrintableName.h"
#include "archive/SingleFileFormat.h"
#include "archive/SingleFileJournal.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/TemporaryFile.h"

#include <algorithm>
#include <limits>

namespace {

// A record rewritten with one write is whole after a power cut only when it
// lies within one block of the disk.
constexpr uint64_t DiskBlock = 512;

// The game reads no more than this of an archive.
constexpr uint64_t GameReadLimit = uint64_t{1} << 32;

constexpr uint64_t RoundUpToSector(uint64_t bytes) {
    return (bytes + SectorSize - 1) / SectorSize * SectorSize;
}

// The lowest byte any record's data begins at.
uint64_t FirstDataOf(std::span<const TArchiveEntry> records) {
    uint64_t first = std::numeric_limits<uint64_t>::max();
    for (const TArchiveEntry& entry : records)
        if (entry.Size != 0)
            first = std::min(first, DataBegin(entry));
    return first;
}

// Copies `length` bytes of the file from `from` to `to` (regions apart).
void CopyWithin(FileStream& file, uint64_t from, uint64_t to, uint64_t length) {
    std::string buffer(static_cast<size_t>(std::min<uint64_t>(length, 1 << 20)), '\0');
    for (uint64_t done = 0; done < length;) {
        const size_t count = static_cast<size_t>(std::min<uint64_t>(length - done, buffer.size()));
        file.Seek(from + done);
        file.ReadExact(buffer.data(), count);
        file.Seek(to + done);
        file.Write(buffer.data(), count);
        done += count;
    }
}

} // namespace

TEmbeddedDirectory::TEmbeddedDirectory(std::string path, bool writable)
    : Path_(std::move(path)), Writable_(writable) {}

std::vector<TArchiveEntry> TEmbeddedDirectory::Load() {
    // A journal whose writer was killed before naming it is a temporary file.
    if (Writable_)
        RemoveStaleTemporariesQuietly(FolderOf(Path_));
    std::optional<TSingleFileJournal> journal;
    if (JournalStands(Path_)) {
        journal = ReadSingleFileJournal(*File_);
        Pending_ = true;
        if (Writable_) {
            try {
                Settle();
            } catch (const Exception&) {
                // Settled before the first change; until then the journal
                // says what the directory holds.
            }
        }
    }
    TSingleFileDirectory found =
        Pending_ && journal ? ReadSingleFileDirectory(*File_, journal->Offset, journal->Bytes)
                            : ReadSingleFileDirectory(*File_);
    Count_ = found.Records.size();
    CountedRecords_ = found.CountedRecords;
    HeaderCut_ = found.HeaderCut;
    const uint64_t length = File_->Length();
    Piece_ = CountedRecords_ > Count_ && length > DirectoryEnd(Count_)
                 ? std::min<uint64_t>(length - DirectoryEnd(Count_), DirRecordSize - 1)
                 : 0;
    FirstData_ = FirstDataOf(found.Records);
    return std::move(found.Records);
}

void TEmbeddedDirectory::Settle() {
    if (const std::optional<TSingleFileJournal> journal = ReadSingleFileJournal(*File_))
        ApplySingleFileJournal(*File_, *journal);
    RemoveSingleFileJournal(Path_);
    Pending_ = false;
}

void TEmbeddedDirectory::BeginChange() {
    if (Pending_)
        Settle();
}

TWarnings TEmbeddedDirectory::Journaled(uint64_t offset, std::string bytes) {
    TSingleFileJournal journal{offset, std::move(bytes)};
    WriteSingleFileJournal(*File_, journal);
    // From here the journal stands whole: the change is.
    Pending_ = true;
    TWarnings warnings;
    try {
        ApplySingleFileJournal(*File_, journal);
        RemoveSingleFileJournal(Path_);
        Pending_ = false;
    } catch (const EFileError& error) {
        warnings.push_back("the directory could not be finished in place (" + error.Reason() +
                           "); it is finished when the archive is next changed or opened");
    }
    return warnings;
}

void TEmbeddedDirectory::NoteData(const TArchiveEntry& entry) {
    if (entry.Size != 0)
        FirstData_ = std::min(FirstData_, DataBegin(entry));
}

void TEmbeddedDirectory::WriteRecord(const TArchiveEntry& entry) {
    std::string record(DirRecordSize, '\0');
    EncodeSingleFileRecord(entry, reinterpret_cast<unsigned char*>(record.data()));
    const uint64_t at = RecordAt(static_cast<uint64_t>(entry.DirIndex));
    if (at / DiskBlock == (at + DirRecordSize - 1) / DiskBlock) {
        File_->Seek(at);
        File_->Write(record.data(), record.size());
    } else {
        Journaled(at, std::move(record)); // what fails after it stands is settled later
    }
    NoteData(entry);
}

void TEmbeddedDirectory::AppendRecord(const TArchiveEntry& entry) {
    unsigned char record[DirRecordSize];
    EncodeSingleFileRecord(entry, record);
    if (Growth_) {
        Growth growth = std::move(*Growth_);
        Growth_.reset();
        std::copy(record, record + DirRecordSize,
                  growth.Bytes.begin() + ptrdiff_t(RecordAt(Count_)));
        StoreLE32(reinterpret_cast<unsigned char*>(growth.Bytes.data()) + 4,
                  static_cast<uint32_t>(Count_ + 1));
        // The moved data and the new entry's are on disk before any record
        // points at them.
        File_->Flush();
        Journaled(0, std::move(growth.Bytes));
        FirstData_ = growth.FirstData;
    } else {
        // Beyond the count the record is spare room: it counts only once the
        // header's count, written within one block, takes it in.
        File_->Seek(RecordAt(Count_));
        File_->Write(record, sizeof record);
        unsigned char count[4];
        StoreLE32(count, static_cast<uint32_t>(Count_ + 1));
        File_->Seek(4);
        File_->Write(count, sizeof count);
        NoteData(entry);
    }
    ++Count_;
    CountedRecords_ = Count_;
    HeaderCut_ = false;
    Piece_ = 0;
}

std::optional<std::vector<TArchiveEntry>>
TEmbeddedDirectory::PrepareAppend(std::span<const TArchiveEntry> records) {
    Growth_.reset();
    const uint64_t length = File_->Length();
    if (DirectoryEnd(Count_ + 1) <= std::min(FirstData_, RoundUpToSector(length)))
        return std::nullopt;

    // The entries whose data lies where the grown directory is to end go to
    // the end of the file, in slot order, and their records to the end of the
    // directory, so that records that follow each other in the data still do.
    const uint64_t room = RoomFor(Count_ + 1);
    std::vector<TArchiveEntry> table;
    table.reserve(records.size() + 1);
    for (const TArchiveEntry& entry : records)
        if (DataBegin(entry) >= room)
            table.push_back(entry);
    const size_t staying = table.size();
    for (const TArchiveEntry& entry : records)
        if (DataBegin(entry) < room)
            table.push_back(entry);
    for (size_t i = staying; i < table.size(); ++i)
        if (DataEnd(table[i]) > length)
            throw Exception("Cannot make room for a new record in " + Path_ + ": slot " +
                            std::to_string(table[i].DirIndex) + " \"" +
                            PrintableName(NameText(table[i])) +
                            "\" reaches past the end of the file and cannot be moved");

    uint64_t end = std::max(RoundUpToSector(length), room);
    try {
        for (size_t i = staying; i < table.size(); ++i) {
            TArchiveEntry& entry = table[i];
            if (end / SectorSize > std::numeric_limits<uint32_t>::max())
                throw Exception("Cannot make room for a new record in " + Path_ +
                                ": the data would pass the largest offset a record can hold");
            const uint64_t from = DataBegin(entry);
            entry.Offset = static_cast<uint32_t>(end / SectorSize);
            const uint64_t bytes = uint64_t{entry.Size} * SectorSize;
            CopyWithin(*File_, from, end, bytes);
            end += bytes;
        }
        // New data goes after the grown directory even when nothing moved.
        if (File_->Length() < end)
            File_->SetLength(end);
    } catch (...) {
        try {
            File_->SetLength(length);
        } catch (...) {
            // The first failure is what counts; the bytes past the old end
            // are no entry's.
        }
        throw;
    }
    Growth_ = Growth{EncodeSingleFileDirectory(table, room), FirstDataOf(table)};
    return table;
}

TWarnings TEmbeddedDirectory::ReplaceAll(std::span<const TArchiveEntry> records,
                                         size_t /*unchanged*/) {
    const uint64_t roomEnd = std::min(FirstData_, RoundUpToSector(File_->Length()));
    if (records.size() > Count_ && DirectoryEnd(records.size()) > roomEnd)
        throw Exception("Cannot write the directory of " + Path_ +
                        ": it does not fit before the data");
    // The old records past the new last one are cleared: they become spare room.
    const uint64_t region = std::max(DirectoryEnd(Count_), DirectoryEnd(records.size()));
    TWarnings warnings = Journaled(0, EncodeSingleFileDirectory(records, region));
    Count_ = records.size();
    CountedRecords_ = Count_;
    HeaderCut_ = false;
    Piece_ = 0;
    FirstData_ = FirstDataOf(records);
    return warnings;
}

uint64_t TEmbeddedDirectory::Length() const {
    return Count_ * DirRecordSize + Piece_;
}

void TEmbeddedDirectory::Flush() {
    File_->Flush();
}

TDirectoryFacts TEmbeddedDirectory::Facts() const {
    TDirectoryFacts facts;
    facts.DataStart = DirectoryEnd(Count_);
    facts.Reserved = std::max(facts.DataStart, std::min(FirstData_, RoomFor(Count_)));
    facts.CountedRecords = CountedRecords_;
    facts.HeaderCut = HeaderCut_;
    facts.ReadLimit = GameReadLimit;
    facts.MaxEntrySectors = MaxSingleFileSectors;
    facts.Streaming = &LaterGameStreaming;
    facts.StreamedOnly = true;
    return facts;
}

void TEmbeddedDirectory::Adopt(std::span<const TArchiveEntry> records) {
    Count_ = CountedRecords_ = records.size();
    HeaderCut_ = false;
    Piece_ = 0;
    FirstData_ = FirstDataOf(records);
    Pending_ = false;
    Growth_.reset();
}

TArchiveFiles CreateSingleFile(const std::string& path) {
    RemoveStaleTemporariesQuietly(FolderOf(path));
    // Held until replaced, so a file someone has open is never renamed over.
    const std::optional<FileStream> old = HoldForReplacing(path);
    TTemporaryFile file(path);
    const std::string bytes = EncodeSingleFileDirectory({}, RoomFor(0));
    file.Stream().Write(bytes.data(), bytes.size());
    file.Stream().Flush();
    file.ReplaceFinal(TTemporaryFile::Replacing::AnyFile);
    // A journal an old file there left names that file, not this one: the
    // next opening would remove it unread anyway.
    try {
        RemoveSingleFileJournal(path);
    } catch (const Exception&) {
    }
    return {std::move(file.Stream()), std::make_unique<TEmbeddedDirectory>(path, true), {}};
}
