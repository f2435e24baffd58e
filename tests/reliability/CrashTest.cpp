// The process is killed right before each file-layer call of an operation, and
// once more right after it. Reopening the pair must then find every entry that
// was there before and not being deleted, whole records only, and a new entry
// either whole or absent.
#include "platform/FaultInjection.h"
#include "tests/reliability/ReliabilitySupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

using namespace reliability;

namespace {

struct RecordFields {
    uint32_t offset;
    uint32_t size;
    std::string name;
    auto operator<=>(const RecordFields&) const = default;
};

RecordFields FieldsOf(const TArchiveEntry& entry) {
    return {entry.Offset, entry.Size, std::string(NameText(entry))};
}

std::vector<RecordFields> Table(const TGTA3Archive& archive) {
    std::vector<RecordFields> table;
    for (int i = 0; i < archive.Count(); ++i)
        table.push_back(FieldsOf(archive.GetEntry(i)));
    return table;
}

bool PastDataEnd(const RecordFields& record, uint64_t imgLength) {
    return (uint64_t{record.offset} + record.size) * SectorSize > imgLength;
}

// Calls of the operation, counted on a copy of the pair.
long CallsOf(const Scenario& scenario) {
    PairOnDisk pair(scenario);
    TGTA3Archive archive(pair.Img(), false);
    RunOperation(scenario, pair, archive, [] { faults::Reset(); });
    const long calls = faults::CallsSoFar();
    faults::Reset();
    return calls;
}

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

TEST_P(CrashConsistency, KilledAtEveryCallLosesNothing) {
    const Scenario& scenario = GetParam();
    std::set<RecordFields> before;
    {
        PairOnDisk pair(scenario);
        TGTA3Archive archive(pair.Img(), false);
        const std::vector<RecordFields> table = Table(archive);
        before.insert(table.begin(), table.end());
    }
    const long calls = CallsOf(scenario);
    ASSERT_GT(calls, 0);

    long crashPoints = 0;
    // One past the last call kills the child in the archive's closing flush,
    // after the operation has finished.
    for (long k = 1; k <= calls + 1; ++k) {
        SCOPED_TRACE("killed before call " + std::to_string(k));
        PairOnDisk pair(scenario);
        const bool killed = KillDuring(scenario, pair, k);
        ASSERT_TRUE(killed || k > calls);
        crashPoints += killed;

        const std::string dirBytes = ReadAll(pair.Dir());
        const uint64_t imgLength = FileLength(pair.Img());
        const size_t piece = scenario.dirBytes.size() % 32;
        if (dirBytes.size() % 32 != 0) {
            // Only the trailing piece the file held before may still be there.
            ASSERT_EQ(dirBytes.size() % 32, piece);
            EXPECT_EQ(dirBytes.substr(dirBytes.size() - piece),
                      scenario.dirBytes.substr(scenario.dirBytes.size() - piece));
        }

        TGTA3Archive archive(pair.Img(), false);
        const std::vector<RecordFields> table = Table(archive);
        const std::set<RecordFields> after(table.begin(), table.end());
        for (const RecordFields& old : before) {
            const bool deleting =
                std::count(scenario.toDelete.begin(), scenario.toDelete.end(), old.name) != 0;
            const bool renaming = old.name == scenario.renamed;
            const RecordFields renamed{old.offset, old.size, RenamedName};
            const bool present = after.count(old) || (renaming && after.count(renamed));
            EXPECT_TRUE(present || deleting) << old.name << " was lost";
        }
        for (int i = 0; i < archive.Count(); ++i) {
            const RecordFields now = FieldsOf(archive.GetEntry(i));
            const bool existed = before.count(now) != 0;
            if (PastDataEnd(now, imgLength)) {
                EXPECT_TRUE(existed && PastDataEnd(now, scenario.imgBytes.size()))
                    << now.name << " points past the data file's end";
            }
            if (now.name == AddedName) {
                // A new entry is only ever seen whole.
                FileStream dest = FileStream::CreateHeld(pair.Scratch("out.bin"));
                archive.ExtractEntry(i, dest);
                dest.Close();
                EXPECT_EQ(ReadAll(pair.Scratch("out.bin")).substr(0, scenario.sourceBytes.size()),
                          scenario.sourceBytes);
            } else if (!existed) {
                EXPECT_EQ(now.name, RenamedName) << "an entry appeared from nowhere";
            }
        }
    }
    RecordProperty("crash_points", static_cast<int>(crashPoints));
    std::printf("%s: crash points: %ld\n", scenario.name.c_str(), crashPoints);
}

INSTANTIATE_TEST_SUITE_P(Operations, CrashConsistency, ::testing::ValuesIn(Scenarios()),
                         [](const auto& test) { return test.param.name; });

} // namespace
