// How pelkon-cli reports: one line per failure naming the file, names that
// cannot drive a terminal, memory running out, and output that cannot be
// written - all with exit status 1.
#include "tests/cli/CliRunner.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

class MessagesTest : public ::testing::Test {
protected:
    CliResult Run(const std::vector<std::string>& args, const CliOptions& options = {}) {
        return RunCli(args, dir.Path(), options);
    }
    std::string Img() const { return dir.File("a.img"); }

    TempDir dir;
};

TEST_F(MessagesTest, VersionAndHelpGoToStandardOutputOrFail) {
    CliResult version = Run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "pelkon-cli 0.2\n");
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no device that is always full (/dev/full)";
#endif
    CliOptions full;
    full.outputFile = "/dev/full";
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"--help"}, {"--version"}, {"list", "--help"}}) {
        CliResult result = Run(args, full);
        EXPECT_EQ(result.status, 1) << args[0];
        EXPECT_EQ(result.err, "pelkon-cli: standard output: No space left on device\n");
    }
}

// A hostile name reaches the terminal only escaped, in every message.
TEST_F(MessagesTest, NamesInMessagesAreEscaped) {
    WritePair(Img(), Record(0, 1, "a\x1b]0;pwned\x07/x") + Record(1, 1, "b\xc2\x9b"),
              Pattern(2 * 2048));
    CliResult extract = Run({"extract", "a.img", "--all"});
    EXPECT_EQ(extract.status, 1);
    EXPECT_EQ(extract.err, "pelkon-cli: a\\x1b]0;pwned\\x07/x: Cannot create: the entry's name "
                           "is not a safe file name\n");
    CliResult rename = Run({"rename", "a.img", "nothing\x1b[2J", "x"});
    EXPECT_EQ(rename.err, "pelkon-cli: no entry named nothing\\x1b[2J\n");
    // Typed as the four characters \x1b, told apart from the byte.
    CliResult typed = Run({"rename", "a.img", "nothing\\x1b", "x"});
    EXPECT_EQ(typed.err, "pelkon-cli: no entry named nothing\\\\x1b\n");
    // Words of the command line that are not understood are told escaped too.
    EXPECT_EQ(Run({"li\x1b[2Jst"}).err,
              "pelkon-cli: unknown command 'li\\x1b[2Jst'\nTry 'pelkon-cli --help'.\n");
#ifndef _WIN32 // a Windows command line is UTF-16 and cannot carry a byte that is no UTF-8
    EXPECT_EQ(Run({"list", "a.img", "--sort", "\x9b"}).err.find('\x9b'), std::string::npos);
#endif
    CliResult list = Run({"list", "a.img"});
    EXPECT_EQ(list.out.find('\x1b'), std::string::npos);
    EXPECT_EQ(list.out.find("\xc2\x9b"), std::string::npos);
    EXPECT_NE(list.out.find("b\\xc2\\x9b"), std::string::npos);
}

// A sparse directory file claims millions of records: running out of memory
// on it is told in words naming the command, not as a library's exception.
TEST_F(MessagesTest, RunningOutOfMemoryIsToldNamingTheCommand) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer needs more address space than the limit leaves";
#elif defined(_WIN32)
    GTEST_SKIP() << "Windows has no address-space limit per process (RLIMIT_AS); a job object's "
                    "limit is not kept under Wine";
#endif
    WritePair(Img(), "", "");
    std::filesystem::resize_file(dir.File("a.dir"), 1 << 30); // 33 million records
    CliOptions small;
    small.memoryLimit = 256u << 20;
    for (const char* command : {"list", "check"}) {
        CliResult result = Run({command, "a.img"}, small);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, std::string("pelkon-cli: ") + command + ": Out of memory\n");
    }
}

// As a user who may write into a folder but not read it, rebuild can put the
// pair in place but not sync the folder: the pair is there, so it succeeds
// with a warning, and running it again refuses rather than writing twice.
TEST_F(MessagesTest, RebuildIntoAFolderThatCannotBeSyncedSucceedsWithAWarning) {
#ifdef _WIN32
    GTEST_SKIP() << NoSecondUserOnWindows;
#else
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to act as a second user";
    ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
    WritePair(Img(), Record(0, 1, "a.dff"), Pattern(2048));
    std::filesystem::create_directory(dir.File("drop"));
    ASSERT_EQ(chown(dir.File("drop").c_str(), 65534, 65534), 0);
    ASSERT_EQ(chmod(dir.File("drop").c_str(), 0300), 0); // write and enter only
    CliOptions nobody;
    nobody.asNobody = true;
    CliResult result = Run({"rebuild", "a.img", "drop/r.img"}, nobody);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "pelkon-cli: warning: drop/r.img: the folder could not be synced "
                          "(Permission denied); the new pair is in place\n");
    EXPECT_EQ(ReadAll(dir.File("drop/r.img")), Pattern(2048));
    EXPECT_EQ(ReadAll(dir.File("drop/r.dir")), Record(0, 1, "a.dff"));
    CliResult again = Run({"rebuild", "a.img", "drop/r.img"}, nobody);
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.err, "pelkon-cli: drop/r.img already exists; rebuild writes only a new pair\n");
#endif
}

} // namespace
