#include "platform/FaultInjection.h"

#include <atomic>
#include <optional>
#include <utility>

namespace faults {
namespace {

struct Armed {
    long remaining = 0;       // calls until the fault; 0 = nothing armed
    int error = 0;            // with no action: the error code to fake
    std::optional<Call> only; // count only this kind of call
    std::function<void()> action;
};

// Counted from any thread: a test may race a second one against the first.
std::atomic<long> callCount = 0;
Armed armed;
bool fired = false;
std::optional<uint64_t> fakedFreeSpace;

} // namespace

void FailNthCall(long n, int error, std::optional<Call> only) {
    armed = Armed{n, error, only, {}};
    fired = false;
}

void BeforeNthCall(long n, std::function<void()> action, std::optional<Call> only) {
    armed = Armed{n, 0, only, std::move(action)};
    fired = false;
}

void FakeFreeSpace(uint64_t bytes) {
    fakedFreeSpace = bytes;
}

std::optional<uint64_t> FakedFreeSpace() {
    return fakedFreeSpace;
}

void Reset() {
    armed = Armed{};
    fakedFreeSpace.reset();
    callCount = 0;
    fired = false;
}

bool Fired() {
    return fired;
}

long CallsSoFar() {
    return callCount;
}

int Enter(Call call) {
    ++callCount;
    if (armed.remaining <= 0 || (armed.only && *armed.only != call))
        return 0;
    if (--armed.remaining > 0)
        return 0;
    fired = true;
    if (armed.action) {
        auto action = std::move(armed.action);
        armed = Armed{};
        action();
        return 0;
    }
    int error = armed.error;
    armed = Armed{};
    return error;
}

} // namespace faults
