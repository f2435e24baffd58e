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

#include <algorithm>

#include <cstdio>
#ifdef _WIN32
#include "tests/support/Win32Process.h"

#include <cstdlib>
#include <string>
#include <windows.h>
#else
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace reliability;

namespace {

#ifdef _WIN32
// Windows has no fork: the child is this test program started again to run
// only CrashChild.RunsTheOperationUntilKilled, told by the environment which
// scenario, which folder and which call. It terminates itself right before
// that call (TerminateProcess, which like a kill runs nothing more: no
// destructor, no flush), and the system closes its handles.
constexpr const char* ChildJob = "PELKON_CRASH_CHILD";
constexpr UINT Killed = 137;

bool KillDuring(const Scenario& scenario, const PairOnDisk& pair, long k) {
    const auto& scenarios = Scenarios();
    const auto index = std::find_if(scenarios.begin(), scenarios.end(),
                                    [&](const Scenario& s) { return s.name == scenario.name; }) -
                       scenarios.begin();
    const std::string job = std::to_string(index) + "|" + std::to_string(k) + "|" + pair.Path();
    ::SetEnvironmentVariableA(ChildJob, job.c_str());
    // The child runs its one test whichever shard of the suite this is.
    ::SetEnvironmentVariableA("GTEST_TOTAL_SHARDS", nullptr);
    ::SetEnvironmentVariableA("GTEST_SHARD_INDEX", nullptr);
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring commandLine =
        L"\"" + std::wstring(self) + L"\" --gtest_filter=CrashChild.RunsTheOperationUntilKilled";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    // The child's reports go where this program's go.
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = ::GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child{};
    const bool started = StartChild(commandLine, CREATE_NO_WINDOW, nullptr, startup, child);
    ::SetEnvironmentVariableA(ChildJob, nullptr);
    if (!started)
        return false;
    ::WaitForSingleObject(child.hProcess, INFINITE);
    DWORD status = 0;
    ::GetExitCodeProcess(child.hProcess, &status);
    ::CloseHandle(child.hThread);
    ::CloseHandle(child.hProcess);
    return status == Killed;
}

TEST(CrashChild, RunsTheOperationUntilKilled) {
    const char* job = std::getenv(ChildJob);
    if (!job)
        GTEST_SKIP() << "runs only as the crash harness's child";
    const std::string text = job;
    const size_t first = text.find('|'), second = text.find('|', first + 1);
    const std::vector<Scenario> scenarios = Scenarios();
    const Scenario& scenario = scenarios.at(std::stoul(text.substr(0, first)));
    const long k = std::stol(text.substr(first + 1, second - first - 1));
    const PairOnDisk pair(text.substr(second + 1), scenario);
    try {
        TGTA3Archive archive(pair.Img(), false);
        RunOperation(scenario, pair, archive, [k] {
            faults::Reset();
            faults::BeforeNthCall(k, [] { ::TerminateProcess(::GetCurrentProcess(), Killed); });
        });
    } catch (const std::exception& error) {
        std::fprintf(stderr, "crash child: %s\n", error.what());
        std::_Exit(2);
    }
    std::_Exit(0); // the destructor's calls may come after the operation's last one
}
#else
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
#endif

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
