// The subcommands of pelkon-cli. Each takes its parsed arguments and returns
// the exit status; failures leave as exceptions (Exception: status 1,
// UsageError: status 2).
#pragma once

#include "archive/DirectoryStore.h"
#include "cli/Args.h"

#include <span>
#include <string>
#include <string_view>

// Exit statuses.
inline constexpr int ExitOk = 0;
inline constexpr int ExitFailure = 1; // also: check found problems
inline constexpr int ExitUsage = 2;

struct Command {
    const char* name;
    const char* synopsis; // arguments after the command's name
    const char* help;     // what it does, its options, its exit status
    std::span<const OptionSpec> options;
    size_t minPositional;
    size_t maxPositional; // SIZE_MAX: no limit
    int (*run)(const ParsedArgs& args);
};

int RunNew(const ParsedArgs& args);
int RunList(const ParsedArgs& args);
int RunAdd(const ParsedArgs& args);
int RunExtract(const ParsedArgs& args);
int RunDelete(const ParsedArgs& args);
int RunRename(const ParsedArgs& args);
int RunCheck(const ParsedArgs& args);
int RunRebuild(const ParsedArgs& args);
int RunCompact(const ParsedArgs& args);
int RunConvert(const ParsedArgs& args);

// The kind --format names (v1: a pair, v2: a single file), `fallback` when
// it is not given. Throws UsageError for any other value.
TArchiveKind FormatOption(const ParsedArgs& args, TArchiveKind fallback);

// The prefix of every message on standard error.
inline constexpr const char* MessagePrefix = "pelkon-cli: ";

// Tells what failed after a change was whole, a line each on standard error:
// "pelkon-cli: warning: ARCHIVE: WARNING; OUTCOME". The exit status stays 0.
void PrintWarnings(const std::string& archive, std::span<const std::string> warnings,
                   std::string_view outcome);
