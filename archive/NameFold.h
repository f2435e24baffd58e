// The one letter-case rule of entry names: only the letters a-z are folded,
// to A-Z; every other byte stands for itself. Every comparison, sort key,
// search and match of names builds on FoldByte.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

constexpr unsigned char FoldByte(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - ('a' - 'A')) : c;
}

// The text comparison: bytes compared unsigned after FoldByte, the first
// difference decides; when one text begins with the other, the shorter one
// comes first. Only the sign of the result matters.
int32_t CompareText(std::string_view A, std::string_view B);

inline bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CompareText(a, b) == 0;
}
// Whether `text` begins with `prefix` (an empty prefix begins every text).
bool StartsWithText(std::string_view text, std::string_view prefix);
// Whether `needle` occurs in `text` (an empty needle occurs in every text).
bool ContainsText(std::string_view text, std::string_view needle);
// Whether the whole of `text` matches `pattern`, in which '*' stands for any
// run of bytes (none included) and '?' for any one byte.
bool MatchesWildcard(std::string_view text, std::string_view pattern);

// A name of at most 24 bytes without zero bytes as a key: the folded bytes,
// big-endian in three words and zero-padded, so that comparing keys orders
// names as CompareText does and equal keys are equal names.
using TFoldedKey = std::array<uint64_t, 3>;
TFoldedKey FoldedKey(std::string_view name);
