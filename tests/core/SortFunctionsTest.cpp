#include "sorting/SortFunctions.h"
#include "archive/DirectoryCodec.h"
#include "archive/Gta3Archive.h"
#include "archive/PrintableName.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace {

int Sign(int32_t value) {
    return (value > 0) - (value < 0);
}

TArchiveEntry Entry(std::string_view name, uint32_t size = 1, int32_t dirIndex = 0) {
    TArchiveEntry entry{};
    std::memcpy(entry.Name, name.data(), std::min<size_t>(sizeof entry.Name, name.size()));
    entry.Size = size;
    entry.DirIndex = dirIndex;
    return entry;
}

std::vector<TArchiveEntry> Entries(const std::vector<std::string>& names) {
    std::vector<TArchiveEntry> entries;
    for (const auto& name : names)
        entries.push_back(Entry(name, 1, static_cast<int32_t>(entries.size())));
    return entries;
}

// Sorts the way the archive object does: by the sign of the comparison function.
void SortBy(std::vector<TArchiveEntry>& entries, TCompareFunc compare) {
    std::sort(
        entries.begin(), entries.end(),
        [compare](const TArchiveEntry& a, const TArchiveEntry& b) { return compare(a, b) < 0; });
}

std::vector<std::string> Names(const std::vector<TArchiveEntry>& entries) {
    std::vector<std::string> names;
    for (const auto& entry : entries)
        names.emplace_back(NameText(entry));
    return names;
}

// The sort state is program-wide: each test starts ascending and leaves it so.
class SortState : public ::testing::Test {
protected:
    void SetUp() override { SortDescending = false; }
    void TearDown() override {
        SortDescending = false;
        CurrentCompare = CompareByName;
    }
};

// ---- Text comparison ------------------------------------------------------

struct TextCase {
    std::string a;
    std::string b;
    int sign; // of CompareText(a, b)
};

void PrintTo(const TextCase& c, std::ostream* os) {
    *os << '"' << c.a << "\" vs \"" << c.b << '"';
}

class CompareTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(CompareTextTest, OrdersBothWays) {
    const TextCase& c = GetParam();
    EXPECT_EQ(Sign(CompareText(c.a, c.b)), c.sign);
    EXPECT_EQ(Sign(CompareText(c.b, c.a)), -c.sign);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CompareTextTest,
    ::testing::Values(TextCase{"abc", "ABC", 0}, TextCase{"aBc", "AbC", 0}, TextCase{"", "", 0},
                      TextCase{"", "a", -1},          // nothing before something
                      TextCase{"abc", "abcd", -1},    // a prefix comes first
                      TextCase{"ABC", "abcd", -1},    // ... also across case
                      TextCase{"A1", "AB", -1},       // digits before letters
                      TextCase{"a_b", "aZb", 1},      // '_' (95) after the letters
                      TextCase{"a_b", "azb", 1},      // ... compared as upper case
                      TextCase{"[", "z", 1},          // 91 after folded 'z' (90)
                      TextCase{"`", "Z", 1},          // 96 after 'Z'
                      TextCase{"{", "a", 1},          // only a-z fold: '{' stays 123
                      TextCase{"@", "a", -1},         // 64 before folded 'a' (65)
                      TextCase{" zz", "0", -1},       // a leading blank before digits
                      TextCase{" zz", "a", -1},       // ... and letters
                      TextCase{"ab ", "ab", 1},       // trailing blanks count
                      TextCase{"\x7f", "\x80", -1},   // bytes compare unsigned
                      TextCase{"\xe9", "_", 1},       // high bytes after everything
                      TextCase{"\xe9", "\xc9", 1},    // ... and are not folded
                      TextCase{"abd", "ABCZZZ", 1})); // first difference beats length

// ---- CompareInt -----------------------------------------------------------

struct IntCase {
    int32_t a;
    int32_t b;
    int32_t result;
};

class CompareIntTest : public ::testing::TestWithParam<IntCase> {};

TEST_P(CompareIntTest, GivesMinusOneZeroOrOne) {
    EXPECT_EQ(CompareInt(GetParam().a, GetParam().b), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(Cases, CompareIntTest,
                         ::testing::Values(IntCase{1, 2, -1}, IntCase{2, 1, 1}, IntCase{7, 7, 0},
                                           IntCase{-1, 1, -1}, IntCase{INT32_MIN, INT32_MAX, -1},
                                           IntCase{INT32_MAX, INT32_MIN, 1}));

// ---- Type text ------------------------------------------------------------

struct TypeCase {
    std::string name;
    std::string extension;
    std::string typeText;
};

void PrintTo(const TypeCase& c, std::ostream* os) {
    *os << '"' << c.name << '"';
}

class TypeTextTest : public ::testing::TestWithParam<TypeCase> {};

TEST_P(TypeTextTest, FollowsTheExtension) {
    EXPECT_EQ(NameExtension(GetParam().name), GetParam().extension);
    EXPECT_EQ(GetTypeText(GetParam().name), GetParam().typeText);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TypeTextTest,
    ::testing::Values(TypeCase{"x.dff", ".dff", "DFF File"}, TypeCase{"x.Txd", ".Txd", "TXD File"},
                      TypeCase{"a.b.col", ".col", "COL File"}, TypeCase{"abc", "", "File"},
                      TypeCase{"", "", "File"}, TypeCase{"abc.", ".", " File"},
                      TypeCase{".dff", ".dff", "DFF File"},
                      TypeCase{"old.x\\name", "", "File"},      // the dot is in a folder
                      TypeCase{"a.b:c", "", "File"},            // a drive colon after it
                      TypeCase{"a\\b.txd", ".txd", "TXD File"}, // folders before it
                      TypeCase{"x.dff ", ".dff ", "DFF  File"}, // names are not trimmed
                      TypeCase{"x. a b", ". a b", " A B File"},
                      TypeCase{"x.{_}", ".{_}", "{_} File"},
                      TypeCase{"x.\xe9t\xe9", ".\xe9t\xe9", "\xe9T\xe9 File"},
                      TypeCase{"abcdefghijklmnopqrst.ifp", ".ifp", "IFP File"}));

// ---- Sorting by name, type and size ----------------------------------------

TEST_F(SortState, ByNameAscendingAndDescending) {
    auto entries = Entries({"b", "a_b", " lead", "aZb", "abcd", "A1", "abc", "AB"});
    SortBy(entries, CompareByName);
    EXPECT_EQ(Names(entries),
              (std::vector<std::string>{" lead", "A1", "AB", "abc", "abcd", "aZb", "a_b", "b"}));
    SortDescending = true;
    SortBy(entries, CompareByName);
    EXPECT_EQ(Names(entries),
              (std::vector<std::string>{"b", "a_b", "aZb", "abcd", "abc", "AB", "A1", " lead"}));
}

TEST_F(SortState, EqualNamesCompareEqualInBothDirections) {
    for (bool descending : {false, true}) {
        SortDescending = descending;
        EXPECT_EQ(CompareByName(Entry("abc"), Entry("ABC")), 0);
        EXPECT_EQ(CompareByType(Entry("abc.dff"), Entry("ABC.DFF")), 0);
        EXPECT_EQ(CompareBySize(Entry("abc", 5), Entry("ABC", 5)), 0);
    }
}

// A record made elsewhere may hold bytes after the zero that ends its name.
TEST_F(SortState, BytesAfterTheNameAreIgnored) {
    TArchiveEntry withTail = Entry("abc");
    std::memcpy(withTail.Name + 4, ".dff\\x:zz", 10);
    for (bool descending : {false, true}) {
        SortDescending = descending;
        EXPECT_EQ(CompareByName(withTail, Entry("ABC")), 0);
        EXPECT_EQ(CompareByType(withTail, Entry("abc")), 0);
        EXPECT_LT(CompareByType(withTail, Entry("abd")), 0) << "descending " << descending;
    }
}

TEST_F(SortState, ByTypeReversesOnlyTheType) {
    auto entries = Entries({"b.txd", "x.dff", "noext", "a.txd", "c.dff"});
    SortBy(entries, CompareByType);
    EXPECT_EQ(Names(entries),
              (std::vector<std::string>{"c.dff", "x.dff", "noext", "a.txd", "b.txd"}));
    SortDescending = true;
    SortBy(entries, CompareByType);
    EXPECT_EQ(Names(entries),
              (std::vector<std::string>{"a.txd", "b.txd", "noext", "c.dff", "x.dff"}));
}

TEST_F(SortState, BySizeReversesOnlyTheSize) {
    std::vector<TArchiveEntry> entries{Entry("b", 3), Entry("a", 1), Entry("c", 3), Entry("a", 3),
                                       Entry("d", 2)};
    SortBy(entries, CompareBySize);
    EXPECT_EQ(Names(entries), (std::vector<std::string>{"a", "d", "a", "b", "c"}));
    EXPECT_EQ(entries[0].Size, 1u);
    SortDescending = true;
    SortBy(entries, CompareBySize);
    EXPECT_EQ(Names(entries), (std::vector<std::string>{"a", "b", "c", "d", "a"}));
    EXPECT_EQ(entries[0].Size, 3u);
    EXPECT_EQ(entries[4].Size, 1u);
}

// Sector counts are unsigned: 2^31 sectors and more must sort as large numbers.
TEST_F(SortState, BySizeIsUnsigned) {
    const std::vector<uint32_t> sizes{0x80000000u, 1u, 0xFFFFFFFFu, 0x7FFFFFFFu, 0u, 0x80000001u};
    std::vector<TArchiveEntry> entries;
    for (uint32_t size : sizes)
        entries.push_back(Entry("e", size));
    for (bool descending : {false, true}) {
        SortDescending = descending;
        SortBy(entries, CompareBySize);
        std::vector<uint32_t> got;
        for (const auto& entry : entries)
            got.push_back(entry.Size);
        auto expected = sizes;
        if (descending)
            std::sort(expected.begin(), expected.end(), std::greater<>());
        else
            std::sort(expected.begin(), expected.end());
        EXPECT_EQ(got, expected) << "descending " << descending;
    }
}

TEST_F(SortState, ByDirIndexIgnoresTheDirection) {
    std::vector<TArchiveEntry> entries{Entry("z", 1, 2), Entry("a", 9, 0), Entry("m", 4, 3),
                                       Entry("b", 0, 1)};
    for (bool descending : {false, true}) {
        SortDescending = descending;
        std::reverse(entries.begin(), entries.end());
        SortBy(entries, CompareByDirIndex);
        for (size_t i = 0; i < entries.size(); ++i)
            EXPECT_EQ(entries[i].DirIndex, static_cast<int32_t>(i)) << "descending " << descending;
    }
}

// ---- Generated names --------------------------------------------------------

// Names of 0 to 24 bytes drawn mostly from bytes that matter to the type text
// and the case folding, so that equal types and near-equal names are common.
std::vector<std::string> RandomNames(size_t count, unsigned seed) {
    static const std::string alphabet = std::string(".\\: _`{[@09aAzZdDfFtTxX") + "\x80\xe9\xff";
    std::mt19937 random(seed);
    std::uniform_int_distribution<size_t> length(0, 24);
    std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<int> anyByte(1, 255);
    std::vector<std::string> names;
    for (size_t n = 0; n < count; ++n) {
        std::string name(length(random), '\0');
        for (char& c : name)
            c = random() % 4 == 0 ? static_cast<char>(anyByte(random)) : alphabet[pick(random)];
        names.push_back(name);
    }
    return names;
}

// The entry comparisons work on the Name fields in place; they must agree with
// the text comparison of the name texts and of the type texts that the list shows.
TEST_F(SortState, ByNameAndTypeAgreeWithTheTexts) {
    const auto names = RandomNames(3000, 2024);
    for (bool descending : {false, true}) {
        SortDescending = descending;
        for (size_t i = 0; i + 1 < names.size(); ++i) {
            for (size_t j : {i + 1, (i * 7919) % names.size()}) {
                const auto& n1 = names[i];
                const auto& n2 = names[j];
                int expected = Sign(CompareText(GetTypeText(n1), GetTypeText(n2)));
                if (descending)
                    expected = -expected;
                if (expected == 0)
                    expected = Sign(CompareText(n1, n2));
                ASSERT_EQ(Sign(CompareByType(Entry(n1), Entry(n2))), expected)
                    << '"' << n1 << "\" vs \"" << n2 << '"';
                const int byName = Sign(CompareText(n1, n2));
                ASSERT_EQ(Sign(CompareByName(Entry(n1), Entry(n2))), descending ? -byName : byName)
                    << '"' << n1 << "\" vs \"" << n2 << '"';
            }
        }
    }
}

// An independent statement of the name order: a-z folded, bytes unsigned,
// lexicographic with shorter-first.
bool NameLess(const std::string& a, const std::string& b) {
    auto fold = [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u >= 'a' && u <= 'z' ? u - 32 : u;
    };
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [&](char x, char y) { return fold(x) < fold(y); });
}

TEST_F(SortState, SortsGeneratedNamesIntoTheNameOrder) {
    auto entries = Entries(RandomNames(5000, 7));
    SortBy(entries, CompareByName);
    const auto ascending = Names(entries);
    EXPECT_TRUE(std::is_sorted(ascending.begin(), ascending.end(), NameLess));

    SortDescending = true;
    SortBy(entries, CompareByName);
    const auto descending = Names(entries);
    EXPECT_TRUE(std::is_sorted(descending.rbegin(), descending.rend(), NameLess));
}

TEST_F(SortState, SortsGeneratedNamesByTypeThenName) {
    auto entries = Entries(RandomNames(5000, 11));
    for (bool descending : {false, true}) {
        SortDescending = descending;
        SortBy(entries, CompareByType);
        for (size_t i = 0; i + 1 < entries.size(); ++i) {
            const std::string n1(NameText(entries[i]));
            const std::string n2(NameText(entries[i + 1]));
            int type = Sign(CompareText(GetTypeText(n1), GetTypeText(n2)));
            ASSERT_LE(descending ? -type : type, 0) << n1 << " / " << n2;
            if (type == 0) {
                ASSERT_FALSE(NameLess(n2, n1)) << n1 << " / " << n2;
            }
        }
    }
}

} // namespace

namespace {

// The keyed sorts of the list's orders must give what the comparisons give,
// on generated names and sizes full of ties, in both directions; entries that
// compare equal stand in slot order.
TEST_F(SortState, SortedSlotsAgreeWithTheComparisons) {
    TempDir dir;
    const auto names = RandomNames(4000, 99);
    std::vector<TArchiveEntry> records;
    for (size_t i = 0; i < names.size(); ++i)
        records.push_back(MakeEntry(0, static_cast<uint32_t>(i % 7), names[i]));
    WritePair(dir.File("a.img"), EncodeRecords(records), "");
    TGTA3Archive archive(dir.File("a.img"), TOpenMode::Shared);
    // Any other comparison is sorted as it compares, its ties too by slot.
    const TCompareFunc bySizeAlone = [](const TArchiveEntry& a, const TArchiveEntry& b) {
        return CompareInt(static_cast<int32_t>(a.Size), static_cast<int32_t>(b.Size));
    };
    for (TCompareFunc compare : {CompareByName, CompareByType, CompareBySize, bySizeAlone}) {
        for (bool descending : {false, true}) {
            SortDescending = descending;
            const auto table = archive.Table();
            const std::vector<uint32_t> rows = SortedSlots(table, compare, descending);
            // Sorted again from the other direction's rows, as a list does.
            std::vector<uint32_t> again = SortedSlots(table, compare, !descending);
            SortSlots(table, again, compare, descending);
            ASSERT_EQ(again, rows);
            ASSERT_EQ(rows.size(), records.size());
            for (size_t i = 1; i < rows.size(); ++i) {
                const int32_t c = compare(table[rows[i - 1]], table[rows[i]]);
                ASSERT_LE(c, 0) << "row " << i << ", descending " << descending;
                if (c == 0) {
                    ASSERT_LT(rows[i - 1], rows[i]) << "row " << i;
                }
            }
            std::vector<uint32_t> slots = rows;
            std::sort(slots.begin(), slots.end());
            for (size_t i = 0; i < slots.size(); ++i)
                ASSERT_EQ(slots[i], i) << "not every slot once";
        }
    }
}

TEST(NameFold, WildcardsAndSearchesFoldOnlyLetters) {
    EXPECT_TRUE(MatchesWildcard("CAR.TXD", "*.txd"));
    EXPECT_TRUE(MatchesWildcard("a.txd", "?.TXD"));
    EXPECT_TRUE(MatchesWildcard("", "*"));
    EXPECT_TRUE(MatchesWildcard("abcabcX", "*abc?"));
    EXPECT_FALSE(MatchesWildcard("car.txd2", "*.txd"));
    EXPECT_FALSE(MatchesWildcard("\xe9.txd", "\xc9.txd")); // accented letters are not folded
    EXPECT_FALSE(MatchesWildcard("a_b", "A?C"));
    EXPECT_TRUE(ContainsText("Infernus.DFF", "FERN"));
    EXPECT_FALSE(ContainsText("in", "inf"));
    EXPECT_TRUE(StartsWithText("Roads.txd", "ROAD"));
    EXPECT_FALSE(StartsWithText("[roads", "{ROADS")); // '[' and '{' are not letters
}

// Control bytes in any of their forms are written out for a terminal; letters
// of any script pass as they are.
TEST(PrintableNames, EscapeEveryControlAndNothingElse) {
    EXPECT_EQ(PrintableName("a\x1b]0;x\x07"), "a\\x1b]0;x\\x07");
    EXPECT_EQ(PrintableName("back\\slash"), "back\\\\slash");
    EXPECT_EQ(PrintableName("\x9b"
                            "31m"),
              "\\x9b31m"); // a raw C1 byte
    EXPECT_EQ(PrintableName("\xc2\x9b"
                            "31m"),
              "\\xc2\\x9b31m"); // C1 written in UTF-8
    EXPECT_EQ(PrintableName("caf\xc3\xa9 \xe9t\xe9"), "caf\xc3\xa9 \xe9t\xe9"); // UTF-8, Latin-1
    EXPECT_EQ(PrintableName("\x7f"), "\\x7f");
    EXPECT_EQ(PrintableText("already \\x01 escaped\x1b"), "already \\x01 escaped\\x1b");
    EXPECT_FALSE(NeedsEscaping("car\xc3\xa9.dff"));
    EXPECT_TRUE(NeedsEscaping("car\x85.dff"));
}

} // namespace
