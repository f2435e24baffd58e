#include "archive/DirectoryJournal.h"

#include "archive/DirectoryCodec.h"
#include "platform/Checksum.h"
#include "platform/Errors.h"

#include <cstring>
#include <string_view>

namespace {

// 20 and 16 bytes, each beginning with a zero byte.
constexpr std::string_view HeadMagic{"\0pelkon journal head", 20};
constexpr std::string_view TailMagic{"\0pelkon jrnl end", 16};
static_assert(HeadMagic.size() + 4 == sizeof(TArchiveEntry::Name));
static_assert(TailMagic.size() + 8 == sizeof(TArchiveEntry::Name));

unsigned char* NameBytes(TArchiveEntry& record) {
    return reinterpret_cast<unsigned char*>(record.Name);
}
const unsigned char* NameBytes(const TArchiveEntry& record) {
    return reinterpret_cast<const unsigned char*>(record.Name);
}

bool Begins(const TArchiveEntry& record, std::string_view magic) {
    return std::memcmp(record.Name, magic.data(), magic.size()) == 0;
}

// Head and tail carry M and N in Offset and Size; the rest is in their names.
TArchiveEntry Marker(std::string_view magic, uint64_t oldCount, uint64_t newCount) {
    TArchiveEntry record{};
    record.Offset = static_cast<uint32_t>(oldCount);
    record.Size = static_cast<uint32_t>(newCount);
    std::memcpy(record.Name, magic.data(), magic.size());
    return record;
}

// Whether the records from the head on are the journal it begins, whole.
bool IsComplete(std::span<const TArchiveEntry> journal, const TDirectoryJournal& found) {
    const TArchiveEntry& head = journal.front();
    if (journal.size() != found.NewCount - found.FirstChanged + 2)
        return false;
    const TArchiveEntry& tail = journal.back();
    if (!Begins(tail, TailMagic) || tail.Offset != head.Offset || tail.Size != head.Size)
        return false;
    std::string bytes = EncodeRecords(journal);
    bytes.resize(bytes.size() - 8); // the checksum itself
    uint64_t stored = 0;
    for (size_t i = 0; i < 8; ++i)
        stored |= uint64_t{NameBytes(tail)[TailMagic.size() + i]} << (8 * i);
    return stored == Checksum64(bytes);
}

} // namespace

std::string EncodeJournal(uint64_t oldCount, uint64_t firstChanged,
                          std::span<const TArchiveEntry> records) {
    const uint64_t newCount = records.size();
    TArchiveEntry head = Marker(HeadMagic, oldCount, newCount);
    StoreLE32(NameBytes(head) + HeadMagic.size(), static_cast<uint32_t>(firstChanged));
    std::string bytes = EncodeRecords({&head, 1});
    bytes += EncodeRecords(records.subspan(firstChanged));
    const TArchiveEntry tail = Marker(TailMagic, oldCount, newCount);
    bytes += EncodeRecords({&tail, 1}).substr(0, DirRecordSize - 8);
    const uint64_t checksum = Checksum64(bytes);
    for (size_t i = 0; i < 8; ++i)
        bytes += static_cast<char>(checksum >> (8 * i));
    return bytes;
}

std::optional<TDirectoryJournal> FindJournal(std::span<const TArchiveEntry> records) {
    for (size_t slot = 0; slot < records.size(); ++slot) {
        const TArchiveEntry& head = records[slot];
        if (head.Offset != slot || !Begins(head, HeadMagic))
            continue;
        TDirectoryJournal found{slot, head.Size, LoadLE32(NameBytes(head) + HeadMagic.size()),
                                false};
        // A head is followed by no more than its journal, so a record that
        // merely looks like one cannot cut a directory short.
        if (found.NewCount > found.OldCount || found.FirstChanged > found.NewCount ||
            records.size() - slot > found.NewCount - found.FirstChanged + 2)
            continue;
        found.Complete = IsComplete(records.subspan(slot), found);
        return found;
    }
    return std::nullopt;
}

void ResolveJournal(std::vector<TArchiveEntry>& records, const TDirectoryJournal& journal) {
    if (!journal.Complete) {
        records.resize(journal.OldCount);
        return;
    }
    const auto changed = records.begin() + static_cast<ptrdiff_t>(journal.OldCount + 1);
    std::move(changed, changed + static_cast<ptrdiff_t>(journal.NewCount - journal.FirstChanged),
              records.begin() + static_cast<ptrdiff_t>(journal.FirstChanged));
    records.resize(journal.NewCount);
    for (size_t slot = journal.FirstChanged; slot < records.size(); ++slot)
        records[slot].DirIndex = static_cast<int32_t>(slot);
}

void SettleJournal(FileStream& dir, const TDirectoryJournal& journal,
                   std::span<const TArchiveEntry> resolved) {
    if (journal.Complete) {
        // Every slot written lies before the head: the journal stays whole
        // until the file is cut, so a stop anywhere here is settled again.
        WriteRecords(dir, journal.FirstChanged, resolved.subspan(journal.FirstChanged));
        dir.Flush();
    }
    dir.SetLength(resolved.size() * DirRecordSize);
    dir.Flush();
}

std::string RewriteDirectoryInPlace(FileStream& dir, uint64_t firstChanged,
                                    std::span<const TArchiveEntry> records) {
    const uint64_t oldLength = dir.Length();
    const uint64_t oldCount = oldLength / DirRecordSize;
    const uint64_t journalAt = oldCount * DirRecordSize;
    if (oldCount + 2 + records.size() - firstChanged > MaxRecords)
        throw Exception(dir.Path() + " is too large to be rewritten in place");
    // A trailing piece shorter than a record is no record; it is put back
    // only when the journal is taken back.
    std::string piece(oldLength - journalAt, '\0');
    if (!piece.empty()) {
        dir.Seek(journalAt);
        dir.ReadExact(piece.data(), piece.size());
    }
    const std::string journal = EncodeJournal(oldCount, firstChanged, records);
    bool written = false;
    try {
        dir.Seek(journalAt);
        dir.Write(journal.data(), journal.size());
        written = true;
        dir.Flush();
    } catch (const Exception&) {
        bool takenBack = false;
        try {
            dir.SetLength(journalAt);
            takenBack = true;
            dir.Seek(journalAt);
            dir.Write(piece.data(), piece.size());
        } catch (const Exception&) {
        }
        // A whole journal that could not be taken back stands: the rewrite
        // is whole and goes on. Otherwise the old records are what counts.
        if (takenBack || !written)
            throw;
    }
    try {
        SettleJournal(dir, {oldCount, records.size(), firstChanged, true}, records);
    } catch (const EFileError& error) {
        return error.Reason();
    }
    return {};
}
