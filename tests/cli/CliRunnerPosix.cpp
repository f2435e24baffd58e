// Running pelkon-cli and holding a file, with POSIX calls; CliRunnerWin32.cpp
// has the Windows twins.
#include "tests/cli/CliRunner.h"

#include "tests/support/TestSupport.h"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string ReadBack(FILE* file) {
    std::string text;
    std::rewind(file);
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, got);
    return text;
}

} // namespace

CliResult RunCli(const std::vector<std::string>& args, const std::string& workDir,
                 const CliOptions& options) {
    // Output goes to unnamed temporary files, so a large listing cannot fill a
    // pipe that nobody reads yet.
    FILE* out = std::tmpfile();
    FILE* err = std::tmpfile();
    if (!out || !err)
        throw std::runtime_error("tmpfile failed");
    std::vector<char*> argv;
    std::string program = PELKON_CLI_PATH;
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (std::string& arg : copies)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    pid_t child = fork();
    if (child < 0)
        throw std::runtime_error("fork failed");
    if (child == 0) {
        if (chdir(workDir.c_str()) != 0)
            _exit(126);
        const int output = options.outputFile.empty()
                               ? fileno(out)
                               : ::open(options.outputFile.c_str(), O_WRONLY | O_CLOEXEC);
        dup2(output, STDOUT_FILENO);
        dup2(fileno(err), STDERR_FILENO);
        const auto limit = [](int resource, uint64_t value) {
            struct rlimit capped {
                value, value
            };
            if (value > 0 && setrlimit(resource, &capped) != 0)
                _exit(125);
        };
        signal(SIGXFSZ, SIG_IGN);
        limit(RLIMIT_FSIZE, options.fileSizeLimit);
        limit(RLIMIT_AS, options.memoryLimit);
        if (options.asNobody && !BecomeNobody())
            _exit(124);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int wstatus = 0;
    waitpid(child, &wstatus, 0);
    CliResult result;
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    result.out = ReadBack(out);
    result.err = ReadBack(err);
    std::fclose(out);
    std::fclose(err);
    return result;
}

HeldFile::HeldFile(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_CLOEXEC)) {
    if (fd_ < 0 || flock(fd_, LOCK_EX | LOCK_NB) != 0)
        throw std::runtime_error("cannot hold " + path);
}

HeldFile::~HeldFile() {
    ::close(fd_);
}
