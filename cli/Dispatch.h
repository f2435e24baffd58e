// pelkon-cli as a function: the words of its command line in, messages on
// standard error, the exit status out.
#pragma once

#include <string>
#include <vector>

// Runs the command the words name (the words after the program's name).
int RunCommandLine(const std::vector<std::string>& words);
