// Undo and Redo of each command, also of one that failed part way: the
// directory and the table as before the command after Undo, as after it after
// Redo, the data file never cut back.
#include "archive/UndoHistory.h"
#include "archive/ArchiveCommands.h"
#include "tests/core/ArchiveTestSupport.h"

#include <filesystem>
#include <functional>
#include <stop_token>

namespace {

struct UndoCase {
    const char* name;
    // Runs the command on the archive of FiveRecords, telling `step`.
    std::function<void(const TempDir&, TGTA3Archive&, TUndoStep&)> command;
    bool fails;
    size_t count;                   // the entries the menu names; 0: nothing to undo
    std::vector<int> restoredSlots; // selected after Undo
};

std::string Input(const TempDir& dir, const std::string& name, std::string_view bytes) {
    std::filesystem::create_directories(dir.File("in"));
    WriteAll(dir.File("in/" + name), bytes);
    return dir.File("in/" + name);
}

// The table as the directory file should hold it.
std::string TableBytes(const TGTA3Archive& archive) {
    std::string bytes;
    for (const TArchiveEntry& entry : archive.Table())
        bytes += Record(entry.Offset, entry.Size, NameText(entry));
    return bytes;
}

void DeleteSlots(TGTA3Archive& archive, std::vector<int> slots, TUndoStep& step) {
    DeleteEntries(archive, slots, &step);
}

const std::vector<UndoCase>& Cases() {
    static const std::vector<UndoCase> cases = {
        {"DeleteTwo",
         [](const TempDir&, TGTA3Archive& archive, TUndoStep& step) {
             DeleteSlots(archive, {3, 1}, step);
         },
         false,
         2,
         {1, 3}},
        {"DeleteAll",
         [](const TempDir&, TGTA3Archive& archive, TUndoStep& step) {
             DeleteSlots(archive, {0, 1, 2, 3, 4, 4}, step);
         },
         false,
         5,
         {0, 1, 2, 3, 4}},
        {"Rename",
         [](const TempDir&, TGTA3Archive& archive, TUndoStep& step) {
             RenameEntry(archive, 2, "new.dff", &step);
         },
         false,
         1,
         {2}},
        {"AddThree",
         [](const TempDir& dir, TGTA3Archive& archive, TUndoStep& step) {
             const std::vector<std::string> paths = {Input(dir, "a.dff", Pattern(100, 2)),
                                                     Input(dir, "b.dff", Pattern(5000, 3)),
                                                     Input(dir, "c.dff", "")};
             AddFiles(archive, paths, {}, &step);
         },
         false,
         3,
         {}},
        // e1 gets new data; x.txd is added, then replaced by the second x.txd.
        {"ImportReplacesAndAdds",
         [](const TempDir& dir, TGTA3Archive& archive, TUndoStep& step) {
             const std::vector<std::string> paths = {Input(dir, "E1", Pattern(3000, 4)),
                                                     Input(dir, "x.txd", Pattern(10, 5)),
                                                     dir.File("in2/x.txd")};
             std::filesystem::create_directories(dir.File("in2"));
             WriteAll(paths[2], Pattern(20, 6));
             TImportResult result;
             ImportFiles(archive, paths, result, {}, &step);
         },
         false,
         2,
         {1}},
        // A failed add keeps the files added before the failure: those are undone.
        {"AddFailsAtTheFourthFile",
         [](const TempDir& dir, TGTA3Archive& archive, TUndoStep& step) {
             const std::vector<std::string> paths = {Input(dir, "a", "1"), Input(dir, "b", "2"),
                                                     Input(dir, "c", "3"), dir.File("in/missing"),
                                                     Input(dir, "d", "4")};
             AddFiles(archive, paths, {}, &step);
         },
         true,
         3,
         {}},
        // A stop asked for after the second file: the two added are undone.
        {"AddStoppedAtTheThirdFile",
         [](const TempDir& dir, TGTA3Archive& archive, TUndoStep& step) {
             const std::vector<std::string> paths = {Input(dir, "a", "1"), Input(dir, "b", "2"),
                                                     Input(dir, "c", "3")};
             std::stop_source stopper;
             const auto stopAtTwo = [&](size_t done) {
                 if (done == 2)
                     stopper.request_stop();
             };
             AddFiles(archive, paths, stopAtTwo, &step, stopper.get_token());
         },
         true,
         2,
         {}},
        {"ImportFailsAtTheThirdFile",
         [](const TempDir& dir, TGTA3Archive& archive, TUndoStep& step) {
             const std::vector<std::string> paths = {
                 Input(dir, "e1", "new"), Input(dir, "y.dff", "added"), dir.File("in/missing")};
             TImportResult result;
             ImportFiles(archive, paths, result, {}, &step);
         },
         true,
         2,
         {1}},
        // The new directory never took the old one's place: nothing to undo.
        {"DeleteFailsAtTheRename",
         [](const TempDir&, TGTA3Archive& archive, TUndoStep& step) {
             faults::FailNthCall(1, EIO, faults::Call::Rename);
             DeleteSlots(archive, {0, 2}, step);
         },
         true,
         0,
         {}},
        {"RenameFailsAtTheWrite",
         [](const TempDir&, TGTA3Archive& archive, TUndoStep& step) {
             faults::FailNthCall(1, EIO, faults::Call::Write);
             RenameEntry(archive, 2, "new.dff", &step);
         },
         true,
         0,
         {}},
        // The record is rewritten, only putting it on disk failed: it is undone.
        {"RenameFailsAtTheFlush",
         [](const TempDir&, TGTA3Archive& archive, TUndoStep& step) {
             faults::FailNthCall(1, EIO, faults::Call::Flush);
             RenameEntry(archive, 2, "new.dff", &step);
         },
         true,
         1,
         {2}},
    };
    return cases;
}

class UndoTest : public ArchiveTest, public ::testing::WithParamInterface<UndoCase> {};

TEST_P(UndoTest, UndoRestoresTheDirectoryAndRedoReappliesIt) {
    const UndoCase& c = GetParam();
    MakePair(FiveRecords(), Pattern(14 * SectorSize));
    auto archive = Open();
    TUndoHistory history;
    TUndoStep step;
    bool failed = false;
    try {
        c.command(dir, *archive, step);
    } catch (const Exception&) {
        failed = true;
    }
    faults::Reset();
    EXPECT_EQ(failed, c.fails);
    history.Record(std::move(step), *archive);
    const std::string after = ReadAll(Dir());
    const uint64_t dataLength = FileLength(Img());
    ASSERT_EQ(TableBytes(*archive), after);
    ASSERT_EQ(history.UndoCount(), c.count);
    if (c.count == 0) {
        EXPECT_FALSE(history.UndoCommand());
        EXPECT_EQ(after, FiveRecords());
        return;
    }

    EXPECT_EQ(history.Undo(*archive).Slots, c.restoredSlots);
    EXPECT_EQ(ReadAll(Dir()), FiveRecords());
    EXPECT_EQ(TableBytes(*archive), FiveRecords());
    EXPECT_EQ(FileLength(Img()), dataLength); // added data stays as dead space
    EXPECT_FALSE(history.UndoCommand());
    ASSERT_TRUE(history.RedoCommand());
    EXPECT_EQ(history.RedoCount(), c.count);

    history.Redo(*archive);
    EXPECT_EQ(ReadAll(Dir()), after);
    EXPECT_EQ(TableBytes(*archive), after);
    for (int i = 0; i < archive->Count(); ++i)
        EXPECT_EQ(archive->GetEntry(i).DirIndex, i);
    EXPECT_FALSE(history.RedoCommand());

    // And back again, from a reopened archive's point of view too.
    history.Undo(*archive);
    archive.reset();
    EXPECT_EQ(TableBytes(*Open()), FiveRecords());
}

INSTANTIATE_TEST_SUITE_P(Commands, UndoTest, ::testing::ValuesIn(Cases()),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(ArchiveTest, UndoIsRefusedWhenTheDirectoryChangedSince) {
    MakePair(FiveRecords(), Pattern(14 * SectorSize));
    auto archive = Open();
    TUndoHistory history;
    TUndoStep step;
    DeleteEntries(*archive, std::vector<int>{1}, &step);
    history.Record(std::move(step), *archive);
    archive->RenameEntry(0, "behind.its.back"); // a change the history was not told
    const std::string before = ReadAll(Dir());
    EXPECT_EQ(MessageOf([&] { history.Undo(*archive); }),
              "Cannot undo: the archive's directory is no longer as the command left it");
    EXPECT_EQ(ReadAll(Dir()), before);
}

// Undo writes through the store's whole-or-nothing rewrite: a failure leaves
// the directory as the command left it, and the step to undo again.
TEST_F(ArchiveTest, FailedUndoChangesNothingAndCanBeRetried) {
    MakePair(FiveRecords(), Pattern(14 * SectorSize));
    auto archive = Open();
    TUndoHistory history;
    TUndoStep step;
    DeleteEntries(*archive, std::vector<int>{0, 4}, &step);
    history.Record(std::move(step), *archive);
    const std::string after = ReadAll(Dir());
    faults::FailNthCall(1, EIO, faults::Call::Write);
    EXPECT_EQ(MessageOf([&] { history.Undo(*archive); }), "Stream write error");
    faults::Reset();
    EXPECT_EQ(ReadAll(Dir()), after);
    EXPECT_EQ(TableBytes(*archive), after);
    EXPECT_EQ(history.Undo(*archive).Slots, (std::vector<int>{0, 4}));
    EXPECT_EQ(ReadAll(Dir()), FiveRecords());
}

TEST_F(ArchiveTest, HistoryKeepsTheLatestStepsAndANewCommandEndsRedo) {
    MakePair(FiveRecords(), Pattern(14 * SectorSize));
    auto archive = Open();
    TUndoHistory history;
    for (size_t i = 0; i < TUndoHistory::MaxSteps + 5; ++i) {
        TUndoStep step;
        RenameEntry(*archive, 0, "n" + std::to_string(i), &step);
        history.Record(std::move(step), *archive);
    }
    EXPECT_EQ(history.Steps(), TUndoHistory::MaxSteps);
    history.Undo(*archive);
    EXPECT_EQ(NameOf(archive->GetEntry(0)), "n" + std::to_string(TUndoHistory::MaxSteps + 3));
    TUndoStep step;
    RenameEntry(*archive, 1, "other", &step);
    history.Record(std::move(step), *archive);
    EXPECT_FALSE(history.RedoCommand());
    // A step keeps the records it touched, not the table.
    EXPECT_LE(history.Bytes(), TUndoHistory::MaxSteps * 2 * sizeof(TArchiveEntry));
}

} // namespace
