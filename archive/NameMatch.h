// A filter's question of entry names, worked out once for a table's worth of
// names: whether a display name contains the text or, when the text holds '*'
// or '?', matches the whole of it as a wildcard; letters a-z folded. The
// answers are those of ContainsText and MatchesWildcard (NameFold.h). A
// filter asks every name of a table of a million entries at each keystroke,
// so the text is folded and taken apart once, and a stored name folded in
// place of being copied: the runs between the text's '*'s are fixed-length,
// and each found at its first place leaves the most room for the rest.
#pragma once

#include "archive/ArchiveEntry.h"

#include <string>
#include <string_view>
#include <vector>

class TNameMatcher {
public:
    explicit TNameMatcher(std::string_view text);

    // Whether the entry's display name (DisplayName) matches.
    bool Matches(const TArchiveEntry& entry) const;
    // Whether `displayName` matches.
    bool Matches(std::string_view displayName) const;
    // Whether every name matches ("*", or "" to be contained), so that no
    // name needs to be looked at.
    bool MatchesEveryName() const;

private:
    // Whether the folded bytes [begin, end) of `text` match.
    bool MatchesFolded(const unsigned char* text, size_t begin, size_t end) const;

    bool FWildcard;
    bool FWhole = false;              // a wildcard without '*': the whole name against FText
    std::string FText;                // folded
    std::string FHead;                // before the first '*': at the start of a name
    std::string FTail;                // after the last '*': at its end
    std::vector<std::string> FMiddle; // the runs between, in order (or the text to contain)
};
