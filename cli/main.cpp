// pelkon-cli: the archive engine from the command line.
#include "cli/CommandTable.h"

#include <exception>
#include <iostream>
#include <string>
#include <vector>

namespace {

int Dispatch(const std::vector<std::string>& words) {
    if (words.empty())
        throw UsageError("no command given");
    if (words[0] == "--help" || words[0] == "-h" || words[0] == "help") {
        std::cout << ProgramHelp();
        return ExitOk;
    }
    if (words[0] == "--version") {
        std::cout << "pelkon-cli " PELKON_VERSION "\n";
        return ExitOk;
    }
    const Command* command = FindCommand(words[0]);
    if (!command)
        throw UsageError("unknown command '" + words[0] + "'");
    try {
        ParsedArgs args = ParseArgs({words.begin() + 1, words.end()}, command->options);
        if (args.help) {
            std::cout << CommandHelp(*command);
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

} // namespace

int main(int argc, char** argv) {
    try {
        return Dispatch({argv + 1, argv + argc});
    } catch (const UsageError& error) {
        std::cerr << MessagePrefix << error.what() << "\nTry 'pelkon-cli --help'.\n";
        return ExitUsage;
    } catch (const std::exception& error) {
        std::cerr << MessagePrefix << error.what() << "\n";
        return ExitFailure;
    }
}
