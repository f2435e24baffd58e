#include "sorting/SortFunctions.h"

#include "sorting/TypeText.h"

#include <algorithm>

TCompareFunc CurrentCompare = CompareByName;
bool SortDescending = false;

namespace {

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
        const unsigned char foldedA = FoldByte(a);
        const unsigned char foldedB = FoldByte(b);
        if (foldedA != foldedB)
            return static_cast<int32_t>(foldedA) - static_cast<int32_t>(foldedB);
    }
    return 0;
}

// Applies the direction to a primary key and breaks its ties by name. The name
// order stays ascending in both directions: only the primary key is reversed.
int32_t WithNameTieBreak(int32_t primary, const TArchiveEntry& E1, const TArchiveEntry& E2) {
    if (primary != 0)
        return SortDescending ? -primary : primary;
    return SortDescending ? -CompareByName(E1, E2) : CompareByName(E1, E2);
}

} // namespace

int32_t CompareTypeTexts(const TTypeText& t1, const TTypeText& t2) {
    // The common case: two extensions of one length. Past the bodies both texts
    // go on with the same " File", so the bodies decide alone.
    if (t1.HasExtension() && t2.HasExtension() && t1.Body().size() == t2.Body().size())
        return CompareText(t1.Body(), t2.Body());
    const size_t common = std::min(t1.Length(), t2.Length());
    for (size_t i = 0; i < common; ++i) {
        // "File" folds too: its letters meet the other text's bytes here.
        const unsigned char a = FoldByte(t1.At(i));
        const unsigned char b = FoldByte(t2.At(i));
        if (a != b)
            return static_cast<int32_t>(a) - static_cast<int32_t>(b);
    }
    return t1.Length() < t2.Length() ? -1 : (t1.Length() > t2.Length() ? 1 : 0);
}

int32_t CompareInt(int32_t A, int32_t B) {
    if (A > B)
        return 1;
    return A < B ? -1 : 0;
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
        c = static_cast<char>(FoldByte(static_cast<unsigned char>(c)));
    text += " File";
    return text.substr(1);
}
