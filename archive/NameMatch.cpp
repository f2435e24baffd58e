#include "archive/NameMatch.h"

#include "archive/NameFold.h"

#include <cstdint>

namespace {

std::string Folded(std::string_view text) {
    std::string folded(text);
    for (char& c : folded)
        c = static_cast<char>(FoldByte(static_cast<unsigned char>(c)));
    return folded;
}

// Whether `run` ('?' standing for any byte) stands in `text` at `at`.
bool RunAt(const unsigned char* text, size_t at, std::string_view run) {
    for (size_t i = 0; i < run.size(); ++i)
        if (run[i] != '?' && static_cast<unsigned char>(run[i]) != text[at + i])
            return false;
    return true;
}

} // namespace

TNameMatcher::TNameMatcher(std::string_view text)
    : FWildcard(text.find_first_of("*?") != std::string_view::npos), FText(Folded(text)) {
    if (!FWildcard) {
        FMiddle.push_back(FText);
        return;
    }
    const size_t firstStar = FText.find('*');
    FWhole = firstStar == std::string::npos;
    if (FWhole)
        return;
    const size_t lastStar = FText.rfind('*');
    FHead = FText.substr(0, firstStar);
    FTail = FText.substr(lastStar + 1);
    for (size_t from = firstStar + 1; from <= lastStar;) {
        const size_t star = FText.find('*', from);
        if (star > from)
            FMiddle.push_back(FText.substr(from, star - from));
        from = star + 1;
    }
}

bool TNameMatcher::MatchesEveryName() const {
    return FWildcard ? FText.find_first_not_of('*') == std::string::npos : FText.empty();
}

bool TNameMatcher::Matches(const TArchiveEntry& entry) const {
    // All 24 bytes are folded, which the compiler does several at a time.
    // Folding into words and reading them back as bytes made each name wait
    // on its own stores.
    unsigned char text[sizeof entry.Name];
    for (size_t i = 0; i < sizeof text; ++i)
        text[i] = FoldByte(static_cast<unsigned char>(entry.Name[i]));
    const std::string_view shown = DisplayName(entry);
    const auto begin = static_cast<size_t>(shown.data() - entry.Name);
    return MatchesFolded(text, begin, begin + shown.size());
}

bool TNameMatcher::Matches(std::string_view displayName) const {
    const std::string text = Folded(displayName);
    return MatchesFolded(reinterpret_cast<const unsigned char*>(text.data()), 0, text.size());
}

bool TNameMatcher::MatchesFolded(const unsigned char* text, size_t begin, size_t end) const {
    if (FWhole)
        return end - begin == FText.size() && RunAt(text, begin, FText);
    if (end - begin < FHead.size() + FTail.size() || !RunAt(text, begin, FHead) ||
        !RunAt(text, end - FTail.size(), FTail))
        return false;
    begin += FHead.size();
    end -= FTail.size();
    for (const std::string& run : FMiddle) {
        size_t at = begin;
        while (at + run.size() <= end && !RunAt(text, at, run))
            ++at;
        if (at + run.size() > end)
            return false;
        begin = at + run.size();
    }
    return true;
}
