// add, delete and rename: the editor's commands on a pair held exclusively.
#include "archive/ArchiveCommands.h"
#include "archive/DirectoryCodec.h"
#include "archive/Gta3Archive.h"
#include "archive/PrintableName.h"
#include "cli/Commands.h"
#include "cli/EntrySelection.h"
#include "cli/Output.h"
#include "cli/Progress.h"
#include "platform/Errors.h"
#include "sorting/SortFunctions.h"

#include <exception>
#include <functional>
#include <iostream>
#include <span>

namespace {

// Each name among `entries` that the games cannot read is told: the command
// has done what it was asked, but the user should know.
void WarnUnreadableNames(std::span<const TArchiveEntry> entries) {
    for (const TArchiveEntry& entry : entries)
        if (NameUnterminated(entry))
            std::cerr << MessagePrefix << "warning: " << PrintableName(NameText(entry))
                      << ": the name fills all 24 bytes with no zero byte after it, so the "
                         "games cannot read it; use at most 23 bytes\n";
}

// What an import did, a line per file in the order of the files, and the
// names it added that the games cannot read.
void ReportImport(const TGTA3Archive& archive, const TImportResult& result) {
    const auto table = archive.Table();
    const auto entryOf = [&](int32_t slot) -> const TArchiveEntry& {
        return table[static_cast<size_t>(slot)];
    };
    Output out;
    for (const TImportedFile& file : result.Files)
        out << (file.Replaced ? "replaced " : "added ")
            << PrintableName(NameText(entryOf(file.Slot))) << '\n';
    for (const std::string& name : result.SharedNames)
        out << "note: several entries are named " << PrintableName(name)
            << "; the first in the directory was replaced\n";
    out.Flush();
    for (const int32_t slot : result.Slots(false))
        WarnUnreadableNames(std::span(&entryOf(slot), 1));
}

// Runs the batch with its progress line, which is gone before anything else
// is told; the batch's failure is handed back.
std::exception_ptr RunBatch(const ParsedArgs& args, std::span<const std::string> files,
                            const std::function<void(const TItemProgress&)>& batch) {
    Progress progress(args.Has("--replace") ? "Importing" : "Adding", files.size());
    const auto step = [&](size_t done) {
        if (done < files.size())
            progress.Show(done + 1, EntryNameFromPath(files[done]));
    };
    step(0);
    try {
        batch(step);
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}

} // namespace

int RunAdd(const ParsedArgs& args) {
    TGTA3Archive archive(args.positional[0], TOpenMode::Exclusive);
    PrintWarnings(args.positional[0], archive.OpeningWarnings(), "it is left alone");
    std::span<const std::string> files(args.positional.begin() + 1, args.positional.end());
    // What was done before a failure is told before it.
    std::exception_ptr failure;
    if (args.Has("--replace")) {
        TImportResult result;
        failure = RunBatch(args, files, [&](const TItemProgress& step) {
            ImportFiles(archive, files, result, step);
        });
        ReportImport(archive, result);
    } else {
        const size_t before = static_cast<size_t>(archive.Count());
        failure = RunBatch(args, files,
                           [&](const TItemProgress& step) { AddFiles(archive, files, step); });
        // The files added, in order; making room may have moved other
        // entries behind them, so the names are taken from the files.
        std::vector<TArchiveEntry> added;
        for (size_t i = 0; i < static_cast<size_t>(archive.Count()) - before; ++i)
            added.push_back(MakeEntry(0, 0, EntryNameFromPath(files[i])));
        WarnUnreadableNames(added);
    }
    if (failure)
        std::rethrow_exception(failure);
    return ExitOk;
}

int RunDelete(const ParsedArgs& args) {
    TGTA3Archive archive(args.positional[0], TOpenMode::Exclusive);
    PrintWarnings(args.positional[0], archive.OpeningWarnings(), "it is left alone");
    std::span<const std::string> names(args.positional.begin() + 1, args.positional.end());
    const std::vector<int> doomed = MatchingEntries(archive, names);

    if (args.Has("--dry-run")) {
        // The list of what would go is told in name order.
        std::vector<uint32_t> told(doomed.begin(), doomed.end());
        SortSlots(archive.Table(), told, CompareByName, false);
        Output out;
        for (const uint32_t slot : told) {
            const TArchiveEntry entry = archive.GetEntry(static_cast<int>(slot));
            out << "would delete " << PrintableName(DisplayName(entry)) << " (slot "
                << static_cast<uint64_t>(entry.DirIndex) << ", " << entry.Size << " sectors)\n";
        }
        out.Flush();
        return ExitOk;
    }
    // The entries are gone: what failed afterwards is worth a warning, not a
    // failure that would make a rerun find no such entry.
    PrintWarnings(args.positional[0], DeleteEntries(archive, doomed), "the entries are deleted");
    return ExitOk;
}

int RunRename(const ParsedArgs& args) {
    const std::string& oldName = args.positional[1];
    const std::string& newName = args.positional[2];
    TGTA3Archive archive(args.positional[0], TOpenMode::Exclusive);
    PrintWarnings(args.positional[0], archive.OpeningWarnings(), "it is left alone");
    std::vector<int> found = MatchingEntries(archive, std::span(&oldName, 1));
    if (found.size() > 1)
        throw Exception(std::to_string(found.size()) + " entries are named " +
                        PrintableName(oldName) + "; rename needs exactly one");

    if (args.Has("--dry-run")) {
        const TArchiveEntry entry = archive.GetEntry(found[0]);
        TArchiveEntry renamed = entry;
        SetName(renamed.Name, newName);
        Output out;
        out << "would rename " << PrintableName(NameText(entry)) << " (slot "
            << static_cast<uint64_t>(entry.DirIndex) << ") to " << PrintableName(NameText(renamed))
            << '\n';
        out.Flush();
        WarnUnreadableNames(std::span(&renamed, 1));
        return ExitOk;
    }
    archive.RenameEntry(found[0], newName);
    archive.Flush();
    const TArchiveEntry renamed = archive.GetEntry(found[0]);
    WarnUnreadableNames(std::span(&renamed, 1));
    return ExitOk;
}
