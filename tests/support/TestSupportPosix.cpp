// The parts of the test support that use POSIX: the temporary folder, child
// processes and a second user. TestSupportWin32.cpp has the Windows twins.
#include "tests/support/TestSupport.h"

#include <filesystem>
#include <grp.h>
#include <stdexcept>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "pelkon-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

long OtherRunningProcess() {
    return static_cast<long>(getppid());
}

std::string RunInChild(const std::function<std::string()>& body) {
    int fds[2];
    if (pipe(fds) != 0)
        throw std::runtime_error("pipe failed");
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        std::string result;
        try {
            result = body();
        } catch (const std::exception& error) {
            result = error.what();
        }
        (void)!write(fds[1], result.data(), result.size());
        _exit(0);
    }
    close(fds[1]);
    std::string result;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0)
        result.append(buffer, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return result;
}

bool BecomeNobody() {
    constexpr uid_t Nobody = 65534;
    return geteuid() == 0 && setgroups(0, nullptr) == 0 && setresgid(Nobody, Nobody, Nobody) == 0 &&
           setresuid(Nobody, Nobody, Nobody) == 0;
}

std::string AsUnprivilegedUser(const std::function<std::string()>& body) {
    return RunInChild([&] {
        if (geteuid() == 0 && !BecomeNobody())
            return std::string("cannot become an unprivileged user");
        return body();
    });
}

void GiveToUnprivilegedUser(const std::string& path) {
    if (geteuid() == 0 && chown(path.c_str(), 65534, 65534) != 0)
        throw std::runtime_error("cannot hand " + path + " to nobody");
}

bool RunsUnderWine() {
    return false;
}
