#include "archive/Gta3Archive.h"

#include "archive/DirRecord.h"
#include "platform/Errors.h"

#include <algorithm>
#include <limits>

namespace {

// Records moved per read or write when the whole directory is loaded or rewritten.
constexpr size_t RecordsPerChunk = 1 << 16;

constexpr uint64_t RoundUpToSector(uint64_t bytes) {
    return (bytes + SectorSize - 1) / SectorSize * SectorSize;
}

} // namespace

std::string DirectoryFileName(const std::string& dataFileName) {
    size_t dot = dataFileName.rfind('.');
    if (dot == std::string::npos || dataFileName.find('/', dot) != std::string::npos)
        return dataFileName + ".dir";
    return dataFileName.substr(0, dot) + ".dir";
}

TGTA3Archive::TGTA3Archive(const std::string& FileName, bool CreateNew)
    : FileName_(FileName),
      ImgStream(CreateNew ? FileStream::CreateHeld(FileName) : FileStream::OpenHeld(FileName)),
      DirStream(CreateNew ? FileStream::CreateHeld(DirectoryFileName(FileName))
                          : FileStream::OpenHeld(DirectoryFileName(FileName))) {
    ReadDirectory();
}

TGTA3Archive::~TGTA3Archive() {
    try {
        Flush();
    } catch (...) {
        // Closing must not fail; every change was written when it was made.
    }
}

void TGTA3Archive::ReadDirectory() {
    const uint64_t records = DirStream.Length() / DirRecordSize;
    Entries.reserve(static_cast<size_t>(records) + 1);
    std::vector<unsigned char> chunk(std::min<uint64_t>(records, RecordsPerChunk) * DirRecordSize);
    DirStream.Seek(0);
    for (uint64_t done = 0; done < records;) {
        size_t count = static_cast<size_t>(std::min<uint64_t>(records - done, RecordsPerChunk));
        DirStream.ReadExact(chunk.data(), count * DirRecordSize);
        for (size_t i = 0; i < count; ++i) {
            TArchiveEntry entry{};
            DecodeRecord(chunk.data() + i * DirRecordSize, entry);
            entry.DirIndex = static_cast<int32_t>(done + i);
            Entries.push_back(entry);
        }
        done += count;
    }
}

const TArchiveEntry& TGTA3Archive::At(int Index) const {
    if (Index < 0 || static_cast<size_t>(Index) >= Entries.size())
        throw EListError(Index);
    return Entries[static_cast<size_t>(Index)];
}

TArchiveEntry TGTA3Archive::GetEntry(int Index) const {
    return At(Index);
}

void TGTA3Archive::Sort(TCompareFunc Compare) {
    if (Entries.empty())
        return;
    std::sort(
        Entries.begin(), Entries.end(),
        [Compare](const TArchiveEntry& a, const TArchiveEntry& b) { return Compare(a, b) < 0; });
}

void TGTA3Archive::ExtractEntry(int Index, FileStream& Dest) {
    const TArchiveEntry entry = At(Index);
    ImgStream.Seek(uint64_t{entry.Offset} * SectorSize);
    if (entry.Size != 0)
        Dest.CopyFrom(ImgStream, uint64_t{entry.Size} * SectorSize);
}

void TGTA3Archive::AddFile(std::string_view Name, FileStream& Source) {
    const uint64_t length = Source.Length();
    const uint64_t sectors = RoundUpToSector(length) / SectorSize;
    // A data file made elsewhere may end inside a sector: the entry starts at
    // the next boundary, so its Offset says where its bytes really are.
    const uint64_t oldImgLength = ImgStream.Length();
    const uint64_t start = RoundUpToSector(oldImgLength);
    // A trailing piece shorter than a record is not a record: the new record
    // goes over it, at the slot the next reader will see.
    const uint64_t oldDirLength = DirStream.Length();
    const uint64_t slot = oldDirLength / DirRecordSize;

    constexpr uint64_t maxField = std::numeric_limits<uint32_t>::max();
    if (start / SectorSize > maxField || sectors > maxField ||
        slot > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()))
        throw Exception("Cannot add " + std::string(Name) +
                        ": the archive would pass the largest offset or size a record can hold");

    TArchiveEntry entry{};
    entry.Offset = static_cast<uint32_t>(start / SectorSize);
    entry.Size = static_cast<uint32_t>(sectors);
    SetName(entry.Name, Name);
    entry.DirIndex = static_cast<int32_t>(slot);
    entry.Deleted = 0;

    // Room for the new entry first, so nothing can fail after the files changed.
    if (Entries.size() == Entries.capacity())
        Entries.reserve(std::max<size_t>(16, Entries.capacity() * 2));
    std::string piece(oldDirLength - slot * DirRecordSize, '\0');
    if (!piece.empty()) {
        DirStream.Seek(slot * DirRecordSize);
        DirStream.ReadExact(piece.data(), piece.size());
    }

    Unflushed = true;
    if (sectors != 0)
        ImgStream.Reserve(start + sectors * SectorSize); // fails with nothing changed
    try {
        if (length != 0) {
            ImgStream.Seek(start);
            ImgStream.CopyFrom(Source, length);
        }
        WriteRecord(entry);
    } catch (...) {
        // Put both files back as they were; the original error is what counts.
        try {
            ImgStream.SetLength(oldImgLength);
        } catch (...) {
        }
        try {
            DirStream.SetLength(oldDirLength);
            if (!piece.empty()) {
                DirStream.Seek(slot * DirRecordSize);
                DirStream.Write(piece.data(), piece.size());
            }
        } catch (...) {
        }
        throw;
    }
    Entries.push_back(entry);
}

void TGTA3Archive::WriteRecord(const TArchiveEntry& entry) {
    unsigned char record[DirRecordSize];
    EncodeRecord(entry, record);
    DirStream.Seek(uint64_t(entry.DirIndex) * DirRecordSize);
    DirStream.Write(record, sizeof record);
}

void TGTA3Archive::RenameEntry(int Index, std::string_view NewName) {
    TArchiveEntry renamed = At(Index);
    SetName(renamed.Name, NewName);
    // The table follows the disk only once the record is written.
    Unflushed = true;
    WriteRecord(renamed);
    Entries[static_cast<size_t>(Index)] = renamed;
}

void TGTA3Archive::MarkDeleted(int Index) {
    At(Index);
    Entries[static_cast<size_t>(Index)].Deleted = 1;
}

void TGTA3Archive::PurgeDeleted() {
    const auto bySlot = [](const TArchiveEntry& a, const TArchiveEntry& b) {
        return a.DirIndex < b.DirIndex;
    };
    if (!std::is_sorted(Entries.begin(), Entries.end(), bySlot))
        std::sort(Entries.begin(), Entries.end(), bySlot);
    std::erase_if(Entries, [](const TArchiveEntry& entry) { return entry.Deleted != 0; });

    // Written from slot 0 upwards, before the file is cut: every record's new
    // slot is at or below its old one, so an old slot is only overwritten after
    // its record has reached its new place, and a failure part-way loses nothing.
    std::vector<unsigned char> chunk(std::min(Entries.size(), RecordsPerChunk) * DirRecordSize);
    Unflushed = true;
    for (size_t done = 0; done < Entries.size();) {
        size_t count = std::min(Entries.size() - done, RecordsPerChunk);
        for (size_t i = 0; i < count; ++i)
            EncodeRecord(Entries[done + i], chunk.data() + i * DirRecordSize);
        DirStream.Seek(done * DirRecordSize);
        DirStream.Write(chunk.data(), count * DirRecordSize);
        for (size_t i = 0; i < count; ++i)
            Entries[done + i].DirIndex = static_cast<int32_t>(done + i);
        done += count;
    }
    DirStream.SetLength(Entries.size() * DirRecordSize);
}

void TGTA3Archive::Flush() {
    if (!Unflushed)
        return;
    ImgStream.Flush();
    DirStream.Flush();
    Unflushed = false;
}
