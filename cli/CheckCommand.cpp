// check: the integrity report, reading the pair only.
#include "cli/CheckReport.h"
#include "cli/Commands.h"
#include "cli/Names.h"
#include "cli/Output.h"
#include "cli/ReadOnlyPair.h"

int RunCheck(const ParsedArgs& args) {
    ReadOnlyPair pair = OpenReadOnly(args.positional[0]);
    CheckReport report = CheckPair(pair.entries, pair.imgLength, pair.dirLength);

    Output out;
    out << PrintableName(args.positional[0]) << ": " << pair.entries.size()
        << " entries, data file " << pair.imgLength << " bytes, directory file " << pair.dirLength
        << " bytes\n";
    for (const std::string& line : report.problems)
        out << line << '\n';
    out << "dead space: " << DeadSpaceText(report) << '\n';
    if (report.problems.empty())
        out << "no problems found\n";
    else
        out << report.problems.size() << (report.problems.size() == 1 ? " problem" : " problems")
            << " found\n";
    out.Flush();
    return report.problems.empty() ? ExitOk : ExitFailure;
}
