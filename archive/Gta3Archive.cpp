#include "archive/Gta3Archive.h"

#include "archive/DirectoryCodec.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <limits>

namespace {

constexpr uint64_t RoundUpToSector(uint64_t bytes) {
    return (bytes + SectorSize - 1) / SectorSize * SectorSize;
}

} // namespace

TGTA3Archive::TGTA3Archive(const std::string& FileName, bool CreateNew)
    : TGTA3Archive(FileName, CreateNew ? TOpenMode::Create : TOpenMode::Exclusive) {}

TGTA3Archive::TGTA3Archive(const std::string& FileName, TOpenMode Mode)
    : TGTA3Archive(FileName, Mode, OpenArchiveFiles(FileName, Mode)) {}

TGTA3Archive::TGTA3Archive(const std::string& FileName, TArchiveKind NewKind)
    : TGTA3Archive(FileName, TOpenMode::Create,
                   OpenArchiveFiles(FileName, TOpenMode::Create, NewKind)) {}

TGTA3Archive::TGTA3Archive(const std::string& FileName, TOpenMode Mode, TArchiveFiles Files)
    : FileName_(FileName), ReadOnly_(Mode == TOpenMode::Shared), ImgStream(std::move(Files.Data)),
      Directory_(std::move(Files.Directory)), OpeningWarnings_(std::move(Files.Warnings)) {
    Directory_->UseDataFile(ImgStream);
    // New files in place are an empty archive: nothing more may fail now.
    if (Mode != TOpenMode::Create)
        Entries = Directory_->Load();
}

TGTA3Archive::TGTA3Archive(const std::string& FileName, TArchiveFiles Files,
                           std::vector<TArchiveEntry> Table)
    : FileName_(FileName), ReadOnly_(false), ImgStream(std::move(Files.Data)),
      Directory_(std::move(Files.Directory)), Entries(std::move(Table)),
      OpeningWarnings_(std::move(Files.Warnings)) {
    Directory_->UseDataFile(ImgStream);
    Directory_->Adopt(Entries);
}

TGTA3Archive::TGTA3Archive(TGTA3Archive&& other) noexcept
    : FileName_(std::move(other.FileName_)), ReadOnly_(other.ReadOnly_),
      ImgStream(std::move(other.ImgStream)), Directory_(std::move(other.Directory_)),
      Entries(std::move(other.Entries)), OpeningWarnings_(std::move(other.OpeningWarnings_)),
      Unflushed(other.Unflushed) {
    if (Directory_)
        Directory_->UseDataFile(ImgStream);
}

TGTA3Archive& TGTA3Archive::operator=(TGTA3Archive&& other) noexcept {
    FileName_ = std::move(other.FileName_);
    ReadOnly_ = other.ReadOnly_;
    ImgStream = std::move(other.ImgStream);
    Directory_ = std::move(other.Directory_);
    Entries = std::move(other.Entries);
    OpeningWarnings_ = std::move(other.OpeningWarnings_);
    Unflushed = other.Unflushed;
    if (Directory_)
        Directory_->UseDataFile(ImgStream);
    return *this;
}

TGTA3Archive::~TGTA3Archive() {
    try {
        Flush();
    } catch (...) {
        // Closing must not fail; every change was written when it was made.
    }
}

const TArchiveEntry& TGTA3Archive::At(int Index) const {
    if (Index < 0 || static_cast<size_t>(Index) >= Entries.size())
        throw EListError(Index);
    return Entries[static_cast<size_t>(Index)];
}

void TGTA3Archive::BeginChange() {
    if (ReadOnly_)
        throw Exception(FileName_ + " is open for reading only");
    Directory_->BeginChange();
}

TArchiveEntry TGTA3Archive::GetEntry(int Index) const {
    return At(Index);
}

void TGTA3Archive::ExtractEntry(int Index, FileStream& Dest) {
    const TArchiveEntry entry = At(Index);
    if (entry.Size != 0)
        CopyData(DataBegin(entry), uint64_t{entry.Size} * SectorSize, Dest);
}

void TGTA3Archive::CopyData(uint64_t begin, uint64_t length, FileStream& Dest) {
    ImgStream.Seek(begin);
    Dest.CopyFrom(ImgStream, length);
}

TDataPlace TGTA3Archive::PlaceForAppend(uint64_t dataLength, uint64_t length,
                                        std::string_view name) const {
    // A data file made elsewhere may end inside a sector: new data starts at
    // the next boundary, so its Offset says where its bytes really are.
    const uint64_t start = RoundUpToSector(dataLength);
    const uint64_t sectors = RoundUpToSector(length) / SectorSize;
    if (const uint64_t most = Directory_->Facts().MaxEntrySectors; sectors > most)
        throw Exception(
            "Cannot add " + std::string(name) + ": it takes " + std::to_string(sectors) +
            " sectors, and an entry of this archive holds at most " + std::to_string(most) + " (" +
            std::to_string(most * SectorSize) + " bytes)");
    constexpr uint64_t maxField = std::numeric_limits<uint32_t>::max();
    if (start / SectorSize > maxField || sectors > maxField)
        throw Exception("Cannot add " + std::string(name) +
                        ": the archive would pass the largest offset or size a record can hold");
    return {static_cast<uint32_t>(start / SectorSize), static_cast<uint32_t>(sectors)};
}

TDataPlace TGTA3Archive::AppendData(FileStream& Source) {
    BeginChange();
    return CopyToEnd(Source, FileNameOf(Source.Path()), ImgStream.Length());
}

TDataPlace TGTA3Archive::CopyToEnd(FileStream& Source, std::string_view name, uint64_t oldLength) {
    const uint64_t sourceLength = Source.Length();
    const uint64_t length = sourceLength - std::min(Source.Position(), sourceLength);
    const TDataPlace place = PlaceForAppend(oldLength, length, name);
    const uint64_t start = uint64_t{place.Offset} * SectorSize;
    Unflushed = true;
    if (place.Size != 0)
        ImgStream.Reserve(start + uint64_t{place.Size} * SectorSize); // fails with nothing changed
    try {
        ImgStream.Seek(start);
        ImgStream.CopyFrom(Source, length);
    } catch (...) {
        try {
            ImgStream.SetLength(oldLength);
        } catch (...) {
            // The copy's own error is what counts.
        }
        throw;
    }
    return place;
}

std::vector<int32_t> TGTA3Archive::AddFile(std::string_view Name, FileStream& Source) {
    BeginChange();
    const size_t slot = Entries.size();
    if (slot >= MaxRecords)
        throw Exception("Cannot add " + std::string(Name) +
                        ": the directory holds as many records as an archive can");
    // Refused before anything moves to make room for it.
    const uint64_t sourceLength = Source.Length();
    PlaceForAppend(0, sourceLength - std::min(Source.Position(), sourceLength), Name);

    // Room for the new entry first, so nothing can fail after the files changed.
    if (Entries.size() == Entries.capacity())
        Entries.reserve(std::max<size_t>(16, Entries.capacity() * 2));

    const uint64_t oldImgLength = ImgStream.Length();
    std::vector<int32_t> newSlots;
    try {
        // Undone by itself when it fails, as is the copy below.
        std::optional<std::vector<TArchiveEntry>> grown = Directory_->PrepareAppend(Entries);
        if (grown) {
            newSlots.resize(slot);
            for (size_t i = 0; i < grown->size(); ++i)
                newSlots[static_cast<size_t>((*grown)[i].DirIndex)] = static_cast<int32_t>(i);
            grown->reserve(slot + 1);
        }
        Unflushed = true;
        const TDataPlace place = CopyToEnd(Source, Name, ImgStream.Length());
        const TArchiveEntry entry =
            MakeEntry(place.Offset, place.Size, Name, static_cast<int32_t>(slot));
        Directory_->AppendRecord(entry); // puts the directory back when it fails
        if (grown) {
            for (size_t i = 0; i < grown->size(); ++i)
                (*grown)[i].DirIndex = static_cast<int32_t>(i);
            Entries = std::move(*grown);
        }
        Entries.push_back(entry);
    } catch (...) {
        // The data file as it was; the original error is what counts.
        try {
            if (ImgStream.Length() != oldImgLength)
                ImgStream.SetLength(oldImgLength);
        } catch (...) {
        }
        throw;
    }
    return newSlots;
}

void TGTA3Archive::SetEntryData(int Index, TDataPlace Place) {
    BeginChange();
    TArchiveEntry changed = At(Index);
    changed.Offset = Place.Offset;
    changed.Size = Place.Size;
    changed.SizeInArchive = 0; // the new data's size is Size
    Unflushed = true;
    // The record is rewritten in place: it names the old data or the new, whole.
    Directory_->WriteRecord(changed);
    Entries[static_cast<size_t>(Index)] = changed;
}

void TGTA3Archive::RenameEntry(int Index, std::string_view NewName) {
    BeginChange();
    TArchiveEntry renamed = At(Index);
    SetName(renamed.Name, NewName);
    // The table follows the disk only once the record is written.
    Unflushed = true;
    Directory_->WriteRecord(renamed);
    Entries[static_cast<size_t>(Index)] = renamed;
}

void TGTA3Archive::MarkDeleted(int Index) {
    At(Index);
    Entries[static_cast<size_t>(Index)].Deleted = 1;
}

TWarnings TGTA3Archive::PurgeDeleted() {
    const auto marked = [](const TArchiveEntry& entry) { return entry.Deleted != 0; };
    std::vector<TArchiveEntry> dropped;
    try {
        BeginChange();
        dropped.reserve(static_cast<size_t>(std::count_if(Entries.begin(), Entries.end(), marked)));
    } catch (...) {
        for (TArchiveEntry& entry : Entries)
            entry.Deleted = 0;
        throw;
    }
    const size_t count = Entries.size();
    size_t kept = 0;
    for (const TArchiveEntry& entry : Entries) {
        if (marked(entry))
            dropped.push_back(entry);
        else
            Entries[kept++] = entry;
    }
    Entries.resize(kept);

    // Until the new directory is whole every entry keeps the slot it has in
    // the old one, so a failure can put the table back as the directory is.
    size_t unchanged = 0;
    while (unchanged < kept && Entries[unchanged].DirIndex == static_cast<int32_t>(unchanged))
        ++unchanged;
    TWarnings warnings;
    try {
        warnings = Directory_->ReplaceAll(Entries, unchanged);
    } catch (...) {
        RestoreDropped(dropped, count);
        throw;
    }
    for (size_t i = 0; i < Entries.size(); ++i)
        Entries[i].DirIndex = static_cast<int32_t>(i);
    return warnings;
}

TWarnings TGTA3Archive::ReplaceTable(std::vector<TArchiveEntry> table) {
    BeginChange();
    const auto sameRecord = [](const TArchiveEntry& a, const TArchiveEntry& b) {
        return a.Offset == b.Offset && a.Size == b.Size &&
               std::equal(std::begin(a.Name), std::end(a.Name), std::begin(b.Name));
    };
    size_t unchanged = 0;
    while (unchanged < std::min(table.size(), Entries.size()) &&
           sameRecord(table[unchanged], Entries[unchanged]))
        ++unchanged;
    for (size_t i = 0; i < table.size(); ++i) {
        table[i].DirIndex = static_cast<int32_t>(i);
        table[i].Deleted = 0;
    }
    // Like a purge, the store puts the new directory on disk itself.
    TWarnings warnings = Directory_->ReplaceAll(table, unchanged);
    Entries = std::move(table);
    return warnings;
}

void TGTA3Archive::RestoreDropped(const std::vector<TArchiveEntry>& dropped, size_t count) {
    // Within the capacity the table had: nothing is allocated, nothing fails.
    // Each kept entry moves up to its slot, the last one first, so none is
    // overwritten before it moved.
    const size_t kept = Entries.size();
    Entries.resize(count);
    for (size_t i = kept; i-- > 0;)
        Entries[static_cast<size_t>(Entries[i].DirIndex)] = Entries[i];
    for (TArchiveEntry entry : dropped) {
        entry.Deleted = 0;
        Entries[static_cast<size_t>(entry.DirIndex)] = entry;
    }
}

void TGTA3Archive::Flush() {
    if (!Unflushed)
        return;
    ImgStream.Flush();
    Directory_->Flush();
    Unflushed = false;
}
