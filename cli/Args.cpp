#include "cli/Args.h"

#include "archive/PrintableName.h"

#include <algorithm>

std::string ParsedArgs::Value(const std::string& option, const std::string& fallback) const {
    auto found = values.find(option);
    return found == values.end() ? fallback : found->second;
}

namespace {

const OptionSpec* FindOption(std::span<const OptionSpec> options, const std::string& name) {
    auto found = std::find_if(options.begin(), options.end(),
                              [&](const OptionSpec& option) { return option.name == name; });
    return found == options.end() ? nullptr : &*found;
}

} // namespace

ParsedArgs ParseArgs(const std::vector<std::string>& args, std::span<const OptionSpec> options) {
    ParsedArgs parsed;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        // A lone "-" is an ordinary argument, as is everything after "--".
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            parsed.positional.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        if (word == "--help" || word == "-h") {
            parsed.help = true;
            continue;
        }
        std::string name = word;
        std::string inlineValue;
        bool hasInlineValue = false;
        if (auto equals = word.find('='); word.starts_with("--") && equals != std::string::npos) {
            name = word.substr(0, equals);
            inlineValue = word.substr(equals + 1);
            hasInlineValue = true;
        }
        const OptionSpec* option = FindOption(options, name);
        if (!option)
            throw UsageError("unknown option " + PrintableName(name));
        if (!option->takesValue) {
            if (hasInlineValue)
                throw UsageError("option " + PrintableName(name) + " takes no value");
            parsed.flags.insert(name);
            continue;
        }
        if (hasInlineValue) {
            parsed.values[name] = inlineValue;
        } else {
            if (i + 1 >= args.size())
                throw UsageError("option " + PrintableName(name) + " needs a value");
            parsed.values[name] = args[++i];
        }
    }
    return parsed;
}
