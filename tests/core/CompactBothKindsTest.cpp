// Compaction through the directory store: a copy (rebuild, convert) or a
// compaction in place of either kind holds the same entries with the same
// bytes, in directory order without dead space, and a single file keeps the
// spare room of a new one after its directory.
#include "archive/ArchiveCheck.h"
#include "archive/ArchiveCompact.h"
#include "archive/ArchiveRebuild.h"
#include "archive/SingleFileFormat.h"
#include "platform/FileSystem.h"
#include "tests/core/ArchiveTestSupport.h"

#include <filesystem>
#include <utility>
#include <vector>

namespace {

using TKind = TArchiveKind;

// Records out of data order, dead sectors, a partial overlap and an empty
// entry; `first` is the sector the data begins at.
std::vector<std::pair<std::string, std::pair<uint32_t, uint32_t>>> Untidy(uint32_t first) {
    return {{"late.dff", {first + 4, 2}},
            {"first.txd", {first + 1, 2}},
            {"overlap.col", {first + 2, 2}},
            {"empty.dff", {first + 9, 0}},
            {"tail.ifp", {first + 7, 1}}};
}

struct CompactCase {
    const char* name;
    TKind from;
    TKind to;
    bool inPlace;
};

void PrintTo(const CompactCase& c, std::ostream* out) {
    *out << c.name;
}

class CompactBothKinds : public ArchiveTest, public ::testing::WithParamInterface<CompactCase> {
protected:
    std::string NewImg() const { return dir.File("new.img"); }
    void MakeSource(TKind kind) const {
        std::string records;
        if (kind == TKind::Pair) {
            for (const auto& [name, place] : Untidy(0))
                records += Record(place.first, place.second, name);
            MakePair(records, Pattern(10 * SectorSize, 6));
            return;
        }
        for (const auto& [name, place] : Untidy(1))
            records += V2Record(place.first, place.second, name);
        WriteAll(Img(), SingleFile(records, Pattern(10 * SectorSize, 6), 1));
    }
    // Each entry's name and bytes, in slot order.
    std::vector<std::pair<std::string, std::string>> Entries(TGTA3Archive& archive) const {
        std::vector<std::pair<std::string, std::string>> entries;
        for (int slot = 0; slot < archive.Count(); ++slot)
            entries.emplace_back(NameOf(archive.GetEntry(slot)), Extracted(archive, slot));
        return entries;
    }
};

TEST_P(CompactBothKinds, SameEntriesInDirectoryOrderWithRoomAfterADirectory) {
    const CompactCase& c = GetParam();
    MakeSource(c.from);
    auto source = Open();
    const auto before = Entries(*source);
    std::string resultPath = Img();
    if (c.inPlace) {
        CompactArchive(*source);
    } else {
        RebuildArchive(*source, NewImg(), c.to);
        resultPath = NewImg();
    }
    source.reset();

    TGTA3Archive result(resultPath, TOpenMode::Shared);
    EXPECT_EQ(result.Kind(), c.to);
    EXPECT_EQ(Entries(result), before);
    std::vector<std::string> findings;
    const TCheckSummary summary = CheckArchive(
        result, [&](const TCheckFinding& finding) { findings.push_back(finding.Text); });
    EXPECT_EQ(findings, std::vector<std::string>{});
    EXPECT_EQ(summary.DeadBytes, 0u);
    // The first entry's data follows the directory's spare room at once.
    const uint64_t dataStart = c.to == TKind::SingleFile ? RoomFor(5) : 0;
    EXPECT_EQ(DataBegin(result.GetEntry(0)), dataStart);
    EXPECT_EQ(result.DataLength(), dataStart + 7 * SectorSize);
    EXPECT_EQ(Exists(DirectoryFileName(resultPath)), c.to == TKind::Pair);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, CompactBothKinds,
    ::testing::Values(CompactCase{"PairInPlace", TKind::Pair, TKind::Pair, true},
                      CompactCase{"SingleFileInPlace", TKind::SingleFile, TKind::SingleFile, true},
                      CompactCase{"PairCopy", TKind::Pair, TKind::Pair, false},
                      CompactCase{"SingleFileCopy", TKind::SingleFile, TKind::SingleFile, false},
                      CompactCase{"PairToSingleFile", TKind::Pair, TKind::SingleFile, false},
                      CompactCase{"SingleFileToPair", TKind::SingleFile, TKind::Pair, false}),
    [](const auto& param) { return std::string(param.param.name); });

// An entry of 65,536 sectors fits a pair's record but not a single file's:
// converting is refused by its name before anything is written.
TEST_F(CompactBothKinds, AnEntryTooLargeForASingleFileIsRefusedByName) {
    MakePair(Record(0, 1, "small.dff") + Record(1, 65536, "huge.dff"), "");
    std::filesystem::resize_file(Img(), (1 + 65536) * uint64_t{SectorSize});
    auto source = Open();
    const std::string message =
        MessageOf([&] { RebuildArchive(*source, NewImg(), TKind::SingleFile); });
    EXPECT_NE(message.find("Cannot store huge.dff"), std::string::npos) << message;
    EXPECT_FALSE(Exists(NewImg()));
    EXPECT_EQ(FolderNames(dir.Path()).size(), 2u);
}

// A directory file beside a single file is not its own: compacting the
// single file leaves it alone.
TEST_F(CompactBothKinds, ADirectoryFileBesideASingleFileIsLeftAlone) {
    MakeSource(TKind::SingleFile);
    WriteAll(Dir(), Record(0, 1, "stale.dff"));
    auto archive = Open();
    CompactArchive(*archive);
    EXPECT_EQ(archive->Kind(), TKind::SingleFile);
    EXPECT_EQ(archive->Count(), 5);
    archive.reset();
    EXPECT_EQ(ReadAll(Dir()), Record(0, 1, "stale.dff"));
    EXPECT_EQ(TGTA3Archive(Img(), TOpenMode::Shared).Count(), 5);
}

} // namespace
