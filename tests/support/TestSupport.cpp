#include "tests/support/TestSupport.h"

#include "archive/DirectoryCodec.h"
#include "archive/Gta3Archive.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <sstream>
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

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteAll(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

uint64_t FileLength(const std::string& path) {
    return fs::file_size(path);
}

bool Exists(const std::string& path) {
    return fs::exists(path);
}

std::string Record(uint32_t offset, uint32_t size, std::string_view name) {
    const TArchiveEntry entry = MakeEntry(offset, size, name);
    return EncodeRecords({&entry, 1});
}

void WritePair(const std::string& dataPath, std::string_view dirBytes, std::string_view imgBytes) {
    WriteAll(dataPath, imgBytes);
    WriteAll(DirectoryFileName(dataPath), dirBytes);
}

std::string NameOf(const TArchiveEntry& entry) {
    return std::string(NameText(entry));
}

std::string DisplayOf(const TArchiveEntry& entry) {
    return std::string(DisplayName(entry));
}

std::string Pattern(size_t length, unsigned seed) {
    std::string bytes(length, '\0');
    uint32_t state = seed * 2654435761u + 1;
    for (auto& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
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

std::string V2Record(uint32_t offset, uint32_t size, std::string_view name) {
    std::string record = Record(offset, size, name);
    record[6] = record[7] = '\0'; // the second size field: 0, as in the game's files
    return record;
}

std::string SingleFile(const std::string& records, const std::string& data, uint32_t dataSector) {
    std::string bytes = "VER2";
    const uint32_t count = static_cast<uint32_t>(records.size() / 32);
    for (size_t b = 0; b < 4; ++b)
        bytes += static_cast<char>(count >> (8 * b));
    bytes += records;
    bytes.resize(uint64_t{dataSector} * 2048, '\0');
    return bytes + data;
}
