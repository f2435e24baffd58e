// The file layer's promises the rest of the program builds on: holds, files
// written under a temporary name and put in place, leftovers of killed
// writers, and failures that name their file and give the system's reason.
#include "platform/Errors.h"
#include "platform/FaultInjection.h"
#include "platform/FileStream.h"
#include "platform/FileSystem.h"
#include "platform/TemporaryFile.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#ifndef _WIN32
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#endif

namespace {

class PlatformTest : public ::testing::Test {
protected:
    void TearDown() override { faults::Reset(); }
    std::vector<std::string> Names() const {
        std::vector<std::string> names = FolderNames(dir.Path());
        std::sort(names.begin(), names.end());
        return names;
    }
    TempDir dir;
};

TEST_F(PlatformTest, ReadersShareAHoldThatAWriterExcludes) {
    const std::string file = dir.File("a.img");
    WriteAll(file, "data");
    {
        FileStream first = FileStream::OpenReadShared(file);
        FileStream second = FileStream::OpenReadShared(file);
        const std::string message = MessageOf([&] { FileStream::OpenHeld(file); });
        EXPECT_EQ(message, "Cannot open file " + file);
    }
    FileStream writer = FileStream::OpenHeld(file);
    try {
        FileStream::OpenReadShared(file);
        ADD_FAILURE() << "a reader got past the writer's hold";
    } catch (const EFOpenError& error) {
        EXPECT_EQ(error.Path(), file);
        EXPECT_EQ(error.Reason(), "Cannot open: in use by another program");
    }
}

// An abandoned file lets go of its hold, a large one a moment later (it is
// closed on a thread of its own), a small one at once.
class AbandonTest : public PlatformTest, public ::testing::WithParamInterface<uint64_t> {};

TEST_P(AbandonTest, AnAbandonedFileIsClosed) {
    const std::string file = dir.File("abandoned.img");
    FileStream stream = FileStream::CreateNew(file);
    stream.Reserve(GetParam());
    stream.Abandon();
    EXPECT_FALSE(stream.IsOpen());
    std::string refusal;
    for (int tries = 0; tries < 400; ++tries) {
        refusal = MessageOf([&] { FileStream::OpenHeld(file); });
        if (refusal.empty())
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(refusal, "");
}

INSTANTIATE_TEST_SUITE_P(Sizes, AbandonTest, ::testing::Values(4096, 128ull << 20));

// Write-behind keeps the bytes as written, and its failures are a flush's.
TEST_F(PlatformTest, WriteBehindKeepsTheBytesAndReportsFailuresAsAFlush) {
    const std::string file = dir.File("copy.img");
    const std::string bytes(3 * 4096 + 5, 'w');
    FileStream stream = FileStream::CreateHeld(file);
    stream.Write(bytes.data(), bytes.size());
    EXPECT_EQ(MessageOf([&] { stream.WriteBehind(4096, bytes.size()); }), "");
    faults::FailNthCall(1, EIO, faults::Call::Flush);
    try {
        stream.WriteBehind(0, bytes.size());
        ADD_FAILURE() << "a failed write-behind passed";
    } catch (const EOSError& error) {
        EXPECT_EQ(error.Path(), file);
        EXPECT_EQ(error.SystemError(), EIO);
    }
    stream.Close();
    EXPECT_EQ(ReadAll(file), bytes);
}

TEST_F(PlatformTest, FailuresKeepTheirFileAndTheSystemsReason) {
    const std::string missing = dir.File("missing");
    try {
        FileStream::OpenHeld(missing);
        ADD_FAILURE();
    } catch (const EFOpenError& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot open file " + missing);
        EXPECT_EQ(error.SystemError(), ENOENT);
        EXPECT_EQ(error.Reason(), "Cannot open: No such file or directory");
    }
    FileStream stream = FileStream::CreateHeld(dir.File("f"));
    faults::FailNthCall(1, EFBIG, faults::Call::Write);
    try {
        stream.Write("x", 1);
        ADD_FAILURE();
    } catch (const EWriteError& error) {
        EXPECT_EQ(std::string(error.what()), "Stream write error"); // the window's text
        EXPECT_EQ(error.Path(), dir.File("f"));
        EXPECT_EQ(error.Reason(), "File too large");
    }
}

TEST_F(PlatformTest, PathsJoinWithExactlyOneSeparator) {
    EXPECT_EQ(JoinPath("out", "a.dff"), "out/a.dff");
    EXPECT_EQ(JoinPath("out///", "a.dff"), "out/a.dff");
    EXPECT_EQ(JoinPath("/", "a.dff"), "/a.dff");
    EXPECT_EQ(JoinPath("", "a.dff"), "a.dff");
    EXPECT_EQ(FolderOf("a.img"), ".");
    EXPECT_EQ(FolderOf("/a.img"), "/");
    EXPECT_EQ(FolderOf("x/y/a.img"), "x/y");
}

// A temporary name cannot be guessed, and a file or link planted at it is
// never opened: the create fails instead of writing where the link points.
TEST_F(PlatformTest, TemporaryFilesAreNewAndNeverReachedThroughALink) {
    std::set<std::string> tokens;
    for (int i = 0; i < 100; ++i)
        tokens.insert(NewTemporaryToken());
    EXPECT_EQ(tokens.size(), 100u);

    WriteAll(dir.File("victim"), "keep");
    const std::string planted = dir.File(".new.img.pelkon-tmp-planted");
    if (!MakeSymbolicLink(dir.File("victim"), planted))
        GTEST_SKIP() << NoSymbolicLinksHere;
    const std::string message = MessageOf([&] { TTemporaryFile(dir.File("new.img"), "planted"); });
    EXPECT_EQ(message, "Cannot create file " + dir.File("new.img"));
    EXPECT_EQ(ReadAll(dir.File("victim")), "keep");
}

TEST_F(PlatformTest, ReplacingAFinalNameKeepsOtherNamesOfTheOldFile) {
    // A hard link planted under the target's name: renaming over the name
    // leaves the file it shares with the outside untouched.
    WriteAll(dir.File("outside"), "keep");
    MakeHardLink(dir.File("outside"), dir.File("target"));
    TTemporaryFile file(dir.File("target"));
    file.Stream().Write("new", 3);
    file.ReplaceFinal(TTemporaryFile::Replacing::UnheldFilesOnly);
    EXPECT_EQ(ReadAll(dir.File("target")), "new");
    EXPECT_EQ(ReadAll(dir.File("outside")), "keep");
    EXPECT_EQ(Names(), (std::vector<std::string>{"outside", "target"}));
}

TEST_F(PlatformTest, ReplacingRefusesLinksFoldersAndHeldFiles) {
    std::filesystem::create_directory(dir.File("folder"));
    if (!MakeSymbolicLink(dir.File("folder"), dir.File("link"), true))
        GTEST_SKIP() << NoSymbolicLinksHere;
    WriteAll(dir.File("held"), "in use");
    FileStream holder = FileStream::OpenHeld(dir.File("held"));
    for (const char* name : {"folder", "link", "held"}) {
        SCOPED_TRACE(name);
        {
            TTemporaryFile file(dir.File(name));
            const std::string message =
                MessageOf([&] { file.ReplaceFinal(TTemporaryFile::Replacing::UnheldFilesOnly); });
            EXPECT_EQ(message, "Cannot create file " + dir.File(name));
        }
        EXPECT_EQ(Names(), (std::vector<std::string>{"folder", "held", "link"}));
    }
    EXPECT_EQ(ReadAll(dir.File("held")), "in use");
}

// The temporary file a writer whose process is gone leaves for `final`,
// holding the final name as its bytes; with `placed`, also linked there.
std::string Leave(const TempDir& dir, const std::string& final, bool placed = false,
                  const std::string& token = "2147483647-dead") {
    const std::string temporary = dir.File("." + final + ".pelkon-tmp-" + token);
    WriteAll(temporary, final);
    if (placed)
        MakeHardLink(temporary, dir.File(final));
    return temporary;
}

// What a sweep finds, what it leaves (the folder's names afterwards) and how
// many temporary names it removes. A final name is never removed; a writer
// killed between linking its files is finished.
struct SweepCase {
    const char* name;
    std::function<void(const TempDir&, std::vector<FileStream>& holds)> lay;
    std::vector<std::string> left;
    size_t removed;
};

void PrintTo(const SweepCase& c, std::ostream* os) {
    *os << c.name;
}

// Stands for the number of a running writer in a name a case expects.
const std::string LiveWriter = "<live>";

class SweepTest : public PlatformTest, public ::testing::WithParamInterface<SweepCase> {};

TEST_P(SweepTest, TheSweepRemovesOnlyProvenLeftoversAndFinishesHalfPlacedPairs) {
    std::vector<FileStream> holds;
    GetParam().lay(dir, holds);
    WriteAll(dir.File("other.txt"), "not ours");
    EXPECT_EQ(RemoveStaleTemporaries(dir.Path()), GetParam().removed);
    std::vector<std::string> left = GetParam().left;
    for (std::string& name : left)
        if (const size_t at = name.find(LiveWriter); at != std::string::npos)
            name.replace(at, LiveWriter.size(), std::to_string(OtherRunningProcess()));
    left.push_back("other.txt");
    std::sort(left.begin(), left.end());
    EXPECT_EQ(Names(), left);
    for (const std::string name : {"p.img", "p.dir"})
        if (Exists(dir.File(name))) {
            EXPECT_EQ(ReadAll(dir.File(name)), name); // what the writer wrote
        }
}

const std::string Dead = ".pelkon-tmp-2147483647-dead";

INSTANTIATE_TEST_SUITE_P(
    Folders, SweepTest,
    ::testing::Values(SweepCase{"AHalfPlacedPairIsFinished",
                                [](auto& d, auto&) {
                                    Leave(d, "p.img");
                                    Leave(d, "p.dir", true);
                                },
                                {"p.dir", "p.img"},
                                2},
                      SweepCase{"AHalfPlacedPairWhoseNameWasTakenKeepsThatName",
                                [](auto& d, auto&) {
                                    Leave(d, "q.img");
                                    Leave(d, "q.dir", true);
                                    WriteAll(d.File("q.img"), "someone else's");
                                },
                                {"q.dir", "q.img"},
                                2},
                      SweepCase{"AFinalNameReplacedMeanwhileStays",
                                [](auto& d, auto&) {
                                    Leave(d, "p.img");
                                    Leave(d, "p.dir", true);
                                    RemoveFile(d.File("p.dir"));
                                    WriteAll(d.File("p.dir"), "p.dir"); // a new pair's own file
                                },
                                {"p.dir"},
                                2},
                      SweepCase{"AFileOfARunningWriterStays",
                                [](auto& d, auto&) {
                                    Leave(d, "run.bin", false,
                                          std::to_string(OtherRunningProcess()) + "-live");
                                },
                                {".run.bin.pelkon-tmp-" + LiveWriter + "-live"},
                                0},
                      SweepCase{"AFileWithANameElsewhereStays",
                                [](auto& d, auto&) {
                                    MakeHardLink(Leave(d, "x.bin"), d.File("elsewhere.bin"));
                                },
                                {".x.bin" + Dead, "elsewhere.bin"},
                                0},
                      SweepCase{"AWritersFilesStayWhileOneOfThemIsHeld",
                                [](auto& d, auto& holds) {
                                    holds.push_back(FileStream::OpenHeld(Leave(d, "p.img")));
                                    Leave(d, "p.dir", true);
                                },
                                {".p.dir" + Dead, ".p.img" + Dead, "p.dir"},
                                0}),
    [](const auto& test) { return std::string(test.param.name); });

// A sweep running meanwhile - in this process, so only the hold keeps it
// away - never takes a temporary file from its writer: the file is held
// before it has its name.
TEST_F(PlatformTest, ASweepRacingNewTemporaryFilesNeverTakesOne) {
    std::atomic<bool> stop = false;
    std::thread sweeper([&] {
        while (!stop)
            try {
                RemoveStaleTemporaries(dir.Path());
            } catch (const Exception&) {
            }
    });
    int failures = 0;
    std::string first;
    for (int i = 0; i < 3000; ++i) {
        try {
            TTemporaryFile file(dir.File("f" + std::to_string(i % 4)));
            file.Stream().Write("data", 4);
            file.ReplaceFinal(TTemporaryFile::Replacing::UnheldFilesOnly);
        } catch (const EFileError& error) {
            if (failures++ == 0)
                first = error.Path() + ": " + error.Reason();
        }
    }
    stop = true;
    sweeper.join();
    EXPECT_EQ(failures, 0) << first;
}

// Where the file system makes no nameless files, the temporary file is
// created under its name and held at once.
TEST_F(PlatformTest, WithoutNamelessFilesATemporaryFileIsStillHeld) {
#ifdef _WIN32
    GTEST_SKIP()
        << "Windows creates a file and holds it in one call (CREATE_NEW with a share mode)";
#endif
    faults::FailNthCall(1, EOPNOTSUPP, faults::Call::Open);
    TTemporaryFile file(dir.File("x.bin"));
    EXPECT_TRUE(faults::Fired());
    const std::vector<std::string> names = Names();
    ASSERT_EQ(names.size(), 1u);
    EXPECT_FALSE(FileStream::TryHold(dir.File(names[0])));
    file.Stream().Write("data", 4);
    file.ReplaceFinal(TTemporaryFile::Replacing::UnheldFilesOnly);
    EXPECT_EQ(Names(), std::vector<std::string>{"x.bin"});
    EXPECT_EQ(ReadAll(dir.File("x.bin")), "data");
}

} // namespace

namespace {

// In a folder that users share (sticky and writable by all, like /tmp),
// another user plants a link under a name the program will write and leaves
// a temporary file of its own: the link is never written through, and the
// other user's file is never removed.
TEST_F(PlatformTest, WhatAnotherUserPlantsInASharedFolderIsLeftAlone) {
#ifdef _WIN32
    GTEST_SKIP() << NoSecondUserOnWindows;
#else
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to act as a second user";
    ASSERT_EQ(chmod(dir.Path().c_str(), 01777), 0);
    WriteAll(dir.File("private"), "root's own");
    ASSERT_EQ(chmod(dir.File("private").c_str(), 0644), 0);
    const std::string planted = RunInChild([&]() -> std::string {
        if (!BecomeNobody())
            return "cannot become nobody";
        if (symlink(dir.File("private").c_str(), dir.File("victim.txt").c_str()) != 0)
            return "cannot plant the link";
        // Named for a writer that is gone: only its owner keeps it.
        WriteAll(dir.File(".other.bin.pelkon-tmp-2147483647-dead"), "nobody's");
        return "planted";
    });
    ASSERT_EQ(planted, "planted");

    TTemporaryFile target(dir.File("victim.txt"));
    target.Stream().Write("entry data", 10);
    EXPECT_EQ(MessageOf([&] { target.ReplaceFinal(TTemporaryFile::Replacing::UnheldFilesOnly); }),
              "Cannot create file " + dir.File("victim.txt"));
    EXPECT_EQ(ReadAll(dir.File("private")), "root's own");
    EXPECT_EQ(RemoveStaleTemporaries(dir.Path()), 0u); // only the live one is ours
    EXPECT_EQ(ReadAll(dir.File(".other.bin.pelkon-tmp-2147483647-dead")), "nobody's");
#endif
}

} // namespace
