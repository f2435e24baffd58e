// check: the integrity report, reading the pair only.
#include "archive/ArchiveCheck.h"
#include "archive/Gta3Archive.h"
#include "archive/PrintableName.h"
#include "cli/Commands.h"
#include "cli/Output.h"

int RunCheck(const ParsedArgs& args) {
    const std::string& path = args.positional[0];
    TGTA3Archive archive(path, TOpenMode::Shared);
    PrintWarnings(path, archive.OpeningWarnings(), "it is left alone");

    Output out;
    // A single file holds its directory: its records are not a file of their own.
    const bool pair = archive.Kind() == TArchiveKind::Pair;
    out << PrintableName(path) << ": " << static_cast<uint64_t>(archive.Count())
        << (pair ? " entries, data file " : " entries, single file ") << archive.DataLength()
        << (pair ? " bytes, directory file " : " bytes, directory records ")
        << archive.DirectoryLength() << " bytes\n";
    // Each finding goes out as it is found: a hostile directory of millions of
    // records must not hold millions of lines in memory.
    const TCheckSummary summary =
        CheckArchive(archive, [&](const TCheckFinding& finding) { out << finding.Text << '\n'; });
    out << "dead space: " << DeadSpaceText(summary.DeadBytes, summary.DataLength) << '\n';
    if (summary.Problems == 0)
        out << "no problems found\n";
    else
        out << summary.Problems << (summary.Problems == 1 ? " problem" : " problems") << " found\n";
    out.Flush();
    return summary.Problems == 0 ? ExitOk : ExitFailure;
}
