#include "archive/DirectoryCodec.h"

#include "platform/Errors.h"
#include "platform/LargeMemory.h"

#include <algorithm>
#include <cstring>

namespace {

// Records moved per read or write when the whole directory is read or written.
constexpr size_t RecordsPerChunk = 1 << 16;

} // namespace

void DecodeRecord(const unsigned char* record, TArchiveEntry& entry) {
    entry.Offset = LoadLE32(record);
    entry.Size = LoadLE32(record + 4);
    std::memcpy(entry.Name, record + 8, sizeof entry.Name);
}

void EncodeRecord(const TArchiveEntry& entry, unsigned char* record) {
    StoreLE32(record, entry.Offset);
    StoreLE32(record + 4, entry.Size);
    std::memcpy(record + 8, entry.Name, sizeof entry.Name);
}

void SetName(char (&field)[24], std::string_view name) {
    std::memset(field, 0, sizeof field);
    std::memcpy(field, name.data(), std::min(name.size(), sizeof field));
}

TArchiveEntry MakeEntry(uint32_t offset, uint32_t size, std::string_view name, int32_t slot) {
    TArchiveEntry entry{};
    entry.Offset = offset;
    entry.Size = size;
    SetName(entry.Name, name);
    entry.DirIndex = slot;
    return entry;
}

std::vector<TArchiveEntry> ReadDirectory(FileStream& dir) {
    const uint64_t records = dir.Length() / DirRecordSize;
    if (records > MaxRecords)
        throw EFOpenError(dir.Path(), "holds " + std::to_string(records) +
                                          " records, more than the " + std::to_string(MaxRecords) +
                                          " an archive can hold");
    std::vector<TArchiveEntry> entries;
    // One more than read, so that adding the next entry does not move the table.
    entries.reserve(static_cast<size_t>(records) + 1);
    PreferLargePages(entries);
    std::vector<unsigned char> chunk(std::min<uint64_t>(records, RecordsPerChunk) * DirRecordSize);
    dir.Seek(0);
    for (uint64_t done = 0; done < records;) {
        const size_t count =
            static_cast<size_t>(std::min<uint64_t>(records - done, RecordsPerChunk));
        dir.ReadExact(chunk.data(), count * DirRecordSize);
        for (size_t i = 0; i < count; ++i) {
            TArchiveEntry entry{};
            DecodeRecord(chunk.data() + i * DirRecordSize, entry);
            entry.DirIndex = static_cast<int32_t>(done + i);
            entries.push_back(entry);
        }
        done += count;
    }
    return entries;
}

void WriteRecords(FileStream& dir, uint64_t firstSlot, std::span<const TArchiveEntry> entries) {
    std::vector<unsigned char> chunk(std::min(entries.size(), RecordsPerChunk) * DirRecordSize);
    for (size_t done = 0; done < entries.size();) {
        const size_t count = std::min(entries.size() - done, RecordsPerChunk);
        for (size_t i = 0; i < count; ++i)
            EncodeRecord(entries[done + i], chunk.data() + i * DirRecordSize);
        dir.Seek((firstSlot + done) * DirRecordSize);
        dir.Write(chunk.data(), count * DirRecordSize);
        done += count;
    }
}

std::string EncodeRecords(std::span<const TArchiveEntry> entries) {
    std::string bytes(entries.size() * DirRecordSize, '\0');
    for (size_t i = 0; i < entries.size(); ++i)
        EncodeRecord(entries[i],
                     reinterpret_cast<unsigned char*>(bytes.data()) + i * DirRecordSize);
    return bytes;
}
