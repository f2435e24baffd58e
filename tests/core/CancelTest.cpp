// A stop asked for at any entry of a long command: what was done before stays
// done and whole, nothing of the entry in hand is left, and a compaction
// leaves the archive exactly as it was.
#include "archive/ArchiveCommands.h"
#include "archive/ArchiveCompact.h"
#include "archive/ArchiveRebuild.h"
#include "archive/DirectoryCodec.h"
#include "platform/FileSystem.h"
#include "tests/core/ArchiveTestSupport.h"

#include <algorithm>
#include <filesystem>
#include <stop_token>
#include <tuple>

namespace {

constexpr int Entries = 10;

enum class TCommand { Add, Import, Extract, Compact, Rebuild };

const char* NameOf(TCommand command) {
    switch (command) {
    case TCommand::Add:
        return "Add";
    case TCommand::Import:
        return "Import";
    case TCommand::Extract:
        return "Extract";
    case TCommand::Compact:
        return "Compact";
    case TCommand::Rebuild:
        return "Rebuild";
    }
    return "";
}

// (command, the number of entries done when the stop is asked for)
class CancelAtEachEntry : public ArchiveTest,
                          public ::testing::WithParamInterface<std::tuple<TCommand, int>> {
protected:
    // Ten one-sector entries laid out in the data file in reverse slot order,
    // each after a sector of dead space: a compaction copies each on its own.
    void MakeTenEntries() {
        std::string records;
        for (uint32_t slot = 0; slot < Entries; ++slot)
            records += Record((Entries - 1 - slot) * 2 + 1, 1, "e" + std::to_string(slot));
        MakePair(records, Pattern(2 * Entries * 2048, 3));
    }
    std::vector<std::string> Names(const std::string& folder) const {
        std::vector<std::string> names = FolderNames(folder);
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_P(CancelAtEachEntry, LeavesTheArchiveAsAfterTheLastWholeEntry) {
    const auto [command, cancelAt] = GetParam();
    MakeTenEntries();
    const std::string dirBefore = ReadAll(Dir());
    const std::string imgBefore = ReadAll(Img());
    std::vector<std::string> sources;
    for (int i = 0; i < Entries; ++i) {
        // The odd ones carry names already in the archive: Import replaces them.
        const std::string name = (i % 2 ? "e" : "new") + std::to_string(i);
        sources.push_back(dir.File("in/" + name));
    }
    std::filesystem::create_directory(dir.File("in"));
    for (size_t i = 0; i < sources.size(); ++i)
        WriteAll(sources[i], Pattern(100 + i, static_cast<unsigned>(i + 10)));
    const std::string out = dir.File("out");
    std::filesystem::create_directory(out);
    const std::vector<std::string> namesBefore = Names(dir.Path());

    std::stop_source stopper;
    size_t done = 0;
    const auto counted = [&] {
        if (static_cast<int>(++done) == cancelAt)
            stopper.request_stop();
    };
    if (cancelAt == 0)
        stopper.request_stop();
    const auto itemDone = [&](size_t) { counted(); };
    const auto bytesDone = [&](uint64_t, uint64_t) { counted(); };
    // A stop asked for after the last entry comes too late for the entry
    // commands, and in time for a compaction, which has its records still to write.
    const bool copies = command == TCommand::Compact || command == TCommand::Rebuild;
    const bool stops = cancelAt < Entries || copies;
    TImportResult imported;
    {
        auto archive = Open();
        const std::vector<int> slots = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
        const auto run = [&] {
            switch (command) {
            case TCommand::Add:
                return AddFiles(*archive, sources, itemDone, nullptr, stopper.get_token());
            case TCommand::Import:
                return ImportFiles(*archive, sources, imported, itemDone, nullptr,
                                   stopper.get_token());
            case TCommand::Extract:
                return static_cast<void>(
                    ExtractEntries(*archive, slots, out, itemDone, stopper.get_token()));
            case TCommand::Compact:
                return static_cast<void>(CompactArchive(*archive, bytesDone, stopper.get_token()));
            case TCommand::Rebuild:
                return static_cast<void>(
                    RebuildArchive(*archive, dir.File("copy.img"), bytesDone, stopper.get_token()));
            }
        };
        if (stops)
            EXPECT_THROW(run(), ECancelled);
        else
            EXPECT_NO_THROW(run());
    }
    const int whole = copies ? 0 : std::min(cancelAt, Entries);
    auto reopened = Open();
    // Whether the entry in `slot` holds source file `i` (padded to whole sectors).
    const auto holds = [&](int slot, int i) {
        const std::string source = ReadAll(sources[size_t(i)]);
        return Extracted(*reopened, slot).substr(0, source.size()) == source;
    };
    switch (command) {
    case TCommand::Add:
        ASSERT_EQ(reopened->Count(), Entries + whole);
        for (int i = 0; i < whole; ++i)
            EXPECT_TRUE(holds(Entries + i, i)) << i;
        break;
    case TCommand::Import: {
        const int added = (whole + 1) / 2; // the even files
        ASSERT_EQ(reopened->Count(), Entries + added);
        ASSERT_EQ(imported.Files.size(), static_cast<size_t>(whole));
        for (int i = 1; i < Entries; i += 2)
            EXPECT_EQ(holds(i, i), i < whole) << i;
        break;
    }
    case TCommand::Extract: {
        std::vector<std::string> expected;
        for (int i = 0; i < whole; ++i)
            expected.push_back("e" + std::to_string(i));
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(Names(out), expected); // no temporary file of the entry in hand
        for (int i = 0; i < whole; ++i)
            EXPECT_EQ(ReadAll(dir.File("out/e" + std::to_string(i))), Extracted(*reopened, i));
        break;
    }
    case TCommand::Compact:
    case TCommand::Rebuild:
        EXPECT_EQ(ReadAll(Dir()), dirBefore);
        EXPECT_EQ(ReadAll(Img()), imgBefore);
        EXPECT_EQ(Names(dir.Path()), namesBefore); // nothing left behind
        break;
    }
    if (!copies) { // the entry commands only append: the old data stays as it was
        EXPECT_EQ(ReadAll(Img()).substr(0, imgBefore.size()), imgBefore);
    }
}

INSTANTIATE_TEST_SUITE_P(Commands, CancelAtEachEntry,
                         ::testing::Combine(::testing::Values(TCommand::Add, TCommand::Import,
                                                              TCommand::Extract, TCommand::Compact,
                                                              TCommand::Rebuild),
                                            ::testing::Range(0, Entries + 1)),
                         [](const auto& test) {
                             return std::string(NameOf(std::get<0>(test.param))) + "At" +
                                    std::to_string(std::get<1>(test.param));
                         });

} // namespace
