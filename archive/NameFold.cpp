#include "archive/NameFold.h"

#include <algorithm>

namespace {

bool SameByte(char a, char b) {
    return FoldByte(static_cast<unsigned char>(a)) == FoldByte(static_cast<unsigned char>(b));
}

// The length difference as a sign-preserving 32-bit value; texts longer than
// 2^31 bytes must not wrap round to the opposite sign.
int32_t LengthDifference(size_t a, size_t b) {
    if (a >= b)
        return a - b > INT32_MAX ? INT32_MAX : static_cast<int32_t>(a - b);
    return b - a > INT32_MAX ? -INT32_MAX : -static_cast<int32_t>(b - a);
}

} // namespace

int32_t CompareText(std::string_view A, std::string_view B) {
    const size_t common = std::min(A.size(), B.size());
    for (size_t i = 0; i < common; ++i) {
        if (A[i] == B[i])
            continue;
        const unsigned char a = FoldByte(static_cast<unsigned char>(A[i]));
        const unsigned char b = FoldByte(static_cast<unsigned char>(B[i]));
        if (a != b)
            return static_cast<int32_t>(a) - static_cast<int32_t>(b);
    }
    return LengthDifference(A.size(), B.size());
}

bool StartsWithText(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), SameByte);
}

bool ContainsText(std::string_view text, std::string_view needle) {
    return std::search(text.begin(), text.end(), needle.begin(), needle.end(), SameByte) !=
               text.end() ||
           needle.empty();
}

bool MatchesWildcard(std::string_view text, std::string_view pattern) {
    // Greedy matching that backs up to the last '*': linear in practice and
    // never worse than text x pattern, whatever a typed pattern holds.
    size_t t = 0, p = 0;
    size_t starAt = std::string_view::npos, resumeText = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starAt = p++;
            resumeText = t;
        } else if (p < pattern.size() && (pattern[p] == '?' || SameByte(pattern[p], text[t]))) {
            ++p;
            ++t;
        } else if (starAt != std::string_view::npos) {
            p = starAt + 1;
            t = ++resumeText;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

TFoldedKey FoldedKey(std::string_view name) {
    TFoldedKey key{};
    for (size_t i = 0; i < name.size() && i < 24; ++i) {
        const uint64_t byte = FoldByte(static_cast<unsigned char>(name[i]));
        key[i / 8] |= byte << (8 * (7 - i % 8));
    }
    return key;
}
