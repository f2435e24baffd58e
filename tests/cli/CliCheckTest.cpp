// check: the integrity report on clean and hostile pairs.
#include "tests/cli/CliRunner.h"
#include "tests/support/TestSupport.h"

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

TEST_F(CheckTest, AfterADeleteTheDeadSpaceShows) {
    WritePair(Img(), Record(0, 1, "a") + Record(1, 3, "b"), 4);
    ASSERT_EQ(RunCli({"delete", "a.img", "b"}, dir.Path()).status, 0);
    CliResult result = Check();
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.out.find("dead space: 6144 bytes (75.0%)\n"), std::string::npos);
}

// Each kind of finding is tested where the check lives; here, how the
// command reports them.
TEST_F(CheckTest, FindingsAreLinesAndTheCountEndsTheReport) {
    WritePair(Img(), Record(0, 2, "a") + Record(1, 1, "b") + Record(1, 1, "b") + "tail", 2);
    CliResult result = Check();
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "a.img: 3 entries, data file 4096 bytes, directory file 100 bytes\n"
                          "partial record: the directory file ends in 4 bytes that are not a "
                          "whole record\n"
                          "overlap: slot 1 \"b\" sectors 1-1 overlaps slot 0 \"a\" sectors 0-1\n"
                          "duplicate record: slot 2 is the same record as slot 1 \"b\" sectors "
                          "1-1\n"
                          "dead space: 0 bytes (0.0%)\n"
                          "3 problems found\n");
}

// What new and add make streams as the games read it; a delete leaves the
// entry after the deleted one reading the wrong bytes, until the archive is
// compacted.
TEST_F(CheckTest, StreamingBreaksAreProblemsUntilTheArchiveIsCompacted) {
    for (const char* file : {"a.dff", "b.txd", "empty.dff", "c.dff", "d.txd"})
        WriteAll(dir.File(file), std::string(file) == "empty.dff" ? "" : Pattern(3000));
    ASSERT_EQ(RunCli({"new", "a.img"}, dir.Path()).status, 0);
    ASSERT_EQ(RunCli({"add", "a.img", "a.dff", "b.txd", "empty.dff", "c.dff", "d.txd"}, dir.Path())
                  .status,
              0);
    CliResult added = Check();
    EXPECT_EQ(added.status, 0) << added.out;

    ASSERT_EQ(RunCli({"delete", "a.img", "c.dff"}, dir.Path()).status, 0);
    CliResult deleted = Check();
    EXPECT_EQ(deleted.status, 1);
    EXPECT_EQ(deleted.out, "a.img: 4 entries, data file 16384 bytes, directory file 128 bytes\n"
                           "not after the entry before it: slot 3 \"d.txd\" sectors 6-7 should "
                           "begin at sector 4, where slot 1 \"b.txd\" sectors 2-3 ends; compact "
                           "the archive\n"
                           "dead space: 4096 bytes (25.0%)\n"
                           "1 problem found\n");

    ASSERT_EQ(RunCli({"rebuild", "a.img", "r.img"}, dir.Path()).status, 0);
    CliResult rebuilt = RunCli({"check", "r.img"}, dir.Path());
    EXPECT_EQ(rebuilt.status, 0) << rebuilt.out;
}

TEST_F(CheckTest, AMissingPairIsAFailure) {
    CliResult result = Check();
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "pelkon-cli: a.img: Cannot open: No such file or directory\n");
}

} // namespace
