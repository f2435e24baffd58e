#include "archive/SingleFileFormat.h"

#include "archive/DirectoryCodec.h"
#include "platform/Errors.h"
#include "platform/LargeMemory.h"

#include <algorithm>
#include <cstring>

namespace {

// Records decoded per read.
constexpr uint64_t RecordsPerChunk = 1 << 16;

uint16_t LoadLE16(const unsigned char* bytes) {
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}
void StoreLE16(unsigned char* bytes, uint32_t value) {
    bytes[0] = static_cast<unsigned char>(value);
    bytes[1] = static_cast<unsigned char>(value >> 8);
}

constexpr uint64_t RoundUpToSector(uint64_t bytes) {
    return (bytes + SectorSize - 1) / SectorSize * SectorSize;
}

} // namespace

bool HasSingleFileSignature(std::string_view firstBytes) {
    return firstBytes.starts_with(SingleFileSignature);
}

void DecodeSingleFileRecord(const unsigned char* record, TArchiveEntry& entry) {
    entry.Offset = LoadLE32(record);
    entry.Size = LoadLE16(record + 4);
    entry.SizeInArchive = LoadLE16(record + 6);
    std::memcpy(entry.Name, record + 8, sizeof entry.Name);
}

void EncodeSingleFileRecord(const TArchiveEntry& entry, unsigned char* record) {
    CheckSingleFileSize(NameText(entry), entry.Size);
    StoreLE32(record, entry.Offset);
    StoreLE16(record + 4, entry.Size);
    StoreLE16(record + 6, entry.SizeInArchive);
    std::memcpy(record + 8, entry.Name, sizeof entry.Name);
}

void CheckSingleFileSize(std::string_view name, uint64_t sectors) {
    if (sectors > MaxSingleFileSectors)
        throw Exception("Cannot store " + std::string(name) + ": it takes " +
                        std::to_string(sectors) +
                        " sectors, and an entry of a single-file archive holds at most 65535 "
                        "sectors (128 MiB less 2 KiB)");
}

TSingleFileDirectory ReadSingleFileDirectory(FileStream& file) {
    return ReadSingleFileDirectory(file, 0, {});
}

TSingleFileDirectory ReadSingleFileDirectory(FileStream& file, uint64_t patchAt,
                                             std::string_view patch) {
    // Reads `count` bytes at `at` as they stand once the patch is written.
    const auto read = [&](uint64_t at, unsigned char* bytes, size_t count) {
        file.Seek(at);
        file.ReadExact(bytes, count);
        const uint64_t begin = std::max(at, patchAt);
        const uint64_t end = std::min(at + count, patchAt + patch.size());
        if (begin < end)
            std::memcpy(bytes + (begin - at), patch.data() + (begin - patchAt),
                        static_cast<size_t>(end - begin));
    };
    TSingleFileDirectory found;
    const uint64_t length = file.Length();
    if (length < SingleFileHeaderSize) {
        found.HeaderCut = true;
        return found;
    }
    unsigned char header[SingleFileHeaderSize];
    read(0, header, sizeof header);
    found.CountedRecords = LoadLE32(header + 4);
    // The count is not trusted: only the records the file holds are read.
    const uint64_t records =
        std::min(found.CountedRecords, (length - SingleFileHeaderSize) / DirRecordSize);
    if (records > MaxRecords)
        throw EFOpenError(file.Path(), "holds " + std::to_string(records) +
                                           " records, more than the " + std::to_string(MaxRecords) +
                                           " an archive can hold");
    // One more than read, so that adding the next entry does not move the table.
    found.Records.reserve(static_cast<size_t>(records) + 1);
    PreferLargePages(found.Records);
    std::vector<unsigned char> chunk(std::min(records, RecordsPerChunk) * DirRecordSize);
    for (uint64_t done = 0; done < records;) {
        const size_t count = static_cast<size_t>(std::min(records - done, RecordsPerChunk));
        read(RecordAt(done), chunk.data(), count * DirRecordSize);
        for (size_t i = 0; i < count; ++i) {
            TArchiveEntry entry{};
            DecodeSingleFileRecord(chunk.data() + i * DirRecordSize, entry);
            entry.DirIndex = static_cast<int32_t>(done + i);
            found.Records.push_back(entry);
        }
        done += count;
    }
    return found;
}

std::string EncodeSingleFileDirectory(std::span<const TArchiveEntry> records, uint64_t length) {
    std::string bytes(std::max(length, DirectoryEnd(records.size())), '\0');
    auto* out = reinterpret_cast<unsigned char*>(bytes.data());
    std::memcpy(out, SingleFileSignature.data(), SingleFileSignature.size());
    StoreLE32(out + 4, static_cast<uint32_t>(records.size()));
    for (size_t i = 0; i < records.size(); ++i)
        EncodeSingleFileRecord(records[i], out + RecordAt(i));
    return bytes;
}

uint64_t RoomFor(uint64_t records) {
    const uint64_t spare = std::max<uint64_t>(512, records / 4);
    return RoundUpToSector(DirectoryEnd(records + spare));
}
