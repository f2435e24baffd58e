// check: the integrity report on clean and hostile pairs.
#include "tests/cli/CliRunner.h"
#include "tests/core/TestFiles.h"

#include <gtest/gtest.h>

namespace {

class CheckTest : public ::testing::Test {
protected:
    CliResult Check() { return RunCli({"check", "a.img"}, dir.Path()); }
    std::string Img() const { return dir.File("a.img"); }

    TempDir dir;
};

TEST_F(CheckTest, ACleanPairHasNoProblemsAndIsLeftAsItWas) {
    std::string directory = Record(0, 2, "a.dff") + Record(2, 0, "empty") + Record(2, 1, "b.txd");
    WritePair(Img(), directory, 3);
    std::string img = ReadAll(Img());
    CliResult result = Check();
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "a.img: 3 entries, data file 6144 bytes, directory file 96 bytes\n"
                          "dead space: 0 bytes (0.0%)\n"
                          "no problems found\n");
    EXPECT_EQ(ReadAll(Img()), img);
    EXPECT_EQ(ReadAll(DirOf(Img())), directory);
}

TEST_F(CheckTest, DeadSpaceCountsSectorsNoRecordReachesOnce) {
    // Sectors 1, 4 and 5 are dead; sector 3 is covered twice; the record past
    // the end counts only up to the end of the file.
    WritePair(Img(),
              Record(0, 1, "a") + Record(2, 2, "b") + Record(3, 1, "c") + Record(4, 0, "d") +
                  Record(6, 4, "e"),
              8);
    CliResult result = Check();
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.out.find("dead space: 6144 bytes (37.5%)\n"), std::string::npos) << result.out;
}

TEST_F(CheckTest, AfterADeleteTheDeadSpaceShows) {
    WritePair(Img(), Record(0, 1, "a") + Record(1, 3, "b"), 4);
    ASSERT_EQ(RunCli({"delete", "a.img", "b"}, dir.Path()).status, 0);
    CliResult result = Check();
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.out.find("dead space: 6144 bytes (75.0%)\n"), std::string::npos);
}

struct HostilePair {
    const char* title;
    std::string directory;
    uint32_t sectors;
    uint64_t extraBytes; // appended to the data file after its sectors
    std::vector<std::string> problems;
};

void PrintTo(const HostilePair& pair, std::ostream* os) {
    *os << pair.title;
}

class HostilePairTest : public CheckTest, public ::testing::WithParamInterface<HostilePair> {};

TEST_P(HostilePairTest, ReportsEachProblemAndExitsWithOne) {
    const HostilePair& pair = GetParam();
    WritePair(Img(), pair.directory, pair.sectors);
    if (pair.extraBytes > 0)
        WriteAll(Img(), ReadAll(Img()) + std::string(pair.extraBytes, 'z'));
    CliResult result = Check();
    EXPECT_EQ(result.status, 1);
    for (const std::string& problem : pair.problems)
        EXPECT_NE(result.out.find("\n" + problem + "\n"), std::string::npos)
            << "missing: " << problem << "\nin:\n"
            << result.out;
    std::string count = std::to_string(pair.problems.size()) +
                        (pair.problems.size() == 1 ? " problem found\n" : " problems found\n");
    EXPECT_TRUE(result.out.ends_with(count)) << result.out;
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, HostilePairTest,
    ::testing::Values(
        HostilePair{"PastEnd",
                    Record(0, 1, "a") + Record(1, 2, "b") + Record(9, 0, "empty.far"),
                    2,
                    0,
                    {"past end: slot 1 \"b\" sectors 1-2 ends at byte 6144, the data file has "
                     "4096"}},
        HostilePair{"PastFourGiB",
                    Record(0xFFFFFFFFu, 2, "wraps"),
                    1,
                    0,
                    {"past end: slot 0 \"wraps\" sectors 4294967295-4294967296 ends at byte "
                     "8796093024256, the data file has 2048"}},
        HostilePair{"Overlap",
                    Record(0, 2, "a") + Record(1, 1, "b"),
                    2,
                    0,
                    {"overlap: slot 1 \"b\" sectors 1-1 overlaps slot 0 \"a\" sectors 0-1"}},
        // Both small entries lie inside the big one, not next to each other.
        HostilePair{"Nested",
                    Record(2, 1, "in1") + Record(0, 10, "big") + Record(5, 1, "in2"),
                    10,
                    0,
                    {"overlap: slot 0 \"in1\" sectors 2-2 overlaps slot 1 \"big\" sectors 0-9",
                     "overlap: slot 2 \"in2\" sectors 5-5 overlaps slot 1 \"big\" sectors 0-9"}},
        HostilePair{"Duplicates",
                    Record(0, 1, "abc") + Record(1, 1, "x") + Record(2, 1, " ABC"),
                    3,
                    0,
                    {"duplicate name: slot 0 \"abc\" sectors 0-0, slot 2 \" ABC\" sectors 2-2"}},
        HostilePair{"UnsafeNames",
                    Record(0, 0, "../x") + Record(0, 0, "a/b") + Record(0, 0, "\x01") +
                        Record(0, 0, ".."),
                    0,
                    0,
                    {"unsafe name: slot 0 \"../x\" cannot be extracted as a file",
                     "unsafe name: slot 1 \"a/b\" cannot be extracted as a file",
                     "unsafe name: slot 2 \"\\x01\" cannot be extracted as a file",
                     "unsafe name: slot 3 \"..\" cannot be extracted as a file"}},
        HostilePair{"PartialRecord",
                    Record(0, 1, "a") + "tail!!",
                    1,
                    0,
                    {"partial record: the directory file ends in 6 bytes that are not a whole "
                     "record"}},
        HostilePair{"DataFileNotWholeSectors",
                    Record(0, 1, "a"),
                    1,
                    100,
                    {"data file: its length 2148 is not a whole number of sectors"}}),
    [](const auto& test) { return std::string(test.param.title); });

TEST_F(CheckTest, AMissingPairIsAFailure) {
    CliResult result = Check();
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "pelkon-cli: a.img: Cannot open: No such file or directory\n");
}

} // namespace
