#include "sorting/SortFunctions.h"

#include <algorithm>
#include <cstdint>

TCompareFunc CurrentCompare = CompareByName;
bool SortDescending = false;

namespace {

constexpr unsigned char FoldCase(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - ('a' - 'A')) : c;
}

// The length difference as a sign-preserving 32-bit value; texts longer than
// 2^31 bytes must not wrap round to the opposite sign.
int32_t LengthDifference(size_t a, size_t b) {
    if (a >= b)
        return a - b > INT32_MAX ? INT32_MAX : static_cast<int32_t>(a - b);
    return b - a > INT32_MAX ? -INT32_MAX : -static_cast<int32_t>(b - a);
}

// A name's type text ("EXT File", " File" or "File") read byte by byte in place,
// so that sorting by type builds no string per comparison.
class TTypeText {
public:
    explicit TTypeText(std::string_view name) {
        std::string_view extension = NameExtension(name);
        if (extension.empty()) {
            tail_ = "File";
        } else {
            body_ = extension.substr(1); // the dot is the dropped first character
            tail_ = " File";
        }
    }

    size_t Length() const { return body_.size() + tail_.size(); }
    unsigned char At(size_t i) const {
        if (i < body_.size())
            return FoldCase(static_cast<unsigned char>(body_[i]));
        return static_cast<unsigned char>(tail_[i - body_.size()]);
    }

private:
    std::string_view body_;
    std::string_view tail_;
};

// The text comparison of two type texts, without materialising them.
int32_t CompareTypeTexts(std::string_view name1, std::string_view name2) {
    const TTypeText t1(name1);
    const TTypeText t2(name2);
    const size_t common = std::min(t1.Length(), t2.Length());
    for (size_t i = 0; i < common; ++i) {
        const unsigned char a = FoldCase(t1.At(i));
        const unsigned char b = FoldCase(t2.At(i));
        if (a != b)
            return static_cast<int32_t>(a) - static_cast<int32_t>(b);
    }
    return LengthDifference(t1.Length(), t2.Length());
}

// Applies the direction to a primary key and breaks its ties by name. The name
// order stays ascending in both directions: only the primary key is reversed.
int32_t WithNameTieBreak(int32_t primary, const TArchiveEntry& E1, const TArchiveEntry& E2) {
    if (primary != 0)
        return SortDescending ? -primary : primary;
    return SortDescending ? -CompareByName(E1, E2) : CompareByName(E1, E2);
}

} // namespace

int32_t CompareInt(int32_t A, int32_t B) {
    if (A > B)
        return 1;
    return A < B ? -1 : 0;
}

int32_t CompareText(std::string_view A, std::string_view B) {
    const size_t common = std::min(A.size(), B.size());
    for (size_t i = 0; i < common; ++i) {
        if (A[i] == B[i])
            continue;
        const unsigned char a = FoldCase(static_cast<unsigned char>(A[i]));
        const unsigned char b = FoldCase(static_cast<unsigned char>(B[i]));
        if (a != b)
            return static_cast<int32_t>(a) - static_cast<int32_t>(b);
    }
    return LengthDifference(A.size(), B.size());
}

int32_t CompareByName(const TArchiveEntry& E1, const TArchiveEntry& E2) {
    const int32_t c = CompareText(NameText(E1), NameText(E2));
    return SortDescending ? -c : c;
}

int32_t CompareByType(const TArchiveEntry& E1, const TArchiveEntry& E2) {
    return WithNameTieBreak(CompareTypeTexts(NameText(E1), NameText(E2)), E1, E2);
}

// Sizes are unsigned sector counts: comparing them as signed would put entries
// of 2^31 sectors or more before the smallest ones.
int32_t CompareBySize(const TArchiveEntry& E1, const TArchiveEntry& E2) {
    const int32_t s = E1.Size > E2.Size ? 1 : (E1.Size < E2.Size ? -1 : 0);
    return WithNameTieBreak(s, E1, E2);
}

int32_t CompareByDirIndex(const TArchiveEntry& E1, const TArchiveEntry& E2) {
    return CompareInt(E1.DirIndex, E2.DirIndex);
}

std::string_view NameExtension(std::string_view Name) {
    // Walking back from the end, the first '.', '\' or ':' decides.
    for (size_t i = Name.size(); i-- > 0;) {
        const char c = Name[i];
        if (c == '.')
            return Name.substr(i);
        if (c == '\\' || c == ':')
            break;
    }
    return {};
}

std::string GetTypeText(std::string_view Name) {
    std::string text(NameExtension(Name));
    for (char& c : text)
        c = static_cast<char>(FoldCase(static_cast<unsigned char>(c)));
    text += " File";
    return text.substr(1);
}
