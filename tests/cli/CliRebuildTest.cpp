// rebuild: a compacted copy whose entries extract byte-identical to the
// original's, appearing whole or not at all.
#include "tests/cli/CliRunner.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class RebuildTest : public ::testing::Test {
protected:
    CliResult Run(const std::vector<std::string>& args) { return RunCli(args, dir.Path()); }
    std::string Img() const { return dir.File("a.img"); }

    TempDir dir;
};

TEST_F(RebuildTest, PacksTheDataInSlotOrderAndExtractsIdentically) {
    // Dead sectors 0 and 6, two overlaps, an empty entry and a partial record.
    // Each record's data follows the one before it; overlapping records are
    // copied each on its own.
    std::string directory = Record(4, 2, "late.dff") + Record(1, 2, "first.txd") +
                            Record(2, 2, "overlap.col") + Record(7, 0, "empty") +
                            Record(5, 1, "tail.ifp") + "partial";
    WritePair(Img(), directory, 8);
    std::string img = ReadAll(Img());

    CliResult result = Run({"rebuild", "a.img", "r.img"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(ReadAll(Img()), img);
    EXPECT_EQ(ReadAll(DirOf(Img())), directory);
    EXPECT_EQ(ReadAll(dir.File("r.dir")), Record(0, 2, "late.dff") + Record(2, 2, "first.txd") +
                                              Record(4, 2, "overlap.col") + Record(6, 0, "empty") +
                                              Record(6, 1, "tail.ifp"));
    EXPECT_EQ(FileLength(dir.File("r.img")), 7u * 2048);
    EXPECT_EQ(FolderContents(dir.Path()),
              (std::vector<std::string>{"a.dir", "a.img", "r.dir", "r.img"}));

    std::filesystem::create_directory(dir.File("from-a"));
    std::filesystem::create_directory(dir.File("from-r"));
    ASSERT_EQ(Run({"extract", "a.img", "--all", "-C", "from-a"}).status, 0);
    ASSERT_EQ(Run({"extract", "r.img", "--all", "-C", "from-r"}).status, 0);
    auto names = FolderContents(dir.File("from-a"));
    ASSERT_EQ(names.size(), 5u);
    EXPECT_EQ(FolderContents(dir.File("from-r")), names);
    for (const std::string& name : names)
        EXPECT_EQ(ReadAll(dir.File("from-r/" + name)), ReadAll(dir.File("from-a/" + name))) << name;

    CliResult check = Run({"check", "r.img"});
    EXPECT_EQ(check.out, "r.img: 5 entries, data file 14336 bytes, directory file 160 bytes\n"
                         "dead space: 0 bytes (0.0%)\n"
                         "no problems found\n");
}

TEST_F(RebuildTest, AnEmptyArchiveGivesAnEmptyPair) {
    WritePair(Img(), "", 3);
    ASSERT_EQ(Run({"rebuild", "a.img", "r.img"}).status, 0);
    EXPECT_EQ(FileLength(dir.File("r.img")), 0u);
    EXPECT_EQ(FileLength(dir.File("r.dir")), 0u);
}

struct RefusedCase {
    const char* title;
    std::string directory;
    std::vector<std::string> existing; // files made beforehand in the folder
    std::string destination;
    std::string err;
};

void PrintTo(const RefusedCase& c, std::ostream* os) {
    *os << c.title;
}

class RefusedRebuildTest : public RebuildTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedRebuildTest, WritesNothingAndLeavesNoTemporaryFile) {
    const RefusedCase& c = GetParam();
    WritePair(Img(), c.directory, 2);
    for (const std::string& name : c.existing)
        WriteAll(dir.File(name), "already here");
    auto before = FolderContents(dir.Path());
    CliResult result = Run({"rebuild", "a.img", c.destination});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err.substr(0, c.err.size()), c.err) << result.err;
    EXPECT_EQ(FolderContents(dir.Path()), before);
    for (const std::string& name : c.existing)
        EXPECT_EQ(ReadAll(dir.File(name)), "already here");
}

const std::string GoodDirectory = Record(0, 1, "a.dff") + Record(1, 1, "b.dff");

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedRebuildTest,
    ::testing::Values(
        RefusedCase{"DataFileExists",
                    GoodDirectory,
                    {"r.img"},
                    "r.img",
                    "pelkon-cli: r.img already exists; rebuild writes only a new pair\n"},
        RefusedCase{"DirectoryFileExists",
                    GoodDirectory,
                    {"r.dir"},
                    "r.img",
                    "pelkon-cli: r.dir already exists; rebuild writes only a new pair\n"},
        RefusedCase{"OntoItself",
                    GoodDirectory,
                    {},
                    "a.img",
                    "pelkon-cli: a.img already exists; rebuild writes only a new pair\n"},
        RefusedCase{"DirExtension",
                    GoodDirectory,
                    {},
                    "r.dir",
                    "pelkon-cli: r.dir would be its own directory file\n"},
        RefusedCase{"RecordPastEnd",
                    GoodDirectory + Record(1, 2, "long.dff"),
                    {},
                    "r.img",
                    "pelkon-cli: slot 2 \"long.dff\" reaches past the end of a.img (run "
                    "check); nothing was written\n"},
        RefusedCase{"MissingFolder",
                    GoodDirectory,
                    {},
                    "nowhere/r.img",
                    "pelkon-cli: nowhere/r.img: Cannot create: No such file or directory\n"}),
    [](const auto& test) { return std::string(test.param.title); });

} // namespace
