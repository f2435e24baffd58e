// add, delete and rename: the editor's commands on a pair held exclusively.
#include "archive/Gta3Archive.h"
#include "cli/Commands.h"
#include "cli/EntrySelection.h"
#include "cli/Names.h"
#include "cli/Output.h"
#include "cli/Progress.h"
#include "platform/Errors.h"
#include "sorting/SortFunctions.h"

namespace {

// The name as the archive will store it: its first 24 bytes.
std::string_view StoredForm(std::string_view name) {
    return name.substr(0, sizeof(TDirEntry::Name));
}

} // namespace

int RunAdd(const ParsedArgs& args) {
    TGTA3Archive archive(args.positional[0], false);
    std::span<const std::string> files(args.positional.begin() + 1, args.positional.end());
    Progress progress("Adding", files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        progress.Show(i + 1, EntryNameFromPath(files[i]));
        FileStream source = FileStream::OpenReadShared(files[i]);
        archive.AddFile(EntryNameFromPath(files[i]), source);
        source.Close();
    }
    archive.Flush();
    return ExitOk;
}

int RunDelete(const ParsedArgs& args) {
    TGTA3Archive archive(args.positional[0], false);
    SortDescending = false;
    archive.Sort(CompareByName);
    std::span<const std::string> names(args.positional.begin() + 1, args.positional.end());
    std::vector<int> doomed = MatchingEntries(archive, names);

    if (args.Has("--dry-run")) {
        Output out;
        for (int index : doomed) {
            TArchiveEntry entry = archive.GetEntry(index);
            out << "would delete " << PrintableName(DisplayName(entry)) << " (slot "
                << static_cast<uint64_t>(entry.DirIndex) << ", " << entry.Size << " sectors)\n";
        }
        out.Flush();
        return ExitOk;
    }
    try {
        for (int index : doomed)
            archive.MarkDeleted(index);
    } catch (...) {
        // Whatever was marked goes, so that the table and the file agree.
        archive.PurgeDeleted();
        throw;
    }
    archive.PurgeDeleted();
    archive.Flush();
    return ExitOk;
}

int RunRename(const ParsedArgs& args) {
    const std::string& oldName = args.positional[1];
    const std::string& newName = args.positional[2];
    TGTA3Archive archive(args.positional[0], false);
    std::vector<int> found = MatchingEntries(archive, std::span(&oldName, 1));
    if (found.size() > 1)
        throw Exception(std::to_string(found.size()) + " entries are named " +
                        PrintableName(oldName) + "; rename needs exactly one");

    if (args.Has("--dry-run")) {
        TArchiveEntry entry = archive.GetEntry(found[0]);
        Output out;
        out << "would rename " << PrintableName(NameText(entry)) << " (slot "
            << static_cast<uint64_t>(entry.DirIndex) << ") to "
            << PrintableName(StoredForm(newName)) << '\n';
        out.Flush();
        return ExitOk;
    }
    archive.RenameEntry(found[0], newName);
    archive.Flush();
    return ExitOk;
}
