#include "archive/PairDirectory.h"

#include "archive/DirectoryCodec.h"
#include "archive/DirectoryJournal.h"
#include "platform/Errors.h"
#include "platform/FileSwap.h"
#include "platform/FileSystem.h"
#include "platform/TemporaryFile.h"

#include <cerrno>
#include <optional>
#include <utility>

namespace {

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

// The directory file of the data file `img` has open, which stands at
// `dirPath` (its final path, or where a compaction's new file still is).
std::pair<FileStream, FileStream> OpenFiles(FileStream img, const std::string& dirPath,
                                            TOpenMode mode) {
    FileStream dir = OpenDirectoryFile(dirPath, mode, img);
    dir.Renamed(DirectoryFileName(img.Path()));
    // A lone directory file given as the data file is one file for both halves:
    // an exclusive hold refuses the second open, a shared one has to be told.
    if (img.Info().SameFile(dir.Info()))
        throw EFOpenError(dir.Path(), DataFileItself);
    return {std::move(img), std::move(dir)};
}

} // namespace

std::string DirectoryFileName(const std::string& dataFileName) {
    size_t dot = dataFileName.rfind('.');
    if (dot == std::string::npos || dataFileName.find('/', dot) != std::string::npos)
        return dataFileName + ".dir";
    return dataFileName.substr(0, dot) + ".dir";
}

std::vector<std::string> SettlePair(const std::string& dataPath, TOpenMode mode) {
    // A compaction stopped once its new pair was whole is settled first.
    const std::string pair[] = {dataPath, DirectoryFileName(dataPath)};
    return SettleSwap(pair,
                      mode == TOpenMode::Shared ? TSwapAccess::ReadOnly : TSwapAccess::Finish);
}

TArchiveFiles OpenPair(const std::string& dataPath, TOpenMode mode) {
    const std::vector<std::string> paths = SettlePair(dataPath, mode);
    if (mode != TOpenMode::Create) {
        FileStream data = OpenFile(paths[0], mode);
        data.Renamed(dataPath);
        return OpenPair(std::move(data), paths[1], mode);
    }
    auto [img, dir] = CreateFiles(dataPath);
    return {std::move(img), std::make_unique<TPairDirectory>(std::move(dir), true), {}};
}

TArchiveFiles OpenPair(FileStream data, const std::string& dirPath, TOpenMode mode) {
    auto [img, dir] = OpenFiles(std::move(data), dirPath, mode);
    return {std::move(img),
            std::make_unique<TPairDirectory>(std::move(dir), mode != TOpenMode::Shared),
            {}};
}

TPairDirectory::TPairDirectory(FileStream dir, bool writable)
    : Dir_(std::move(dir)), Writable_(writable) {}

std::vector<TArchiveEntry> TPairDirectory::Load() {
    std::vector<TArchiveEntry> records = ReadDirectory(Dir_);
    if (const std::optional<TDirectoryJournal> journal = FindJournal(records)) {
        // A rewrite in place was stopped: its journal says what the directory holds.
        ResolveJournal(records, *journal);
        JournalPending_ = true;
        PendingRecords_ = records.size();
        if (Writable_) {
            try {
                SettleJournal(Dir_, *journal, records);
                JournalPending_ = false;
            } catch (const Exception&) {
                // Settled before the first change.
            }
        }
    }
    return records;
}

void TPairDirectory::BeginChange() {
    if (!JournalPending_)
        return;
    std::vector<TArchiveEntry> records = ReadDirectory(Dir_);
    if (const std::optional<TDirectoryJournal> journal = FindJournal(records)) {
        ResolveJournal(records, *journal);
        SettleJournal(Dir_, *journal, records);
    } else {
        Dir_.Flush();
    }
    JournalPending_ = false;
}

uint64_t TPairDirectory::Length() const {
    return JournalPending_ ? PendingRecords_ * DirRecordSize : Dir_.Length();
}

void TPairDirectory::WriteRecord(const TArchiveEntry& entry) {
    unsigned char record[DirRecordSize];
    EncodeRecord(entry, record);
    Dir_.Seek(uint64_t(entry.DirIndex) * DirRecordSize);
    Dir_.Write(record, sizeof record);
}

void TPairDirectory::AppendRecord(const TArchiveEntry& entry) {
    const uint64_t oldLength = Dir_.Length();
    const uint64_t slot = uint64_t(entry.DirIndex);
    std::string piece(oldLength - std::min(oldLength, slot * DirRecordSize), '\0');
    if (!piece.empty()) {
        Dir_.Seek(slot * DirRecordSize);
        Dir_.ReadExact(piece.data(), piece.size());
    }
    try {
        WriteRecord(entry);
    } catch (...) {
        // The file as it was; the write's own error is what counts.
        try {
            Dir_.SetLength(oldLength);
            if (!piece.empty()) {
                Dir_.Seek(slot * DirRecordSize);
                Dir_.Write(piece.data(), piece.size());
            }
        } catch (...) {
        }
        throw;
    }
}

TWarnings TPairDirectory::ReplaceAll(std::span<const TArchiveEntry> records, size_t unchanged) {
    TWarnings warnings;
    if (!ReplaceFile(records, warnings))
        RewriteInPlace(records, unchanged, warnings);
    return warnings;
}

bool TPairDirectory::ReplaceFile(std::span<const TArchiveEntry> records, TWarnings& warnings) {
    // A directory file reached through a link, by more than one name, or that
    // belongs to another user is rewritten where it is, so every name keeps
    // showing the same file and its owner stays.
    const std::string& path = Dir_.Path();
    const TFileInfo old = Dir_.Info();
    if (old.links != 1 || !old.OwnedByThisUser() || PathKind(path) != TPathKind::File)
        return false;
    const std::string folder = FolderOf(path);
    RemoveStaleTemporariesQuietly(folder);
    std::optional<TTemporaryFile> replacement;
    try {
        replacement.emplace(path);
        FileStream& written = replacement->Stream();
        written.CopyAttributesFrom(old);
        WriteRecords(written, 0, records);
        written.Flush();
        replacement->ReplaceFinal(TTemporaryFile::Replacing::AnyFile);
    } catch (const EFileError& error) {
        // A folder that takes no new file, a group this user may not give, a
        // sticky folder, a full disk or quota: written in place instead (the
        // temporary file goes with `replacement`).
        const int why = error.SystemError();
        if (why == EACCES || why == EPERM || why == EROFS || why == ENOSPC || why == EDQUOT)
            return false;
        throw;
    }
    Dir_ = std::move(replacement->Stream()); // the old file's hold goes with it
    // The new name must survive a power cut too.
    try {
        SyncFolder(FolderOf(path));
    } catch (const EFileError& error) {
        warnings.push_back("the folder could not be synced (" + error.Reason() + ")");
    }
    return true;
}

void TPairDirectory::RewriteInPlace(std::span<const TArchiveEntry> records, size_t unchanged,
                                    TWarnings& warnings) {
    // Should anything fail, the file may still hold a journal to settle: a
    // torn one, which leaves the old records, until the journal is whole.
    const uint64_t oldRecords = Dir_.Length() / DirRecordSize;
    JournalPending_ = true;
    PendingRecords_ = oldRecords;
    const std::string problem = RewriteDirectoryInPlace(Dir_, unchanged, records);
    PendingRecords_ = records.size();
    if (problem.empty()) {
        JournalPending_ = false;
        return;
    }
    warnings.push_back("the directory file could not be finished in place (" + problem +
                       "); it is finished when the archive is next changed or opened");
}

void TPairDirectory::Flush() {
    Dir_.Flush();
}
