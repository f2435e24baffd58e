#include "cli/Dispatch.h"

#include "archive/FailureText.h"
#include "archive/PrintableName.h"
#include "cli/CommandTable.h"
#include "platform/FileSystem.h"

#include <iostream>
#include <new>

namespace {

int Dispatch(const std::vector<std::string>& words) {
    if (words.empty())
        throw UsageError("no command given");
    if (words[0] == "--help" || words[0] == "-h" || words[0] == "help") {
        WriteStandardOutput(ProgramHelp());
        return ExitOk;
    }
    if (words[0] == "--version") {
        WriteStandardOutput("pelkon-cli " PELKON_VERSION "\n");
        return ExitOk;
    }
    const Command* command = FindCommand(words[0]);
    if (!command)
        throw UsageError("unknown command '" + PrintableName(words[0]) + "'");
    try {
        ParsedArgs args = ParseArgs({words.begin() + 1, words.end()}, command->options);
        if (args.help) {
            WriteStandardOutput(CommandHelp(*command));
            return ExitOk;
        }
        if (args.positional.size() < command->minPositional)
            throw UsageError("missing arguments");
        if (args.positional.size() > command->maxPositional)
            throw UsageError("too many arguments");
        return command->run(args);
    } catch (const UsageError& error) {
        throw UsageError(std::string(error.what()) + "\nUsage: pelkon-cli " + command->name + " " +
                         command->synopsis);
    }
}

// The one line a failure is reported in: "pelkon-cli: PATH: reason" for a
// file, "pelkon-cli: COMMAND: Out of memory" when memory ran out, otherwise
// "pelkon-cli: message". Names and paths are escaped for the terminal.
std::string FailureLine(const std::exception& error, std::string_view command) {
    if (dynamic_cast<const std::bad_alloc*>(&error))
        return MessagePrefix + std::string(command.empty() ? "" : std::string(command) + ": ") +
               "Out of memory";
    if (const std::string detail = FailureDetail(error); !detail.empty())
        return MessagePrefix + detail;
    return MessagePrefix + PrintableText(error.what());
}

} // namespace

void PrintWarnings(const std::string& archive, std::span<const std::string> warnings,
                   std::string_view outcome) {
    for (const std::string& warning : warnings)
        std::cerr << MessagePrefix << "warning: " << PrintableName(archive) << ": " << warning
                  << "; " << outcome << '\n';
}

int RunCommandLine(const std::vector<std::string>& words) {
    const std::string_view command = words.empty() ? std::string_view() : words[0];
    try {
        return Dispatch(words);
    } catch (const UsageError& error) {
        std::cerr << MessagePrefix << error.what() << "\nTry 'pelkon-cli --help'.\n";
        return ExitUsage;
    } catch (const std::exception& error) {
        std::cerr << FailureLine(error, command) << '\n';
        return ExitFailure;
    }
}
