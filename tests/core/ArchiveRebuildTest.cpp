// Compaction into a new pair: what the copy holds, and that it appears whole
// or not at all without ever replacing a file.
#include "archive/ArchiveRebuild.h"
#include "archive/DirectoryCodec.h"
#include "archive/StreamingOrder.h"
#include "platform/FileSystem.h"
#include "tests/core/ArchiveTestSupport.h"

#include <algorithm>
#include <filesystem>
#include <utility>

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

struct LayoutCase {
    const char* title;
    std::vector<TArchiveEntry> records; // in slot order
    uint32_t dataSectors;
    uint32_t copySectors; // of the compacted data file
    // (slot, slot before it) of the records the copy still does not stream
    // right: only those sharing the range of an earlier record, and the
    // records right after them.
    std::vector<std::pair<int32_t, int32_t>> breaks;
};

void PrintTo(const LayoutCase& c, std::ostream* os) {
    *os << c.title;
}

class RebuildLayout : public RebuildTest, public ::testing::WithParamInterface<LayoutCase> {};

// Whatever edits left, the copy lays the data out in slot order as the games
// stream it, and every record reads exactly what it read before.
TEST_P(RebuildLayout, StreamsInSlotOrderAndKeepsEveryEntrysBytes) {
    const LayoutCase& c = GetParam();
    std::vector<TArchiveEntry> records = c.records;
    for (size_t i = 0; i < records.size(); ++i)
        records[i].DirIndex = static_cast<int32_t>(i);
    const std::string data = Pattern(size_t{c.dataSectors} * 2048, 7);
    MakePair(EncodeRecords(records), data);
    auto source = Open();
    const TRebuildResult result = RebuildArchive(*source, NewImg());

    EXPECT_EQ(result.DataLength, uint64_t{c.copySectors} * 2048);
    EXPECT_EQ(FileLength(NewImg()), uint64_t{c.copySectors} * 2048);
    const std::string copy = ReadAll(NewImg());
    TGTA3Archive rebuilt(NewImg(), TOpenMode::Shared);
    ASSERT_EQ(rebuilt.Count(), static_cast<int>(records.size()));
    for (const TArchiveEntry& entry : rebuilt.Table()) {
        const TArchiveEntry& old = records[static_cast<size_t>(entry.DirIndex)];
        EXPECT_EQ(NameOf(entry), NameOf(old));
        ASSERT_EQ(entry.Size, old.Size);
        if (entry.Size > 0) {
            EXPECT_EQ(copy.substr(DataBegin(entry), DataEnd(entry) - DataBegin(entry)),
                      data.substr(DataBegin(old), DataEnd(old) - DataBegin(old)))
                << NameOf(entry);
        }
    }
    std::vector<std::pair<int32_t, int32_t>> breaks;
    ForEachStreamingBreak(rebuilt.Table(), FirstGameStreaming,
                          [&](const TArchiveEntry& entry, const TArchiveEntry& before) {
                              breaks.emplace_back(entry.DirIndex, before.DirIndex);
                          });
    EXPECT_EQ(breaks, c.breaks);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, RebuildLayout,
    ::testing::Values(
        LayoutCase{"InOrder",
                   {MakeEntry(0, 1, "a.dff"), MakeEntry(1, 2, "b.txd"), MakeEntry(3, 1, "c.dff")},
                   4,
                   4,
                   {}},
        LayoutCase{"AfterADelete",
                   {MakeEntry(0, 1, "a.dff"), MakeEntry(1, 1, "b.dff"), MakeEntry(3, 1, "d.dff")},
                   4,
                   3,
                   {}},
        // Replaced data lies last; the old data before it is dead.
        LayoutCase{"AfterAReplace",
                   {MakeEntry(4, 2, "a.dff"), MakeEntry(1, 1, "b.dff"), MakeEntry(2, 1, "c.dff")},
                   6,
                   4,
                   {}},
        // One copy of a range that two records carry: the later record
        // cannot follow the one before it, nor can the one after it.
        LayoutCase{"SharedRange",
                   {MakeEntry(0, 2, "a.dff"), MakeEntry(2, 1, "b.dff"), MakeEntry(0, 2, "c.dff"),
                    MakeEntry(3, 1, "d.dff")},
                   4,
                   4,
                   {{2, 1}, {3, 2}}},
        // What a delete cut short by an older version leaves: whole records
        // twice. The game skips the repeated names.
        LayoutCase{"RepeatedRecords",
                   {MakeEntry(0, 1, "a.dff"), MakeEntry(1, 1, "b.dff"), MakeEntry(0, 1, "a.dff"),
                    MakeEntry(1, 1, "b.dff")},
                   2,
                   2,
                   {}},
        // Records that overlap in part are copied each on its own.
        LayoutCase{"PartialOverlap",
                   {MakeEntry(0, 3, "a.dff"), MakeEntry(2, 2, "b.dff"), MakeEntry(1, 1, "c.txd")},
                   4,
                   6,
                   {}},
        LayoutCase{"ZeroSizeRecords",
                   {MakeEntry(0, 1, "a.dff"), MakeEntry(7, 0, "e.dff"), MakeEntry(3, 1, "b.dff"),
                    MakeEntry(9, 0, "empty")},
                   4,
                   2,
                   {}},
        LayoutCase{"UnstreamedTypesAndRepeatedNames",
                   {MakeEntry(3, 1, "x.col"), MakeEntry(0, 1, "a.dff"), MakeEntry(2, 1, "A.DFF"),
                    MakeEntry(1, 1, "b.txd")},
                   4,
                   4,
                   {}}),
    [](const auto& test) { return std::string(test.param.title); });

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

// The size is known before anything is written: a copy that the sector
// offsets cannot address, or that the destination has no room for, is refused
// with nothing left behind.
TEST_F(RebuildTest, ACopyTooLargeOrWithoutRoomIsRefusedBeforeWriting) {
    // 8,300 records overlapping in part over a sparse 1 GiB data file: each
    // is copied on its own, which would pass the 32-bit sector offsets.
    constexpr uint32_t dataSectors = 1u << 19;
    std::vector<TArchiveEntry> records;
    for (uint32_t i = 0; i < 8300; ++i)
        records.push_back(MakeEntry(0, dataSectors - i, "e" + std::to_string(i) + ".dff",
                                    static_cast<int32_t>(i)));
    MakePair(EncodeRecords(records), "");
    std::filesystem::resize_file(Img(), uint64_t{dataSectors} * 2048);
    auto huge = Open();
    EXPECT_EQ(MessageOf([&] { RebuildArchive(*huge, NewImg()); }),
              "the compacted copy would be larger than the 8796093020160 bytes that a "
              "directory's sector offsets can address; nothing was written");
    EXPECT_EQ(Names(), (std::vector<std::string>{"gta3.dir", "gta3.img"}));
    huge.reset();

    MakePair(Record(0, 1, "a.dff") + Record(2, 1, "b.dff"), Pattern(3 * 2048));
    auto source = Open();
    const uint64_t needed = 2 * 2048 + 2 * 32;
    faults::FakeFreeSpace(needed - 1);
    try {
        RebuildArchive(*source, NewImg());
        ADD_FAILURE() << "a copy without room was written";
    } catch (const EFileError& error) {
        EXPECT_EQ(error.Path(), NewImg());
        EXPECT_EQ(error.SystemError(), ENOSPC);
        EXPECT_EQ(error.Reason(),
                  "not enough free space: the compacted copy needs " + std::to_string(needed) +
                      " bytes, " + std::to_string(needed - 1) + " are free; nothing was written");
    }
    EXPECT_EQ(Names(), (std::vector<std::string>{"gta3.dir", "gta3.img"}));
    faults::FakeFreeSpace(needed);
    EXPECT_EQ(RebuildArchive(*source, NewImg()).DataLength, 2u * 2048);
}

} // namespace
