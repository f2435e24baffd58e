// extract: entries into files named by their display names.
#include "archive/Gta3Archive.h"
#include "cli/Commands.h"
#include "cli/EntrySelection.h"
#include "cli/Names.h"
#include "cli/Progress.h"
#include "platform/Errors.h"
#include "sorting/SortFunctions.h"

#include <filesystem>
#include <numeric>

namespace {

bool IsSymbolicLink(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_symlink(std::filesystem::symlink_status(path, error));
}

} // namespace

int RunExtract(const ParsedArgs& args) {
    std::span<const std::string> names(args.positional.begin() + 1, args.positional.end());
    bool all = args.Has("--all");
    if (all == !names.empty())
        throw UsageError("give either entry names or --all");
    std::string folder = args.Value("-C", "");

    TGTA3Archive archive(args.positional[0], false);
    // Name order, as the editor shows a freshly opened archive: of two entries
    // with the same name, the later one's file is the one that remains.
    SortDescending = false;
    archive.Sort(CompareByName);
    std::vector<int> chosen;
    if (all) {
        chosen.resize(static_cast<size_t>(archive.Count()));
        std::iota(chosen.begin(), chosen.end(), 0);
    } else {
        chosen = MatchingEntries(archive, names);
    }

    // A name that would leave the folder or name the folder itself is refused
    // before any file is written, and so is a symbolic link already standing
    // under an entry's name, which would send the bytes elsewhere.
    for (int index : chosen) {
        TArchiveEntry entry = archive.GetEntry(index);
        std::string target = JoinPath(folder, DisplayName(entry));
        if (!IsSafeFileName(DisplayName(entry)) || IsSymbolicLink(target))
            throw EFCreateError(target);
    }

    Progress progress("Extracting", chosen.size());
    for (size_t i = 0; i < chosen.size(); ++i) {
        TArchiveEntry entry = archive.GetEntry(chosen[i]);
        progress.Show(i + 1, DisplayName(entry));
        FileStream target =
            FileStream::CreateHeld(JoinPath(folder, DisplayName(entry)), FileStream::Links::Refuse);
        archive.ExtractEntry(chosen[i], target);
        target.Close();
    }
    return ExitOk;
}
