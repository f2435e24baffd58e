// rebuild and convert: a compacted copy, of either kind, that appears whole
// or not at all.
#include "archive/ArchiveRebuild.h"
#include "archive/Gta3Archive.h"
#include "archive/PrintableName.h"
#include "cli/Commands.h"

#include <string>
#include <vector>

namespace {

int WriteCopy(const ParsedArgs& args, bool converting) {
    TGTA3Archive source(args.positional[0], TOpenMode::Shared);
    PrintWarnings(args.positional[0], source.OpeningWarnings(), "it is left alone");
    // Converting without --format goes to the other kind.
    const TArchiveKind other =
        source.Kind() == TArchiveKind::Pair ? TArchiveKind::SingleFile : TArchiveKind::Pair;
    const TArchiveKind kind = FormatOption(args, converting ? other : source.Kind());
    const TRebuildResult result = RebuildArchive(source, args.positional[1], kind);
    // The copy is whole and in place: a folder that could not be synced is
    // worth a warning, not a failure that would make a rerun refuse.
    std::vector<std::string> warnings;
    if (!result.FolderSynced)
        warnings.push_back("the folder could not be synced (" + result.SyncProblem + ")");
    if (!result.LeftoverProblem.empty())
        warnings.push_back("a temporary file could not be removed (" + result.LeftoverProblem +
                           ")");
    PrintWarnings(args.positional[1], warnings,
                  kind == TArchiveKind::Pair ? "the new pair is in place"
                                             : "the new archive is in place");
    return ExitOk;
}

} // namespace

TArchiveKind FormatOption(const ParsedArgs& args, TArchiveKind fallback) {
    const std::string format = args.Value("--format", fallback == TArchiveKind::Pair ? "v1" : "v2");
    if (format != "v1" && format != "v2")
        throw UsageError("--format takes v1 or v2, not '" + PrintableName(format) + "'");
    return format == "v2" ? TArchiveKind::SingleFile : TArchiveKind::Pair;
}

int RunRebuild(const ParsedArgs& args) {
    return WriteCopy(args, false);
}

int RunConvert(const ParsedArgs& args) {
    return WriteCopy(args, true);
}
