#include "tests/support/TestSupport.h"

#include "archive/DirectoryCodec.h"
#include "archive/Gta3Archive.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

std::filesystem::path HostPath(const std::string& path) {
    // Paths are UTF-8 inside the program; a narrow path on Windows would be
    // read in the system's code page.
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(HostPath(path), std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteAll(const std::string& path, std::string_view bytes) {
    std::ofstream out(HostPath(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

uint64_t FileLength(const std::string& path) {
    return fs::file_size(HostPath(path));
}

bool Exists(const std::string& path) {
    return fs::exists(HostPath(path));
}

void MakeHardLink(const std::string& existing, const std::string& added) {
    fs::create_hard_link(HostPath(existing), HostPath(added));
}

bool MakeSymbolicLink(const std::string& target, const std::string& link, bool folder) {
    std::error_code error;
    if (folder)
        fs::create_directory_symlink(HostPath(target), HostPath(link), error);
    else
        fs::create_symlink(HostPath(target), HostPath(link), error);
    return !error;
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
