// Where an archive's directory lives, and how each change reaches it there.
// The archive object, the check and the command bodies hold a table of the
// records in slot order and change it only through this seam, so they serve
// every kind of archive alike: the kind is decided once, when the files are
// opened (OpenArchiveFiles).
#pragma once

#include "archive/ArchiveEntry.h"
#include "archive/StreamingOrder.h"
#include "platform/FileStream.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The directory file's path for a pair's data file path: the extension (from
// the last '.', when no '/' follows it) replaced by ".dir", or ".dir" appended.
std::string DirectoryFileName(const std::string& dataFileName);

// How an archive is opened.
enum class TOpenMode {
    Exclusive, // an existing archive, for reading and writing, held exclusively
    Shared,    // an existing archive, for reading only; other readers may hold it too
    Create,    // a new empty archive, held exclusively, in place of any old one
};

// What kind of archive is open: told to the user, never asked by the code
// that works on the records.
enum class TArchiveKind {
    Pair,       // a data file and a separate directory file
    SingleFile, // a header and the directory inside the data file
};

// Failures met after a change was whole, each as a few words and the system's
// reason: the change stands, so they are told as warnings.
using TWarnings = std::vector<std::string>;

// What the check and the archive hold records against, as a store's format
// says it. A separate directory file's facts are the defaults.
struct TDirectoryFacts {
    // Data that begins before this byte lies inside the directory.
    uint64_t DataStart = 0;
    // The bytes from the start of the data file that the directory and its
    // spare room take: not dead space.
    uint64_t Reserved = 0;
    // The record count a header states, when the format has one.
    std::optional<uint64_t> CountedRecords;
    // The format's header is cut short.
    bool HeaderCut = false;
    // The games read no data past this byte.
    uint64_t ReadLimit = std::numeric_limits<uint64_t>::max();
    // The largest Size a record can hold.
    uint64_t MaxEntrySectors = std::numeric_limits<uint32_t>::max();
    // How the game that reads this kind streams it.
    const TStreamingGame* Streaming = &FirstGameStreaming;
    // Records the game skips (IsStreamed) are worth a finding: this kind
    // holds only what the game streams.
    bool StreamedOnly = false;
};

// Each change below is whole or not at all: after a failure, or a kill at any
// file-layer call, the next Load finds the records as they were or as the
// change leaves them, never a mix.
class TDirectoryStore {
public:
    virtual ~TDirectoryStore() = default;

    virtual TArchiveKind Kind() const = 0;
    // The records in slot order, each one's DirIndex its slot. What a change
    // that was stopped left behind is resolved first; a writable store also
    // settles it on disk, or else before its first change.
    virtual std::vector<TArchiveEntry> Load() = 0;
    // Called before every change: settles what Load could not.
    virtual void BeginChange() = 0;
    // Rewrites the record of slot `entry.DirIndex` in place.
    virtual void WriteRecord(const TArchiveEntry& entry) = 0;
    // Writes `entry` as the new last record; its DirIndex is the record count.
    // The data it points at is written and on disk already.
    virtual void AppendRecord(const TArchiveEntry& entry) = 0;
    // Writes the whole directory anew as `records`, in slot order; the first
    // `unchanged` of them stand in their slots already. Throws while the old
    // directory stands; what fails once the new one is whole is returned.
    virtual TWarnings ReplaceAll(std::span<const TArchiveEntry> records, size_t unchanged) = 0;
    // The bytes the directory's records take, a trailing piece shorter than a
    // record included; while a stopped change is unsettled, those of the
    // records it stands for.
    virtual uint64_t Length() const = 0;
    // Puts what was written on disk (fsync).
    virtual void Flush() = 0;

    // For a directory inside the data file: the archive's data stream, held by
    // the archive for the store's whole life. Called once, before Load.
    virtual void UseDataFile(FileStream& /*data*/) {}
    // Called before the data of a new last record is appended. A store whose
    // directory has no room for one more record makes room now: it may move
    // entries' data to the end of the data file, while every record still
    // points at the old place, and then returns the table as it stands once
    // AppendRecord has written the new record (without that record): the
    // entries in their new order, each still carrying its old slot in
    // DirIndex. Nothing when the records stay as they are. The change of order
    // is whole with AppendRecord; a failure here leaves the files as they were.
    virtual std::optional<std::vector<TArchiveEntry>>
    PrepareAppend(std::span<const TArchiveEntry> /*records*/) {
        return std::nullopt;
    }
    virtual TDirectoryFacts Facts() const { return {}; }
    // Takes `records` (slot order) as what the directory holds, in place of
    // Load, when the files were just written whole (a compaction in place).
    virtual void Adopt(std::span<const TArchiveEntry> /*records*/) {}
};

// An opened archive's data file and the store of its directory.
struct TArchiveFiles {
    FileStream Data;
    std::unique_ptr<TDirectoryStore> Directory;
    TWarnings Warnings; // what the opening found beside the archive
};

// Opens an existing file as `mode` says (not Create). Throws EFOpenError.
FileStream OpenFile(const std::string& path, TOpenMode mode);

// Opens (or, with TOpenMode::Create, creates as `created`) the archive whose
// data file is `dataPath`, and decides its kind: a file that starts with
// "VER2" is a single-file archive, whatever lies beside it - a directory
// file there is left alone and named in a warning -, any other file the data
// file of a pair. Throws EFOpenError / EFCreateError / EReadError.
TArchiveFiles OpenArchiveFiles(const std::string& dataPath, TOpenMode mode,
                               TArchiveKind created = TArchiveKind::Pair);
