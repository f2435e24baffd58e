#include "archive/ArchiveEntry.h"

#include "platform/FileSystem.h"

namespace {
bool IsBlankOrControl(char c) {
    auto byte = static_cast<unsigned char>(c);
    return byte >= 1 && byte <= 32;
}
} // namespace

bool IsSafeFileName(std::string_view displayName) {
    return !displayName.empty() && displayName != "." && displayName != ".." &&
           displayName.find('/') == std::string_view::npos;
}

std::string_view EntryNameFromPath(std::string_view path) {
    return FileNameOf(path);
}

std::string_view DisplayName(const TArchiveEntry& entry) {
    return DisplayText(NameText(entry));
}

std::string_view DisplayText(std::string_view name) {
    while (!name.empty() && IsBlankOrControl(name.front()))
        name.remove_prefix(1);
    while (!name.empty() && IsBlankOrControl(name.back()))
        name.remove_suffix(1);
    return name;
}
