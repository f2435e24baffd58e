// compact: the pair rewritten in place, its entries extracting byte-identical
// to before, what was saved told; refused with nothing written where renaming
// over the pair would not keep it; a folder that cannot be synced a warning.
#include "tests/cli/CliRunner.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Dead sectors 0 and 6, two overlapping records, an empty entry: compacted,
// each record's data follows the one before it.
const std::string Untidy = Record(4, 2, "late.dff") + Record(1, 2, "first.txd") +
                           Record(2, 2, "overlap.col") + Record(7, 0, "empty") +
                           Record(5, 1, "tail.ifp");

class CompactTest : public ::testing::Test {
protected:
    CliResult Run(const std::vector<std::string>& args, const CliOptions& options = {}) {
        return RunCli(args, dir.Path(), options);
    }
    std::string Img() const { return dir.File("a.img"); }

    TempDir dir;
};

TEST_F(CompactTest, RewritesThePairInSlotOrderKeepingEveryEntrysBytes) {
    WritePair(Img(), Untidy, 8);
#ifndef _WIN32
    ASSERT_EQ(chmod(Img().c_str(), 0640), 0);
#endif
    std::filesystem::create_directory(dir.File("before"));
    ASSERT_EQ(Run({"extract", "a.img", "--all", "-C", "before"}).status, 0);

    const CliResult result = Run({"compact", "a.img"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "a.img: compacted, 2048 bytes (12.5%) smaller: data file 14336 bytes\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(ReadAll(DirOf(Img())), Record(0, 2, "late.dff") + Record(2, 2, "first.txd") +
                                         Record(4, 2, "overlap.col") + Record(6, 0, "empty") +
                                         Record(6, 1, "tail.ifp"));
    EXPECT_EQ(FileLength(Img()), 7u * 2048);
#ifndef _WIN32 // Windows keeps access-control lists, not permission bits
    struct stat info {};
    ASSERT_EQ(stat(Img().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u) << "the data file's permissions were not kept";
#endif
    EXPECT_EQ(FolderContents(dir.Path()), (std::vector<std::string>{"a.dir", "a.img", "before"}));

    std::filesystem::create_directory(dir.File("after"));
    ASSERT_EQ(Run({"extract", "a.img", "--all", "-C", "after"}).status, 0);
    const auto names = FolderContents(dir.File("before"));
    EXPECT_EQ(FolderContents(dir.File("after")), names);
    for (const std::string& name : names)
        EXPECT_EQ(ReadAll(dir.File("after/" + name)), ReadAll(dir.File("before/" + name))) << name;
    EXPECT_EQ(Run({"check", "a.img"}).out,
              "a.img: 5 entries, data file 14336 bytes, directory file 160 bytes\n"
              "dead space: 0 bytes (0.0%)\n"
              "no problems found\n");
}

// What stands in the way is refused before anything is written.
struct RefusedCase {
    const char* title;
    std::function<void(const TempDir&)> lay; // after the pair is written
    std::string err;                         // "%" stands for the folder
    bool needsRoot = false;
};

void PrintTo(const RefusedCase& c, std::ostream* os) {
    *os << c.title;
}

class RefusedCompactTest : public CompactTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedCompactTest, WritesNothing) {
#ifdef _WIN32
    if (GetParam().needsRoot)
        GTEST_SKIP() << NoSecondUserOnWindows;
#else
    if (GetParam().needsRoot && geteuid() != 0)
        GTEST_SKIP() << "needs root to give a file to another user";
#endif
    WritePair(Img(), Untidy, 8);
    GetParam().lay(dir);
    if (IsSkipped())
        return;
    const auto before = FolderContents(dir.Path());
    const std::string img = ReadAll(Img()), directory = ReadAll(DirOf(Img()));

    const CliResult result = Run({"compact", "a.img"});
    EXPECT_EQ(result.status, 1);
    std::string err = GetParam().err;
    if (const size_t at = err.find('%'); at != std::string::npos)
        err.replace(at, 1, dir.Path());
    EXPECT_EQ(result.err, err);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(FolderContents(dir.Path()), before);
    EXPECT_EQ(ReadAll(Img()), img);
    EXPECT_EQ(ReadAll(DirOf(Img())), directory);
}

const char* const Instead =
    ", which compacting in place would not keep: write a compacted copy with rebuild instead; "
    "nothing was written\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedCompactTest,
    ::testing::Values(
        RefusedCase{"ADataFileReachedThroughALink",
                    [](const TempDir& d) {
                        std::filesystem::rename(d.File("a.img"), d.File("elsewhere.img"));
                        if (!MakeSymbolicLink("elsewhere.img", d.File("a.img")))
                            GTEST_SKIP() << NoSymbolicLinksHere;
                    },
                    std::string("pelkon-cli: a.img: it is a symbolic link") + Instead},
        RefusedCase{"ADirectoryFileWithASecondName",
                    [](const TempDir& d) {
                        std::filesystem::create_hard_link(d.File("a.dir"), d.File("b.dir"));
                    },
                    std::string("pelkon-cli: a.dir: the file has other names") + Instead},
        RefusedCase{"ADirectoryFileOfAnotherUser",
                    [](const TempDir& d) { GiveToUnprivilegedUser(d.File("a.dir")); },
                    std::string("pelkon-cli: a.dir: the file belongs to another user") + Instead,
                    true},
        RefusedCase{"AMarkerOfSomeoneElse",
                    [](const TempDir& d) { WriteAll(d.File(".a.img.pelkon-swap"), "planted"); },
                    "pelkon-cli: .a.img.pelkon-swap: a file of another compaction stands there "
                    "(remove it if it is not yours); nothing was written\n"},
        RefusedCase{"ARecordPastTheEnd",
                    [](const TempDir& d) {
                        WriteAll(d.File("a.dir"), Record(0, 1, "a.dff") + Record(6, 9, "far.dff"));
                    },
                    "pelkon-cli: slot 1 \"far.dff\" reaches past the end of a.img (run check); "
                    "nothing was written\n"}),
    [](const auto& test) { return std::string(test.param.title); });

TEST_F(CompactTest, APairInUseIsRefused) {
    WritePair(Img(), Untidy, 8);
    const HeldFile held(Img());
    const CliResult result = Run({"compact", "a.img"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "pelkon-cli: a.img: Cannot open: in use by another program\n");
}

// A full disk is found before anything is written: the room for the new data
// file is reserved first.
TEST_F(CompactTest, AFullDiskWritesNothing) {
#ifdef _WIN32
    GTEST_SKIP() << NoFileSizeLimitOnWindows;
#endif
    WritePair(Img(), Untidy, 8);
    const std::string img = ReadAll(Img());
    CliOptions options;
    options.fileSizeLimit = 4096;
    const CliResult result = Run({"compact", "a.img"}, options);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "pelkon-cli: a.img: File too large\n");
    EXPECT_EQ(FolderContents(dir.Path()), (std::vector<std::string>{"a.dir", "a.img"}));
    EXPECT_EQ(ReadAll(Img()), img);
}

// As a user who may write into the folder but not read it, the folder cannot
// be put on disk: the new pair is in place all the same, which is a warning.
TEST_F(CompactTest, AFolderThatCannotBeSyncedIsAWarning) {
#ifdef _WIN32
    GTEST_SKIP() << NoSecondUserOnWindows;
#else
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to act as a second user";
    const std::string folder = dir.File("write-only");
    std::filesystem::create_directory(folder);
    WritePair(folder + "/a.img", Untidy, 8);
    for (const std::string& path : {folder, folder + "/a.img", folder + "/a.dir"})
        GiveToUnprivilegedUser(path);
    ASSERT_EQ(chmod(folder.c_str(), 0300), 0);
    CliOptions nobody;
    nobody.asNobody = true;
    const CliResult result = RunCli({"compact", "a.img"}, folder, nobody);
    ASSERT_EQ(chmod(folder.c_str(), 0700), 0);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "a.img: compacted, 2048 bytes (12.5%) smaller: data file 14336 bytes\n");
    EXPECT_EQ(result.err, "pelkon-cli: warning: a.img: the folder could not be synced (Permission "
                          "denied); the archive is compacted\n");
    EXPECT_EQ(FileLength(folder + "/a.img"), 7u * 2048);
    EXPECT_EQ(FolderContents(folder), (std::vector<std::string>{"a.dir", "a.img"}));
#endif
}

} // namespace
