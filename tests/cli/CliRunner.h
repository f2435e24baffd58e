// Runs the built pelkon-cli as a child process and gives back what it printed
// and its exit status, plus helpers to lay out archive pairs byte by byte.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct CliResult {
    int status; // exit status, or 128 + signal number
    std::string out;
    std::string err;
};

// On Windows only outputFile is taken; a test that needs the others skips there.
struct CliOptions {
    // Above 0: caps the size of every file the program writes (RLIMIT_FSIZE,
    // with SIGXFSZ ignored), so that writing past it fails as a full disk would.
    uint64_t fileSizeLimit = 0;
    // Above 0: caps the program's memory (RLIMIT_AS).
    uint64_t memoryLimit = 0;
    // Runs the program as the unprivileged user "nobody".
    bool asNobody = false;
    // Not empty: standard output goes to this file (e.g. /dev/full).
    std::string outputFile;
};

// Runs pelkon-cli with `args` in the folder `workDir`.
CliResult RunCli(const std::vector<std::string>& args, const std::string& workDir,
                 const CliOptions& options = {});

// Writes the pair `dataFile` / its .dir with the given directory bytes and a
// data file of `sectors` sectors of a recognisable pattern.
void WritePair(const std::string& dataFile, std::string_view directory, uint32_t sectors);

// The pair's directory file path for a data file path ending in ".img".
std::string DirOf(const std::string& dataFile);

// Names of the files in a folder, sorted.
std::vector<std::string> FolderContents(const std::string& folder);

// Holds a file the way the file layer does (flock, exclusive; on Windows a
// handle that shares nothing) until destroyed.
class HeldFile {
public:
    explicit HeldFile(const std::string& path);
    ~HeldFile();
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

private:
#ifdef _WIN32
    void* handle_;
#else
    int fd_;
#endif
};
