// The rules that exist for Windows, tested on every system: which entry names
// Windows cannot take as file names, how paths turn into UTF-16 and back, the
// long-path form, and how host paths split (on both separators on Windows).
#include "archive/ArchiveCheck.h"
#include "archive/ArchiveCommands.h"
#include "archive/PrintableName.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/WidePath.h"
#include "tests/core/ArchiveTestSupport.h"

namespace {

constexpr bool OnWindows =
#ifdef _WIN32
    true;
#else
    false;
#endif

struct NameCase {
    const char* title;
    std::string name;
    bool safeOnWindows;
};

void PrintTo(const NameCase& c, std::ostream* os) {
    *os << c.title;
}

class WindowsNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(WindowsNames, AreSafeOnlyWhereWindowsTakesThemAsTheyAre) {
    const NameCase& c = GetParam();
    EXPECT_EQ(IsSafeWindowsFileName(c.name), c.safeOnWindows);
    // Extracting follows the rule of the system it runs on.
    EXPECT_EQ(IsSafeFileName(c.name), OnWindows ? c.safeOnWindows : IsSafeFileNameAnywhere(c.name));
}

INSTANTIATE_TEST_SUITE_P(
    Names, WindowsNames,
    ::testing::Values(
        NameCase{"Plain", "infernus.dff", true}, NameCase{"NoExtension", "README", true},
        NameCase{"InnerBlankAndDots", "a b.c.txd", true}, NameCase{"LeadingDot", ".hidden", true},
        NameCase{"Utf8", "v\xc3\xa9hicule.dff", true}, NameCase{"Backslash", "sub\\x.dff", false},
        NameCase{"Colon", "x.dff:stream", false}, NameCase{"DriveLike", "C:x", false},
        NameCase{"Less", "a<b", false}, NameCase{"Greater", "a>b", false},
        NameCase{"Quote", "a\"b", false}, NameCase{"Bar", "a|b", false},
        NameCase{"Question", "a?b", false}, NameCase{"Star", "*.dff", false},
        NameCase{"ControlByte",
                 "a\x1b"
                 "b",
                 false},
        NameCase{"TrailingDot", "name.", false}, NameCase{"TrailingBlank", "name ", false},
        NameCase{"Con", "CON", false}, NameCase{"NulLowerCase", "nul", false},
        NameCase{"AuxWithExtension", "aux.txd", false},
        NameCase{"PrnWithTwoExtensions", "prn.tar.gz", false},
        NameCase{"DeviceBlankThenExtension", "con .txt", false},
        NameCase{"Com1", "COM1.dff", false}, NameCase{"Lpt9", "lpt9", false},
        NameCase{"Com0", "com0", false}, NameCase{"ComSuperscriptOne", "COM\xc2\xb9", false},
        NameCase{"ConIn", "CONIN$", false}, NameCase{"ComTen", "COM10", true},
        NameCase{"DeviceAsPrefix", "console.txd", true}, NameCase{"DeviceAfterDot", "a.con", true},
        NameCase{"Lpt", "LPT", true}, NameCase{"Slash", "a/b", false},
        NameCase{"DotDot", "..", false}),
    [](const auto& test) { return std::string(test.param.title); });

// A name Windows cannot take is a finding on every system: archives travel.
TEST_F(ArchiveTest, CheckTellsNamesUnsafeOnWindowsEverywhere) {
    MakePair(Record(0, 0, "con.txd") + Record(0, 0, "a:b") + Record(0, 0, "ok.dff") +
                 Record(0, 0, "../x"),
             "");
    auto archive = std::make_unique<TGTA3Archive>(Img(), TOpenMode::Shared);
    std::vector<std::string> reported;
    CheckArchive(*archive, [&](const TCheckFinding& f) { reported.push_back(f.Text); });
    EXPECT_EQ(reported,
              (std::vector<std::string>{
                  "unsafe name on Windows: slot 0 \"con.txd\" cannot be extracted as a file there",
                  "unsafe name on Windows: slot 1 \"a:b\" cannot be extracted as a file there",
                  "unsafe name: slot 3 \"../x\" cannot be extracted as a file"}));
}

TEST_F(ArchiveTest, ExtractRefusesNamesUnsafeOnThisSystem) {
    MakePair(Record(0, 1, "nul.txd") + Record(0, 1, "a:b"), Pattern(2048));
    auto archive = Open();
    for (int index : {0, 1}) {
        const std::string name = NameOf(archive->GetEntry(index));
        const std::string message =
            MessageOf([&] { ExtractEntryToFolder(*archive, index, dir.Path()); });
        if (OnWindows)
            EXPECT_EQ(message, "Cannot create file " + dir.File(name)) << name;
        else
            EXPECT_EQ(ReadAll(dir.File(name)), Pattern(2048)) << name;
    }
}

struct TextCase {
    const char* title;
    std::string utf8;
    std::u16string utf16;
};

void PrintTo(const TextCase& c, std::ostream* os) {
    *os << c.title;
}

class PathText : public ::testing::TestWithParam<TextCase> {};

TEST_P(PathText, GoesToUtf16AndBackUnchanged) {
    const TextCase& c = GetParam();
    EXPECT_EQ(WideFromUtf8(c.utf8), c.utf16);
    EXPECT_EQ(Utf8FromWide(c.utf16), c.utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, PathText,
    ::testing::Values(TextCase{"Ascii", "C:/games/gta3.img", u"C:/games/gta3.img"},
                      TextCase{"TwoBytes", "v\xc3\xa9hicule", u"v\u00e9hicule"},
                      TextCase{"ThreeBytes", "\xe6\x97\xa5\xe6\x9c\xac", u"\u65e5\u672c"},
                      TextCase{"FourBytesAsAPair", "\xf0\x9f\x9a\x97", u"\U0001F697"},
                      // A name Windows allows that is no valid UTF-16 still opens again.
                      TextCase{"LoneHighSurrogate", "a\xed\xa0\x80z",
                               std::u16string(u"a") + char16_t(0xD800) + u"z"},
                      TextCase{"LoneLowSurrogate", "\xed\xbf\xbf",
                               std::u16string(1, char16_t(0xDFFF))},
                      TextCase{"Empty", "", u""}),
    [](const auto& test) { return std::string(test.param.title); });

TEST(PathTextRefused, BytesThatAreNoUtf8HaveNoUtf16Form) {
    for (const std::string bytes :
         {"\xff", "a\x80", "\xc3", "\xc0\xaf", "\xe0\x80\xaf", "\xf4\x90\x80\x80", "\xf0\x9f\x9a"})
        EXPECT_EQ(WideFromUtf8(bytes), std::nullopt) << PrintableName(bytes);
}

struct LongCase {
    const char* title;
    std::u16string full;
    std::u16string prefixed;
};

void PrintTo(const LongCase& c, std::ostream* os) {
    *os << c.title;
}

class LongPaths : public ::testing::TestWithParam<LongCase> {};

TEST_P(LongPaths, TakeThePrefixOnce) {
    EXPECT_EQ(LongPathForm(GetParam().full), GetParam().prefixed);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, LongPaths,
    ::testing::Values(LongCase{"Drive", u"C:\\a\\b.img", u"\\\\?\\C:\\a\\b.img"},
                      LongCase{"Share", u"\\\\server\\mods\\b.img",
                               u"\\\\?\\UNC\\server\\mods\\b.img"},
                      LongCase{"AlreadyPrefixed", u"\\\\?\\C:\\a", u"\\\\?\\C:\\a"},
                      LongCase{"Device", u"\\\\.\\PhysicalDrive0", u"\\\\.\\PhysicalDrive0"}),
    [](const auto& test) { return std::string(test.param.title); });

struct SplitCase {
    const char* title;
    std::string path;
    std::string folder[2]; // on Linux, on Windows
    std::string name[2];
};

void PrintTo(const SplitCase& c, std::ostream* os) {
    *os << c.title;
}

class HostPaths : public ::testing::TestWithParam<SplitCase> {};

TEST_P(HostPaths, SplitOnTheSeparatorsOfThisSystem) {
    const SplitCase& c = GetParam();
    EXPECT_EQ(FolderOf(c.path), c.folder[OnWindows]);
    EXPECT_EQ(FileNameOf(c.path), c.name[OnWindows]);
    EXPECT_EQ(EntryNameFromPath(c.path), c.name[OnWindows]);
}

INSTANTIATE_TEST_SUITE_P(
    Splits, HostPaths,
    ::testing::Values(SplitCase{"Slashes", "x/y/a.img", {"x/y", "x/y"}, {"a.img", "a.img"}},
                      SplitCase{
                          "Backslashes", "x\\y\\a.img", {".", "x\\y"}, {"x\\y\\a.img", "a.img"}},
                      SplitCase{"Mixed", "x/y\\a.img", {"x", "x/y"}, {"y\\a.img", "a.img"}},
                      SplitCase{"DriveRoot", "C:\\a.img", {".", "C:\\"}, {"C:\\a.img", "a.img"}},
                      SplitCase{"Root", "/a.img", {"/", "/"}, {"a.img", "a.img"}},
                      SplitCase{"BareName", "a.img", {".", "."}, {"a.img", "a.img"}}),
    [](const auto& test) { return std::string(test.param.title); });

TEST(HostPathJoins, KeepOneSeparatorAndADrivesRoot) {
    EXPECT_EQ(JoinPath("out\\", "a.dff"), OnWindows ? "out/a.dff" : "out\\/a.dff");
    EXPECT_EQ(JoinPath("C:\\", "a.dff"), OnWindows ? "C:\\a.dff" : "C:\\/a.dff");
    EXPECT_EQ(DirectoryFileName("x.y\\gta3"), OnWindows ? "x.y\\gta3.dir" : "x.dir");
    EXPECT_EQ(DirectoryFileName("x.y/gta3"), "x.y/gta3.dir");
}

// A path's backslashes are its separators on Windows and printed as they are;
// elsewhere they are bytes of a name, escaped so the text stays unambiguous.
// Controls are escaped on both.
TEST(HostPathPrinting, EscapesBackslashesOnlyWhereTheyAreNoSeparators) {
    EXPECT_EQ(PrintablePath("C:\\mods\\gta3.img"),
              OnWindows ? "C:\\mods\\gta3.img" : "C:\\\\mods\\\\gta3.img");
    EXPECT_EQ(PrintablePath("mods/\x1b"
                            "[31m.img"),
              "mods/\\x1b[31m.img");
}

} // namespace
