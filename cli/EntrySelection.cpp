#include "cli/EntrySelection.h"

#include "archive/NameFold.h"
#include "archive/PrintableName.h"
#include "platform/Errors.h"

#include <algorithm>
#include <numeric>

std::vector<int> MatchingEntries(const TGTA3Archive& archive, std::span<const std::string> names) {
    // The names sorted in the folded order, so each entry is one binary search
    // rather than a pass over every name.
    std::vector<size_t> order(names.size());
    std::iota(order.begin(), order.end(), 0);
    auto before = [&](size_t a, size_t b) { return CompareText(names[a], names[b]) < 0; };
    std::sort(order.begin(), order.end(), before);

    std::vector<bool> used(names.size());
    std::vector<int> found;
    const auto table = archive.Table();
    for (size_t i = 0; i < table.size(); ++i) {
        const std::string_view display = DisplayName(table[i]);
        auto first = std::lower_bound(
            order.begin(), order.end(), display,
            [&](size_t n, std::string_view text) { return CompareText(names[n], text) < 0; });
        bool matched = false;
        for (auto it = first; it != order.end() && SameText(display, names[*it]); ++it) {
            used[*it] = true;
            matched = true;
        }
        if (matched)
            found.push_back(static_cast<int>(i));
    }
    for (size_t n = 0; n < names.size(); ++n)
        if (!used[n])
            throw Exception("no entry named " + PrintableName(names[n]));
    return found;
}
