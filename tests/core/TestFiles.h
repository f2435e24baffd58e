// Helpers shared by the core tests: a fresh temporary folder per test and
// whole-file reads and writes.
#pragma once

#include "archive/ArchiveEntry.h"

#include <cstdint>
#include <string>
#include <string_view>

class TempDir {
public:
    TempDir();  // a new, empty folder under the system's temporary folder
    ~TempDir(); // removed with everything in it
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(std::string_view name) const { return path_ + "/" + std::string(name); }

private:
    std::string path_;
};

std::string ReadAll(const std::string& path);
void WriteAll(const std::string& path, std::string_view bytes);
uint64_t FileLength(const std::string& path);
bool Exists(const std::string& path);
// A 32-byte directory record with the given fields.
std::string Record(uint32_t offset, uint32_t size, std::string_view name);
// An entry's stored and display names, as strings that outlive the entry.
std::string NameOf(const TArchiveEntry& entry);
std::string DisplayOf(const TArchiveEntry& entry);
// `length` bytes of a pattern that differs per seed, so copies can be told apart.
std::string Pattern(size_t length, unsigned seed = 1);

#include <functional>

// Runs `body` in a forked child and returns what it returned (an exception's
// message when it threw). For faults that must not touch the test process:
// resource limits, a second holder of a file.
std::string RunInChild(const std::function<std::string()>& body);
