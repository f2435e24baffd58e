// rebuild: a compacted copy of a pair that appears whole or not at all.
#include "archive/ArchiveRebuild.h"
#include "archive/Gta3Archive.h"
#include "archive/PrintableName.h"
#include "cli/Commands.h"

#include <iostream>

int RunRebuild(const ParsedArgs& args) {
    TGTA3Archive source(args.positional[0], TOpenMode::Shared);
    const TRebuildResult result = RebuildArchive(source, args.positional[1]);
    // The pair is whole and in place: a folder that could not be synced is
    // worth a warning, not a failure that would make a rerun refuse.
    const auto warn = [&](std::string_view what, const std::string& why) {
        std::cerr << MessagePrefix << "warning: " << PrintableName(args.positional[1]) << ": "
                  << what << " (" << why << "); the new pair is in place\n";
    };
    if (!result.FolderSynced)
        warn("the folder could not be synced", result.SyncProblem);
    if (!result.LeftoverProblem.empty())
        warn("a temporary file could not be removed", result.LeftoverProblem);
    return ExitOk;
}
