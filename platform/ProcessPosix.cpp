#include "platform/Process.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <sys/random.h>
#include <sys/resource.h>
#include <unistd.h>

long ProcessNumber() {
    return static_cast<long>(::getpid());
}

bool ProcessRuns(long pid) {
    // Signal 0 only asks; another user's process answers "not permitted".
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

bool FillRandom(void* buffer, size_t size) {
    return ::getrandom(buffer, size, 0) == static_cast<ssize_t>(size);
}

void LowerThreadPriority() noexcept {
    // Linux keeps a nice value per thread.
    constexpr int Niceness = 10;
    (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), Niceness);
}

bool StandardErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

void AnswerInParentConsole() {}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    return {argv + std::min(argc, 1), argv + argc};
}
