// rebuild: a compacted copy of a pair that appears whole or not at all.
#include "archive/ArchiveRebuild.h"
#include "archive/Gta3Archive.h"
#include "cli/Commands.h"

#include <string>
#include <vector>

int RunRebuild(const ParsedArgs& args) {
    TGTA3Archive source(args.positional[0], TOpenMode::Shared);
    PrintWarnings(args.positional[0], source.OpeningWarnings(), "it is left alone");
    const TRebuildResult result = RebuildArchive(source, args.positional[1]);
    // The pair is whole and in place: a folder that could not be synced is
    // worth a warning, not a failure that would make a rerun refuse.
    std::vector<std::string> warnings;
    if (!result.FolderSynced)
        warnings.push_back("the folder could not be synced (" + result.SyncProblem + ")");
    if (!result.LeftoverProblem.empty())
        warnings.push_back("a temporary file could not be removed (" + result.LeftoverProblem +
                           ")");
    PrintWarnings(args.positional[1], warnings, "the new pair is in place");
    return ExitOk;
}
