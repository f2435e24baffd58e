// Every file-layer call of each operation is made to fail in turn, with each
// error code that call can meet. The operation must report the failure with
// the file layer's exact message (or, where a failure changes nothing that was
// done, carry on), leave the folder either as it was or as a clean run leaves
// it - item by item where the operation works item by item - with no
// temporary file left unless removing it was what failed, keep its table in
// step with the directory file, and reach the clean result when run again,
// leaving no temporary file and, after the next opening, no journal behind.
#include "archive/ArchiveCommands.h"
#include "platform/FaultInjection.h"
#include "tests/reliability/ReliabilitySupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

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
        {Call::Open, "open", {EIO, EACCES, ENOSPC}},
        {Call::Read, "read", {EIO}},
        {Call::Write, "write", {EIO, ENOSPC}},
        {Call::SetLength, "set-length", {EIO, ENOSPC}},
        {Call::Flush, "flush", {EIO, EDQUOT}},
        {Call::Close, "close", {EIO}},
        {Call::Stat, "stat", {EIO}},
        {Call::Rename, "rename", {EIO, EPERM}}, // EPERM: a sticky folder
        {Call::Link, "link", {EIO}},
        {Call::Remove, "remove", {EIO}},
        {Call::List, "list", {EIO}},
        {Call::SyncFolder, "sync-folder", {EIO, EACCES}},
        {Call::Attributes, "attributes", {EIO, EPERM}}, // EPERM: a group not ours to give
    };
    return kinds;
}

// Whether `message` is what the window shows for this call failing.
bool IsMessageOf(Call call, int error, const std::string& message) {
    switch (call) {
    case Call::Read:
        return message == "Stream read error";
    case Call::Write:
        return message == "Stream write error";
    case Call::Open:
        return message.starts_with("Cannot open file ") ||
               message.starts_with("Cannot create file ");
    case Call::Link: // also: naming a new file
        return message.starts_with("Cannot create file ") ||
               message ==
                   "System Error.  Code: " + std::to_string(error) + ".\n" + std::strerror(error);
    default:
        return message ==
               "System Error.  Code: " + std::to_string(error) + ".\n" + std::strerror(error);
    }
}

class FaultSweep : public ::testing::TestWithParam<Scenario> {
protected:
    void TearDown() override { faults::Reset(); }

    // Fails the `n`th call of kind `call` with `error`. Returns false when the
    // operation has fewer such calls (it then ran to its end untouched).
    bool InjectAndCheck(Call call, int error, long n, const CleanRun& clean);
};

bool FaultSweep::InjectAndCheck(Call call, int error, long n, const CleanRun& clean) {
    const Scenario& scenario = GetParam();
    PairOnDisk pair(scenario);
    auto opened = std::make_unique<TGTA3Archive>(pair.Img(), false);
    TGTA3Archive& archive = *opened;

    std::string message;
    try {
        RunOperation(scenario, pair, archive, [&] { faults::FailNthCall(n, error, call); });
    } catch (const std::exception& failure) {
        message = failure.what();
    }
    const bool reached = faults::Fired();
    faults::Reset();
    if (!reached)
        return false;

    SCOPED_TRACE(std::string("call ") + std::to_string(n) + " failing with " +
                 std::strerror(error) + (message.empty() ? ", carried on" : ": " + message));
    const Contents now = ReadContents(pair);
    // What fails after a temporary file is made takes it away again; only a
    // name that could not be removed stays, for the next writer's sweep. A
    // compaction whose new pair has taken the old one's place may leave its
    // marker and files to the next opening.
    using Op = Scenario::Op;
    if (call != Call::Remove && scenario.op != Op::Sweep &&
        (scenario.op != Op::Compact || !message.empty())) {
        EXPECT_EQ(TemporaryLeftovers(pair), std::vector<std::string>{});
    }
    if (message.empty()) {
        // Only failures that change nothing done may pass unreported; the
        // sweep leaves what it cannot look at for the next one.
        if (scenario.op != Scenario::Op::Sweep || now != clean.before) {
            EXPECT_EQ(now, clean.after) << "a failure passed unreported";
        }
    } else {
        EXPECT_TRUE(IsMessageOf(call, error, message) || IsRebuildOverExisting(message)) << message;
        EXPECT_EQ(JudgeInterrupted(scenario, clean.before, clean.after, now), "");
        // What fails once the new directory or pair is whole is a warning.
        if (scenario.op == Op::Purge || scenario.op == Op::Rebuild || scenario.op == Op::Create ||
            scenario.op == Op::Compact || scenario.op == Op::Undo) {
            EXPECT_NE(now, clean.after) << "a whole change was reported as failed";
        }
    }
    EXPECT_EQ(TableAgreesWithDirectory(archive, DirectoryBytes(pair)), "");

    if (now != clean.after || RunsAgainAnyway(scenario))
        RunAgain(scenario, pair, archive);
    archive.Flush();
    EXPECT_EQ(ReadContents(pair), clean.after) << "running again did not give the clean result";
    EXPECT_EQ(TableAgreesWithDirectory(archive, DirectoryBytes(pair)), "");
    if (now != clean.after || RunsAgainAnyway(scenario)) {
        EXPECT_EQ(TemporaryLeftovers(pair), std::vector<std::string>{})
            << "running again left a temporary file";
    }
    opened.reset();
    TGTA3Archive nextOpening(pair.Img(), false);
    EXPECT_FALSE(JournalLeft(pair)) << "the next opening left a journal";
    if (scenario.op == Op::Compact) {
        EXPECT_EQ(ReadContents(pair), clean.after);
        EXPECT_EQ(TemporaryLeftovers(pair), std::vector<std::string>{})
            << "the next opening left a file of the compaction";
    }
    return true;
}

TEST_P(FaultSweep, EveryCallFailsCleanly) {
    const CleanRun clean = RunCleanly(GetParam());
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
            if (e == 0 && n > 1) {
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

// Opening fails at each of its calls with the open, stat or read message,
// leaves both files as they were and holds neither: the pair opens right
// afterwards. Only the sweep of leftovers fails quietly, once they stand in
// nobody's way. (Creating is the scenario NewOverAnExistingPair above.)
TEST(OpenFaults, EveryCallOfOpeningFailsCleanly) {
    const Scenario big = Scenarios()[5]; // a directory read in several pieces
    long calls = 0;
    {
        PairOnDisk pair(big);
        faults::Reset();
        TGTA3Archive archive(pair.Img(), false);
        calls = faults::CallsSoFar();
    }
    ASSERT_GE(calls, 7); // a look for a compaction's marker, the sweep, two opens, the read
                         // that tells the kind, two reads

    long quiet = 0;
    for (long n = 1; n <= calls; ++n) {
        SCOPED_TRACE("opening, call " + std::to_string(n));
        PairOnDisk pair(big);
        faults::Reset();
        faults::FailNthCall(n, EIO);
        std::string message;
        try {
            TGTA3Archive archive(pair.Img(), false);
        } catch (const std::exception& failure) {
            message = failure.what();
        }
        faults::Reset();
        quiet += message.empty();
        EXPECT_TRUE(message.empty() || message == "Cannot open file " + pair.Img() ||
                    message == "Cannot open file " + pair.Dir() || message == "Stream read error" ||
                    message == "System Error.  Code: 5.\nInput/output error")
            << message;
        EXPECT_EQ(ReadAll(pair.Img()), big.imgBytes);
        EXPECT_EQ(ReadAll(pair.Dir()), big.dirBytes);
        TGTA3Archive again(pair.Img(), false);
        EXPECT_EQ(again.Count(), static_cast<int>(big.dirBytes.size() / 32));
    }
    EXPECT_EQ(quiet, 1); // the folder's listing for the sweep
    std::printf("opening: fault points: %ld\n", calls);
}

} // namespace
