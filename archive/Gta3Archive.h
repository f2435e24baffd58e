// One open archive: a data file of 2048-byte sectors and its directory file of
// 32-byte records, both held open exclusively, and the directory in memory as an
// ordered table. Every change is written to the files at once.
#pragma once

#include "archive/ArchiveEntry.h"
#include "platform/FileStream.h"

#include <string>
#include <string_view>
#include <vector>

// The directory file's path for a data file's path: the extension (from the last
// '.', when no '/' follows it) replaced by ".dir", or ".dir" appended.
std::string DirectoryFileName(const std::string& dataFileName);

class TGTA3Archive {
public:
    // Opens the pair at `FileName` (the data file's path) or, with `CreateNew`,
    // creates it empty. Throws EFOpenError / EFCreateError / EReadError.
    TGTA3Archive(const std::string& FileName, bool CreateNew);
    // Flushes both files to disk if anything changed, and closes them; failures
    // are ignored here.
    ~TGTA3Archive();
    TGTA3Archive(const TGTA3Archive&) = delete;
    TGTA3Archive& operator=(const TGTA3Archive&) = delete;

    // The data file's path exactly as passed to the constructor.
    const std::string& FileName() const { return FileName_; }

    TArchiveEntry GetEntry(int Index) const; // throws EListError
    int Count() const { return static_cast<int>(Entries.size()); }
    // Reorders the table in place (unstable). Touches no file.
    void Sort(TCompareFunc Compare);

    // Copies the entry's Size x 2048 bytes into `Dest` at its position.
    void ExtractEntry(int Index, FileStream& Dest);
    // Appends `Source` (from its position to its end) as a new last entry.
    void AddFile(std::string_view Name, FileStream& Source);
    // Rewrites the entry's record with a new name; the entry keeps its place.
    void RenameEntry(int Index, std::string_view NewName);
    void MarkDeleted(int Index);
    // Drops the marked entries and rewrites the directory file; leaves the table
    // in slot order.
    void PurgeDeleted();
    // Puts both files on disk (fsync) when anything was written since the last
    // flush. Commands call it once at their end.
    void Flush();

private:
    const TArchiveEntry& At(int Index) const;
    void WriteRecord(const TArchiveEntry& entry);
    void ReadDirectory();

    std::string FileName_;
    FileStream ImgStream;
    FileStream DirStream;
    std::vector<TArchiveEntry> Entries;
    bool Unflushed = false; // written to since the last Flush
};
