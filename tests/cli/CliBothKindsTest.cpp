// The commands behave alike on both kinds of archive: one session of steps,
// run on a pair (--format v1) and on a single-file archive (--format v2).
#include "tests/cli/CliRunner.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

struct Step {
    std::vector<std::string> args; // "A" stands for the archive, "K" for the format
    int status;
    std::string shown;    // found in what the step prints (out, then err)
    std::string notShown; // absent from what it prints
};

const std::vector<Step>& Session() {
    static const std::vector<Step> steps = {
        {{"new", "A", "--format", "K"}, 0, "", ""},
        {{"add", "A", "in/a.dff", "in/infernus.dff", "in/b.txd"}, 0, "", ""},
        {{"list", "A"}, 0, "infernus.dff              DFF File              6 kB", ""},
        {{"add", "--replace", "A", "in/INFERNUS.DFF"}, 0, "replaced infernus.dff\n", ""},
        {{"rename", "A", "b.txd", "c.txd"}, 0, "", ""},
        {{"list", "A", "--json"}, 0, "\"name\":\"c.txd\"", "\"name\":\"b.txd\""},
        {{"delete", "A", "c.txd"}, 0, "", ""},
        {{"list", "A", "--sort", "size"},
         0,
         "infernus.dff              DFF File              8 kB",
         "c.txd"},
        {{"extract", "A", "infernus.dff", "-C", "out"}, 0, "", ""},
        // The replaced entry's new data lies at the end: out of streaming order.
        {{"check", "A"}, 1, "2 entries", ""},
        {{"check", "A"}, 1, "\"infernus.dff\" sectors", ""},
        {{"compact", "A"}, 0, "compacted", ""},
        {{"check", "A"}, 0, "no problems found", ""},
        // To the other kind and back, and a copy of the same kind.
        {{"convert", "A", "b.img"}, 0, "", ""},
        {{"convert", "b.img", "c.img", "--format", "K"}, 0, "", ""},
        {{"rebuild", "A", "d.img"}, 0, "", ""},
        {{"check", "b.img"}, 0, "no problems found", ""},
        {{"convert", "A", "b.img"}, 1, "already exists", ""},
        {{"new", "A", "--format", "K"}, 1, "already exists", ""},
        {{"new", "A", "--format", "v3"}, 2, "--format takes v1 or v2", ""},
    };
    return steps;
}

class BothKinds : public ::testing::TestWithParam<const char*> {};

TEST_P(BothKinds, TheSessionGoesAlike) {
    TempDir dir;
    std::filesystem::create_directory(dir.File("in"));
    std::filesystem::create_directory(dir.File("out"));
    WriteAll(dir.File("in/a.dff"), Pattern(3000, 1));
    WriteAll(dir.File("in/infernus.dff"), Pattern(5000, 2));
    WriteAll(dir.File("in/b.txd"), Pattern(2000, 3));
    WriteAll(dir.File("in/INFERNUS.DFF"), Pattern(7000, 4));
    for (const Step& step : Session()) {
        std::vector<std::string> args;
        std::string said;
        for (const std::string& arg : step.args) {
            args.push_back(arg == "A" ? "a.img" : arg == "K" ? GetParam() : arg);
            said += args.back() + " ";
        }
        SCOPED_TRACE(said);
        const CliResult result = RunCli(args, dir.Path());
        EXPECT_EQ(result.status, step.status) << result.err;
        EXPECT_NE((result.out + result.err).find(step.shown), std::string::npos)
            << result.out << result.err;
        if (!step.notShown.empty()) {
            EXPECT_EQ(result.out.find(step.notShown), std::string::npos) << result.out;
        }
    }
    EXPECT_EQ(ReadAll(dir.File("out/infernus.dff")).substr(0, 7000), Pattern(7000, 4));
    const bool pair = std::string(GetParam()) == "v1";
    EXPECT_EQ(Exists(dir.File("a.dir")), pair);
    EXPECT_EQ(Exists(dir.File("b.dir")), !pair);
    // A compacted archive comes back from the other kind byte for byte.
    for (const char* copy : {"c", "d"}) {
        EXPECT_EQ(ReadAll(dir.File(copy + std::string(".img"))), ReadAll(dir.File("a.img")));
        if (pair) {
            EXPECT_EQ(ReadAll(dir.File(copy + std::string(".dir"))), ReadAll(dir.File("a.dir")));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, BothKinds, ::testing::Values("v1", "v2"));

// A directory file beside a single-file archive is not read, and said so.
TEST(SingleFileBesideADirectory, TheWarningNamesIt) {
    TempDir dir;
    ASSERT_EQ(RunCli({"new", "a.img", "--format", "v2"}, dir.Path()).status, 0);
    WriteAll(dir.File("a.dir"), Record(0, 1, "stale.dff"));
    const CliResult result = RunCli({"list", "a.img"}, dir.Path());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("a.dir beside it is not read"), std::string::npos) << result.err;
    EXPECT_EQ(ReadAll(dir.File("a.dir")), Record(0, 1, "stale.dff"));
}

} // namespace
