#include "archive/ArchiveEntry.h"

namespace {
bool IsBlankOrControl(char c) {
    auto byte = static_cast<unsigned char>(c);
    return byte >= 1 && byte <= 32;
}
} // namespace

std::string_view DisplayName(const TArchiveEntry& entry) {
    std::string_view name = NameText(entry);
    while (!name.empty() && IsBlankOrControl(name.front()))
        name.remove_prefix(1);
    while (!name.empty() && IsBlankOrControl(name.back()))
        name.remove_suffix(1);
    return name;
}
