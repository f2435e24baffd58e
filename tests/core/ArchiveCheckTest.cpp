// The integrity check: each kind of finding with the text it is told in, the
// dead space, and findings handed over one at a time.
#include "archive/ArchiveCheck.h"
#include "archive/DirectoryCodec.h"
#include "tests/core/ArchiveTestSupport.h"

namespace {

struct CheckCase {
    const char* title;
    std::string directory;
    std::string data;
    std::vector<std::string> findings; // in the order they are reported
    uint64_t deadBytes;
};

void PrintTo(const CheckCase& c, std::ostream* os) {
    *os << c.title;
}

class CheckFindings : public ArchiveTest, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(CheckFindings, AreReportedInOrderWithTheDeadSpace) {
    const CheckCase& c = GetParam();
    MakePair(c.directory, c.data);
    auto archive = std::make_unique<TGTA3Archive>(Img(), TOpenMode::Shared);
    std::vector<std::string> reported;
    const TCheckSummary summary =
        CheckArchive(*archive, [&](const TCheckFinding& f) { reported.push_back(f.Text); });
    EXPECT_EQ(reported, c.findings);
    EXPECT_EQ(summary.Problems, c.findings.size());
    EXPECT_EQ(summary.DeadBytes, c.deadBytes);
    EXPECT_EQ(summary.Entries, c.directory.size() / 32);
}

const std::string Sectors8 = Pattern(8 * 2048);

INSTANTIATE_TEST_SUITE_P(
    Pairs, CheckFindings,
    ::testing::Values(
        CheckCase{"Clean",
                  Record(0, 2, "a.dff") + Record(2, 0, "empty") + Record(2, 1, "b.txd"),
                  Pattern(3 * 2048),
                  {},
                  0},
        // Sectors 1, 4 and 5 are dead; sector 3 is covered twice; the record
        // past the end counts only up to the end of the file.
        CheckCase{
            "DeadSpace",
            Record(0, 1, "a") + Record(2, 2, "b") + Record(3, 1, "c") + Record(4, 0, "d") +
                Record(6, 4, "e"),
            Sectors8,
            {"overlap: slot 2 \"c\" sectors 3-3 overlaps slot 1 \"b\" sectors 2-3",
             "past end: slot 4 \"e\" sectors 6-9 ends at byte 20480, the data file has 16384"},
            3 * 2048},
        CheckCase{"PastFourGiB",
                  Record(0xFFFFFFFFu, 2, "wraps"),
                  Pattern(2048),
                  {"past end: slot 0 \"wraps\" sectors 4294967295-4294967296 ends at byte "
                   "8796093024256, the data file has 2048"},
                  2048},
        // Both small entries lie inside the big one, not next to each other.
        CheckCase{"Nested",
                  Record(2, 1, "in1") + Record(0, 10, "big") + Record(5, 1, "in2"),
                  Pattern(10 * 2048),
                  {"overlap: slot 0 \"in1\" sectors 2-2 overlaps slot 1 \"big\" sectors 0-9",
                   "overlap: slot 2 \"in2\" sectors 5-5 overlaps slot 1 \"big\" sectors 0-9"},
                  0},
        // A record repeated whole - what a delete cut short by an older
        // version leaves - is told as such, not as an overlap and a name.
        CheckCase{"RepeatedRecords",
                  Record(0, 1, "a.dff") + Record(1, 1, "b.dff") + Record(0, 1, "a.dff") +
                      Record(1, 1, "b.dff"),
                  Pattern(2 * 2048),
                  {"duplicate record: slot 2 is the same record as slot 0 \"a.dff\" sectors 0-0",
                   "duplicate record: slot 3 is the same record as slot 1 \"b.dff\" sectors 1-1"},
                  0},
        CheckCase{"DuplicateNames",
                  Record(0, 1, "abc") + Record(1, 1, "x") + Record(2, 1, " ABC"),
                  Pattern(3 * 2048),
                  {"duplicate name: slot 0 \"abc\" sectors 0-0, slot 2 \" ABC\" sectors 2-2"},
                  0},
        CheckCase{"UnsafeAndUnterminatedNames",
                  Record(0, 0, "../x") + Record(0, 0, "a/b") + Record(0, 0, "\x01\x1b]0;t\x07") +
                      Record(0, 0, std::string(24, 'n')),
                  "",
                  {"unsafe name: slot 0 \"../x\" cannot be extracted as a file",
                   "unsafe name: slot 1 \"a/b\" cannot be extracted as a file",
                   "unterminated name: slot 3 \"nnnnnnnnnnnnnnnnnnnnnnnn\" fills all 24 bytes "
                   "with no zero byte after it"},
                  0},
        // A delete leaves the entry after the deleted one reading its bytes;
        // the gap after an entry the games do not stream is no break.
        CheckCase{"NotAfterTheEntryBeforeIt",
                  Record(0, 1, "a.dff") + Record(1, 1, "b.txd") + Record(3, 1, "d.dff") +
                      Record(5, 1, "e.col") + Record(7, 1, "f.dff"),
                  Pattern(8 * 2048),
                  {"not after the entry before it: slot 2 \"d.dff\" sectors 3-3 should begin at "
                   "sector 2, where slot 1 \"b.txd\" sectors 1-1 ends; compact the archive"},
                  3 * 2048},
        CheckCase{"PartialFiles",
                  Record(0, 1, "a") + "tail!!",
                  Pattern(2048 + 100),
                  {"data file: its length 2148 is not a whole number of sectors",
                   "partial record: the directory file ends in 6 bytes that are not a whole "
                   "record"},
                  100}),
    [](const auto& test) { return std::string(test.param.title); });

TEST_F(ArchiveTest, NamesInFindingsCannotDriveATerminal) {
    MakePair(Record(0, 0, "\x1b]0;pwned\x07") + Record(0, 0, "\x1b]0;PWNED\x07"), "");
    auto archive = std::make_unique<TGTA3Archive>(Img(), TOpenMode::Shared);
    std::string text;
    CheckArchive(*archive, [&](const TCheckFinding& f) { text += f.Text + "\n"; });
    EXPECT_EQ(text, "duplicate name: slot 0 \"\\x1b]0;pwned\\x07\", slot 1 "
                    "\"\\x1b]0;PWNED\\x07\"\n");
}

// A hostile directory can name the same few bytes a million times: a group of
// equal names is one finding of bounded length, and findings are handed over
// as found rather than gathered.
TEST_F(ArchiveTest, AGroupOfManyEqualNamesIsOneBoundedFinding) {
    std::vector<TArchiveEntry> records;
    for (uint32_t i = 0; i < 20000; ++i)
        records.push_back(MakeEntry(i, 0, i % 2 ? "same.dff" : "SAME.DFF"));
    MakePair(EncodeRecords(records), "");
    auto archive = std::make_unique<TGTA3Archive>(Img(), TOpenMode::Shared);
    std::vector<TCheckFinding> findings;
    CheckArchive(*archive, [&](const TCheckFinding& f) { findings.push_back(f); });
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0].Kind, TCheckFinding::TKind::DuplicateName);
    EXPECT_EQ(findings[0].Slots, (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_TRUE(findings[0].Text.ends_with("slot 7 \"same.dff\" and 19992 more"))
        << findings[0].Text;
}

} // namespace
