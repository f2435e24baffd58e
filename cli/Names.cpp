#include "cli/Names.h"

#include "sorting/SortFunctions.h"

bool NameMatches(std::string_view displayName, std::string_view wanted) {
    return CompareText(displayName, wanted) == 0;
}

std::string PrintableName(std::string_view name) {
    static const char hex[] = "0123456789abcdef";
    std::string text;
    text.reserve(name.size());
    for (char c : name) {
        auto byte = static_cast<unsigned char>(c);
        if (byte == '\\') {
            text += "\\\\";
        } else if (byte < 32 || byte == 127) {
            text += "\\x";
            text += hex[byte >> 4];
            text += hex[byte & 15];
        } else {
            text += c;
        }
    }
    return text;
}

bool NeedsEscaping(std::string_view name) {
    for (char c : name) {
        auto byte = static_cast<unsigned char>(c);
        if (byte == '\\' || byte < 32 || byte == 127)
            return true;
    }
    return false;
}

std::string JoinPath(const std::string& folder, std::string_view name) {
    if (folder.empty())
        return std::string(name);
    std::string path = folder;
    if (path.back() != '/')
        path += '/';
    path += name;
    return path;
}
