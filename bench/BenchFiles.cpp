#include "bench/BenchFiles.h"

#include "archive/Gta3Archive.h"
#include "archive/SingleFileFormat.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <new>
#include <stdexcept>
#include <stdlib.h>
#include <unistd.h>

namespace fs = std::filesystem;

std::string RandomEntryName(std::mt19937_64& random) {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789_";
    static const char* const extensions[] = {".dff", ".txd", ".col", ".dff", ".txd", ".ifp"};
    std::string name(3 + random() % 10, ' ');
    for (char& c : name)
        c = letters[random() % (sizeof letters - 1)];
    return name + extensions[random() % std::size(extensions)];
}

namespace {

void PutLE32(unsigned char* bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

void WriteFile(const std::string& path, const void* bytes, size_t count) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(count));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

} // namespace

std::string MakeArchive(const std::string& imgPath, uint32_t count, uint64_t seed) {
    std::mt19937_64 random(seed);
    std::vector<unsigned char> dir(size_t{count} * 32, 0);
    uint64_t sectors = 0;
    for (uint32_t i = 0; i < count; ++i) {
        unsigned char* record = dir.data() + size_t{i} * 32;
        // Mostly small models and collisions, now and then a big texture.
        const uint32_t size = random() % 8 == 0 ? 1 + random() % 1024 : 1 + random() % 64;
        PutLE32(record, static_cast<uint32_t>(sectors));
        PutLE32(record + 4, size);
        const std::string name = RandomEntryName(random);
        std::memcpy(record + 8, name.data(), std::min<size_t>(24, name.size()));
        sectors += size;
    }
    WriteFile(DirectoryFileName(imgPath), dir.data(), dir.size());
    WriteFile(imgPath, nullptr, 0);
    if (::truncate(imgPath.c_str(), static_cast<off_t>(sectors * SectorSize)) != 0)
        throw std::runtime_error("cannot size " + imgPath);
    return imgPath;
}

std::string MakeSingleFileArchive(const std::string& imgPath, uint32_t count, uint64_t seed) {
    // The pair's records, moved past the directory and its room.
    MakeArchive(imgPath, count, seed);
    std::vector<TArchiveEntry> records(count);
    {
        FileStream dir = FileStream::OpenReadShared(DirectoryFileName(imgPath));
        std::vector<unsigned char> bytes(size_t{count} * 32);
        dir.ReadExact(bytes.data(), bytes.size());
        for (uint32_t i = 0; i < count; ++i) {
            TArchiveEntry& entry = records[i];
            std::memcpy(entry.Name, bytes.data() + size_t{i} * 32 + 8, sizeof entry.Name);
            entry.Offset = uint32_t{bytes[i * 32]} | uint32_t{bytes[i * 32 + 1]} << 8 |
                           uint32_t{bytes[i * 32 + 2]} << 16 | uint32_t{bytes[i * 32 + 3]} << 24;
            entry.Size = uint32_t{bytes[i * 32 + 4]} | uint32_t{bytes[i * 32 + 5]} << 8;
            entry.DirIndex = static_cast<int32_t>(i);
        }
    }
    fs::remove(DirectoryFileName(imgPath));
    const uint64_t room = RoomFor(count);
    const uint64_t length = room + fs::file_size(imgPath);
    for (TArchiveEntry& entry : records)
        entry.Offset += static_cast<uint32_t>(room / SectorSize);
    const std::string head = EncodeSingleFileDirectory(records, room);
    WriteFile(imgPath, head.data(), head.size());
    if (::truncate(imgPath.c_str(), static_cast<off_t>(length)) != 0)
        throw std::runtime_error("cannot size " + imgPath);
    return imgPath;
}

std::string MakeFullSingleFile(const std::string& imgPath, uint32_t count) {
    const uint64_t first = (DirectoryEnd(count) + SectorSize - 1) / SectorSize;
    std::vector<TArchiveEntry> records(count);
    for (uint32_t i = 0; i < count; ++i) {
        records[i] = {};
        records[i].Offset = static_cast<uint32_t>(first + i);
        records[i].Size = 1;
        const std::string name = "e" + std::to_string(i) + ".dff";
        std::memcpy(records[i].Name, name.data(), name.size());
    }
    std::string bytes = EncodeSingleFileDirectory(records, first * SectorSize);
    bytes.resize((first + count) * SectorSize, 'x');
    WriteFile(imgPath, bytes.data(), bytes.size());
    return imgPath;
}

std::vector<std::string> MakeSourceFiles(const TBenchFolder& folder, int count, uint64_t seed) {
    std::mt19937_64 random(seed);
    std::vector<std::string> paths;
    std::vector<uint64_t> bytes(50 * 1024 / 8);
    for (int i = 0; i < count; ++i) {
        const size_t length = 1024 + random() % (49 * 1024 + 1);
        for (auto& word : bytes)
            word = random();
        paths.push_back(folder.File(std::to_string(i) + "_" + RandomEntryName(random)));
        WriteFile(paths.back(), bytes.data(), length);
    }
    return paths;
}

void CopyPair(const std::string& fromImg, const std::string& toImg) {
    fs::copy_file(DirectoryFileName(fromImg), DirectoryFileName(toImg),
                  fs::copy_options::overwrite_existing);
    WriteFile(toImg, nullptr, 0);
    fs::resize_file(toImg, fs::file_size(fromImg));
}

uint64_t ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    uint64_t total = 0, resident = 0;
    statm >> total >> resident;
    return resident * static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
}

namespace {

std::atomic<uint64_t> heapInUse{0};
std::atomic<uint64_t> heapPeak{0};

void* Counted(void* block) {
    if (!block)
        throw std::bad_alloc();
    const uint64_t now = heapInUse += malloc_usable_size(block);
    uint64_t peak = heapPeak.load();
    while (now > peak && !heapPeak.compare_exchange_weak(peak, now)) {
    }
    return block;
}

void Uncounted(void* block) noexcept {
    if (block) {
        heapInUse -= malloc_usable_size(block);
        std::free(block);
    }
}

} // namespace

uint64_t HeapInUse() {
    return heapInUse;
}

uint64_t HeapPeak() {
    return heapPeak;
}

void ResetHeapPeak() {
    heapPeak = heapInUse.load();
}

void* operator new(std::size_t size) {
    return Counted(std::malloc(size ? size : 1));
}
void* operator new[](std::size_t size) {
    return Counted(std::malloc(size ? size : 1));
}
void* operator new(std::size_t size, std::align_val_t align) {
    const auto alignment = static_cast<std::size_t>(align);
    return Counted(std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment));
}
void* operator new[](std::size_t size, std::align_val_t align) {
    return operator new(size, align);
}
void operator delete(void* block) noexcept {
    Uncounted(block);
}
void operator delete[](void* block) noexcept {
    Uncounted(block);
}
void operator delete(void* block, std::size_t) noexcept {
    Uncounted(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    Uncounted(block);
}
void operator delete(void* block, std::align_val_t) noexcept {
    Uncounted(block);
}
void operator delete[](void* block, std::align_val_t) noexcept {
    Uncounted(block);
}
void operator delete(void* block, std::size_t, std::align_val_t) noexcept {
    Uncounted(block);
}
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept {
    Uncounted(block);
}
