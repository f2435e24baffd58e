// Archives and source files made on disk for the benchmarks.
#pragma once

#include "tests/support/TestSupport.h"

#include <cstdint>
#include <random>
#include <string>
#include <vector>

// A new folder under the system's temporary folder, removed with its contents:
// the tests' own.
using TBenchFolder = TempDir;

// A name such as "abcdefgh.dff": 3 to 12 lower-case letters, digits or '_',
// with one of the extensions found in game archives.
std::string RandomEntryName(std::mt19937_64& random);

// Writes a pair of `count` records with random names and sizes of 1 to 1024
// sectors laid end to end; the data file gets its full length but no data
// (sparse). Returns the data file's path.
std::string MakeArchive(const std::string& imgPath, uint32_t count, uint64_t seed);

// The same archive as one single file ("VER2"): the header and the records,
// the spare room a new one has (RoomFor), then the data (sparse).
std::string MakeSingleFileArchive(const std::string& imgPath, uint32_t count, uint64_t seed);
// A single file of `count` one-sector entries whose records fill everything
// before their data: the next record added has to make room.
std::string MakeFullSingleFile(const std::string& imgPath, uint32_t count);

// Writes `count` files of 1 to 50 KiB of random bytes; returns their paths.
std::vector<std::string> MakeSourceFiles(const TBenchFolder& folder, int count, uint64_t seed);

// Copies a pair made by MakeArchive: the directory file byte for byte, the data
// file as an equally long sparse file (its content is never read).
void CopyPair(const std::string& fromImg, const std::string& toImg);

// The process's resident memory in bytes.
uint64_t ResidentBytes();

// Bytes allocated with new and not yet freed, and the most there were since
// the last ResetHeapPeak: the benchmarks count every allocation.
uint64_t HeapInUse();
uint64_t HeapPeak();
void ResetHeapPeak();
