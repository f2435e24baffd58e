#include "archive/ArchiveCommands.h"

#include "archive/Gta3Archive.h"
#include "archive/NameFold.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/TemporaryFile.h"

#include <exception>
#include <numeric>
#include <unordered_map>

namespace {

// Puts what a command wrote on disk. When the command already failed, its own
// error is the one that goes on.
void FlushAfter(TGTA3Archive& archive, std::exception_ptr failure) {
    if (!failure) {
        archive.Flush();
        return;
    }
    try {
        archive.Flush();
    } catch (...) {
    }
    std::rethrow_exception(failure);
}

// A source file is only read: once its bytes are in, failing to close it
// changes nothing that was added.
FileStream OpenSource(const std::string& path) {
    return FileStream::OpenReadShared(path);
}
void CloseSource(FileStream& source) {
    try {
        source.Close();
    } catch (const Exception&) {
    }
}

// The name an added file's entry gets, as stored: at most 24 bytes.
std::string_view StoredEntryName(const std::string& path) {
    return EntryNameFromPath(path).substr(0, sizeof(TArchiveEntry::Name));
}

// The name an import matches a file by: the display name of its entry.
std::string_view MatchedName(const std::string& path) {
    return DisplayText(StoredEntryName(path));
}

struct KeyHash {
    size_t operator()(const TFoldedKey& key) const {
        uint64_t h = 0xCBF29CE484222325u;
        for (uint64_t word : key)
            h = (h ^ word) * 0x100000001B3u;
        return static_cast<size_t>(h ^ (h >> 31));
    }
};

// The entries an import may replace: for each wanted name, the first entry in
// slot order that carries it, and how many carry it.
class NameIndex {
public:
    NameIndex(const TGTA3Archive& archive, std::span<const std::string> paths) {
        for (const std::string& path : paths)
            byName_.emplace(FoldedKey(MatchedName(path)), Found{});
        const auto table = archive.Table();
        for (size_t slot = 0; slot < table.size(); ++slot) {
            auto found = byName_.find(FoldedKey(DisplayName(table[slot])));
            if (found == byName_.end())
                continue;
            Found& first = found->second;
            if (first.slot < 0)
                first.slot = static_cast<int>(slot);
            ++first.carriers;
        }
    }
    // The slot of the entry to replace, or -1.
    int Find(std::string_view name) const {
        auto found = byName_.find(FoldedKey(name));
        return found == byName_.end() ? -1 : found->second.slot;
    }
    bool Shared(std::string_view name) const {
        auto found = byName_.find(FoldedKey(name));
        return found != byName_.end() && found->second.carriers > 1;
    }
    // The entries moved to other slots (TGTA3Archive::AddFile).
    void Moved(std::span<const int32_t> newSlots) {
        for (auto& [key, found] : byName_)
            if (found.slot >= 0 && static_cast<size_t>(found.slot) < newSlots.size())
                found.slot = newSlots[static_cast<size_t>(found.slot)];
    }
    // An entry just added under the name is the one a later file replaces.
    void Added(std::string_view name, int slot) {
        Found& found = byName_[FoldedKey(name)];
        if (found.slot < 0)
            found = {slot, 1};
    }

private:
    struct Found {
        int slot = -1;
        size_t carriers = 0;
    };
    std::unordered_map<TFoldedKey, Found, KeyHash> byName_;
};

const std::string UnsafeNameReason = "the entry's name is not a safe file name";

} // namespace

TNewPair CreatePair(const std::string& dataPath, bool replaceExisting) {
    return CreateArchive(dataPath, TArchiveKind::Pair, replaceExisting);
}

TNewPair CreateArchive(const std::string& dataPath, TArchiveKind kind, bool replaceExisting) {
    if (!replaceExisting) {
        std::vector<std::string> files{dataPath};
        if (kind == TArchiveKind::Pair)
            files.push_back(DirectoryFileName(dataPath));
        for (const std::string& file : files)
            if (PathExists(file))
                throw EFileError(file + " already exists", file, EEXIST, "already exists");
    }
    TNewPair created{std::make_unique<TGTA3Archive>(dataPath, kind), {}};
    try {
        SyncFolder(FolderOf(dataPath));
    } catch (const EFileError& error) {
        created.Warnings.push_back("the folder could not be synced (" + error.Reason() + ")");
    }
    return created;
}

void FollowMoves(std::vector<int32_t>& moved, size_t count, std::span<const int32_t> newSlots) {
    if (newSlots.empty())
        return;
    if (moved.empty()) {
        moved.resize(count);
        std::iota(moved.begin(), moved.end(), 0);
    }
    for (int32_t& slot : moved)
        if (static_cast<size_t>(slot) < newSlots.size())
            slot = newSlots[static_cast<size_t>(slot)];
}

void AddFiles(TGTA3Archive& archive, std::span<const std::string> paths,
              const TItemProgress& progress, TUndoStep* undo, std::stop_token stop,
              std::vector<int32_t>* moved) {
    TUndoStep ignored;
    TUndoStep& step = undo ? *undo : ignored;
    step.Command = TUndoCommand::Add;
    const size_t count = static_cast<size_t>(archive.Count());
    std::vector<int32_t> ignoredMoves;
    std::vector<int32_t>& moves = moved ? *moved : ignoredMoves;
    moves.clear();
    std::exception_ptr failure;
    try {
        for (size_t i = 0; i < paths.size(); ++i) {
            StopIfAsked(stop);
            FileStream source = OpenSource(paths[i]);
            const std::vector<int32_t> newSlots =
                archive.AddFile(EntryNameFromPath(paths[i]), source);
            if (!newSlots.empty())
                step.Relaid = true;
            FollowMoves(moves, count, newSlots);
            step.NoteAppend(archive.Table().back());
            CloseSource(source);
            if (progress)
                progress(i + 1);
        }
    } catch (...) {
        failure = std::current_exception();
    }
    FlushAfter(archive, failure);
}

std::vector<int32_t> TImportResult::Slots(bool replaced) const {
    std::vector<int32_t> slots;
    for (const TImportedFile& file : Files)
        if (file.Replaced == replaced)
            slots.push_back(file.Slot);
    return slots;
}

void ImportFiles(TGTA3Archive& archive, std::span<const std::string> paths, TImportResult& result,
                 const TItemProgress& progress, TUndoStep* undo, std::stop_token stop) {
    TUndoStep ignored;
    TUndoStep& step = undo ? *undo : ignored;
    step.Command = TUndoCommand::Import;
    NameIndex names(archive, paths);
    result = {};
    const size_t count = static_cast<size_t>(archive.Count());
    struct Pending {
        int slot;
        TDataPlace place;
        size_t file; // its line in result.Files
    };
    std::vector<Pending> pending;
    std::exception_ptr failure;
    try {
        for (size_t i = 0; i < paths.size(); ++i) {
            StopIfAsked(stop);
            const std::string_view name = StoredEntryName(paths[i]);
            const std::string_view matched = MatchedName(paths[i]);
            FileStream source = OpenSource(paths[i]);
            if (const int slot = names.Find(matched); slot >= 0) {
                pending.push_back({slot, archive.AppendData(source), result.Files.size()});
                result.Files.push_back({slot, true});
                if (names.Shared(matched)) {
                    const TArchiveEntry replaced = archive.GetEntry(slot);
                    result.SharedNames.emplace_back(DisplayName(replaced));
                }
            } else {
                const std::vector<int32_t> newSlots = archive.AddFile(name, source);
                if (!newSlots.empty()) {
                    // Room was made: entries moved to the end of the directory.
                    const auto moved = [&](int32_t& at) {
                        if (at >= 0 && static_cast<size_t>(at) < newSlots.size())
                            at = newSlots[static_cast<size_t>(at)];
                    };
                    for (Pending& replacing : pending)
                        moved(replacing.slot);
                    for (TImportedFile& file : result.Files)
                        moved(file.Slot);
                    names.Moved(newSlots);
                    step.Relaid = true;
                    FollowMoves(result.MovedSlots, count, newSlots);
                }
                step.NoteAppend(archive.Table().back());
                const int added = archive.Count() - 1; // the new last slot
                names.Added(matched, added);
                result.Files.push_back({added, false});
            }
            CloseSource(source);
            if (progress)
                progress(i + 1);
        }
    } catch (...) {
        failure = std::current_exception();
    }
    // The new data is on disk before any record points at it.
    size_t applied = 0;
    try {
        archive.Flush();
        for (; applied < pending.size(); ++applied) {
            const int slot = pending[applied].slot;
            const TArchiveEntry before = archive.GetEntry(slot);
            archive.SetEntryData(slot, pending[applied].place);
            step.NoteRewrite(before, archive.GetEntry(slot));
        }
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
    // A replacement never applied was not done.
    for (size_t i = applied; i < pending.size(); ++i)
        result.Files[pending[i].file].Slot = -1;
    std::erase_if(result.Files, [](const TImportedFile& file) { return file.Slot < 0; });
    FlushAfter(archive, failure);
}

TWarnings DeleteEntries(TGTA3Archive& archive, std::span<const int> slots, TUndoStep* undo) {
    for (const int slot : slots)
        if (slot < 0 || slot >= archive.Count())
            throw EListError(slot);
    std::vector<TArchiveEntry> dropped;
    if (undo) {
        undo->Command = TUndoCommand::Delete;
        dropped.reserve(slots.size());
    }
    for (const int slot : slots) {
        // A slot given twice is dropped once.
        if (undo && !archive.Table()[static_cast<size_t>(slot)].Deleted)
            dropped.push_back(archive.GetEntry(slot));
        archive.MarkDeleted(slot);
    }
    TWarnings warnings;
    std::exception_ptr failure;
    try {
        warnings = archive.PurgeDeleted();
        if (undo)
            undo->Dropped = std::move(dropped);
    } catch (...) {
        failure = std::current_exception();
    }
    FlushAfter(archive, failure);
    return warnings;
}

void RenameEntry(TGTA3Archive& archive, int slot, std::string_view newName, TUndoStep* undo) {
    const TArchiveEntry before = archive.GetEntry(slot);
    archive.RenameEntry(slot, newName);
    if (undo) {
        undo->Command = TUndoCommand::Rename;
        undo->NoteRewrite(before, archive.GetEntry(slot));
    }
    archive.Flush();
}

void RequireSafeName(const TArchiveEntry& entry) {
    const std::string name(DisplayName(entry));
    if (IsSafeFileName(name))
        return;
    EFCreateError refusal(name, UnsafeNameReason);
    refusal.SetEntryName(name);
    throw refusal;
}

std::string ExtractTarget(const TArchiveEntry& entry, std::string_view folder) {
    const std::string_view name = DisplayName(entry);
    const std::string target = JoinPath(folder, name);
    if (!IsSafeFileName(name))
        throw EFCreateError(target, UnsafeNameReason);
    switch (PathKind(target)) {
    case TPathKind::Link:
        throw EFCreateError(target, "a symbolic link stands there");
    case TPathKind::Folder:
        throw EFCreateError(target, EISDIR);
    default:
        return target;
    }
}

void ExtractEntryToFile(TGTA3Archive& archive, int index, const std::string& targetPath) {
    const TArchiveEntry entry = archive.GetEntry(index);
    TTemporaryFile target(targetPath);
    try {
        archive.ExtractEntry(index, target.Stream());
    } catch (const EReadError&) {
        // Only the archive's data file is read here: the entry runs past its end.
        RethrowNamingEntry(std::string(DisplayName(entry)));
    }
    // On disk before it takes the entry's name, so that a crash never leaves a
    // whole-looking file of the wrong size there. It is closed only once named:
    // until then the hold keeps other writers' sweeps off it.
    target.Stream().Flush();
    target.ReplaceFinal(TTemporaryFile::Replacing::UnheldFilesOnly);
    target.Stream().Close();
}

void PrepareExtractFolder(const std::string& folder) {
    RemoveStaleTemporariesQuietly(folder.empty() ? "." : folder);
}

std::string ExtractEntryToFolder(TGTA3Archive& archive, int index, std::string_view folder) {
    const TArchiveEntry entry = archive.GetEntry(index);
    std::string target = ExtractTarget(entry, folder);
    ExtractEntryToFile(archive, index, target);
    return target;
}

std::vector<std::string> ExtractEntries(TGTA3Archive& archive, std::span<const int> slots,
                                        const std::string& folder, const TItemProgress& progress,
                                        std::stop_token stop) {
    PrepareExtractFolder(folder);
    std::vector<std::string> targets;
    targets.reserve(slots.size());
    for (const int slot : slots) {
        StopIfAsked(stop);
        targets.push_back(ExtractEntryToFolder(archive, slot, folder));
        if (progress)
            progress(targets.size());
    }
    return targets;
}
