// One open archive: a data file of 2048-byte sectors and its directory file of
// 32-byte records, both held open, and the directory in memory as an ordered
// table. Every change is written to the files at once.
#pragma once

#include "archive/ArchiveEntry.h"
#include "platform/FileStream.h"
#include "platform/LargeMemory.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The directory file's path for a data file's path: the extension (from the last
// '.', when no '/' follows it) replaced by ".dir", or ".dir" appended.
std::string DirectoryFileName(const std::string& dataFileName);

// How a pair is opened.
enum class TOpenMode {
    Exclusive, // an existing pair, for reading and writing, held exclusively
    Shared,    // an existing pair, for reading only; other readers may hold it too
    Create,    // a new pair of empty files, held exclusively, in place of any old ones
};

// Failures met after a change was whole, each as a few words and the system's
// reason: the change stands, so they are told as warnings.
using TWarnings = std::vector<std::string>;

// Where an entry's data lies in the data file, in sectors.
struct TDataPlace {
    uint32_t Offset;
    uint32_t Size;
};

class TGTA3Archive {
public:
    // Opens the pair at `FileName` (the data file's path) or, with `CreateNew`,
    // creates it empty; held exclusively. Throws EFOpenError / EFCreateError /
    // EReadError.
    //
    // Create never empties an existing file, which other names may share: new
    // files are made under temporary names and renamed over the old ones, each
    // of which must be a regular file that nobody holds; it is held from then
    // until it is replaced. The directory file goes first: stopped between the
    // two, the pair is an empty archive beside the old data file's bytes. A
    // data file path that names its own directory file (".dir"), or two names
    // of one file, are refused before anything is made.
    //
    // An opening that finds the journal of a rewrite in place that was stopped
    // (DirectoryJournal.h) shows what the journal says; a writable one also
    // settles the file, or else before its first change.
    //
    // An opening first settles a compaction in place that was stopped once its
    // new pair was whole (FileSwap.h): a writable one finishes it, one for
    // reading only reads the new pair where it stands.
    TGTA3Archive(const std::string& FileName, bool CreateNew);
    TGTA3Archive(const std::string& FileName, TOpenMode Mode);
    // Takes over a pair of files held exclusively whose directory file holds
    // `Table` (in slot order), as a compaction in place leaves them; nothing
    // is read.
    TGTA3Archive(const std::string& FileName, std::pair<FileStream, FileStream> Files,
                 std::vector<TArchiveEntry> Table);
    // An archive object can take another's place, so that its holder keeps
    // working on a compacted pair.
    TGTA3Archive(TGTA3Archive&&) noexcept = default;
    TGTA3Archive& operator=(TGTA3Archive&&) noexcept = default;
    // Flushes both files to disk if anything changed, and closes them; failures
    // are ignored here.
    ~TGTA3Archive();
    TGTA3Archive(const TGTA3Archive&) = delete;
    TGTA3Archive& operator=(const TGTA3Archive&) = delete;

    // The data file's path exactly as passed to the constructor.
    const std::string& FileName() const { return FileName_; }
    // Opened with TOpenMode::Shared: changes are refused.
    bool IsReadOnly() const { return ReadOnly_; }
    uint64_t DataLength() const { return ImgStream.Length(); }
    // The length of the directory the table was read from; with a journal not
    // yet settled, that of the records it stands for.
    uint64_t DirectoryLength() const;

    TArchiveEntry GetEntry(int Index) const; // throws EListError
    int Count() const { return static_cast<int>(Entries.size()); }
    // The whole table, for reading it in bulk; valid until the next change.
    std::span<const TArchiveEntry> Table() const { return Entries; }
    // Reorders the table in place (unstable). Touches no file.
    void Sort(TCompareFunc Compare);
    // Reorders the table by a key computed once per entry: smaller keys first,
    // entries of equal keys ordered by `tieBefore`. Touches no file.
    template <typename KeyOf, typename TieBefore> void SortByKey(KeyOf keyOf, TieBefore tieBefore);

    // Copies the entry's Size x 2048 bytes into `Dest` at its position.
    void ExtractEntry(int Index, FileStream& Dest);
    // Copies `length` bytes of the data file from byte `begin` into `Dest` at
    // its position.
    void CopyData(uint64_t begin, uint64_t length, FileStream& Dest);
    // Appends `Source` (from its position to its end) as a new last entry.
    void AddFile(std::string_view Name, FileStream& Source);
    // Appends `Source` to the data file, at the next sector boundary, for an
    // entry that does not point at it yet; on failure the data file is cut
    // back. Returns where the data lies.
    TDataPlace AppendData(FileStream& Source);
    // Points the entry at other data: its record is rewritten in place with the
    // new Offset and Size, so it names either the old data or the new, never a
    // mix. The entry keeps its name, slot and place in the table.
    void SetEntryData(int Index, TDataPlace Place);
    // Rewrites the entry's record with a new name; the entry keeps its place.
    void RenameEntry(int Index, std::string_view NewName);
    void MarkDeleted(int Index);
    // Drops the marked entries and writes the directory file anew, whole or not
    // at all: a new file renamed over the old one where that keeps every name,
    // owner and group of it, otherwise rewritten in place through a journal
    // (DirectoryJournal.h). Leaves the table in slot order. Failures after the
    // new directory is whole are returned; earlier ones are thrown, with the
    // file and the table's slots as they were.
    TWarnings PurgeDeleted();
    // Puts both files on disk (fsync) when anything was written since the last
    // flush. Commands call it once at their end.
    void Flush();

private:
    TGTA3Archive(const std::string& FileName, TOpenMode Mode,
                 std::pair<FileStream, FileStream> Files);
    const TArchiveEntry& At(int Index) const;
    // Refuses a change of a pair opened for reading; settles a journal that a
    // rewrite in place left unsettled.
    void BeginChange();
    void SettleDirectory();
    void WriteRecord(const TArchiveEntry& entry);
    // Puts the table in the order of `order` (old positions, new order).
    void Reorder(std::vector<uint32_t>& order);
    // Where `length` bytes appended to a data file of `dataLength` bytes go.
    static TDataPlace PlaceForAppend(uint64_t dataLength, uint64_t length, std::string_view name);
    // Appends the rest of `Source` at the next sector boundary of the data
    // file, now `oldLength` bytes long; the data file is cut back when that fails.
    TDataPlace CopyToEnd(FileStream& Source, std::string_view name, uint64_t oldLength);
    bool ReplaceDirectoryFile(TWarnings& warnings);
    void RewriteInPlace(TWarnings& warnings);

    std::string FileName_;
    bool ReadOnly_;
    FileStream ImgStream;
    FileStream DirStream;
    std::vector<TArchiveEntry> Entries;
    bool Unflushed = false; // written to since the last Flush
    // The directory file may still hold a journal, or its settling may not be
    // on disk yet: settled before the next change.
    bool JournalPending_ = false;
};

template <typename KeyOf, typename TieBefore>
void TGTA3Archive::SortByKey(KeyOf keyOf, TieBefore tieBefore) {
    using Key = decltype(keyOf(Entries.front()));
    struct Keyed {
        Key key;
        uint32_t index;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(Entries.size());
    PreferLargePages(keyed);
    for (size_t i = 0; i < Entries.size(); ++i)
        keyed.push_back({keyOf(Entries[i]), static_cast<uint32_t>(i)});
    std::sort(keyed.begin(), keyed.end(), [&](const Keyed& a, const Keyed& b) {
        if (a.key != b.key)
            return a.key < b.key;
        return tieBefore(Entries[a.index], Entries[b.index]);
    });
    std::vector<uint32_t> order;
    order.reserve(keyed.size());
    PreferLargePages(order);
    for (const Keyed& each : keyed)
        order.push_back(each.index);
    keyed = {};
    Reorder(order);
}
