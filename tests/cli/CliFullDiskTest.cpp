// Commands on a disk that fills up: a file size limit on the child process
// makes writing past it fail as a full disk does.
#include "tests/cli/CliRunner.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

constexpr uint64_t Limit = 3 * 2048; // three sectors per file

class FullDiskTest : public ::testing::Test {
protected:
    void SetUp() override {
#ifdef _WIN32
        GTEST_SKIP() << NoFileSizeLimitOnWindows;
#endif
        directory = Record(0, 2, "small.dff") + Record(2, 4, "large.txd");
        WritePair(dir.File("a.img"), directory, 6);
        img = ReadAll(dir.File("a.img"));
    }
    CliResult Run(const std::vector<std::string>& args) {
        CliOptions options;
        options.fileSizeLimit = Limit;
        return RunCli(args, dir.Path(), options);
    }

    TempDir dir;
    std::string directory, img;
};

TEST_F(FullDiskTest, RebuildFailsBeforeCopyingAndLeavesNoFile) {
    // The data file of the pair (6 sectors) is already past the limit, so
    // reading is unaffected, but the compacted copy cannot be written.
    CliResult result = Run({"rebuild", "a.img", "r.img"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "pelkon-cli: r.img: File too large\n");
    EXPECT_EQ(FolderContents(dir.Path()), (std::vector<std::string>{"a.dir", "a.img"}));
    EXPECT_EQ(ReadAll(dir.File("a.img")), img);
}

TEST_F(FullDiskTest, ExtractStopsWithAWriteErrorNamingTheFileAndLeavesNoPart) {
    std::filesystem::create_directory(dir.File("out"));
    CliResult result = Run({"extract", "a.img", "--all", "-C", "out"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "pelkon-cli: out/large.txd: File too large\n");
    // Name order: large.txd first fails half-way; small.dff is not tried.
    EXPECT_TRUE(FolderContents(dir.File("out")).empty());
}

TEST_F(FullDiskTest, AddThatCannotGrowTheDataFileChangesNothing) {
    WriteAll(dir.File("a.img"), img.substr(0, 2048));
    WriteAll(dir.File("a.dir"), Record(0, 1, "one.dff"));
    WriteAll(dir.File("fits.dff"), Pattern(2048, 3));
    WriteAll(dir.File("too-big.dff"), Pattern(2049, 4));
    CliResult result = Run({"add", "a.img", "fits.dff", "too-big.dff"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "pelkon-cli: a.img: File too large\n");
    EXPECT_EQ(ReadAll(dir.File("a.dir")), Record(0, 1, "one.dff") + Record(1, 1, "fits.dff"));
    EXPECT_EQ(ReadAll(dir.File("a.img")), img.substr(0, 2048) + Pattern(2048, 3));
}

} // namespace
