// pelkon-cli as a function: the words of its command line in, messages on
// standard error, the exit status out.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Runs the command the words name (the words after the program's name).
int RunCommandLine(const std::vector<std::string>& words);

// The one line a failure is reported in: "pelkon-cli: PATH: reason" for a
// file, "pelkon-cli: COMMAND: Out of memory" when memory ran out, otherwise
// "pelkon-cli: message". Names and paths are escaped for the terminal.
std::string FailureLine(const std::exception& error, std::string_view command);
