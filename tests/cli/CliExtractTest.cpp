// extract: whole sectors into files named by display names, never outside
// the target folder.
#include "tests/cli/CliRunner.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class ExtractTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directory(dir.File("out"));
        WritePair(dir.File("a.img"),
                  Record(0, 2, "A.dff") + Record(2, 0, "empty") + Record(2, 1, " padded.txd ") +
                      Record(3, 1, "b.col"),
                  4);
        img = ReadAll(dir.File("a.img"));
    }
    CliResult Run(const std::vector<std::string>& args) { return RunCli(args, dir.Path()); }
    std::string Sectors(size_t first, size_t count) const {
        return img.substr(first * 2048, count * 2048);
    }

    TempDir dir;
    std::string img;
};

TEST_F(ExtractTest, AllWritesEachEntrysSectorsWholeUnderItsDisplayName) {
    CliResult result = Run({"extract", "a.img", "--all", "-C", "out/"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(FolderContents(dir.File("out")),
              (std::vector<std::string>{"A.dff", "b.col", "empty", "padded.txd"}));
    EXPECT_EQ(ReadAll(dir.File("out/A.dff")), Sectors(0, 2));
    EXPECT_EQ(ReadAll(dir.File("out/empty")), "");
    EXPECT_EQ(ReadAll(dir.File("out/padded.txd")), Sectors(2, 1));
    EXPECT_EQ(ReadAll(dir.File("out/b.col")), Sectors(3, 1));
    EXPECT_EQ(ReadAll(dir.File("a.img")), img);
}

TEST_F(ExtractTest, NamesMatchIgnoringCaseAndReplaceAnExistingFile) {
    WriteAll(dir.File("b.col"),
             "an older and longer file than the entry's one sector" + std::string(4000, 'x'));
    CliResult result = Run({"extract", "a.img", "a.DFF", "B.COL"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(ReadAll(dir.File("A.dff")), Sectors(0, 2));
    EXPECT_EQ(ReadAll(dir.File("b.col")), Sectors(3, 1));
    EXPECT_FALSE(Exists(dir.File("empty")));
}

TEST_F(ExtractTest, ANameMatchingNothingWritesNothing) {
    CliResult result = Run({"extract", "a.img", "A.dff", "missing.dff", "-C", "out"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "pelkon-cli: no entry named missing.dff\n");
    EXPECT_TRUE(FolderContents(dir.File("out")).empty());
}

TEST_F(ExtractTest, ARecordPastTheDataFilesEndFailsNamingTheEntryAndLeavesNoFile) {
    WritePair(dir.File("a.img"), Record(0, 1, "ok.dff") + Record(1, 5, "short.dff"), 2);
    CliResult result = Run({"extract", "a.img", "short.dff", "-C", "out"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "pelkon-cli: short.dff: Stream read error\n");
    EXPECT_TRUE(FolderContents(dir.File("out")).empty());
}

TEST_F(ExtractTest, AMissingTargetFolderCannotBeWritten) {
    CliResult result = Run({"extract", "a.img", "A.dff", "-C", "nowhere"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "pelkon-cli: nowhere/A.dff: Cannot create: No such file or directory\n");
}

struct HostileName {
    const char* title;
    std::string stored;
    std::string target; // the path the message names
};

void PrintTo(const HostileName& name, std::ostream* os) {
    *os << name.title;
}

class HostileNameTest : public ExtractTest, public ::testing::WithParamInterface<HostileName> {};

TEST_P(HostileNameTest, IsRefusedAndNothingIsWritten) {
    std::filesystem::create_directory(dir.File("out/sub"));
    WritePair(dir.File("a.img"), Record(0, 1, "good.dff") + Record(1, 1, GetParam().stored), 2);
    auto before = FolderContents(dir.Path());
    CliResult result = Run({"extract", "a.img", "--all", "-C", "out"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "pelkon-cli: " + GetParam().target +
                              ": Cannot create: the entry's name is not a safe file name\n");
    EXPECT_EQ(FolderContents(dir.File("out")), std::vector<std::string>{"sub"});
    EXPECT_TRUE(FolderContents(dir.File("out/sub")).empty());
    EXPECT_EQ(FolderContents(dir.Path()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Names, HostileNameTest,
    ::testing::Values(HostileName{"ParentPath", "../x.dff", "out/../x.dff"},
                      HostileName{"DotDot", "..", "out/.."}, HostileName{"Dot", " . ", "out/."},
                      HostileName{"IntoSubfolder", "sub/x.dff", "out/sub/x.dff"},
                      HostileName{"Absolute", "/tmp/x.dff", "out//tmp/x.dff"},
                      HostileName{"BlanksOnly", "   ", "out/"},
                      HostileName{"ControlBytesOnly", "\x01\x1f", "out/"}),
    [](const auto& test) { return std::string(test.param.title); });

TEST_F(ExtractTest, ASymbolicLinkUnderAnEntrysNameIsNotFollowed) {
    WriteAll(dir.File("outside.txt"), "keep me");
    if (!MakeSymbolicLink("../outside.txt", dir.File("out/b.col")))
        GTEST_SKIP() << NoSymbolicLinksHere;
    CliResult result = Run({"extract", "a.img", "--all", "-C", "out"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "pelkon-cli: out/b.col: Cannot create: a symbolic link stands there\n");
    EXPECT_EQ(ReadAll(dir.File("outside.txt")), "keep me");
    EXPECT_EQ(FolderContents(dir.File("out")), std::vector<std::string>{"b.col"});
}

TEST_F(ExtractTest, AHostileNameCanStillBeLeftOut) {
    WritePair(dir.File("a.img"), Record(0, 1, "good.dff") + Record(1, 1, "../x.dff"), 2);
    CliResult result = Run({"extract", "a.img", "GOOD.dff", "-C", "out"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(FolderContents(dir.File("out")), std::vector<std::string>{"good.dff"});
}

} // namespace
