// Command-line parsing for pelkon-cli: options and positional arguments of one
// subcommand, checked against what that subcommand accepts.
#pragma once

#include <map>
#include <set>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

// A malformed command line; the program exits with status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct OptionSpec {
    std::string name; // "--sort" or "-C"
    bool takesValue;
};

struct ParsedArgs {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values; // options that take a value
    std::set<std::string> flags;               // options without one
    bool help = false;

    bool Has(const std::string& flag) const { return flags.count(flag) != 0; }
    std::string Value(const std::string& option, const std::string& fallback) const;
};

// Splits `args` (the words after the subcommand) into options and positional
// arguments. "--" ends the options; "--name=value" is accepted for options that
// take a value. Throws UsageError for an unknown option or a missing value.
ParsedArgs ParseArgs(const std::vector<std::string>& args, std::span<const OptionSpec> options);
