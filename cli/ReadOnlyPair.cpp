#include "cli/ReadOnlyPair.h"

#include "archive/Gta3Archive.h"

#include <algorithm>
#include <cstring>

namespace {

uint32_t LittleEndian32(const unsigned char* bytes) {
    return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
           uint32_t{bytes[3]} << 24;
}

// Reads the directory in large blocks rather than record by record.
std::vector<TArchiveEntry> ReadRecords(FileStream& dir, uint64_t count) {
    constexpr size_t RecordsPerBlock = 32768;
    std::vector<TArchiveEntry> entries;
    entries.reserve(count);
    std::vector<unsigned char> block(RecordsPerBlock * sizeof(TDirEntry));
    dir.Seek(0);
    while (entries.size() < count) {
        size_t records =
            static_cast<size_t>(std::min<uint64_t>(RecordsPerBlock, count - entries.size()));
        dir.ReadExact(block.data(), records * sizeof(TDirEntry));
        for (size_t i = 0; i < records; ++i) {
            const unsigned char* record = block.data() + i * sizeof(TDirEntry);
            TArchiveEntry entry{};
            entry.Offset = LittleEndian32(record);
            entry.Size = LittleEndian32(record + 4);
            std::memcpy(entry.Name, record + 8, sizeof entry.Name);
            entry.DirIndex = static_cast<int32_t>(entries.size());
            entries.push_back(entry);
        }
    }
    return entries;
}

} // namespace

ReadOnlyPair OpenReadOnly(const std::string& dataFileName) {
    FileStream img = FileStream::OpenReadShared(dataFileName);
    FileStream dir = FileStream::OpenReadShared(DirectoryFileName(dataFileName));
    uint64_t imgLength = img.Length();
    uint64_t dirLength = dir.Length();
    auto entries = ReadRecords(dir, dirLength / sizeof(TDirEntry));
    return ReadOnlyPair{std::move(img), std::move(dir), imgLength, dirLength, std::move(entries)};
}
