// The process is killed right before each file-layer call of an operation, and
// once more right after it. The folder must then hold what it held before or
// what a clean run leaves - item by item where the operation works item by
// item -, never a mix; and the next opening and running the operation again
// must reach the clean result and leave no temporary file and no journal
// behind.
#include "platform/Errors.h"
#include "platform/FaultInjection.h"
#include "tests/reliability/ReliabilitySupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

using namespace reliability;

namespace {

// Runs the operation in a child that is killed right before its `k`th
// file-layer call. Returns false when the child was not killed there.
bool KillDuring(const Scenario& scenario, const PairOnDisk& pair, long k) {
    const pid_t pid = fork();
    if (pid == 0) {
        try {
            TGTA3Archive archive(pair.Img(), false);
            RunOperation(scenario, pair, archive, [k] {
                faults::Reset();
                faults::BeforeNthCall(k, [] { raise(SIGKILL); });
            });
        } catch (...) {
            _exit(2);
        }
        _exit(0); // the destructor's calls may come after the operation's last one
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

class CrashConsistency : public ::testing::TestWithParam<Scenario> {};

TEST_P(CrashConsistency, KilledAtEveryCallLeavesOldOrNewAndARerunFinishes) {
    const Scenario& scenario = GetParam();
    const CleanRun clean = RunCleanly(scenario);
    ASSERT_GT(clean.calls, 0);

    long crashPoints = 0;
    // One past the last call kills the child in the archive's closing flush,
    // after the operation has finished.
    for (long k = 1; k <= clean.calls + 1; ++k) {
        SCOPED_TRACE("killed before call " + std::to_string(k));
        PairOnDisk pair(scenario);
        const bool killed = KillDuring(scenario, pair, k);
        ASSERT_TRUE(killed || k > clean.calls);
        crashPoints += killed;

        const Contents now = ReadContents(pair);
        EXPECT_EQ(JudgeInterrupted(scenario, clean.before, clean.after, now), "");
        {
            // An opening for reading only shows the same and changes nothing.
            const std::string listing = FolderListing(pair);
            TGTA3Archive reader(pair.Img(), TOpenMode::Shared);
            EXPECT_EQ(TableAgreesWithDirectory(reader, DirectoryBytes(pair)), "");
            EXPECT_EQ(FolderListing(pair), listing) << "an opening for reading changed the folder";
        }
        {
            // The next opening settles what the kill left; purged and renamed
            // entries are only ever found by what they are, so an operation
            // that finished needs no second run.
            TGTA3Archive archive(pair.Img(), false);
            EXPECT_EQ(ReadContents(pair), now) << "the next opening changed what it found";
            if (scenario.op == Scenario::Op::Compact) {
                EXPECT_EQ(TemporaryLeftovers(pair), std::vector<std::string>{})
                    << "the next opening left a file of the compaction";
            }
            if (now != clean.after || RunsAgainAnyway(scenario))
                RunAgain(scenario, pair, archive);
        }
        EXPECT_EQ(ReadContents(pair), clean.after) << "running again did not finish the job";
        EXPECT_EQ(TemporaryLeftovers(pair), std::vector<std::string>{});
        EXPECT_FALSE(JournalLeft(pair));
    }
    RecordProperty("crash_points", static_cast<int>(crashPoints));
    std::printf("%s: crash points: %ld\n", scenario.name.c_str(), crashPoints);
}

INSTANTIATE_TEST_SUITE_P(Operations, CrashConsistency, ::testing::ValuesIn(Scenarios()),
                         [](const auto& test) { return test.param.name; });

} // namespace
