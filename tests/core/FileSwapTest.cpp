// New files put in place of a pair as one change (platform/FileSwap.h): what
// an opening finds in each state a stopped swap leaves, markers it must not
// act on, and the sweep of leftovers leaving a marker's files to it.
#include "platform/FileSwap.h"
#include "platform/Checksum.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <unistd.h>

namespace {

const std::string Token = "2147483647-dead"; // of a writer that is gone

// A marker's text as the swap writes it.
std::string MarkerText(const std::string& token, const std::vector<std::string>& names) {
    std::string body = "pelkon swap 1\ntoken " + token + "\n";
    for (const std::string& name : names)
        body += "file " + name + "\n";
    char sum[32];
    std::snprintf(sum, sizeof sum, "sum %016llx\n",
                  static_cast<unsigned long long>(Checksum64(body)));
    return body + sum;
}

// A folder with the old pair a.img + a.dir and the new one under the
// temporary names of Token, as a swap writes them before its marker.
class SwapFolder {
public:
    SwapFolder() {
        WriteAll(Img(), "old img");
        WriteAll(Dir(), "old dir");
        WriteAll(Temporary("a.img"), "new img");
        WriteAll(Temporary("a.dir"), "new dir");
    }
    std::string Img() const { return dir.File("a.img"); }
    std::string Dir() const { return dir.File("a.dir"); }
    std::string Marker() const { return dir.File(".a.img.pelkon-swap"); }
    std::string Temporary(const std::string& name, const std::string& token = Token) const {
        return dir.File("." + name + ".pelkon-tmp-" + token);
    }
    void PlaceMarker(const std::string& text = MarkerText(Token, {"a.img", "a.dir"})) {
        WriteAll(Marker(), text);
    }
    // A new file renamed over its final name, as the swap does.
    void Rename(const std::string& name) {
        std::filesystem::rename(Temporary(name), dir.File(name));
    }
    std::vector<std::string> Settle(TSwapAccess access) {
        const std::string pair[] = {Img(), Dir()};
        return SettleSwap(pair, access);
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names = FolderNames(dir.Path());
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir dir;
};

// A state a swap stopped in, and which pair an opening must find.
struct StoppedSwap {
    const char* name;
    std::function<void(SwapFolder&)> lay;
    bool newPair;
};

void PrintTo(const StoppedSwap& c, std::ostream* os) {
    *os << c.name;
}

class RecoveryTest : public ::testing::TestWithParam<StoppedSwap> {};

// A writer's opening leaves the one pair whole and nothing else; a reader's
// reads the same pair and changes nothing.
TEST_P(RecoveryTest, AnOpeningFindsTheOldPairOrTheNewOneWhole) {
    const std::string img = GetParam().newPair ? "new img" : "old img";
    const std::string dir = GetParam().newPair ? "new dir" : "old dir";
    {
        SwapFolder folder;
        GetParam().lay(folder);
        const std::vector<std::string> before = folder.Names();
        const std::vector<std::string> paths = folder.Settle(TSwapAccess::ReadOnly);
        ASSERT_EQ(paths.size(), 2u);
        EXPECT_EQ(ReadAll(paths[0]), img);
        EXPECT_EQ(ReadAll(paths[1]), dir);
        EXPECT_EQ(folder.Names(), before) << "reading changed the folder";
    }
    SwapFolder folder;
    GetParam().lay(folder);
    const std::vector<std::string> paths = folder.Settle(TSwapAccess::Finish);
    EXPECT_EQ(paths, (std::vector<std::string>{folder.Img(), folder.Dir()}));
    EXPECT_EQ(ReadAll(folder.Img()), img);
    EXPECT_EQ(ReadAll(folder.Dir()), dir);
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"a.dir", "a.img"}));
}

INSTANTIATE_TEST_SUITE_P(
    MarkerStates, RecoveryTest,
    ::testing::Values(StoppedSwap{"KilledBeforeTheMarker", [](SwapFolder&) {}, false},
                      StoppedSwap{"KilledWhileTheMarkerHadItsOwnTemporaryName",
                                  [](SwapFolder& f) {
                                      f.PlaceMarker();
                                      std::filesystem::create_hard_link(
                                          f.Marker(), f.Temporary(".a.img.pelkon-swap"));
                                  },
                                  true},
                      StoppedSwap{"KilledBeforeTheFirstRename",
                                  [](SwapFolder& f) { f.PlaceMarker(); }, true},
                      StoppedSwap{"KilledBetweenTheTwoRenames",
                                  [](SwapFolder& f) {
                                      f.PlaceMarker();
                                      f.Rename("a.img");
                                  },
                                  true},
                      StoppedSwap{"TheDirectoryFileRenamedFirst",
                                  [](SwapFolder& f) {
                                      f.PlaceMarker();
                                      f.Rename("a.dir");
                                  },
                                  true},
                      StoppedSwap{"KilledBeforeTheMarkerWasRemoved",
                                  [](SwapFolder& f) {
                                      f.PlaceMarker();
                                      f.Rename("a.img");
                                      f.Rename("a.dir");
                                  },
                                  true}),
    [](const auto& test) { return std::string(test.param.name); });

// A swap whose writer still holds a file of it is refused as in use, and
// nothing is changed, by a writer or a reader.
TEST(SwapInUse, ASwapWhoseWriterRunsIsInUse) {
    SwapFolder folder;
    folder.PlaceMarker();
    folder.Rename("a.img");
    for (const std::string& held : {folder.Marker(), folder.Temporary("a.dir")}) {
        SCOPED_TRACE(held);
        const FileStream hold = FileStream::OpenHeld(held);
        const std::vector<std::string> before = folder.Names();
        for (const TSwapAccess access : {TSwapAccess::Finish, TSwapAccess::ReadOnly}) {
            EXPECT_EQ(MessageOf([&] { folder.Settle(access); }),
                      "Cannot open file " + folder.Img());
            EXPECT_EQ(folder.Names(), before);
        }
    }
}

// A marker the swap did not write, or files that are not the swap's: an
// opening acts on none of it. Nothing is renamed over the pair or the victim,
// and the marker stays.
struct HostileMarker {
    const char* name;
    std::function<void(SwapFolder&)> plant;
    bool needsRoot = false;
};

void PrintTo(const HostileMarker& c, std::ostream* os) {
    *os << c.name;
}

class HostileMarkerTest : public ::testing::TestWithParam<HostileMarker> {};

TEST_P(HostileMarkerTest, IsLeftAloneByWritersAndReaders) {
    if (GetParam().needsRoot && geteuid() != 0)
        GTEST_SKIP() << "only root can give a file to another user";
    for (const TSwapAccess access : {TSwapAccess::Finish, TSwapAccess::ReadOnly}) {
        SwapFolder folder;
        WriteAll(folder.dir.File("victim.txt"), "a user's file");
        GetParam().plant(folder);
        const bool markerStood = Exists(folder.Marker());
        std::vector<std::string> paths;
        EXPECT_EQ(MessageOf([&] { paths = folder.Settle(access); }), "");
        EXPECT_EQ(paths, (std::vector<std::string>{folder.Img(), folder.Dir()}));
        EXPECT_EQ(ReadAll(folder.Img()), "old img");
        EXPECT_EQ(ReadAll(folder.Dir()), "old dir");
        EXPECT_EQ(ReadAll(folder.dir.File("victim.txt")), "a user's file");
        EXPECT_EQ(Exists(folder.Marker()), markerStood);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Plants, HostileMarkerTest,
    ::testing::Values(
        HostileMarker{"AChecksumThatDoesNotMatch",
                      [](SwapFolder& f) {
                          std::string text = MarkerText(Token, {"a.img", "a.dir"});
                          text[text.size() - 2] ^= 1;
                          f.PlaceMarker(text);
                      }},
        HostileMarker{"OtherFinalNames",
                      [](SwapFolder& f) {
                          WriteAll(f.Temporary("victim.txt"), "planted");
                          f.PlaceMarker(MarkerText(Token, {"victim.txt", "a.dir"}));
                      }},
        HostileMarker{"ATokenThatLeavesTheFolder",
                      [](SwapFolder& f) {
                          std::filesystem::create_directory(f.dir.File("sub"));
                          WriteAll(f.dir.File("sub/x"), "planted");
                          f.PlaceMarker(MarkerText("../sub/x", {"a.img", "a.dir"}));
                      }},
        HostileMarker{
            "MoreThanAMarkerHolds",
            [](SwapFolder& f) {
                f.PlaceMarker(MarkerText(Token, {"a.img", "a.dir"}) + std::string(5000, 'x'));
            }},
        HostileMarker{"AMarkerAndFilesOfAnotherUser",
                      [](SwapFolder& f) {
                          f.PlaceMarker();
                          for (const std::string& path :
                               {f.Marker(), f.Temporary("a.img"), f.Temporary("a.dir")})
                              GiveToUnprivilegedUser(path);
                      },
                      true},
        HostileMarker{"ATemporaryFileOfAnotherUser",
                      [](SwapFolder& f) {
                          f.PlaceMarker();
                          GiveToUnprivilegedUser(f.Temporary("a.dir"));
                      },
                      true},
        HostileMarker{"ATemporaryNameThatIsALinkToAUsersFile",
                      [](SwapFolder& f) {
                          std::filesystem::remove(f.Temporary("a.img"));
                          std::filesystem::create_symlink("victim.txt", f.Temporary("a.img"));
                          f.PlaceMarker();
                      }},
        HostileMarker{"ATemporaryFileWithASecondName",
                      [](SwapFolder& f) {
                          std::filesystem::remove(f.Temporary("a.img"));
                          std::filesystem::create_hard_link(f.dir.File("victim.txt"),
                                                            f.Temporary("a.img"));
                          f.PlaceMarker();
                      }},
        HostileMarker{"AMarkerThatIsALink",
                      [](SwapFolder& f) {
                          WriteAll(f.dir.File("elsewhere"), MarkerText(Token, {"a.img", "a.dir"}));
                          std::filesystem::create_symlink("elsewhere", f.Marker());
                      }},
        HostileMarker{"AMarkerThatIsAFolder",
                      [](SwapFolder& f) { std::filesystem::create_directory(f.Marker()); }}),
    [](const auto& test) { return std::string(test.param.name); });

// The sweep of leftovers leaves the files a standing marker names to the
// swap, and removes those of a writer killed before its marker stood.
struct SweepWithMarker {
    const char* name;
    std::optional<std::string> markerToken;
    bool kept;
};

void PrintTo(const SweepWithMarker& c, std::ostream* os) {
    *os << c.name;
}

class SweepWithMarkerTest : public ::testing::TestWithParam<SweepWithMarker> {};

TEST_P(SweepWithMarkerTest, LeavesAMarkersFilesToTheSwap) {
    SwapFolder folder;
    folder.Rename("a.img"); // stopped between the two renames
    if (GetParam().markerToken)
        folder.PlaceMarker(MarkerText(*GetParam().markerToken, {"a.img", "a.dir"}));
    RemoveStaleTemporaries(folder.dir.Path());
    EXPECT_EQ(Exists(folder.Temporary("a.dir")), GetParam().kept);
    if (GetParam().kept) {
        folder.Settle(TSwapAccess::Finish);
        EXPECT_EQ(ReadAll(folder.Dir()), "new dir");
    }
}

INSTANTIATE_TEST_SUITE_P(Markers, SweepWithMarkerTest,
                         ::testing::Values(SweepWithMarker{"ItsOwnMarker", Token, true},
                                           SweepWithMarker{"AMarkerOfAnotherToken",
                                                           "2147483647-other", false},
                                           SweepWithMarker{"NoMarker", std::nullopt, false}),
                         [](const auto& test) { return std::string(test.param.name); });

} // namespace
