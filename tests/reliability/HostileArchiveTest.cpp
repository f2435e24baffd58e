// Pairs no writer of ours would make: records past the data file's end,
// overlapping ranges, the largest offsets and sizes, names of every odd kind,
// ragged and empty directory files. Every operation must keep working or fail
// with the file layer's message, and memory must never grow with a record's Size.
#include "archive/ArchiveCheck.h"
#include "platform/Errors.h"
#include "sorting/SortFunctions.h"
#include "tests/reliability/ReliabilitySupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sys/resource.h>

using namespace reliability;

namespace {

struct Hostile {
    std::string name;
    std::string dirBytes;
    std::string imgBytes;
};

void PrintTo(const Hostile& hostile, std::ostream* out) {
    *out << hostile.name;
}

std::string Bytes(std::initializer_list<unsigned char> bytes) {
    return std::string(bytes.begin(), bytes.end());
}

std::vector<Hostile> HostilePairs() {
    const std::string fourSectors = Pattern(4 * SectorSize, 9);
    const std::string fill24(24, 'A');
    std::vector<Hostile> pairs = {
        {"PastDataEnd", Record(3, 2, "past.dff") + Record(100, 1, "far.dff"), fourSectors},
        {"Overlapping", Record(0, 4, "all.dff") + Record(1, 2, "mid.dff") + Record(1, 2, "mid.dff"),
         fourSectors},
        {"SizeMax", Record(0, 0xFFFFFFFF, "huge.dff") + Record(2, 0xFFFFFFFF, "huge2.dff"),
         fourSectors},
        {"OffsetMax", Record(0xFFFFFFFF, 1, "top.dff") + Record(0xFFFFFFFE, 0xFFFFFFFF, "wrap.dff"),
         fourSectors},
        {"ControlBytes",
         Record(0, 1, Bytes({1, 2, 9, 10, 13, 27, 31, 127})) + Record(1, 1, "\t x \n"),
         fourSectors},
        {"PathParts",
         Record(0, 1, "../../etc/passwd") + Record(1, 1, "a/b\\c:d") + Record(2, 1, ".."),
         fourSectors},
        {"Blanks", Record(0, 1, std::string(24, ' ')) + Record(1, 1, "") + Record(2, 1, "   .   "),
         fourSectors},
        {"NoZeroByte", Record(0, 1, fill24) + Record(1, 1, fill24 + "overflow"), fourSectors},
        {"HighBytes", Record(0, 1, Bytes({0x80, 0xFF, 0xE9, '.', 0xC4})) + Record(1, 1, "\xFF\xFF"),
         fourSectors},
        {"RaggedDirectory", Record(0, 1, "one.dff") + std::string(31, '\xFF'), fourSectors},
        {"PieceOnly", std::string(17, 'z'), fourSectors},
        {"EmptyDirectory", "", fourSectors},
        {"EmptyPair", "", ""},
        {"OddDataFile", Record(0, 1, "odd.dff") + Record(1, 1, "odd2.dff"), Pattern(3001, 4)},
    };
    // Many equal names and sizes: the sorts must cope with long runs of ties.
    std::string ties;
    for (int i = 0; i < 500; ++i)
        ties += Record(static_cast<uint32_t>(i % 3), static_cast<uint32_t>(i % 2),
                       i % 2 ? "a.x" : "A.X");
    pairs.push_back({"ManyTies", ties, fourSectors});
    return pairs;
}

const TCompareFunc Orders[] = {CompareByName, CompareByType, CompareBySize, CompareByDirIndex};

// Everything the editor does with an archive, with each outcome checked.
// Returns how many operations were tried.
int ExerciseArchive(const Hostile& hostile, const PairOnDisk& pair) {
    int tried = 0;
    TGTA3Archive archive(pair.Img(), false);
    const int records = static_cast<int>(hostile.dirBytes.size() / 32);
    EXPECT_EQ(archive.Count(), records);
    EXPECT_EQ(TableAgreesWithDirectory(archive, hostile.dirBytes), "");

    for (TCompareFunc order : Orders) {
        for (bool descending : {false, true}) {
            SortDescending = descending;
            const auto table = archive.Table();
            const std::vector<uint32_t> rows = SortedSlots(table, order, descending);
            EXPECT_EQ(rows.size(), table.size());
            for (size_t i = 1; i < rows.size(); ++i)
                EXPECT_LE(order(table[rows[i - 1]], table[rows[i]]), 0)
                    << "not sorted at row " << i;
            ++tried;
        }
    }
    SortDescending = false;
    EXPECT_EQ(ReadAll(pair.Dir()), hostile.dirBytes) << "sorting touched the directory file";

    // Extracting copies whole sectors or fails with the read error when the
    // data file ends first.
    for (int i = 0; i < archive.Count(); ++i) {
        const TArchiveEntry entry = archive.GetEntry(i);
        const uint64_t begin = uint64_t{entry.Offset} * SectorSize;
        const uint64_t length = uint64_t{entry.Size} * SectorSize;
        const bool inside = length == 0 || begin + length <= hostile.imgBytes.size();
        std::string message;
        {
            FileStream dest = FileStream::CreateHeld(pair.Out() + "/out.bin");
            try {
                archive.ExtractEntry(i, dest);
            } catch (const Exception& error) {
                message = error.what();
            }
        }
        if (inside) {
            EXPECT_EQ(message, "") << NameText(entry);
            EXPECT_EQ(ReadAll(pair.Out() + "/out.bin"),
                      length ? hostile.imgBytes.substr(begin, length) : "");
        } else {
            EXPECT_EQ(message, "Stream read error") << NameText(entry);
        }
        ++tried;
    }

    // Renaming to hostile names writes them as given, cut to 24 bytes.
    const std::string newNames[] = {"", "..", "a/b", std::string(30, 'Q'), "\x01\x7F\xFF"};
    for (int i = 0; i < archive.Count() && i < 5; ++i) {
        archive.RenameEntry(i, newNames[i]);
        EXPECT_EQ(NameOf(archive.GetEntry(i)), newNames[i].substr(0, 24));
        ++tried;
    }
    EXPECT_EQ(TableAgreesWithDirectory(archive, ReadAll(pair.Dir())), "");

    // Deleting every other entry closes the directory up to whole records.
    int marked = 0;
    for (int i = 0; i < archive.Count(); i += 2, ++marked)
        archive.MarkDeleted(i);
    archive.PurgeDeleted();
    ++tried;
    EXPECT_EQ(archive.Count(), records - marked);
    const std::string dirAfter = ReadAll(pair.Dir());
    EXPECT_EQ(dirAfter.size(), static_cast<size_t>(archive.Count()) * 32);
    EXPECT_EQ(TableAgreesWithDirectory(archive, dirAfter), "");
    for (int i = 0; i < archive.Count(); ++i)
        EXPECT_EQ(archive.GetEntry(i).DirIndex, i);
    EXPECT_EQ(ReadAll(pair.Img()), hostile.imgBytes) << "deleting touched the data file";

    // Adding after all that starts on a sector boundary past the old data and
    // reads back whole.
    const std::string added = Pattern(3000, 11);
    WriteAll(pair.Input("added"), added);
    {
        FileStream source = FileStream::OpenReadShared(pair.Input("added"));
        archive.AddFile("added", source);
    }
    ++tried;
    const TArchiveEntry entry = archive.GetEntry(archive.Count() - 1);
    EXPECT_EQ(uint64_t{entry.Offset} * SectorSize, (hostile.imgBytes.size() + 2047) / 2048 * 2048);
    {
        FileStream dest = FileStream::CreateHeld(pair.Out() + "/out.bin");
        archive.ExtractEntry(archive.Count() - 1, dest);
    }
    EXPECT_EQ(ReadAll(pair.Out() + "/out.bin").substr(0, added.size()), added);
    EXPECT_EQ(TableAgreesWithDirectory(archive, ReadAll(pair.Dir())), "");
    return tried;
}

class HostileArchive : public ::testing::TestWithParam<Hostile> {};

TEST_P(HostileArchive, EveryOperationSurvives) {
    const Hostile& hostile = GetParam();
    Scenario asScenario{
        hostile.name, hostile.dirBytes, hostile.imgBytes, Scenario::Op::Add, {}, {}};
    PairOnDisk pair(asScenario);
    const int tried = ExerciseArchive(hostile, pair);
    RecordProperty("operations_tried", tried);
    std::printf("%s: %d operations tried\n", hostile.name.c_str(), tried);
}

// In a child, so the peak belongs to this archive alone: no record's Size may
// make the program allocate in proportion to it (Size 0xFFFFFFFF is 8 TiB).
TEST_P(HostileArchive, MemoryStaysSmall) {
    const Hostile& hostile = GetParam();
    Scenario asScenario{
        hostile.name, hostile.dirBytes, hostile.imgBytes, Scenario::Op::Add, {}, {}};
    PairOnDisk pair(asScenario);
    const std::string result = RunInChild([&] {
        struct rusage start {};
        getrusage(RUSAGE_SELF, &start);
        ExerciseArchive(hostile, pair);
        struct rusage end {};
        getrusage(RUSAGE_SELF, &end);
        return std::to_string(end.ru_maxrss - start.ru_maxrss);
    });
    const long growthKiB = std::stol(result);
    EXPECT_LT(growthKiB, 64 * 1024) << "peak memory grew by " << growthKiB << " KiB";
}

INSTANTIATE_TEST_SUITE_P(Pairs, HostileArchive, ::testing::ValuesIn(HostilePairs()),
                         [](const auto& test) { return test.param.name; });

// Single-file archives no writer of ours would make: a header cut short, a
// count far past the records present, records inside the directory, past the
// end, at the largest offsets and sizes, and a full directory whose leading
// entry cannot be moved to make room.
std::vector<Hostile> HostileSingleFiles() {
    const auto header = [](uint32_t count) {
        std::string bytes = "VER2";
        for (size_t b = 0; b < 4; ++b)
            bytes += static_cast<char>(count >> (8 * b));
        return bytes;
    };
    std::string full, fullWithAGap;
    for (uint32_t i = 0; i < 63; ++i) {
        full += V2Record(i == 5 ? 0 : 1 + i, 1, "f" + std::to_string(i) + ".dff");
        fullWithAGap += V2Record(1 + i, i == 1 ? 0xFFFF : 1, "g" + std::to_string(i) + ".dff");
    }
    const std::string data = Pattern(63 * SectorSize, 6);
    return {
        {"V2HeaderCut", "", "VER2\x05"},
        {"V2CountPastEnd", "",
         header(1000) + V2Record(1, 1, "a.dff") + V2Record(9, 2, "b") + "cut"},
        {"V2LargestCount", "", header(0xFFFFFFFF) + V2Record(0, 0xFFFF, "huge.dff")},
        {"V2LargestFields", "",
         SingleFile(V2Record(0xFFFFFFFF, 0xFFFF, "top.dff") + V2Record(0xFFFFFF, 1, "low24.txd"),
                    Pattern(SectorSize), 1)},
        {"V2FullWithOneInsideTheDirectory", "", SingleFile(full, data, 1)},
        {"V2FullWithOnePastTheEnd", "", SingleFile(fullWithAGap, data, 1)},
    };
}

// Every operation on a hostile single-file archive works, or an add that
// would have to move an entry reaching past the end is refused whole.
int ExerciseSingleFile(const Hostile& hostile, const PairOnDisk& pair) {
    int tried = 0;
    TGTA3Archive archive(pair.Img(), false);
    EXPECT_EQ(TableAgreesWithDirectory(archive, DirectoryBytes(pair)), "");
    CheckArchive(archive, {});
    for (int i = 0; i < archive.Count(); ++i, ++tried) {
        FileStream dest = FileStream::CreateHeld(pair.Out() + "/out.bin");
        const std::string message = MessageOf([&] { archive.ExtractEntry(i, dest); });
        const bool inside = DataEnd(archive.GetEntry(i)) <= hostile.imgBytes.size();
        EXPECT_EQ(message, inside ? "" : "Stream read error") << i;
    }
    for (int i = 0; i < archive.Count() && i < 3; ++i, ++tried)
        archive.RenameEntry(i, std::string(30, static_cast<char>('K' + i)));
    EXPECT_EQ(TableAgreesWithDirectory(archive, DirectoryBytes(pair)), "");

    const std::string before = ReadAll(pair.Img());
    WriteAll(pair.Input("added.dff"), Pattern(3000, 11));
    FileStream source = FileStream::OpenReadShared(pair.Input("added.dff"));
    const std::string refused = MessageOf([&] { archive.AddFile("added.dff", source); });
    ++tried;
    if (refused.empty()) {
        EXPECT_GE(DataBegin(archive.GetEntry(archive.Count() - 1)), hostile.imgBytes.size());
    } else {
        EXPECT_TRUE(refused.starts_with("Cannot make room")) << refused;
        EXPECT_EQ(ReadAll(pair.Img()), before) << "a refused add changed the file";
    }
    for (int i = 0; i < archive.Count(); i += 2)
        archive.MarkDeleted(i);
    const int kept = archive.Count() / 2;
    archive.PurgeDeleted();
    ++tried;
    EXPECT_EQ(archive.Count(), kept);
    EXPECT_EQ(TableAgreesWithDirectory(archive, DirectoryBytes(pair)), "");
    return tried;
}

class HostileSingleFile : public ::testing::TestWithParam<Hostile> {};

TEST_P(HostileSingleFile, EveryOperationSurvivesInLittleMemory) {
    const Hostile& hostile = GetParam();
    Scenario asScenario{hostile.name, "",  hostile.imgBytes, Scenario::Op::Add, {}, {}, false,
                        false,        true};
    PairOnDisk pair(asScenario);
    const std::string result = RunInChild([&] {
        struct rusage start {};
        getrusage(RUSAGE_SELF, &start);
        const int tried = ExerciseSingleFile(hostile, pair);
        struct rusage end {};
        getrusage(RUSAGE_SELF, &end);
        std::printf("%s: %d operations tried\n", hostile.name.c_str(), tried);
        return std::to_string(end.ru_maxrss - start.ru_maxrss) +
               (::testing::Test::HasFailure() ? " failed" : "");
    });
    EXPECT_EQ(result.find("failed"), std::string::npos) << result;
    EXPECT_LT(std::stol(result), 64 * 1024) << "peak memory grew by " << result << " KiB";
}

INSTANTIATE_TEST_SUITE_P(SingleFiles, HostileSingleFile, ::testing::ValuesIn(HostileSingleFiles()),
                         [](const auto& test) { return test.param.name; });

// Opening goes through the file layer's checks: a directory file that is a
// folder, or that is the data file itself, is refused with the open message.
TEST(HostileFiles, PairsThatAreNotTwoFilesAreRefused) {
    TempDir dir;
    const std::string img = dir.File("gta3.img");
    WriteAll(img, "");
    std::filesystem::create_directory(dir.File("gta3.dir"));
    try {
        TGTA3Archive archive(img, false);
        ADD_FAILURE() << "a folder opened as the directory file";
    } catch (const Exception& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot open file " + dir.File("gta3.dir"));
    }

    std::filesystem::remove(dir.File("gta3.dir"));
    std::filesystem::create_symlink(img, dir.File("gta3.dir"));
    try {
        TGTA3Archive archive(img, false);
        ADD_FAILURE() << "the data file opened as its own directory file";
    } catch (const Exception& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot open file " + dir.File("gta3.dir"));
    }
}

} // namespace
