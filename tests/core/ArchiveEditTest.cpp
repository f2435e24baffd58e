// Renaming, deleting and extracting entries.
#include "tests/core/ArchiveTestSupport.h"

#include "platform/FileSystem.h"

#include <algorithm>
#include <csignal>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

TEST_F(ArchiveTest, RenameRewritesOnlyItsOwnRecord) {
    MakePair(FiveRecords(), "");
    auto archive = Open();
    ASSERT_EQ(NameOf(archive->GetEntry(3)), "e3");
    archive->RenameEntry(3, "renamed.dff");
    EXPECT_EQ(NameOf(archive->GetEntry(3)), "renamed.dff"); // keeps its slot
    std::string expected = FiveRecords();
    expected.replace(3 * 32, 32, Record(6, 4, "renamed.dff"));
    EXPECT_EQ(ReadAll(Dir()), expected);

    archive->RenameEntry(3, "abcdefghijklmnopqrstuvwxyz0123"); // 30 bytes: first 24 kept
    EXPECT_EQ(NameOf(archive->GetEntry(3)), "abcdefghijklmnopqrstuvwx");
    archive->RenameEntry(4, ""); // not examined: written as given
    EXPECT_EQ(ReadAll(Dir()).substr(4 * 32, 32), Record(8, 5, ""));
}

TEST_F(ArchiveTest, FailedRenameIsReportedAndChangesNothing) {
    MakePair(FiveRecords(), "");
    auto archive = Open();
    faults::FailNthCall(1, EIO, faults::Call::Write);
    EXPECT_EQ(MessageOf([&] { archive->RenameEntry(2, "new"); }), "Stream write error");
    EXPECT_EQ(NameOf(archive->GetEntry(2)), "e2");
    EXPECT_EQ(ReadAll(Dir()), FiveRecords());
}

TEST_F(ArchiveTest, PurgeClosesUpInSlotOrderAndRenumbers) {
    const std::string imgBytes = Pattern(8192);
    MakePair(FiveRecords() + "piece", imgBytes);
    auto archive = Open();
    archive->MarkDeleted(3);
    archive->MarkDeleted(0);
    EXPECT_EQ(archive->Count(), 5); // marked entries still count
    archive->PurgeDeleted();
    ASSERT_EQ(archive->Count(), 3);
    const char* names[] = {"e1", "e2", "e4"};
    for (int i = 0; i < 3; ++i) {
        TArchiveEntry entry = archive->GetEntry(i);
        EXPECT_EQ(NameText(entry), names[i]);
        EXPECT_EQ(entry.DirIndex, i);
        EXPECT_EQ(entry.Deleted, 0);
    }
    EXPECT_EQ(ReadAll(Dir()), Record(2, 2, "e1") + Record(4, 3, "e2") + Record(8, 5, "e4"));
    EXPECT_EQ(ReadAll(Img()), imgBytes);
}

TEST_F(ArchiveTest, PurgeOfEverythingAndOfNothing) {
    MakePair(FiveRecords() + "piece", std::string(4096, 'd'));
    auto archive = Open();
    archive->PurgeDeleted(); // nothing marked: same records, piece dropped
    EXPECT_EQ(ReadAll(Dir()), FiveRecords());
    for (int i = 0; i < 5; ++i)
        archive->MarkDeleted(i);
    archive->PurgeDeleted();
    EXPECT_EQ(archive->Count(), 0);
    EXPECT_EQ(FileLength(Dir()), 0u);
    EXPECT_EQ(FileLength(Img()), 4096u);
}

// The new directory is written beside the old one and renamed over it: a
// failure at any step before the rename leaves the old file as it was, and the
// table as the file is, every entry in its slot and none marked, so a rename
// afterwards hits its own record and a purge deletes nothing.
TEST_F(ArchiveTest, FailedPurgeLeavesTheOldDirectoryWholeAndNoTemporaryFile) {
    for (faults::Call call : {faults::Call::Write, faults::Call::Flush, faults::Call::Rename}) {
        MakePair(FiveRecords(), "");
        auto archive = Open();
        archive->MarkDeleted(1);
        archive->MarkDeleted(3);
        faults::FailNthCall(1, EIO, call);
        EXPECT_NE(MessageOf([&] { archive->PurgeDeleted(); }), "");
        faults::Reset();
        EXPECT_EQ(ReadAll(Dir()), FiveRecords());
        EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"gta3.dir", "gta3.img"}));
        ASSERT_EQ(archive->Count(), 5);
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(archive->GetEntry(i).DirIndex, i);
            EXPECT_EQ(archive->GetEntry(i).Deleted, 0);
        }
        archive->RenameEntry(4, "renamed");
        std::string expected = FiveRecords();
        expected.replace(4 * 32, 32, Record(8, 5, "renamed"));
        EXPECT_EQ(ReadAll(Dir()), expected);
        archive->PurgeDeleted(); // no mark outlived the failure
        EXPECT_EQ(ReadAll(Dir()), expected);
        archive->MarkDeleted(1);
        archive->PurgeDeleted(); // the retry
        EXPECT_EQ(ReadAll(Dir()).size(), 4u * 32);
    }
}

TEST_F(ArchiveTest, PurgeKeepsTheDirectoryFilesModeOwnerAndEveryNameOfIt) {
#ifdef _WIN32
    GTEST_SKIP() << NoSecondUserOnWindows;
#else
    MakePair(FiveRecords(), "");
    ASSERT_EQ(chmod(Dir().c_str(), 0640), 0);
    const bool asRoot = geteuid() == 0; // only root may keep another user's ownership
    if (asRoot) {
        ASSERT_EQ(chown(Dir().c_str(), 65534, 65534), 0);
    }
    {
        auto archive = Open();
        archive->MarkDeleted(0);
        archive->PurgeDeleted();
    }
    struct stat info {};
    ASSERT_EQ(stat(Dir().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    if (asRoot) {
        EXPECT_EQ(info.st_uid, 65534u);
        EXPECT_EQ(info.st_gid, 65534u);
    }

    // A second name of the file, or a link to it, keeps showing the same file:
    // that directory is rewritten where it is.
    ASSERT_EQ(link(Dir().c_str(), dir.File("other-name.dir").c_str()), 0);
    const ino_t inode = info.st_ino;
    {
        auto archive = Open();
        archive->MarkDeleted(0);
        archive->PurgeDeleted();
    }
    ASSERT_EQ(stat(Dir().c_str(), &info), 0);
    EXPECT_EQ(info.st_ino, inode);
    EXPECT_EQ(ReadAll(dir.File("other-name.dir")), FiveRecords().substr(2 * 32));
#endif
}

// A user who may write the pair but does not own its directory file does not
// become its owner by deleting: the directory is rewritten in place.
TEST_F(ArchiveTest, DeletingKeepsTheOwnerOfADirectoryFileThatIsSomeoneElses) {
#ifdef _WIN32
    GTEST_SKIP() << NoSecondUserOnWindows;
#else
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to act as a second user";
    MakePair(FiveRecords(), "");
    ASSERT_EQ(chmod(dir.Path().c_str(), 0777), 0);
    for (const std::string& file : {Img(), Dir()})
        ASSERT_EQ(chmod(file.c_str(), 0666), 0);
    const std::string result = AsUnprivilegedUser([&] {
        TGTA3Archive archive(Img(), false);
        archive.MarkDeleted(0);
        archive.PurgeDeleted();
        return std::string("deleted");
    });
    EXPECT_EQ(result, "deleted");
    struct stat info {};
    ASSERT_EQ(stat(Dir().c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 0u);
    EXPECT_EQ(ReadAll(Dir()), FiveRecords().substr(32));
#endif
}

// Where a new directory file cannot take the old one's place - the folder
// takes no new file, the disk or the quota is full, the group may not be
// given, a sticky folder refuses the rename - the directory is rewritten in
// place, whole: the delete succeeds and leaves no temporary file.
struct Refusal {
    const char* name;
    faults::Call call;
    int error;
};

#ifdef EDQUOT
constexpr int QuotaFull = EDQUOT;
#else
constexpr int QuotaFull = ENOSPC; // Windows tells a full quota so
#endif

class PurgeRefusedTest : public ArchiveTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(PurgeRefusedTest, DeleteRewritesInPlaceWhereNoNewFileCanTakeTheDirectorysPlace) {
    MakePair(FiveRecords(), "");
    const TFileInfo before = PathInfo(Dir()).value();
    auto archive = Open();
    archive->MarkDeleted(0);
    faults::FailNthCall(1, GetParam().error, GetParam().call);
    EXPECT_EQ(archive->PurgeDeleted(), TWarnings{});
    EXPECT_TRUE(faults::Fired());
    EXPECT_TRUE(PathInfo(Dir()).value().SameFile(before));
    EXPECT_EQ(ReadAll(Dir()), FiveRecords().substr(32));
    EXPECT_EQ(FolderNames(dir.Path()).size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, PurgeRefusedTest,
    ::testing::Values(Refusal{"FolderTakesNoNewFile", faults::Call::Open, EACCES},
                      Refusal{"FullDiskCreating", faults::Call::Open, ENOSPC},
                      Refusal{"FullDiskWriting", faults::Call::Write, ENOSPC},
                      Refusal{"QuotaFullSyncing", faults::Call::Flush, QuotaFull},
                      Refusal{"GroupNotAllowed", faults::Call::Attributes, EPERM},
                      Refusal{"StickyFolder", faults::Call::Rename, EPERM}),
    [](const auto& test) { return std::string(test.param.name); });

// A directory file reached through a link is rewritten where it is, so the
// link keeps showing it.
TEST_F(ArchiveTest, DeleteRewritesADirectoryReachedThroughALinkInPlace) {
    MakePair(FiveRecords(), "");
    ASSERT_EQ(rename(Dir().c_str(), dir.File("real.dir").c_str()), 0);
    if (!MakeSymbolicLink(dir.File("real.dir"), Dir()))
        GTEST_SKIP() << NoSymbolicLinksHere;
    auto archive = Open();
    archive->MarkDeleted(0);
    EXPECT_EQ(archive->PurgeDeleted(), TWarnings{});
    EXPECT_EQ(PathKind(Dir()), TPathKind::Link);
    EXPECT_EQ(ReadAll(dir.File("real.dir")), FiveRecords().substr(32));
    EXPECT_EQ(FolderNames(dir.Path()).size(), 3u); // no temporary file left
    archive->RenameEntry(0, "renamed");            // the table names the new slots
    EXPECT_EQ(ReadAll(Dir()).substr(0, 32), Record(2, 2, "renamed"));
}

TEST_F(ArchiveTest, ExtractCopiesWholeSectorsOnly) {
    auto archive = Create();
    AddBytes(*archive, "empty", "");
    AddBytes(*archive, "two", Pattern(3000, 4));
    EXPECT_EQ(Extracted(*archive, 0), "");
    const std::string two = Extracted(*archive, 1);
    EXPECT_EQ(two.size(), 4096u);
    EXPECT_EQ(two.substr(0, 3000), Pattern(3000, 4));
}

TEST_F(ArchiveTest, ExtractFromATooShortDataFileFailsWithAReadError) {
    MakePair(Record(1, 3, "cut.dff"), Pattern(5000, 8));
    auto archive = Open();
    FileStream dest = FileStream::CreateHeld(dir.File("out"));
    EXPECT_EQ(MessageOf([&] { archive->ExtractEntry(0, dest); }), "Stream read error");
    dest.Close();
    // Dest keeps what was copied before the data ran out.
    EXPECT_EQ(ReadAll(dir.File("out")), Pattern(5000, 8).substr(2048));
}

TEST_F(ArchiveTest, ExtractHugeRecordPastTheEndFailsWithoutAllocating) {
    MakePair(Record(0xFFFFFFF0, 0xFFFFFFFF, "far"), Pattern(2048));
    auto archive = Open();
    FileStream dest = FileStream::CreateHeld(dir.File("out"));
    EXPECT_EQ(MessageOf([&] { archive->ExtractEntry(0, dest); }), "Stream read error");
    EXPECT_EQ(FileLength(dir.File("out")), 0u);
}

TEST_F(ArchiveTest, ExtractToAFullDiskFailsWithAWriteError) {
#ifdef _WIN32
    GTEST_SKIP() << NoFileSizeLimitOnWindows;
#else
    auto archive = Create();
    AddBytes(*archive, "big", Pattern(1 << 20));
    archive.reset();
    std::string message = RunInChild([&] {
        signal(SIGXFSZ, SIG_IGN);
        TGTA3Archive child(Img(), false);
        FileStream dest = FileStream::CreateHeld(dir.File("out"));
        rlimit limit{100000, 100000};
        setrlimit(RLIMIT_FSIZE, &limit);
        child.ExtractEntry(0, dest);
        return std::string("extracted");
    });
    EXPECT_EQ(message, "Stream write error");
    EXPECT_EQ(FileLength(dir.File("out")), 100000u);
#endif
}

TEST_F(ArchiveTest, FlushSyncsOnlyAfterAChange) {
    MakePair(FiveRecords(), Pattern(2048));
    auto archive = Open();
    faults::Reset();
    archive->Flush(); // only read so far: nothing to put on disk
    Extracted(*archive, 0);
    faults::Reset();
    archive->Flush();
    EXPECT_EQ(faults::CallsSoFar(), 0);
    archive->RenameEntry(0, "x");
    faults::Reset();
    archive->Flush();
    EXPECT_EQ(faults::CallsSoFar(), 2); // one fsync per file
    archive->Flush();
    EXPECT_EQ(faults::CallsSoFar(), 2);
}
