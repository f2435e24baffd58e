// Look-up of the subcommands and the help texts.
#pragma once

#include "cli/Commands.h"

#include <span>
#include <string>
#include <string_view>

std::span<const Command> AllCommands();
const Command* FindCommand(std::string_view name); // nullptr when unknown
std::string ProgramHelp();
std::string CommandHelp(const Command& command);
