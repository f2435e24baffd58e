// compact: the archive rewritten as its compacted copy under the same names.
#include "archive/ArchiveCheck.h"
#include "archive/ArchiveCompact.h"
#include "archive/PrintableName.h"
#include "cli/Commands.h"
#include "cli/Output.h"

#include <algorithm>

int RunCompact(const ParsedArgs& args) {
    const std::string& path = args.positional[0];
    TGTA3Archive archive(path, TOpenMode::Exclusive);
    const TCompactResult result = CompactArchive(archive);
    const uint64_t saved = result.OldDataLength - std::min(result.DataLength, result.OldDataLength);
    Output out;
    out << PrintableName(path) << ": compacted, " << DeadSpaceText(saved, result.OldDataLength)
        << " smaller: data file " << result.DataLength << " bytes\n";
    out.Flush();
    // The new pair has taken the old one's place: what failed afterwards is
    // worth a warning, not a failure.
    PrintWarnings(path, result.Warnings, "the archive is compacted");
    return ExitOk;
}
