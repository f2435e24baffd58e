// extract: entries into files named by their display names.
#include "archive/ArchiveCommands.h"
#include "archive/Gta3Archive.h"
#include "cli/Commands.h"
#include "cli/EntrySelection.h"
#include "cli/Progress.h"
#include "sorting/SortFunctions.h"

#include <vector>

int RunExtract(const ParsedArgs& args) {
    std::span<const std::string> names(args.positional.begin() + 1, args.positional.end());
    const bool all = args.Has("--all");
    if (all == !names.empty())
        throw UsageError("give either entry names or --all");
    const std::string folder = args.Value("-C", "");

    TGTA3Archive archive(args.positional[0], TOpenMode::Shared);

    PrintWarnings(args.positional[0], archive.OpeningWarnings(), "it is left alone");
    // Name order, as the editor shows a freshly opened archive: of two entries
    // with the same name, the later one's file is the one that remains.
    std::vector<uint32_t> chosen;
    if (all) {
        chosen = SortedSlots(archive.Table(), CompareByName, false);
    } else {
        const std::vector<int> matching = MatchingEntries(archive, names);
        chosen.assign(matching.begin(), matching.end());
        SortSlots(archive.Table(), chosen, CompareByName, false);
    }

    // Every target is checked before any file is written.
    std::vector<std::string> targets;
    targets.reserve(chosen.size());
    for (const uint32_t slot : chosen)
        targets.push_back(ExtractTarget(archive.GetEntry(static_cast<int>(slot)), folder));

    PrepareExtractFolder(folder);
    Progress progress("Extracting", chosen.size());
    for (size_t i = 0; i < chosen.size(); ++i) {
        const int slot = static_cast<int>(chosen[i]);
        const TArchiveEntry entry = archive.GetEntry(slot);
        progress.Show(i + 1, DisplayName(entry));
        ExtractEntryToFile(archive, slot, targets[i]);
    }
    return ExitOk;
}
