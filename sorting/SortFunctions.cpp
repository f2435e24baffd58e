#include "sorting/SortFunctions.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

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

// The name order read straight from two Name fields. The zero byte that ends the
// shorter name is below every other byte, so it gives the sign that the length
// difference would, and neither length has to be found first.
int32_t CompareNameFields(const char* name1, const char* name2) {
    for (size_t i = 0; i < sizeof(TArchiveEntry::Name); ++i) {
        const auto a = static_cast<unsigned char>(name1[i]);
        const auto b = static_cast<unsigned char>(name2[i]);
        if (a == b) {
            if (a == 0)
                return 0;
            continue;
        }
        const unsigned char foldedA = FoldCase(a);
        const unsigned char foldedB = FoldCase(b);
        if (foldedA != foldedB)
            return static_cast<int32_t>(foldedA) - static_cast<int32_t>(foldedB);
    }
    return 0;
}

// A name's type text ("EXT File", " File" or "File") read byte by byte in place,
// so that sorting by type builds no string per comparison. Small enough to be
// passed in registers.
class TTypeText {
public:
    TTypeText() = default; // a name without extension: "File"
    // `body`: the extension after its dot, which the type text drops.
    TTypeText(const char* body, size_t bodyLength)
        : body_(body), bodyLength_(static_cast<uint32_t>(bodyLength)), hasExtension_(true) {}

    bool HasExtension() const { return hasExtension_; }
    std::string_view Body() const { return {body_, bodyLength_}; }
    size_t Length() const { return bodyLength_ + (hasExtension_ ? 5 : 4); }
    unsigned char At(size_t i) const {
        if (i < bodyLength_)
            return FoldCase(static_cast<unsigned char>(body_[i]));
        const char* tail = hasExtension_ ? " File" : "File";
        return static_cast<unsigned char>(tail[i - bodyLength_]);
    }

private:
    const char* body_ = nullptr;
    uint32_t bodyLength_ = 0;
    bool hasExtension_ = false;
};

// The length of the name text in a Name field: the first zero byte is found a
// word at a time, which matters when a sort asks for it twenty million times.
[[gnu::always_inline]] inline size_t NameFieldLength(const char* name) {
    constexpr size_t fieldSize = sizeof(TArchiveEntry::Name);
    if constexpr (std::endian::native == std::endian::little) {
        constexpr uint64_t ones = 0x0101010101010101u;
        constexpr uint64_t highs = 0x8080808080808080u;
        for (size_t i = 0; i < fieldSize; i += sizeof(uint64_t)) {
            uint64_t word;
            std::memcpy(&word, name + i, sizeof word);
            // Marks the first zero byte exactly; marks above it may be false.
            const uint64_t zeros = (word - ones) & ~word & highs;
            if (zeros != 0)
                return i + static_cast<size_t>(std::countr_zero(zeros)) / 8;
        }
        return fieldSize;
    }
    const auto* zero = static_cast<const char*>(std::memchr(name, 0, fieldSize));
    return zero ? static_cast<size_t>(zero - name) : fieldSize;
}

// The extension rule of NameExtension, on a Name field.
[[gnu::always_inline]] inline TTypeText TypeTextOf(const TArchiveEntry& entry) {
    const size_t length = NameFieldLength(entry.Name);
    for (size_t i = length; i-- > 0;) {
        const char c = entry.Name[i];
        if (c == '.')
            return TTypeText(entry.Name + i + 1, length - i - 1);
        if (c == '\\' || c == ':')
            break;
    }
    return TTypeText();
}

// The text comparison of two type texts, without materialising them.
int32_t CompareTypeTexts(const TTypeText& t1, const TTypeText& t2) {
    // The common case: two extensions of one length. Past the bodies both texts
    // go on with the same " File", so the bodies decide alone.
    if (t1.HasExtension() && t2.HasExtension() && t1.Body().size() == t2.Body().size())
        return CompareText(t1.Body(), t2.Body());
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
    const int32_t c = CompareNameFields(E1.Name, E2.Name);
    return SortDescending ? -c : c;
}

int32_t CompareByType(const TArchiveEntry& E1, const TArchiveEntry& E2) {
    return WithNameTieBreak(CompareTypeTexts(TypeTextOf(E1), TypeTextOf(E2)), E1, E2);
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
