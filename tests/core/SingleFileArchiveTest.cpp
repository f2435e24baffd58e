// Single-file archives: how a file's kind is told, how damaged headers and
// records are read, the 16-bit size limit, the journal beside the file, and
// making room for new records without breaking the order the game streams in.
#include "archive/ArchiveCheck.h"
#include "archive/ArchiveCommands.h"
#include "archive/SingleFileJournal.h"
#include "archive/UndoHistory.h"
#include "tests/core/ArchiveTestSupport.h"

#include <filesystem>

namespace {

std::string Le32(uint32_t value) {
    std::string bytes;
    for (size_t b = 0; b < 4; ++b)
        bytes += static_cast<char>(value >> (8 * b));
    return bytes;
}

std::string Header(uint32_t count) {
    return "VER2" + Le32(count);
}

// The six entries "entry<i>.dff" at sectors 1-6.
std::string SixEntries() {
    std::string records;
    for (uint32_t i = 0; i < 6; ++i)
        records += V2Record(1 + i, 1, "entry" + std::to_string(i) + ".dff");
    return SingleFile(records, Pattern(6 * SectorSize, 5), 1);
}

using Kinds = std::vector<TCheckFinding::TKind>;

Kinds FindingsOf(const TGTA3Archive& archive) {
    Kinds kinds;
    CheckArchive(archive, [&](const TCheckFinding& finding) { kinds.push_back(finding.Kind); });
    return kinds;
}

struct Damaged {
    const char* name;
    std::string bytes;
    int records;    // read from the file
    uint64_t piece; // of a record cut short, in Length()
    Kinds findings;
};

void PrintTo(const Damaged& damaged, std::ostream* out) {
    *out << damaged.name;
}

using K = TCheckFinding::TKind;

std::vector<Damaged> DamagedFiles() {
    const std::string one = V2Record(1, 1, "a.dff");
    return {
        {"SignatureOnly", "VER2", 0, 0, {K::Header, K::PartialDataFile}},
        {"CountCutShort", "VER2\x02", 0, 0, {K::Header, K::PartialDataFile}},
        {"CountPastTheEnd",
         Header(1000) + one + V2Record(2, 1, "b.dff") + "piece",
         2,
         5,
         {K::Header, K::PartialDataFile, K::PartialRecord, K::PastEnd, K::PastEnd}},
        {"LargestCount",
         Header(0xFFFFFFFF) + one,
         1,
         0,
         {K::Header, K::PartialDataFile, K::PastEnd}},
        {"IntoTheDirectory",
         SingleFile(V2Record(0, 1, "head.dff") + one, Pattern(2048), 1),
         2,
         0,
         {K::InsideDirectory}},
        {"SecondSize",
         SingleFile(one.substr(0, 6) + std::string("\x02\x00", 2) + one.substr(8), Pattern(2048),
                    1),
         1,
         0,
         {K::SizeInArchive}},
        {"SkippedNames",
         SingleFile(V2Record(1, 1, "readme") + V2Record(2, 1, "notes.txt") +
                        V2Record(3, 1, "twentyone-characters.dff"),
                    Pattern(3 * 2048), 1),
         3,
         0,
         {K::UnterminatedName, K::SkippedName, K::SkippedName, K::SkippedName}},
        {"PastFourGiB",
         SingleFile(V2Record(1u << 21, 1, "far.dff"), "", 1),
         1,
         0,
         {K::PastEnd, K::PastReadLimit}},
    };
}

class DamagedSingleFile : public ArchiveTest, public ::testing::WithParamInterface<Damaged> {};

// Opened with what the file holds, never more; each flaw is a finding.
TEST_P(DamagedSingleFile, OpensWithItsRecordsAndFindings) {
    const Damaged& damaged = GetParam();
    WriteAll(Img(), damaged.bytes);
    TGTA3Archive archive(Img(), TOpenMode::Shared);
    EXPECT_EQ(archive.Kind(), TArchiveKind::SingleFile);
    EXPECT_EQ(archive.Count(), damaged.records);
    EXPECT_EQ(archive.DirectoryLength(), uint64_t(damaged.records) * 32 + damaged.piece);
    EXPECT_EQ(FindingsOf(archive), damaged.findings);
}

INSTANTIATE_TEST_SUITE_P(Files, DamagedSingleFile, ::testing::ValuesIn(DamagedFiles()),
                         [](const auto& test) { return std::string(test.param.name); });

struct Layout {
    const char* name;
    std::string data;
    bool dirBeside;
    TArchiveKind kind;
    size_t warnings;
};

class KindOfFile : public ArchiveTest, public ::testing::WithParamInterface<Layout> {};

// The signature decides; a directory file beside a single-file archive is
// named in a warning and left as it is.
TEST_P(KindOfFile, TheSignatureDecides) {
    const Layout& layout = GetParam();
    WriteAll(Img(), layout.data);
    const std::string dirBytes = Record(0, 1, "pair.dff");
    if (layout.dirBeside)
        WriteAll(Dir(), dirBytes);
    {
        TGTA3Archive archive(Img(), TOpenMode::Exclusive);
        EXPECT_EQ(archive.Kind(), layout.kind);
        EXPECT_EQ(archive.OpeningWarnings().size(), layout.warnings);
        if (layout.warnings) {
            EXPECT_NE(archive.OpeningWarnings()[0].find(Dir()), std::string::npos);
        }
        FileStream source = FileStream::CreateHeld(dir.File("x.dff"));
        archive.AddFile("x.dff", source);
    }
    if (layout.dirBeside && layout.kind == TArchiveKind::SingleFile) {
        EXPECT_EQ(ReadAll(Dir()), dirBytes);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, KindOfFile,
    ::testing::Values(Layout{"SingleFileAlone", SixEntries(), false, TArchiveKind::SingleFile, 0},
                      Layout{"SingleFileBesideADirectory", SixEntries(), true,
                             TArchiveKind::SingleFile, 1},
                      Layout{"PairDataStartingWithTheSignature", Header(0) + Pattern(2040), true,
                             TArchiveKind::SingleFile, 1},
                      Layout{"Pair", Pattern(2048), true, TArchiveKind::Pair, 0}),
    [](const auto& test) { return std::string(test.param.name); });

// 65,536 sectors do not fit the 16-bit size: refused before anything is
// written, naming the file, for a new entry and for new data alike.
TEST_F(ArchiveTest, SingleFileRefusesAnEntryTooLargeForItsSizeField) {
    WriteAll(Img(), SixEntries());
    const std::string big = dir.File("huge.dff");
    WriteAll(big, "");
    std::filesystem::resize_file(big, uint64_t{65536} * SectorSize);
    const std::string before = ReadAll(Img());
    auto archive = Open();
    const std::vector<std::string> paths{big};
    const std::string added = MessageOf([&] { AddFiles(*archive, paths); });
    EXPECT_NE(added.find("huge.dff"), std::string::npos) << added;
    EXPECT_NE(added.find("65535"), std::string::npos) << added;
    WriteAll(dir.File("entry1.dff"), "");
    std::filesystem::resize_file(dir.File("entry1.dff"), uint64_t{65536} * SectorSize);
    TImportResult result;
    const std::vector<std::string> replacing{dir.File("entry1.dff")};
    EXPECT_NE(MessageOf([&] { ImportFiles(*archive, replacing, result); }), "");
    archive.reset();
    EXPECT_EQ(ReadAll(Img()), before);
}

// Adding past the spare room moves the leading entries to the end, in slot
// order, with their records: every entry keeps its bytes and the archive
// still follows the streaming rule, so the check finds nothing.
TEST_F(ArchiveTest, SingleFileMakesRoomInStreamingOrder) {
    CreateArchive(Img(), TArchiveKind::SingleFile, false);
    std::vector<std::string> paths;
    for (int i = 0; i < 700; ++i) {
        paths.push_back(dir.File("m" + std::to_string(i) + ".dff"));
        WriteAll(paths.back(), Pattern(100 + static_cast<size_t>(i) * 7, static_cast<unsigned>(i)));
    }
    auto archive = Open();
    // Making room moves data under the sectors the records take then: no
    // earlier table can be written back, so Undo forgets what it held.
    TUndoHistory history;
    TUndoStep first;
    AddFiles(*archive, std::span(paths).first(1), {}, &first);
    EXPECT_FALSE(first.Relaid);
    history.Record(std::move(first), *archive);
    TUndoStep rest;
    AddFiles(*archive, std::span(paths).subspan(1), {}, &rest);
    EXPECT_TRUE(rest.Relaid);
    history.Record(std::move(rest), *archive);
    EXPECT_EQ(history.Steps(), 0u);
    archive.reset();
    archive = Open();
    ASSERT_EQ(archive->Count(), 700);
    EXPECT_EQ(FindingsOf(*archive), Kinds{});
    for (int slot = 0; slot < archive->Count(); ++slot) {
        const TArchiveEntry entry = archive->GetEntry(slot);
        const std::string file = dir.File(NameOf(entry));
        FileStream out = FileStream::CreateHeld(dir.File("out"));
        archive->ExtractEntry(slot, out);
        EXPECT_EQ(ReadAll(dir.File("out")).substr(0, FileLength(file)), ReadAll(file)) << slot;
    }
    // The first entries moved behind the others, still in their order.
    EXPECT_NE(NameOf(archive->GetEntry(0)), "m0.dff");
}

// An import whose added file makes room replaces the entry it matched, wherever
// that entry's record moved.
TEST_F(ArchiveTest, SingleFileImportFollowsEntriesThatMoved) {
    std::string records;
    for (uint32_t i = 0; i < 63; ++i)
        records += V2Record(1 + i, 1, "v" + std::to_string(i) + ".dff");
    WriteAll(Img(), SingleFile(records, Pattern(63 * SectorSize, 3), 1));
    const std::vector<std::string> paths{dir.File("V3.DFF"), dir.File("added.dff")};
    WriteAll(paths[0], Pattern(4000, 8));
    WriteAll(paths[1], Pattern(3000, 9));
    auto archive = Open();
    TImportResult result;
    ImportFiles(*archive, paths, result);
    archive.reset();
    archive = Open();
    ASSERT_EQ(archive->Count(), 64);
    for (int slot = 0; slot < 64; ++slot) {
        const TArchiveEntry entry = archive->GetEntry(slot);
        if (NameOf(entry) != "v3.dff")
            continue;
        FileStream out = FileStream::CreateHeld(dir.File("out"));
        archive->ExtractEntry(slot, out);
        EXPECT_EQ(ReadAll(dir.File("out")).substr(0, 4000), Pattern(4000, 8));
        EXPECT_EQ(result.Files[0].Slot, slot);
    }
}

struct JournalCase {
    const char* name;
    bool complete;
    bool anotherFile;
    TOpenMode mode;
    int records; // what the opening shows
};

class SingleFileJournalOnOpening : public ArchiveTest,
                                   public ::testing::WithParamInterface<JournalCase> {};

// A complete journal of this file says what the directory holds, and a writer
// settles it; a torn one, or one of another file, is removed unread.
TEST_P(SingleFileJournalOnOpening, CompleteIsAppliedOthersAreDropped) {
    const JournalCase& test = GetParam();
    WriteAll(Img(), SixEntries());
    WriteAll(dir.File("other.img"), SixEntries());
    {
        // The journal of a delete of the last two entries.
        FileStream target = FileStream::OpenHeld(test.anotherFile ? dir.File("other.img") : Img());
        std::string bytes = ReadAll(Img()).substr(0, 8 + 6 * 32);
        bytes.replace(4, 4, Le32(4));
        bytes.replace(8 + 4 * 32, 64, std::string(64, '\0'));
        WriteSingleFileJournal(target, {0, bytes});
    }
    if (test.anotherFile)
        std::filesystem::rename(dir.File("other.img.pelkon-journal"), Img() + ".pelkon-journal");
    if (!test.complete)
        std::filesystem::resize_file(Img() + ".pelkon-journal",
                                     FileLength(Img() + ".pelkon-journal") - 1);
    const std::string before = ReadAll(Img());
    {
        TGTA3Archive archive(Img(), test.mode);
        EXPECT_EQ(archive.Count(), test.records);
    }
    const bool writer = test.mode == TOpenMode::Exclusive;
    EXPECT_EQ(Exists(Img() + ".pelkon-journal"), !writer);
    if (!writer) {
        EXPECT_EQ(ReadAll(Img()), before);
    }
    EXPECT_EQ(TGTA3Archive(Img(), TOpenMode::Shared).Count(), test.records);
}

INSTANTIATE_TEST_SUITE_P(
    Journals, SingleFileJournalOnOpening,
    ::testing::Values(JournalCase{"CompleteWriter", true, false, TOpenMode::Exclusive, 4},
                      JournalCase{"CompleteReader", true, false, TOpenMode::Shared, 4},
                      JournalCase{"TornWriter", false, false, TOpenMode::Exclusive, 6},
                      JournalCase{"AnotherFilesWriter", true, true, TOpenMode::Exclusive, 6}),
    [](const auto& test) { return std::string(test.param.name); });

} // namespace
