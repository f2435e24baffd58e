// Names of every byte value: the display name, the type text, the filter's
// matching and the orders over them. The type order must agree in sign with
// the text order of the two type texts, and every order must be
// antisymmetric, or the sort is undefined.
#include "archive/NameMatch.h"
#include "fuzz/FuzzCheck.h"
#include "sorting/SortFunctions.h"
#include "sorting/SortKeys.h"

#include <cstring>

namespace {

int Sign(int32_t value) {
    return (value > 0) - (value < 0);
}

TArchiveEntry EntryFrom(const uint8_t* data, size_t size, uint32_t entrySize) {
    TArchiveEntry entry{};
    std::memcpy(entry.Name, data, std::min(size, sizeof entry.Name));
    entry.Size = entrySize;
    return entry;
}

bool IsTrimmedByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 1 && byte <= 32;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    // The first byte splits the rest into two names and picks their sizes.
    const size_t split = std::min<size_t>(data[0] % 25, size - 1);
    const uint8_t* rest = data + 1;
    const TArchiveEntry a = EntryFrom(rest, split, data[0] & 0x80 ? 0xFFFFFFFFu : 1u);
    const TArchiveEntry b =
        EntryFrom(rest + split, size - 1 - split, data[1] & 1 ? 2u : 0x80000000u);

    for (const TArchiveEntry* entry : {&a, &b}) {
        const std::string_view text = NameText(*entry);
        const std::string_view shown = DisplayName(*entry);
        FUZZ_CHECK(text.size() <= 24, text);
        FUZZ_CHECK(text.find(shown) != std::string_view::npos, "display name not inside the name");
        FUZZ_CHECK(shown.empty() || (!IsTrimmedByte(shown.front()) && !IsTrimmedByte(shown.back())),
                   shown);
        const std::string type = GetTypeText(text);
        FUZZ_CHECK(type.size() >= 4 && type.compare(type.size() - 4, 4, "File") == 0, type);
    }

    // The first name as a filter text over the second: the filter's matcher
    // answers as the text rules do, from the stored name and from its text.
    const std::string_view pattern = NameText(a);
    const bool wildcard = pattern.find_first_of("*?") != std::string_view::npos;
    const bool expected =
        wildcard ? MatchesWildcard(DisplayName(b), pattern) : ContainsText(DisplayName(b), pattern);
    const TNameMatcher matcher(pattern);
    FUZZ_CHECK(matcher.Matches(b) == expected, std::string(pattern) + " / stored name");
    FUZZ_CHECK(matcher.Matches(DisplayName(b)) == expected, std::string(pattern) + " / its text");

    const std::string typeA = GetTypeText(NameText(a));
    const std::string typeB = GetTypeText(NameText(b));
    const int byName = Sign(CompareText(NameText(a), NameText(b)));
    // The folded key orders names as the text comparison does; equal keys are
    // equal names.
    const TFoldedKey keyA = FoldedKey(NameText(a)), keyB = FoldedKey(NameText(b));
    FUZZ_CHECK(Sign((keyA > keyB) - (keyA < keyB)) == byName, "folded key against the text order");
    for (bool descending : {false, true}) {
        SortDescending = descending;
        const int byText = Sign(CompareText(typeA, typeB));
        const int byType = Sign(CompareByType(a, b));
        if (byText != 0)
            FUZZ_CHECK(byType == (descending ? -byText : byText), typeA + " / " + typeB);
        FUZZ_CHECK(Sign(CompareByName(a, b)) == (descending ? -byName : byName),
                   "name order against the text order");
        // Where two sort keys differ, they must order as the comparison does;
        // where they are equal, the sort falls back to the comparison itself.
        const auto agrees = [](const TSortKey& ka, const TSortKey& kb, int32_t compared) {
            return ka == kb || Sign((ka > kb) - (ka < kb)) == Sign(compared);
        };
        FUZZ_CHECK(
            agrees(NameSortKey(a, descending), NameSortKey(b, descending), CompareByName(a, b)),
            "name sort key");
        FUZZ_CHECK(
            agrees(SizeSortKey(a, descending), SizeSortKey(b, descending), CompareBySize(a, b)),
            "size sort key");
        // Two type texts ranked by their own order.
        const uint32_t rankA = byText > 0 ? 1 : 0, rankB = byText < 0 ? 1 : 0;
        FUZZ_CHECK(agrees(TypeSortKey(a, rankA, 2, descending),
                          TypeSortKey(b, rankB, 2, descending), CompareByType(a, b)),
                   "type sort key");
        for (TCompareFunc order :
             {CompareByName, CompareByType, CompareBySize, CompareByDirIndex}) {
            FUZZ_CHECK(Sign(order(a, b)) == -Sign(order(b, a)), "order not antisymmetric");
            FUZZ_CHECK(order(a, a) == 0, "an entry differs from itself");
        }
    }
    SortDescending = false;
    return 0;
}
