// The filter's matcher against the plain text rules it must agree with
// (ContainsText, MatchesWildcard), on stored names of every shape, both from
// the stored name and from its text.
#include "archive/NameMatch.h"
#include "archive/NameFold.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TArchiveEntry Stored(std::string_view name) {
    TArchiveEntry entry{};
    std::memcpy(entry.Name, name.data(), std::min(name.size(), sizeof entry.Name));
    return entry;
}

bool Reference(std::string_view text, std::string_view displayName) {
    return text.find_first_of("*?") == std::string_view::npos ? ContainsText(displayName, text)
                                                              : MatchesWildcard(displayName, text);
}

const std::string_view Names[] = {
    "car.txd",
    "CAR.TXD",
    "",
    "a",
    "  padded.dff\t", // trimmed at both ends
    "abcabcX",
    "aXbXc",
    "infernus.dff",
    "\xe9t\xe9.txd",               // Latin-1: not folded
    "AbCdEfGhIjKlMnOpQrStUvWx",    // all 24 bytes, no zero
    "twenty-four-bytes-name.d",    // also unterminated
    std::string_view("ab\0cd", 5), // what follows the first zero is not the name
    "[{@`}]",                      // next to the letters, not folded
    "e123456.dff",
};

// Texts to contain (one as long as a name can be), then wildcards: runs at
// the start, between '*'s and at the end, '?' anywhere, bytes next to the
// letters and past ASCII.
const std::string_view Texts[] = {
    "car",     "CAR",   "TXD",   "",      "x",       ".dff",
    "cd",      "\xc9",  "\xe9",  "[",     "{",       "AbCdEfGhIjKlMnOpQrStUvWx",
    "*",       "**",    "*.txd", "*.TXD", "?.txd",   "c?r.*",
    "*abc?",   "a*b*c", "a*a",   "*x*",   "*X",      "???",
    "*?",      "?*",    "a*",    "*a",    "e1*.d?f", "*W?",
    "padded*", "*\t",   "[*]",   "*@`*"};

} // namespace

TEST(NameMatch, AgreesWithTheTextRulesOnEveryStoredShape) {
    for (const std::string_view text : Texts) {
        const TNameMatcher matcher(text);
        for (const std::string_view name : Names) {
            const TArchiveEntry entry = Stored(name);
            const bool expected = Reference(text, DisplayName(entry));
            EXPECT_EQ(matcher.Matches(entry), expected) << "'" << text << "' in '" << name << "'";
            EXPECT_EQ(matcher.Matches(DisplayName(entry)), expected)
                << "'" << text << "' in '" << name << "' as text";
        }
    }
}

TEST(NameMatch, OnlyStarsAndNothingMatchEveryName) {
    for (const std::string_view text : {"*", "***", ""})
        EXPECT_TRUE(TNameMatcher(text).MatchesEveryName()) << text;
    for (const std::string_view text : {"*?", "?", "a", "*a*"})
        EXPECT_FALSE(TNameMatcher(text).MatchesEveryName()) << text;
}
