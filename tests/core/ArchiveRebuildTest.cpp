// Compaction into a new pair: what the copy holds, and that it appears whole
// or not at all without ever replacing a file.
#include "archive/ArchiveRebuild.h"
#include "archive/DirectoryCodec.h"
#include "platform/FileSystem.h"
#include "tests/core/ArchiveTestSupport.h"

#include <algorithm>

namespace {

class RebuildTest : public ArchiveTest {
protected:
    std::string NewImg() const { return dir.File("new.img"); }
    std::string NewDir() const { return dir.File("new.dir"); }
    std::vector<std::string> Names() const {
        std::vector<std::string> names = FolderNames(dir.Path());
        std::sort(names.begin(), names.end());
        return names;
    }
};

// Records that overlap or repeat share their bytes in the copy too, so a
// hostile directory cannot make the copy larger than the data it covers, and
// every record still reads exactly what it read before.
TEST_F(RebuildTest, SharedDataIsCopiedOnceAndEveryRecordReadsTheSame) {
    const std::string data = Pattern(256 * 2048, 5) + Pattern(64 * 2048, 6); // 64 dead sectors
    std::vector<TArchiveEntry> records;
    for (uint32_t i = 0; i < 100000; ++i)
        records.push_back(MakeEntry(i % 200, 1 + i % 56, "e" + std::to_string(i)));
    MakePair(EncodeRecords(records), data);
    auto source = std::make_unique<TGTA3Archive>(Img(), TOpenMode::Shared);
    const TRebuildResult result = RebuildArchive(*source, NewImg());

    // Sectors 0 to 254 are covered (the furthest record ends there).
    EXPECT_EQ(result.DataLength, 255u * 2048);
    EXPECT_EQ(FileLength(NewImg()), 255u * 2048);
    const std::string copy = ReadAll(NewImg());
    TGTA3Archive rebuilt(NewImg(), TOpenMode::Shared);
    ASSERT_EQ(rebuilt.Count(), 100000);
    for (const TArchiveEntry& entry : rebuilt.Table()) {
        const TArchiveEntry& old = records[static_cast<size_t>(entry.DirIndex)];
        ASSERT_EQ(NameOf(entry), NameOf(old));
        ASSERT_EQ(copy.substr(DataBegin(entry), DataEnd(entry) - DataBegin(entry)),
                  data.substr(DataBegin(old), DataEnd(old) - DataBegin(old)));
    }
}

// A file that appears at the destination while the copy is written is never
// replaced: the rebuild refuses at the moment it would take the name.
TEST_F(RebuildTest, APairAppearingMeanwhileIsNeverReplaced) {
    MakePair(Record(0, 1, "a.dff"), Pattern(2048));
    auto source = Open();
    for (const std::string& appearing : {NewDir(), NewImg()}) {
        SCOPED_TRACE(appearing);
        faults::BeforeNthCall(
            appearing == NewDir() ? 1 : 2, [&] { WriteAll(appearing, "someone else's"); },
            faults::Call::Link);
        EXPECT_EQ(MessageOf([&] { RebuildArchive(*source, NewImg()); }),
                  appearing + " already exists; rebuild writes only a new pair");
        EXPECT_TRUE(faults::Fired());
        faults::Reset();
        EXPECT_EQ(ReadAll(appearing), "someone else's");
        EXPECT_EQ(Names(), (std::vector<std::string>{"gta3.dir", "gta3.img",
                                                     std::string(FileNameOf(appearing))}));
        RemoveFile(appearing);
    }
    EXPECT_EQ(ReadAll(Img()), Pattern(2048));
}

// Once both files are in place the copy is done: a folder that cannot be put
// on disk afterwards is a warning, not a failure that a rerun would refuse.
TEST_F(RebuildTest, AFolderThatCannotBeSyncedLeavesTheCopyInPlace) {
    MakePair(Record(0, 1, "a.dff"), Pattern(2048));
    auto source = Open();
    faults::FailNthCall(1, EIO, faults::Call::SyncFolder);
    const TRebuildResult result = RebuildArchive(*source, NewImg());
    EXPECT_FALSE(result.FolderSynced);
    EXPECT_EQ(result.SyncProblem, "Input/output error");
    EXPECT_EQ(ReadAll(NewDir()), Record(0, 1, "a.dff"));
    EXPECT_EQ(ReadAll(NewImg()), Pattern(2048));
}

TEST_F(RebuildTest, RefusalsWriteNothing) {
    MakePair(Record(0, 1, "a.dff") + Record(1, 2, "long.dff"), Pattern(2 * 2048));
    auto source = Open();
    EXPECT_EQ(MessageOf([&] { RebuildArchive(*source, NewImg()); }),
              "slot 1 \"long.dff\" reaches past the end of " + Img() +
                  " (run check); nothing was written");
    EXPECT_EQ(MessageOf([&] { RebuildArchive(*source, NewDir()); }),
              NewDir() + " would be its own directory file");
    EXPECT_EQ(MessageOf([&] { RebuildArchive(*source, Img()); }),
              Img() + " already exists; rebuild writes only a new pair");
    EXPECT_EQ(Names(), (std::vector<std::string>{"gta3.dir", "gta3.img"}));
}

} // namespace
