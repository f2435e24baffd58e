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

#include <cerrno>
#include <filesystem>
#include <set>
#ifndef _WIN32
#include <sys/stat.h>
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

// Leftovers of writers that are gone are removed, those of live writers are
// not; a pair of which only one file had taken its final name is undone, a
// pair wholly in place is kept.
TEST_F(PlatformTest, StaleTemporariesAreRemovedAndHalfPlacedPairsUndone) {
    const auto leave = [&](const std::string& final, const std::string& token, bool placed) {
        const std::string temporary = dir.File("." + final + ".pelkon-tmp-" + token);
        WriteAll(temporary, final);
        if (placed) {
            MakeHardLink(temporary, dir.File(final));
        }
    };
    leave("half.img", "1-a", false);
    leave("half.dir", "1-a", true);
    leave("whole.img", "2-b", true);
    leave("whole.dir", "2-b", true);
    leave("lone.bin", "3-c", false);
    WriteAll(dir.File("half.txt"), "not ours");
    TTemporaryFile live(dir.File("live.bin"));

    EXPECT_EQ(RemoveStaleTemporaries(dir.Path()), 6u);
    std::vector<std::string> names = Names();
    ASSERT_EQ(names.size(), 4u);
    EXPECT_TRUE(names[0].starts_with(".live.bin.pelkon-tmp-")) << names[0];
    EXPECT_EQ(std::vector<std::string>(names.begin() + 1, names.end()),
              (std::vector<std::string>{"half.txt", "whole.dir", "whole.img"}));
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
        WriteAll(dir.File(".other.bin.pelkon-tmp-1-dead"), "nobody's");
        return "planted";
    });
    ASSERT_EQ(planted, "planted");

    TTemporaryFile target(dir.File("victim.txt"));
    target.Stream().Write("entry data", 10);
    EXPECT_EQ(MessageOf([&] { target.ReplaceFinal(TTemporaryFile::Replacing::UnheldFilesOnly); }),
              "Cannot create file " + dir.File("victim.txt"));
    EXPECT_EQ(ReadAll(dir.File("private")), "root's own");
    EXPECT_EQ(RemoveStaleTemporaries(dir.Path()), 0u); // only the live one is ours
    EXPECT_EQ(ReadAll(dir.File(".other.bin.pelkon-tmp-1-dead")), "nobody's");
#endif
}

} // namespace
