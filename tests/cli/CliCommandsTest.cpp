// new, list, add, delete and rename, their failures and exit statuses.
#include "tests/cli/CliRunner.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class CliTest : public ::testing::Test {
protected:
    CliResult Run(const std::vector<std::string>& args) { return RunCli(args, dir.Path()); }
    std::string Img() const { return dir.File("a.img"); }
    std::string Dir() const { return dir.File("a.dir"); }

    TempDir dir;
};

// The first word of each line of a listing.
std::vector<std::string> ListedNames(const std::string& listing) {
    std::vector<std::string> names;
    std::istringstream lines(listing);
    for (std::string line; std::getline(lines, line);)
        names.push_back(line.substr(0, line.find(' ')));
    return names;
}

std::string FromHex(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

TEST_F(CliTest, NewCreatesAnEmptyPair) {
    CliResult result = Run({"new", "a.img"});
    EXPECT_EQ(result.status, 0) << result.err;
    ASSERT_TRUE(Exists(Img()) && Exists(Dir()));
    EXPECT_EQ(FileLength(Img()), 0u);
    EXPECT_EQ(FileLength(Dir()), 0u);
}

TEST_F(CliTest, NewRefusesAnExistingPairUnlessForced) {
    WritePair(Img(), Record(0, 1, "keep.dff"), 1);
    CliResult refused = Run({"new", "a.img"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(
        refused.err,
        "pelkon-cli: a.img: already exists (use --force to replace the pair with an empty one)\n");
    EXPECT_EQ(FileLength(Img()), 2048u);
    EXPECT_EQ(ReadAll(Dir()), Record(0, 1, "keep.dff"));

    EXPECT_EQ(Run({"new", "--force", "a.img"}).status, 0);
    EXPECT_EQ(FileLength(Img()), 0u);
    EXPECT_EQ(FileLength(Dir()), 0u);
}

TEST_F(CliTest, AddAppendsInTheGivenOrderNamedAfterTheLastPathPart) {
    ASSERT_EQ(Run({"new", "a.img"}).status, 0);
    std::filesystem::create_directory(dir.File("sub"));
    WriteAll(dir.File("f1.dff"), Pattern(5000, 1));
    WriteAll(dir.File("empty"), "");
    WriteAll(dir.File("sub/a_name_longer_than_24_bytes.txd"), Pattern(4096, 2));

    CliResult result =
        Run({"add", "a.img", "f1.dff", "empty", "sub/a_name_longer_than_24_bytes.txd"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(ReadAll(Dir()), Record(0, 3, "f1.dff") + Record(3, 0, "empty") +
                                  Record(3, 2, "a_name_longer_than_24_by"));
    std::string img = ReadAll(Img());
    ASSERT_EQ(img.size(), 5u * 2048);
    EXPECT_EQ(img.substr(0, 5000), Pattern(5000, 1));
    EXPECT_EQ(img.substr(6144), Pattern(4096, 2));
}

TEST_F(CliTest, AddStopsAtAFileThatCannotBeOpenedKeepingEarlierOnes) {
    ASSERT_EQ(Run({"new", "a.img"}).status, 0);
    WriteAll(dir.File("one"), "1");
    WriteAll(dir.File("three"), "3");
    CliResult result = Run({"add", "a.img", "one", "missing", "three"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "pelkon-cli: missing: Cannot open: No such file or directory\n");
    EXPECT_EQ(ReadAll(Dir()), Record(0, 1, "one"));
    EXPECT_EQ(FileLength(Img()), 2048u);
}

// Import and replace is tested where it lives; here, what the command prints
// and does to the bytes.
TEST_F(CliTest, AddReplaceReportsEachFileAndKeepsSlotsAndNames) {
    WritePair(Img(), Record(0, 1, "car.dff") + Record(1, 1, "CAR.DFF"), Pattern(2 * 2048, 1));
    WriteAll(dir.File("Car.dff"), Pattern(3000, 2));
    WriteAll(dir.File("new.txd"), Pattern(10, 3));
    CliResult result = Run({"add", "a.img", "Car.dff", "new.txd", "--replace"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "replaced car.dff\n"
                          "added new.txd\n"
                          "note: several entries are named car.dff; the first in the directory "
                          "was replaced\n");
    // The new data goes after the old, which stays as dead space.
    EXPECT_EQ(ReadAll(Dir()),
              Record(2, 2, "car.dff") + Record(1, 1, "CAR.DFF") + Record(4, 1, "new.txd"));
    const std::string img = ReadAll(Img());
    EXPECT_EQ(img.substr(0, 2 * 2048), Pattern(2 * 2048, 1));
    EXPECT_EQ(img.substr(2 * 2048, 3000), Pattern(3000, 2));
}

// One batch matches its own files as it matches the entries there before:
// " y" is added and shown as "y", so "y" replaces it. The lines follow the
// order of the files.
TEST_F(CliTest, AddReplaceMatchesFilesOfTheBatchByDisplayName) {
    WritePair(Img(), Record(0, 1, "x.dff"), 1);
    std::filesystem::create_directory(dir.File("f"));
    WriteAll(dir.File("f/ y"), Pattern(100, 2));
    WriteAll(dir.File("y"), Pattern(200, 3));
    WriteAll(dir.File("X.DFF"), Pattern(300, 4));
    CliResult result = Run({"add", "a.img", "--replace", "f/ y", "y", "X.DFF"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "added  y\nreplaced  y\nreplaced x.dff\n");
    EXPECT_EQ(ReadAll(Dir()), Record(3, 1, "x.dff") + Record(2, 1, " y"));
}

// A batch stopped by a later file has done the files before it: they are
// told, then the failure.
TEST_F(CliTest, AddReplaceStoppedByAFileTellsWhatWasDoneBeforeIt) {
    WritePair(Img(), Record(0, 1, "a.dff"), 1);
    WriteAll(dir.File("a.dff"), Pattern(10, 2));
    WriteAll(dir.File("new.txd"), Pattern(10, 3));
    WriteAll(dir.File("b.dff"), Pattern(10, 4));
    CliResult result = Run({"add", "a.img", "--replace", "a.dff", "new.txd", "missing", "b.dff"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "replaced a.dff\nadded new.txd\n");
    EXPECT_EQ(result.err, "pelkon-cli: missing: Cannot open: No such file or directory\n");
    EXPECT_EQ(ReadAll(Dir()), Record(1, 1, "a.dff") + Record(2, 1, "new.txd"));
}

struct UnreadableNameCase {
    const char* title;
    std::vector<std::string> args;
    std::string err;
};

void PrintTo(const UnreadableNameCase& c, std::ostream* os) {
    *os << c.title;
}

class UnreadableNameTest : public CliTest,
                           public ::testing::WithParamInterface<UnreadableNameCase> {};

const std::string Long24 = "abcdefghijklmnopqrst.dff"; // 24 bytes
const std::string Old24 = "zyxwvutsrqponmlkjihg.txd";
const std::string Warning24 = "pelkon-cli: warning: abcdefghijklmnopqrst.dff: the name fills "
                              "all 24 bytes with no zero byte after it, so the games cannot read "
                              "it; use at most 23 bytes\n";

// Names of 24 bytes or more are stored as ever, cut to 24 bytes without a
// zero byte, and each one written is told; the command succeeds.
TEST_P(UnreadableNameTest, IsToldForEachNameWritten) {
    const UnreadableNameCase& c = GetParam();
    WritePair(Img(), Record(0, 1, "old.dff") + Record(1, 1, Old24), 2);
    for (const std::string& file :
         {Long24, Long24 + "x", Old24, std::string("old.dff"), std::string("short.dff")})
        WriteAll(dir.File(file), "data");
    CliResult result = Run(c.args);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, c.err);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, UnreadableNameTest,
    ::testing::Values(
        UnreadableNameCase{"Add", {"add", "a.img", Long24 + "x", "short.dff"}, Warning24},
        UnreadableNameCase{"AddTwo", {"add", "a.img", Long24, Long24 + "x"}, Warning24 + Warning24},
        // Replacing keeps an entry's name: only what is added is told.
        UnreadableNameCase{"AddReplace", {"add", "a.img", "--replace", Old24, "short.dff"}, ""},
        UnreadableNameCase{
            "AddReplaceAdding", {"add", "a.img", "--replace", "old.dff", Long24 + "x"}, Warning24},
        UnreadableNameCase{"AddReplaceTwiceInOneBatch",
                           {"add", "a.img", "--replace", Long24, Long24 + "x"},
                           Warning24},
        UnreadableNameCase{"Rename", {"rename", "a.img", "old.dff", Long24 + "yz"}, Warning24},
        UnreadableNameCase{
            "RenameDryRun", {"rename", "a.img", "old.dff", Long24, "--dry-run"}, Warning24},
        UnreadableNameCase{"RenameShort", {"rename", "a.img", "old.dff", "new.dff"}, ""}),
    [](const auto& test) { return std::string(test.param.title); });

// Names and sizes chosen so that every order differs from the others.
const std::string SortFixture =
    Record(0, 1, "b.txd") + Record(1, 3, "A.dff") + Record(4, 2, "c.dff") + Record(6, 1, "d");

struct ListOrderCase {
    std::vector<std::string> options;
    std::vector<std::string> expected;
};

void PrintTo(const ListOrderCase& c, std::ostream* os) {
    *os << "list";
    for (const std::string& option : c.options)
        *os << ' ' << option;
}

class ListOrderTest : public CliTest, public ::testing::WithParamInterface<ListOrderCase> {};

TEST_P(ListOrderTest, ListsInTheEditorsOrders) {
    WritePair(Img(), SortFixture, 7);
    std::vector<std::string> args = {"list", "a.img"};
    args.insert(args.end(), GetParam().options.begin(), GetParam().options.end());
    CliResult result = Run(args);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(ListedNames(result.out), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Orders, ListOrderTest,
    ::testing::Values(ListOrderCase{{}, {"A.dff", "b.txd", "c.dff", "d"}},
                      ListOrderCase{{"--desc"}, {"d", "c.dff", "b.txd", "A.dff"}},
                      ListOrderCase{{"--sort", "type"}, {"A.dff", "c.dff", "d", "b.txd"}},
                      ListOrderCase{{"--sort=type", "--desc"}, {"b.txd", "d", "A.dff", "c.dff"}},
                      ListOrderCase{{"--sort", "size"}, {"b.txd", "d", "c.dff", "A.dff"}},
                      ListOrderCase{{"--sort", "size", "--desc"},
                                    {"A.dff", "c.dff", "b.txd", "d"}}));

TEST_F(CliTest, NameOrderFollowsTheEditorsTextComparison) {
    // Blank before digits before letters, only a-z folded, the underscore after
    // the letters, 8-bit bytes last, a prefix first; bytes after a name's
    // terminating zero do not count.
    std::string directory;
    for (std::string name :
         {"a_b", "\xe9x", "abcd", "exactly_24_bytes_long_zz", "AB", " lead", "aZb", "A1"})
        directory += Record(0, 0, name);
    directory += Record(0, 0, std::string("abc\0zz", 6));
    WritePair(Img(), directory, 0);
    const std::vector<std::string> ascending = {
        "lead", "A1", "AB", "abc", "abcd", "aZb", "a_b", "exactly_24_bytes_long_zz", "\xe9x"};

    CliResult result = Run({"list", "a.img"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(ListedNames(result.out), ascending);
    result = Run({"list", "a.img", "--desc"});
    EXPECT_EQ(ListedNames(result.out),
              std::vector<std::string>(ascending.rbegin(), ascending.rend()));
}

TEST_F(CliTest, ListShowsTypeSizeOffsetAndSectorsInSixtyFourBits) {
    // The size in kB of the largest possible entry does not fit 32 bits.
    WritePair(Img(), Record(4, 0xFFFFFFFFu, "  huge.col ") + Record(0, 3, "A.dff"), 0);
    CliResult result = Run({"list", "a.img"});
    ASSERT_EQ(result.status, 0) << result.err;
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(result.out);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        rows.emplace_back(std::istream_iterator<std::string>(words),
                          std::istream_iterator<std::string>());
    }
    using Words = std::vector<std::string>;
    ASSERT_EQ(rows.size(), 2u);
    // The stored name's leading blanks sort it first; the line shows it trimmed.
    EXPECT_EQ(rows[0], (Words{"huge.col", "COL", "File", "8589934590", "kB", "4", "4294967295"}));
    EXPECT_EQ(rows[1], (Words{"A.dff", "DFF", "File", "6", "kB", "0", "3"}));
}

TEST_F(CliTest, ListJsonCarriesEveryNameByteExactly) {
    const std::vector<std::string> names = {"plain.dff",
                                            "quo\"te\\back",
                                            "caf\xc3\xa9.txd",
                                            "\xe9t\xe9.dff",
                                            "  pad  ",
                                            "mid\x01\x7f"
                                            "ctl",
                                            "exactly_24_bytes_long.ab",
                                            "\xed\xa0\x80surrogate",
                                            "c1\xc2\x9b\xc2\x80\xc2\x9f\xc2\xa0x",
                                            "raw\x9b"};
    std::string directory;
    for (const std::string& name : names)
        directory += Record(0, 0, name);
    WritePair(Img(), directory, 0);

    CliResult result = Run({"list", "a.img", "--json"});
    ASSERT_EQ(result.status, 0) << result.err;
    std::vector<std::string> decoded;
    const std::string field = "\"name_hex\":\"";
    for (size_t at = result.out.find(field); at != std::string::npos;
         at = result.out.find(field, at)) {
        at += field.size();
        decoded.push_back(FromHex(result.out.substr(at, result.out.find('"', at) - at)));
    }
    std::vector<std::string> expected = names;
    std::sort(expected.begin(), expected.end());
    std::sort(decoded.begin(), decoded.end());
    EXPECT_EQ(decoded, expected);

    // The strings: UTF-8 passes, a lone 8-bit byte, a control byte, a C1
    // control in UTF-8 and an encoded surrogate are escaped, quotes and
    // backslashes too.
    EXPECT_NE(result.out.find("\"name\":\"caf\xc3\xa9.txd\""), std::string::npos);
    EXPECT_NE(result.out.find("\"name\":\"\\u00e9t\\u00e9.dff\""), std::string::npos);
    EXPECT_NE(result.out.find("\"name\":\"quo\\\"te\\\\back\""), std::string::npos);
    EXPECT_NE(result.out.find("\"name\":\"mid\\u0001\\u007fctl\""), std::string::npos);
    EXPECT_NE(result.out.find("\"name\":\"\\u00ed\\u00a0\\u0080surrogate\""), std::string::npos);
    EXPECT_NE(result.out.find("\"name\":\"c1\\u009b\\u0080\\u009f\xc2\xa0x\""), std::string::npos);
    EXPECT_NE(result.out.find("\"name\":\"raw\\u009b\""), std::string::npos);
    EXPECT_NE(result.out.find("\"name\":\"pad\",\"stored_name\":\"  pad  \""), std::string::npos);
    EXPECT_EQ(result.out.front(), '[');
}

TEST_F(CliTest, ListOfAnEmptyArchiveInJsonIsAnEmptyArray) {
    WritePair(Img(), "", 0);
    CliResult result = Run({"list", "a.img", "--json"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "[\n]\n");
}

const std::string EditFixture = Record(0, 1, "keep.dff") + Record(1, 2, "Gone.txd") +
                                Record(3, 1, "keep2.col") + Record(4, 1, "gone.TXD");

TEST_F(CliTest, DeleteRemovesEveryMatchIgnoringCaseAndLeavesTheDataFile) {
    WritePair(Img(), EditFixture, 5);
    std::string img = ReadAll(Img());
    CliResult result = Run({"delete", "a.img", "GONE.txd"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(ReadAll(Dir()), Record(0, 1, "keep.dff") + Record(3, 1, "keep2.col"));
    EXPECT_EQ(ReadAll(Img()), img);
}

TEST_F(CliTest, DeleteDryRunAndUnknownNamesChangeNothing) {
    WritePair(Img(), EditFixture, 5);
    CliResult dry = Run({"delete", "a.img", "keep.dff", "--dry-run"});
    EXPECT_EQ(dry.status, 0);
    EXPECT_EQ(dry.out, "would delete keep.dff (slot 0, 1 sectors)\n");
    CliResult unknown = Run({"delete", "a.img", "keep.dff", "nothing"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.err, "pelkon-cli: no entry named nothing\n");
    EXPECT_EQ(ReadAll(Dir()), EditFixture);
}

// Once the entries are gone from the directory, a folder that cannot be put
// on disk (one that may be written but not read) is a warning, not a failure
// that a retry would answer with "no entry named".
TEST_F(CliTest, DeleteInAFolderThatCannotBeReadWarnsAndSucceeds) {
#ifdef _WIN32
    GTEST_SKIP() << "needs a folder that may be written but not read (POSIX file modes); Windows "
                    "syncs no folder";
#else
    const std::string folder = dir.File("write-only");
    std::filesystem::create_directory(folder);
    WritePair(folder + "/a.img", EditFixture, 5);
    for (const std::string& path : {folder, folder + "/a.img", folder + "/a.dir"})
        GiveToUnprivilegedUser(path);
    ASSERT_EQ(chmod(folder.c_str(), 0300), 0);
    CliOptions options;
    options.asNobody = geteuid() == 0;
    const CliResult result = RunCli({"delete", "a.img", "gone.txd"}, folder, options);
    ASSERT_EQ(chmod(folder.c_str(), 0700), 0);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "pelkon-cli: warning: a.img: the folder could not be synced (Permission "
                          "denied); the entries are deleted\n");
    EXPECT_EQ(ReadAll(folder + "/a.dir"), Record(0, 1, "keep.dff") + Record(3, 1, "keep2.col"));
    EXPECT_EQ(FolderContents(folder), (std::vector<std::string>{"a.dir", "a.img"}));
#endif
}

TEST_F(CliTest, RenameRewritesOnlyThatRecordCuttingTo24Bytes) {
    WritePair(Img(), EditFixture, 5);
    CliResult result = Run({"rename", "a.img", "KEEP2.COL", "a_new_name_of_thirty_bytes.x"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(ReadAll(Dir()), Record(0, 1, "keep.dff") + Record(1, 2, "Gone.txd") +
                                  Record(3, 1, "a_new_name_of_thirty_byt") +
                                  Record(4, 1, "gone.TXD"));
}

TEST_F(CliTest, RenameRefusesAnAmbiguousNameAndDryRunChangesNothing) {
    WritePair(Img(), EditFixture, 5);
    CliResult ambiguous = Run({"rename", "a.img", "gone.txd", "x"});
    EXPECT_EQ(ambiguous.status, 1);
    EXPECT_EQ(ambiguous.err,
              "pelkon-cli: 2 entries are named gone.txd; rename needs exactly one\n");
    CliResult dry = Run({"rename", "a.img", "keep.dff", "new.dff", "--dry-run"});
    EXPECT_EQ(dry.status, 0);
    EXPECT_EQ(dry.out, "would rename keep.dff (slot 0) to new.dff\n");
    EXPECT_EQ(ReadAll(Dir()), EditFixture);
}

struct FailureCase {
    const char* title;
    bool withImg, withDir;
    std::vector<std::string> args;
    int status;
    std::string errStart; // the start of standard error
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.title;
}

class FailureTest : public CliTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FailureTest, FailsWithTheMessageAndStatus) {
    const FailureCase& c = GetParam();
    if (c.withImg)
        WriteAll(Img(), Pattern(2048));
    if (c.withDir)
        WriteAll(Dir(), Record(0, 1, "x.dff"));
    CliResult result = Run(c.args);
    EXPECT_EQ(result.status, c.status) << result.err;
    EXPECT_EQ(result.err.substr(0, c.errStart.size()), c.errStart);
    EXPECT_EQ(result.out, "");
    if (c.withDir) {
        EXPECT_EQ(ReadAll(Dir()), Record(0, 1, "x.dff"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailureTest,
    ::testing::Values(FailureCase{"MissingDir",
                                  true,
                                  false,
                                  {"list", "a.img"},
                                  1,
                                  "pelkon-cli: a.dir: Cannot open: No such file or directory\n"},
                      FailureCase{"MissingDirOnAdd",
                                  true,
                                  false,
                                  {"add", "a.img", "a.img"},
                                  1,
                                  "pelkon-cli: a.dir: Cannot open: No such file or directory\n"},
                      FailureCase{"MissingImg",
                                  false,
                                  true,
                                  {"extract", "a.img", "--all"},
                                  1,
                                  "pelkon-cli: a.img: Cannot open: No such file or directory\n"},
                      FailureCase{"NoCommand", true, true, {}, 2, "pelkon-cli: no command given\n"},
                      FailureCase{"UnknownCommand",
                                  true,
                                  true,
                                  {"lst", "a.img"},
                                  2,
                                  "pelkon-cli: unknown command 'lst'\n"},
                      FailureCase{"UnknownOption",
                                  true,
                                  true,
                                  {"list", "a.img", "--bogus"},
                                  2,
                                  "pelkon-cli: unknown option --bogus\nUsage: pelkon-cli list "},
                      FailureCase{"BadSortKey",
                                  true,
                                  true,
                                  {"list", "a.img", "--sort", "date"},
                                  2,
                                  "pelkon-cli: --sort takes name, type or size, not 'date'\n"},
                      FailureCase{"MissingOptionValue",
                                  true,
                                  true,
                                  {"extract", "a.img", "--all", "-C"},
                                  2,
                                  "pelkon-cli: option -C needs a value\n"},
                      FailureCase{"ExtractNeedsNamesOrAll",
                                  true,
                                  true,
                                  {"extract", "a.img"},
                                  2,
                                  "pelkon-cli: give either entry names or --all\n"},
                      FailureCase{"ExtractNotBoth",
                                  true,
                                  true,
                                  {"extract", "a.img", "x.dff", "--all"},
                                  2,
                                  "pelkon-cli: give either entry names or --all\n"},
                      FailureCase{"RenameTooFew",
                                  true,
                                  true,
                                  {"rename", "a.img", "x.dff"},
                                  2,
                                  "pelkon-cli: missing arguments\n"},
                      FailureCase{"CheckTooMany",
                                  true,
                                  true,
                                  {"check", "a.img", "b.img"},
                                  2,
                                  "pelkon-cli: too many arguments\n"},
                      FailureCase{"FlagWithValue",
                                  true,
                                  true,
                                  {"list", "a.img", "--desc=yes"},
                                  2,
                                  "pelkon-cli: option --desc takes no value\n"}),
    [](const auto& test) { return std::string(test.param.title); });

// Every command that opens the pair fails while another process holds either
// of its files, and changes nothing.
struct HeldCase {
    std::vector<std::string> args;
    bool holdDir;
};

void PrintTo(const HeldCase& c, std::ostream* os) {
    *os << c.args[0] << (c.holdDir ? " with a.dir held" : " with a.img held");
}

class HeldPairTest : public CliTest, public ::testing::WithParamInterface<HeldCase> {};

TEST_P(HeldPairTest, CannotOpenAPairHeldElsewhere) {
    WritePair(Img(), EditFixture, 5);
    WriteAll(dir.File("new.dff"), "data");
    std::filesystem::create_directory(dir.File("out"));
    std::string held = GetParam().holdDir ? "a.dir" : "a.img";
    CliResult result;
    {
        HeldFile hold(dir.File(held));
        result = Run(GetParam().args);
    }
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "pelkon-cli: " + held + ": Cannot open: in use by another program\n");
    EXPECT_EQ(ReadAll(Dir()), EditFixture);
    EXPECT_EQ(FileLength(Img()), 5u * 2048);
    EXPECT_TRUE(FolderContents(dir.File("out")).empty());
    EXPECT_FALSE(Exists(dir.File("r.img")));
}

std::vector<HeldCase> HeldCases() {
    std::vector<std::vector<std::string>> commands = {{"list", "a.img"},
                                                      {"add", "a.img", "new.dff"},
                                                      {"extract", "a.img", "--all", "-C", "out"},
                                                      {"delete", "a.img", "keep.dff"},
                                                      {"rename", "a.img", "keep.dff", "x"},
                                                      {"check", "a.img"},
                                                      {"rebuild", "a.img", "r.img"}};
    std::vector<HeldCase> cases;
    for (const auto& command : commands)
        for (bool holdDir : {false, true})
            cases.push_back({command, holdDir});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Commands, HeldPairTest, ::testing::ValuesIn(HeldCases()));

} // namespace
