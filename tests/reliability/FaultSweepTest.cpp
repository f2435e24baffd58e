// Every file-layer call of each operation is made to fail in turn, with each
// error code that call can meet. The operation must report the failure with
// the file layer's exact message, leave the files as stated below, keep its
// table in step with the directory file, and succeed when simply run again.
#include "platform/FaultInjection.h"
#include "tests/reliability/ReliabilitySupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>

using namespace reliability;
using faults::Call;

namespace {

struct FaultKind {
    Call call;
    const char* name;
    std::vector<int> errors; // the first one is used to count the call positions
};

const std::vector<FaultKind>& FaultKinds() {
    static const std::vector<FaultKind> kinds = {
        {Call::Open, "open", {EIO}},           {Call::Read, "read", {EIO}},
        {Call::Write, "write", {EIO, ENOSPC}}, {Call::SetLength, "set-length", {EIO, ENOSPC}},
        {Call::Flush, "flush", {EIO}},         {Call::Close, "close", {EIO}},
    };
    return kinds;
}

std::string ExpectedMessage(Call call, int error) {
    switch (call) {
    case Call::Read:
        return "Stream read error";
    case Call::Write:
        return "Stream write error";
    default:
        return "System Error.  Code: " + std::to_string(error) + ".\n" + std::strerror(error);
    }
}

// What a successful run leaves on disk.
struct Outcome {
    std::string dirBytes;
    std::string imgBytes;
    long calls = 0; // file-layer calls the operation made
};

Outcome RunCleanly(const Scenario& scenario) {
    PairOnDisk pair(scenario);
    {
        TGTA3Archive archive(pair.Img(), false);
        RunOperation(scenario, pair, archive, [] { faults::Reset(); });
        Outcome outcome;
        outcome.calls = faults::CallsSoFar();
        faults::Reset();
        archive.Flush();
        outcome.dirBytes = ReadAll(pair.Dir());
        outcome.imgBytes = ReadAll(pair.Img());
        return outcome;
    }
}

class FaultSweep : public ::testing::TestWithParam<Scenario> {
protected:
    void TearDown() override { faults::Reset(); }

    // Fails the `n`th call of kind `call` with `error`. Returns false when the
    // operation has fewer such calls (it then ran to its end untouched).
    bool InjectAndCheck(Call call, int error, long n, const Outcome& clean);
};

bool FaultSweep::InjectAndCheck(Call call, int error, long n, const Outcome& clean) {
    const Scenario& scenario = GetParam();
    PairOnDisk pair(scenario);
    TGTA3Archive archive(pair.Img(), false);
    const int countBefore = archive.Count();

    std::string message;
    try {
        RunOperation(scenario, pair, archive, [&] { faults::FailNthCall(n, error, call); });
    } catch (const std::exception& failure) {
        message = failure.what();
    }
    faults::Reset();
    if (message.empty())
        return false;

    SCOPED_TRACE(std::string("call ") + std::to_string(n) + " failing with " +
                 std::strerror(error));
    EXPECT_EQ(message, ExpectedMessage(call, error));
    const std::string dirNow = ReadAll(pair.Dir());
    EXPECT_EQ(TableAgreesWithDirectory(archive, dirNow), "");

    if (scenario.op == Scenario::Op::Purge) {
        // The marked entries have left the table; every other record is still
        // somewhere in the file, which holds whole records only.
        EXPECT_EQ(archive.Count(), countBefore - static_cast<int>(scenario.toDelete.size()));
        EXPECT_EQ(dirNow.size() % 32, 0u);
        const std::vector<std::string> records = RecordsOf(dirNow);
        const std::set<std::string> now(records.begin(), records.end());
        for (int i = 0; i < archive.Count(); ++i)
            EXPECT_TRUE(now.count(RecordOf(archive.GetEntry(i)))) << "a record was lost";
        EXPECT_EQ(ReadAll(pair.Img()), scenario.imgBytes);
        archive.PurgeDeleted(); // the retry
    } else {
        // Adding and renaming either happen whole or not at all.
        EXPECT_EQ(archive.Count(), countBefore);
        EXPECT_EQ(dirNow, scenario.dirBytes);
        EXPECT_EQ(ReadAll(pair.Img()), scenario.imgBytes);
        RunOperation(scenario, pair, archive, [] {});
    }
    archive.Flush();
    EXPECT_EQ(ReadAll(pair.Dir()), clean.dirBytes) << "the retry did not give the clean result";
    EXPECT_EQ(ReadAll(pair.Img()), clean.imgBytes) << "the retry did not give the clean result";
    EXPECT_EQ(TableAgreesWithDirectory(archive, ReadAll(pair.Dir())), "");
    return true;
}

TEST_P(FaultSweep, EveryCallFailsCleanly) {
    const Outcome clean = RunCleanly(GetParam());
    ASSERT_GT(clean.calls, 0);

    long positions = 0; // distinct calls of the operation, all kinds together
    long injected = 0;  // runs with a fault, error codes counted apart
    std::string byKind;
    for (const FaultKind& kind : FaultKinds()) {
        for (size_t e = 0; e < kind.errors.size(); ++e) {
            long n = 1;
            while (InjectAndCheck(kind.call, kind.errors[e], n, clean)) {
                if (HasFatalFailure())
                    return;
                ++n;
            }
            injected += n - 1;
            if (e == 0) {
                positions += n - 1;
                byKind += " " + std::string(kind.name) + "=" + std::to_string(n - 1);
            }
        }
    }
    // Each counted call was reached by exactly one kind's sweep.
    EXPECT_EQ(positions, clean.calls);
    RecordProperty("fault_points", static_cast<int>(positions));
    RecordProperty("faults_injected", static_cast<int>(injected));
    std::printf("%s: fault points: %ld (%s ), faults injected: %ld\n", GetParam().name.c_str(),
                positions, byKind.c_str(), injected);
}

INSTANTIATE_TEST_SUITE_P(Operations, FaultSweep, ::testing::ValuesIn(Scenarios()),
                         [](const auto& test) { return test.param.name; });

} // namespace

namespace {

// Opening fails at each of its calls with the open or read message, leaves
// both files as they were and holds neither: the pair opens right afterwards.
TEST(OpenFaults, EveryCallOfOpeningFailsCleanly) {
    const Scenario big = Scenarios().back(); // a directory read in several pieces
    long calls = 0;
    {
        PairOnDisk pair(big);
        faults::Reset();
        TGTA3Archive archive(pair.Img(), false);
        calls = faults::CallsSoFar();
    }
    ASSERT_GE(calls, 4); // two opens, at least two reads

    for (bool create : {false, true}) {
        for (long n = 1; n <= (create ? 2 : calls); ++n) {
            SCOPED_TRACE((create ? "creating, call " : "opening, call ") + std::to_string(n));
            PairOnDisk pair(big);
            faults::Reset();
            faults::FailNthCall(n, EIO);
            std::string message;
            try {
                TGTA3Archive archive(pair.Img(), create);
            } catch (const std::exception& failure) {
                message = failure.what();
            }
            faults::Reset();
            const std::string failed = n == 1 ? pair.Img() : pair.Dir();
            if (n <= 2)
                EXPECT_EQ(message, (create ? "Cannot create file " : "Cannot open file ") + failed);
            else
                EXPECT_EQ(message, "Stream read error");
            // A failed create may have emptied the data file, never the directory.
            if (!create || n == 1) {
                EXPECT_EQ(ReadAll(pair.Img()), big.imgBytes);
            }
            EXPECT_EQ(ReadAll(pair.Dir()), big.dirBytes);
            TGTA3Archive again(pair.Img(), false);
            EXPECT_EQ(again.Count(), static_cast<int>(big.dirBytes.size() / 32));
        }
    }
    std::printf("opening: fault points: %ld, creating: 2\n", calls);
}

} // namespace
