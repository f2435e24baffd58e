#include "archive/Gta3Archive.h"

#include "archive/DirectoryCodec.h"
#include "archive/DirectoryJournal.h"
#include "platform/Errors.h"
#include "platform/FileSwap.h"
#include "platform/FileSystem.h"
#include "platform/TemporaryFile.h"

#include <cerrno>
#include <limits>
#include <optional>

namespace {

constexpr uint64_t RoundUpToSector(uint64_t bytes) {
    return (bytes + SectorSize - 1) / SectorSize * SectorSize;
}

FileStream OpenFile(const std::string& path, TOpenMode mode) {
    if (mode == TOpenMode::Shared)
        return FileStream::OpenReadShared(path);
    return FileStream::OpenHeld(path);
}

// A lone directory file given as the data file is one file for both halves.
const char* const DataFileItself = "it is the data file itself";

// Opens the directory file of the data file `data` has open. Opened
// exclusively, a lone directory file meets its own hold, which reads as "in
// use by another program": it is told as what it is instead.
FileStream OpenDirectoryFile(const std::string& path, TOpenMode mode, const FileStream& data) {
    try {
        return OpenFile(path, mode);
    } catch (const EFileError& error) {
        if (error.SystemError() != EWOULDBLOCK)
            throw;
        bool itself = false;
        try {
            const std::optional<TFileInfo> target = TargetInfo(path);
            itself = target && target->SameFile(data.Info());
        } catch (const Exception&) {
            // Not known to be the same file: the open's own failure stands.
        }
        if (!itself)
            throw;
        throw EFOpenError(path, DataFileItself);
    }
}

// New empty files in place of the pair's old ones (see TOpenMode::Create).
std::pair<FileStream, FileStream> CreateFiles(const std::string& imgPath) {
    const std::string dirPath = DirectoryFileName(imgPath);
    if (dirPath == imgPath)
        throw EFCreateError(dirPath, DataFileItself);
    RemoveStaleTemporariesQuietly(FolderOf(imgPath));
    // Held until replaced, so a pair someone has open is never renamed over.
    const std::optional<FileStream> oldImg = HoldForReplacing(imgPath);
    if (oldImg) {
        const std::optional<TFileInfo> dirInfo = PathInfo(dirPath);
        if (dirInfo && dirInfo->SameFile(oldImg->Info()))
            throw EFCreateError(dirPath, DataFileItself);
    }
    const std::optional<FileStream> oldDir = HoldForReplacing(dirPath);

    const std::string token = NewTemporaryToken();
    TTemporaryFile img(imgPath, token);
    TTemporaryFile dir(dirPath, token);
    img.Stream().Flush();
    dir.Stream().Flush();
    std::optional<TSetAside> keptDir;
    if (oldDir)
        keptDir.emplace(dirPath);
    dir.ReplaceFinal(TTemporaryFile::Replacing::AnyFile);
    try {
        img.ReplaceFinal(TTemporaryFile::Replacing::AnyFile);
    } catch (...) {
        // The old pair comes back: nothing is changed by a failed create.
        try {
            if (keptDir)
                keptDir->Restore();
            else
                RemoveFile(dirPath);
        } catch (...) {
        }
        throw;
    }
    return {std::move(img.Stream()), std::move(dir.Stream())};
}

std::pair<FileStream, FileStream> OpenFiles(const std::string& imgPath, TOpenMode mode) {
    // A compaction stopped once its new pair was whole is settled first.
    const std::string pair[] = {imgPath, DirectoryFileName(imgPath)};
    const std::vector<std::string> paths =
        SettleSwap(pair, mode == TOpenMode::Shared ? TSwapAccess::ReadOnly : TSwapAccess::Finish);
    if (mode == TOpenMode::Create)
        return CreateFiles(imgPath);
    FileStream img = OpenFile(paths[0], mode);
    FileStream dir = OpenDirectoryFile(paths[1], mode, img);
    img.Renamed(pair[0]);
    dir.Renamed(pair[1]);
    return {std::move(img), std::move(dir)};
}

} // namespace

std::string DirectoryFileName(const std::string& dataFileName) {
    // The extension is the file name's, never a dot in a folder's name.
    const size_t nameStart = dataFileName.size() - FileNameOf(dataFileName).size();
    const size_t dot = dataFileName.rfind('.');
    if (dot == std::string::npos || dot < nameStart)
        return dataFileName + ".dir";
    return dataFileName.substr(0, dot) + ".dir";
}

TGTA3Archive::TGTA3Archive(const std::string& FileName, bool CreateNew)
    : TGTA3Archive(FileName, CreateNew ? TOpenMode::Create : TOpenMode::Exclusive) {}

TGTA3Archive::TGTA3Archive(const std::string& FileName, TOpenMode Mode)
    : TGTA3Archive(FileName, Mode, OpenFiles(FileName, Mode)) {}

TGTA3Archive::TGTA3Archive(const std::string& FileName, TOpenMode Mode,
                           std::pair<FileStream, FileStream> Files)
    : FileName_(FileName), ReadOnly_(Mode == TOpenMode::Shared), ImgStream(std::move(Files.first)),
      DirStream(std::move(Files.second)) {
    // New files in place are an empty pair: nothing more may fail now.
    if (Mode == TOpenMode::Create)
        return;
    // A lone directory file given as the data file is one file for both halves:
    // an exclusive hold refuses the second open, a shared one has to be told.
    if (ImgStream.Info().SameFile(DirStream.Info()))
        throw EFOpenError(DirStream.Path(), DataFileItself);
    Entries = ReadDirectory(DirStream);
    if (const std::optional<TDirectoryJournal> journal = FindJournal(Entries)) {
        // A rewrite in place was stopped: its journal says what the directory holds.
        ResolveJournal(Entries, *journal);
        JournalPending_ = true;
        if (!ReadOnly_) {
            try {
                SettleJournal(DirStream, *journal, Entries);
                JournalPending_ = false;
            } catch (const Exception&) {
                // Settled before the first change.
            }
        }
    }
}

TGTA3Archive::TGTA3Archive(const std::string& FileName, std::pair<FileStream, FileStream> Files,
                           std::vector<TArchiveEntry> Table)
    : FileName_(FileName), ReadOnly_(false), ImgStream(std::move(Files.first)),
      DirStream(std::move(Files.second)), Entries(std::move(Table)) {}

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
    SettleDirectory();
}

void TGTA3Archive::SettleDirectory() {
    if (!JournalPending_)
        return;
    std::vector<TArchiveEntry> records = ReadDirectory(DirStream);
    if (const std::optional<TDirectoryJournal> journal = FindJournal(records)) {
        ResolveJournal(records, *journal);
        SettleJournal(DirStream, *journal, records);
    } else {
        DirStream.Flush();
    }
    JournalPending_ = false;
}

uint64_t TGTA3Archive::DirectoryLength() const {
    return JournalPending_ ? Entries.size() * DirRecordSize : DirStream.Length();
}

TArchiveEntry TGTA3Archive::GetEntry(int Index) const {
    return At(Index);
}

void TGTA3Archive::Sort(TCompareFunc Compare) {
    std::sort(
        Entries.begin(), Entries.end(),
        [Compare](const TArchiveEntry& a, const TArchiveEntry& b) { return Compare(a, b) < 0; });
}

void TGTA3Archive::Reorder(std::vector<uint32_t>& order) {
    // Cycle by cycle, in place: the table may be a large part of memory.
    constexpr uint32_t Done = std::numeric_limits<uint32_t>::max();
    for (size_t start = 0; start < order.size(); ++start) {
        if (order[start] == Done)
            continue;
        const TArchiveEntry first = Entries[start];
        size_t at = start;
        while (order[at] != start) {
            const size_t from = order[at];
            Entries[at] = Entries[from];
            order[at] = Done;
            at = from;
        }
        Entries[at] = first;
        order[at] = Done;
    }
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
                                        std::string_view name) {
    // A data file made elsewhere may end inside a sector: new data starts at
    // the next boundary, so its Offset says where its bytes really are.
    const uint64_t start = RoundUpToSector(dataLength);
    const uint64_t sectors = RoundUpToSector(length) / SectorSize;
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

void TGTA3Archive::AddFile(std::string_view Name, FileStream& Source) {
    BeginChange();
    // A trailing piece shorter than a record is not a record: the new record
    // goes over it, at the slot the next reader will see.
    const uint64_t oldDirLength = DirStream.Length();
    const uint64_t slot = oldDirLength / DirRecordSize;
    if (slot >= MaxRecords)
        throw Exception("Cannot add " + std::string(Name) +
                        ": the directory holds as many records as an archive can");

    // Room for the new entry first, so nothing can fail after the files changed.
    if (Entries.size() == Entries.capacity())
        Entries.reserve(std::max<size_t>(16, Entries.capacity() * 2));
    std::string piece(oldDirLength - slot * DirRecordSize, '\0');
    if (!piece.empty()) {
        DirStream.Seek(slot * DirRecordSize);
        DirStream.ReadExact(piece.data(), piece.size());
    }

    const uint64_t oldImgLength = ImgStream.Length();
    // Undone by itself when it fails.
    const TDataPlace place = CopyToEnd(Source, Name, oldImgLength);
    const TArchiveEntry entry =
        MakeEntry(place.Offset, place.Size, Name, static_cast<int32_t>(slot));
    try {
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

void TGTA3Archive::SetEntryData(int Index, TDataPlace Place) {
    BeginChange();
    TArchiveEntry changed = At(Index);
    changed.Offset = Place.Offset;
    changed.Size = Place.Size;
    Unflushed = true;
    // One 32-byte write at a 32-byte boundary: the record is old or new, whole.
    WriteRecord(changed);
    Entries[static_cast<size_t>(Index)] = changed;
}

void TGTA3Archive::WriteRecord(const TArchiveEntry& entry) {
    unsigned char record[DirRecordSize];
    EncodeRecord(entry, record);
    DirStream.Seek(uint64_t(entry.DirIndex) * DirRecordSize);
    DirStream.Write(record, sizeof record);
}

void TGTA3Archive::RenameEntry(int Index, std::string_view NewName) {
    BeginChange();
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

TWarnings TGTA3Archive::PurgeDeleted() {
    BeginChange();
    const auto bySlot = [](const TArchiveEntry& a, const TArchiveEntry& b) {
        return a.DirIndex < b.DirIndex;
    };
    if (!std::is_sorted(Entries.begin(), Entries.end(), bySlot))
        std::sort(Entries.begin(), Entries.end(), bySlot);
    std::erase_if(Entries, [](const TArchiveEntry& entry) { return entry.Deleted != 0; });

    // Until the new directory is whole every entry keeps the slot it has in
    // the old one, so a failure leaves the table naming records that are there.
    TWarnings warnings;
    if (!ReplaceDirectoryFile(warnings))
        RewriteInPlace(warnings);
    for (size_t i = 0; i < Entries.size(); ++i)
        Entries[i].DirIndex = static_cast<int32_t>(i);
    return warnings;
}

bool TGTA3Archive::ReplaceDirectoryFile(TWarnings& warnings) {
    // A directory file reached through a link, by more than one name, or that
    // belongs to another user is rewritten where it is, so every name keeps
    // showing the same file and its owner stays.
    const std::string& path = DirStream.Path();
    const TFileInfo old = DirStream.Info();
    if (old.links != 1 || !old.OwnedByThisUser() || PathKind(path) != TPathKind::File)
        return false;
    const std::string folder = FolderOf(path);
    RemoveStaleTemporariesQuietly(folder);
    std::optional<TTemporaryFile> replacement;
    try {
        replacement.emplace(path);
        FileStream& written = replacement->Stream();
        written.CopyAttributesFrom(old);
        WriteRecords(written, 0, Entries);
        written.Flush();
        replacement->ReplaceFinal(TTemporaryFile::Replacing::AnyFile);
    } catch (const EFileError& error) {
        // A folder that takes no new file, a group this user may not give, a
        // sticky folder, a full disk or quota: written in place instead (the
        // temporary file goes with `replacement`).
        const int why = error.SystemError();
        if (why == EACCES || why == EPERM || why == EROFS || IsOutOfSpace(why))
            return false;
        throw;
    }
    DirStream = std::move(replacement->Stream()); // the old file's hold goes with it
    // The new name must survive a power cut too.
    try {
        SyncFolder(FolderOf(path));
    } catch (const EFileError& error) {
        warnings.push_back("the folder could not be synced (" + error.Reason() + ")");
    }
    return true;
}

void TGTA3Archive::RewriteInPlace(TWarnings& warnings) {
    // The records before the first deleted one stay where they are.
    size_t firstChanged = 0;
    while (firstChanged < Entries.size() &&
           Entries[firstChanged].DirIndex == static_cast<int32_t>(firstChanged))
        ++firstChanged;
    // Should anything fail, the file may still hold a journal to settle.
    JournalPending_ = true;
    const std::string problem = RewriteDirectoryInPlace(DirStream, firstChanged, Entries);
    if (problem.empty()) {
        JournalPending_ = false;
        return;
    }
    warnings.push_back("the directory file could not be finished in place (" + problem +
                       "); it is finished when the archive is next changed or opened");
}

void TGTA3Archive::Flush() {
    if (!Unflushed)
        return;
    ImgStream.Flush();
    DirStream.Flush();
    Unflushed = false;
}
