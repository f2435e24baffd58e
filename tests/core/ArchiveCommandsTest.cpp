// The command bodies both programs run: import and replace, delete, create
// and extract, with the safety rules that belong to them.
#include "archive/ArchiveCommands.h"
#include "archive/DirectoryCodec.h"
#include "platform/FaultInjection.h"
#include "platform/FileSystem.h"
#include "platform/TemporaryFile.h"
#include "tests/core/ArchiveTestSupport.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <unistd.h>

namespace {

class CommandsTest : public ArchiveTest {
protected:
    // Writes each file into "in/" and returns their paths, in order.
    std::vector<std::string> Inputs(const std::vector<std::pair<std::string, std::string>>& files) {
        std::filesystem::create_directories(dir.File("in"));
        std::vector<std::string> paths;
        for (const auto& [name, bytes] : files) {
            paths.push_back(dir.File("in/" + name));
            WriteAll(paths.back(), bytes);
        }
        return paths;
    }
    // What an import did, a (slot, replaced) pair per file.
    static std::vector<std::pair<int32_t, bool>> Done(const TImportResult& result) {
        std::vector<std::pair<int32_t, bool>> done;
        for (const TImportedFile& file : result.Files)
            done.emplace_back(file.Slot, file.Replaced);
        return done;
    }
    // The data of the entry in `slot`, as extracted.
    std::string DataOfSlot(TGTA3Archive& archive, int32_t slot) {
        return slot < archive.Count() ? Extracted(archive, slot) : "<no such slot>";
    }
};

// A file whose name an entry carries (the case of a-z aside) becomes that
// entry's data in place - the first such entry in the directory -, any other
// file is added, and a name added earlier in the batch is replaced later.
TEST_F(CommandsTest, ImportReplacesByNameAndAddsTheRest) {
    MakePair(Record(0, 1, "car.dff") + Record(1, 1, "car.txd") + Record(2, 1, "CAR.DFF"),
             Pattern(3 * 2048, 1));
    auto archive = Open();
    const auto paths = Inputs({{"Car.dff", Pattern(3000, 2)},
                               {"new.col", Pattern(100, 3)},
                               {"car.txd", Pattern(2048, 4)},
                               {"NEW.COL", Pattern(200, 5)}});
    std::vector<size_t> steps;
    TImportResult result;
    ImportFiles(*archive, paths, result, [&](size_t done) { steps.push_back(done); });

    EXPECT_EQ(steps, (std::vector<size_t>{1, 2, 3, 4}));
    EXPECT_EQ(Done(result),
              (std::vector<std::pair<int32_t, bool>>{{0, true}, {3, false}, {1, true}, {3, true}}));
    // A shared name is told as the entry replaced spells it, not as the file does.
    EXPECT_EQ(result.SharedNames, (std::vector<std::string>{"car.dff"}));
    archive.reset();
    archive = Open();
    ASSERT_EQ(archive->Count(), 4);
    EXPECT_EQ(DataOfSlot(*archive, 0).substr(0, 3000), Pattern(3000, 2));
    EXPECT_EQ(DataOfSlot(*archive, 1), Pattern(2048, 4));
    EXPECT_EQ(DataOfSlot(*archive, 2), Pattern(3 * 2048, 1).substr(2 * 2048)); // left alone
    EXPECT_EQ(DataOfSlot(*archive, 3).substr(0, 200), Pattern(200, 5));
    // Names and slots stay; the old data stays behind as dead space.
    const std::string records = ReadAll(Dir());
    EXPECT_EQ(records.substr(8, 24), Record(0, 0, "car.dff").substr(8));
    EXPECT_EQ(records.substr(96 + 8, 24), Record(0, 0, "new.col").substr(8));
    EXPECT_EQ(ReadAll(Img()).substr(0, 3 * 2048), Pattern(3 * 2048, 1));
}

// The batch stops at the first file that fails: those before it are done,
// those after it untouched.
TEST_F(CommandsTest, ImportStopsAtAFailureWithEarlierFilesDone) {
    MakePair(Record(0, 1, "a.dff") + Record(1, 1, "b.dff"), Pattern(2 * 2048, 1));
    auto archive = Open();
    auto paths = Inputs({{"a.dff", Pattern(2048, 2)}, {"b.dff", Pattern(2048, 3)}});
    paths.insert(paths.begin() + 1, dir.File("in/missing.dff"));
    TImportResult result;
    EXPECT_EQ(MessageOf([&] { ImportFiles(*archive, paths, result); }),
              "Cannot open file " + dir.File("in/missing.dff"));
    EXPECT_EQ(Done(result), (std::vector<std::pair<int32_t, bool>>{{0, true}}));
    EXPECT_EQ(DataOfSlot(*archive, 0), Pattern(2048, 2));
    EXPECT_EQ(DataOfSlot(*archive, 1), Pattern(2 * 2048, 1).substr(2048));
    EXPECT_EQ(archive->Count(), 2);
}

// A file of the batch is matched as an entry there before is: by the display
// name its entry gets. " y" is added and shown as "y", so "y" replaces it,
// as it would in a second command.
TEST_F(CommandsTest, ImportMatchesFilesOfTheBatchByDisplayNameToo) {
    MakePair(Record(0, 1, "\tz.dff"), Pattern(2048, 1));
    auto archive = Open();
    std::filesystem::create_directories(dir.File("in/f"));
    const auto paths = Inputs({{"f/ y", Pattern(100, 2)},
                               {"y", Pattern(200, 3)},
                               {"Z.DFF", Pattern(300, 4)},
                               {"f/y\x01", Pattern(400, 5)}});
    TImportResult result;
    ImportFiles(*archive, paths, result);
    EXPECT_EQ(Done(result),
              (std::vector<std::pair<int32_t, bool>>{{1, false}, {1, true}, {0, true}, {1, true}}));
    ASSERT_EQ(archive->Count(), 2);
    EXPECT_EQ(ReadAll(Dir()).substr(32 + 8, 24), Record(0, 0, " y").substr(8));
    EXPECT_EQ(DataOfSlot(*archive, 1).substr(0, 400), Pattern(400, 5));
    EXPECT_EQ(DataOfSlot(*archive, 0).substr(0, 300), Pattern(300, 4));
}

// A delete is all or nothing: a slot outside the table refuses the whole
// batch before anything is marked.
TEST_F(CommandsTest, DeleteOfASlotOutsideTheTableDeletesNothing) {
    const std::string records = Record(0, 1, "a") + Record(1, 1, "b") + Record(2, 1, "c");
    MakePair(records, Pattern(3 * 2048));
    auto archive = Open();
    const std::vector<int> slots = {1, 7};
    EXPECT_EQ(MessageOf([&] { DeleteEntries(*archive, slots); }), "List index out of bounds (7)");
    EXPECT_EQ(ReadAll(Dir()), records);
    ASSERT_EQ(archive->Count(), 3);
    for (int i = 0; i < archive->Count(); ++i)
        EXPECT_EQ(archive->GetEntry(i).Deleted, 0);
}

TEST_F(CommandsTest, CreatingReplacesAnExistingPairOnlyWhenAsked) {
    for (const std::string& existing : {Img(), Dir()}) {
        WriteAll(existing, "old");
        EXPECT_EQ(MessageOf([&] { CreatePair(Img(), false); }), existing + " already exists");
        EXPECT_EQ(ReadAll(existing), "old");
        EXPECT_EQ(CreatePair(Img(), true).Warnings, TWarnings{});
        EXPECT_EQ(FileLength(Img()), 0u);
        EXPECT_EQ(FileLength(Dir()), 0u);
        RemoveFile(Img());
        RemoveFile(Dir());
    }
    CreatePair(Img(), false);
    EXPECT_TRUE(Exists(Img()) && Exists(Dir()));
}

// A new pair is new files: other names of the old ones keep their bytes, and
// a pair someone holds is refused with nothing touched.
TEST_F(CommandsTest, CreatingOverAPairNeverEmptiesFilesOtherNamesShare) {
    MakePair(Record(0, 1, "a.dff"), Pattern(2048));
    ASSERT_EQ(link(Dir().c_str(), dir.File("backup.dir").c_str()), 0);
    ASSERT_EQ(link(Img().c_str(), dir.File("backup.img").c_str()), 0);
    {
        const FileStream holder = FileStream::OpenReadShared(Dir());
        EXPECT_EQ(MessageOf([&] { CreatePair(Img(), true); }), "Cannot create file " + Dir());
        EXPECT_EQ(ReadAll(Img()), Pattern(2048));
    }
    auto archive = CreatePair(Img(), true).Archive;
    EXPECT_EQ(archive->Count(), 0);
    EXPECT_EQ(FileLength(Img()), 0u);
    EXPECT_EQ(FileLength(Dir()), 0u);
    EXPECT_EQ(ReadAll(dir.File("backup.dir")), Record(0, 1, "a.dff"));
    EXPECT_EQ(ReadAll(dir.File("backup.img")), Pattern(2048));
    std::vector<std::string> names = FolderNames(dir.Path());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names,
              (std::vector<std::string>{"backup.dir", "backup.img", "gta3.dir", "gta3.img"}));
}

// The two halves of a pair that are one file are refused before anything is
// made or cut: a data file path that is its own directory file, and two
// names of one file.
TEST_F(CommandsTest, CreatingAPairWhoseHalvesAreOneFileTouchesNothing) {
    const std::string lone = dir.File("lone.dir");
    EXPECT_EQ(MessageOf([&] { CreatePair(lone, true); }), "Cannot create file " + lone);
    EXPECT_FALSE(Exists(lone));
    WriteAll(lone, Record(0, 1, "kept"));
    EXPECT_EQ(MessageOf([&] { CreatePair(lone, true); }), "Cannot create file " + lone);
    EXPECT_EQ(ReadAll(lone), Record(0, 1, "kept"));

    WriteAll(Img(), Record(0, 1, "both"));
    ASSERT_EQ(link(Img().c_str(), Dir().c_str()), 0);
    try {
        CreatePair(Img(), true);
        ADD_FAILURE() << "a pair of one file was replaced";
    } catch (const EFileError& error) {
        EXPECT_EQ(error.Path(), Dir());
        EXPECT_EQ(error.Reason(), "Cannot create: it is the data file itself");
    }
    EXPECT_EQ(ReadAll(Img()), Record(0, 1, "both"));
    std::vector<std::string> names = FolderNames(dir.Path());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"gta3.dir", "gta3.img", "lone.dir"}));
}

// A rebuild killed between linking its two files left new.dir placed and its
// data file under a temporary name. A new pair made there afterwards keeps
// what is added to it through the next writer's sweep of the folder.
TEST_F(CommandsTest, ANewPairWhereARebuildWasKilledKeepsItsEntriesThroughTheNextSweep) {
    const std::string leftover = ".pelkon-tmp-2147483647-dead";
    WriteAll(dir.File(".new.img" + leftover), Pattern(2048, 3));
    WriteAll(dir.File(".new.dir" + leftover), Record(0, 1, "rebuilt.dff"));
    ASSERT_EQ(link(dir.File(".new.dir" + leftover).c_str(), dir.File("new.dir").c_str()), 0);
    {
        auto archive = CreatePair(dir.File("new.img"), true).Archive;
        AddBytes(*archive, "kept.dff", Pattern(3000, 4));
        archive->Flush();
    }
    RemoveStaleTemporaries(dir.Path()); // the next extract, delete or rebuild here
    const TGTA3Archive archive(dir.File("new.img"), TOpenMode::Shared);
    ASSERT_EQ(archive.Count(), 1);
    EXPECT_EQ(NameOf(archive.GetEntry(0)), "kept.dff");
    for (const std::string& name : FolderNames(dir.Path()))
        EXPECT_EQ(name.find(".pelkon-tmp-"), std::string::npos) << name;
}

// An extracted file takes its name only when whole: what stood there before
// stays until then, a hard link under the name keeps its other name's bytes,
// and a failure leaves nothing behind.
TEST_F(CommandsTest, ExtractedFilesTakeTheirNameWhenWhole) {
    MakePair(Record(0, 1, "victim.txt") + Record(1, 5, "short.dff") + Record(0, 1, "gta3.img"),
             Pattern(2 * 2048, 1));
    auto archive = Open();
    std::filesystem::create_directory(dir.File("out"));
    WriteAll(dir.File("outside.txt"), "keep");
    ASSERT_EQ(link(dir.File("outside.txt").c_str(), dir.File("out/victim.txt").c_str()), 0);
    ExtractEntryToFolder(*archive, 0, dir.File("out"));
    EXPECT_EQ(ReadAll(dir.File("out/victim.txt")), Pattern(2048, 1));
    EXPECT_EQ(ReadAll(dir.File("outside.txt")), "keep");

    try {
        ExtractEntryToFolder(*archive, 1, dir.File("out"));
        ADD_FAILURE() << "an entry past the data file's end was extracted";
    } catch (const EReadError& error) {
        EXPECT_EQ(std::string(error.what()), "Stream read error");
        EXPECT_EQ(error.Path(), "short.dff"); // the command line names the entry
    }
    EXPECT_EQ(FolderNames(dir.File("out")), std::vector<std::string>{"victim.txt"});

    // Data that cannot be put on disk never takes the file's name.
    faults::FailNthCall(1, EIO, faults::Call::Flush);
    EXPECT_THROW(ExtractEntryToFolder(*archive, 0, dir.File("out")), EFileError);
    EXPECT_TRUE(faults::Fired());
    faults::Reset();
    EXPECT_EQ(FolderNames(dir.File("out")), std::vector<std::string>{"victim.txt"});
    EXPECT_EQ(ReadAll(dir.File("outside.txt")), "keep");

    // The open archive's own data file is held: never replaced by an entry.
    EXPECT_EQ(MessageOf([&] { ExtractEntryToFolder(*archive, 2, dir.Path()); }),
              "Cannot create file " + Img());
    EXPECT_EQ(ReadAll(Img()), Pattern(2 * 2048, 1));
}

} // namespace
