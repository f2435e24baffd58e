// Any bytes as a directory file over a small data file: open it and run every
// operation of the table on it, checking the table against the file after each.
//
// Input: byte 0 sizes the data file (low 3 bits: whole sectors; bit 3: a ragged
// end), byte 1 seeds the choices (which entries to mark, rename, extract), the
// rest is the directory file.
#include "archive/ArchiveCheck.h"
#include "archive/ArchiveRebuild.h"
#include "archive/DirectoryCodec.h"
#include "archive/Gta3Archive.h"
#include "archive/StreamingOrder.h"
#include "fuzz/FuzzCheck.h"
#include "platform/Errors.h"
#include "sorting/SortFunctions.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

namespace {

void WriteFile(const std::string& path, const void* bytes, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(size));
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string NameOf(const TArchiveEntry& entry) {
    return std::string(NameText(entry));
}

unsigned char FoldCase(unsigned char c) {
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 32) : c;
}

// The list's type-ahead: the first row whose stored, untrimmed name starts
// with `prefix`, letters a to z folded.
int FindPrefix(const TGTA3Archive& archive, std::string_view prefix) {
    for (int row = 0; row < archive.Count(); ++row) {
        const TArchiveEntry entry = archive.GetEntry(row);
        const std::string_view name = NameText(entry);
        if (name.size() < prefix.size())
            continue;
        bool match = true;
        for (size_t i = 0; i < prefix.size() && match; ++i)
            match = FoldCase(static_cast<unsigned char>(name[i])) ==
                    FoldCase(static_cast<unsigned char>(prefix[i]));
        if (match)
            return row;
    }
    return -1;
}

// The table is in slot order and each entry's record sits at its slot in the file.
void CheckTable(const TGTA3Archive& archive, const std::string& dir) {
    FUZZ_CHECK(static_cast<size_t>(archive.Count()) == dir.size() / DirRecordSize,
               "count differs from the records in the file");
    for (int i = 0; i < archive.Count(); ++i) {
        const TArchiveEntry entry = archive.GetEntry(i);
        FUZZ_CHECK(entry.DirIndex == i, "not in slot order");
        unsigned char record[DirRecordSize];
        EncodeRecord(entry, record);
        FUZZ_CHECK(dir.compare(static_cast<size_t>(entry.DirIndex) * DirRecordSize, DirRecordSize,
                               reinterpret_cast<const char*>(record), DirRecordSize) == 0,
                   "slot holds another record");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const std::string folder = FuzzScratchFolder();
    const std::string img = folder + "/a.img";
    const std::string dirPath = folder + "/a.dir";
    const std::string out = folder + "/out.bin";
    const unsigned seed = data[1];

    std::string imgBytes((data[0] & 7) * SectorSize + (data[0] & 8 ? 1001 : 0), '\0');
    for (size_t i = 0; i < imgBytes.size(); ++i)
        imgBytes[i] = static_cast<char>(i * 131 + (i >> 11));
    WriteFile(img, imgBytes.data(), imgBytes.size());
    WriteFile(dirPath, data + 2, size - 2);

    TGTA3Archive archive(img, false);
    // Opening settles a journal the bytes may hold: the file is then the table.
    const std::string dirBytes = ReadFile(dirPath);
    CheckTable(archive, dirBytes);

    const auto table = archive.Table();
    for (TCompareFunc order : {CompareByName, CompareByType, CompareBySize, CompareByDirIndex}) {
        for (bool descending : {false, true}) {
            SortDescending = descending;
            const std::vector<uint32_t> rows = SortedSlots(table, order, descending);
            std::vector<bool> seen(rows.size());
            for (size_t row = 0; row < rows.size(); ++row) {
                FUZZ_CHECK(rows[row] < table.size() && !seen[rows[row]], "not a permutation");
                seen[rows[row]] = true;
                if (row > 0) {
                    const int32_t c = order(table[rows[row - 1]], table[rows[row]]);
                    FUZZ_CHECK(c < 0 || (c == 0 && rows[row - 1] < rows[row]), "unsorted");
                }
            }
        }
    }
    SortDescending = false;
    CheckTable(archive, dirBytes);

    // The check streams its findings; a copy with the same records reads the
    // same data, or is refused when a record reaches past the data file.
    uint64_t findings = 0;
    const TCheckSummary summary = CheckArchive(archive, [&](const TCheckFinding&) { ++findings; });
    FUZZ_CHECK(summary.Problems == findings && summary.DeadBytes <= imgBytes.size(), "check");
    const std::string rebuilt = folder + "/new.img";
    bool refused = false;
    try {
        RebuildArchive(archive, rebuilt);
    } catch (const Exception&) {
        refused = true;
    }
    if (!refused) {
        // One copy of each range that records carry, laid out in slot order.
        const std::string copy = ReadFile(rebuilt);
        std::set<std::pair<uint32_t, uint32_t>> ranges;
        uint64_t covered = 0;
        for (const TArchiveEntry& entry : archive.Table())
            if (entry.Size > 0 && ranges.insert({entry.Offset, entry.Size}).second)
                covered += uint64_t{entry.Size} * SectorSize;
        FUZZ_CHECK(copy.size() == covered, "the copy is not one copy of each range");
        TGTA3Archive compact(rebuilt, TOpenMode::Shared);
        // Only a record sharing an earlier record's copy, or the one after
        // it, can be out of streaming order.
        std::map<std::pair<uint32_t, uint32_t>, int32_t> firstOfRange;
        for (const TArchiveEntry& entry : compact.Table())
            if (auto [at, added] =
                    firstOfRange.insert({{entry.Offset, entry.Size}, entry.DirIndex});
                !added && entry.DirIndex < at->second)
                at->second = entry.DirIndex;
        const auto shares = [&](const TArchiveEntry& entry) {
            return firstOfRange.at({entry.Offset, entry.Size}) != entry.DirIndex;
        };
        ForEachStreamingBreak(compact.Table(), FirstGameStreaming,
                              [&](const TArchiveEntry& entry, const TArchiveEntry& before) {
                                  FUZZ_CHECK(shares(entry) || shares(before),
                                             "the copy is out of streaming order");
                              });
        FUZZ_CHECK(compact.Count() == archive.Count(), "the copy lost records");
        for (int slot = 0; slot < compact.Count(); ++slot) {
            const TArchiveEntry entry = compact.GetEntry(slot);
            const TArchiveEntry* old = &archive.Table()[static_cast<size_t>(slot)];
            FUZZ_CHECK(old->Size == entry.Size && NameOf(*old) == NameOf(entry),
                       "a record of the copy differs");
            FUZZ_CHECK(entry.Size == 0 ||
                           copy.compare(DataBegin(entry), DataEnd(entry) - DataBegin(entry),
                                        imgBytes, DataBegin(*old),
                                        DataEnd(*old) - DataBegin(*old)) == 0,
                       "a record of the copy reads other data");
        }
        std::remove(rebuilt.c_str());
        std::remove(DirectoryFileName(rebuilt).c_str());
    }

    if (archive.Count() > 0) {
        const int target = static_cast<int>(seed % static_cast<unsigned>(archive.Count()));
        const TArchiveEntry entry = archive.GetEntry(target);
        const std::string_view name = NameText(entry);
        const int found = FindPrefix(archive, name.substr(0, seed % 4));
        FUZZ_CHECK(found >= 0 && found <= target, "type-ahead missed a row");

        // Extraction copies whole sectors or fails with the read error.
        const uint64_t begin = uint64_t{entry.Offset} * SectorSize;
        const uint64_t length = uint64_t{entry.Size} * SectorSize;
        bool failed = false;
        {
            FileStream dest = FileStream::CreateHeld(out);
            try {
                archive.ExtractEntry(target, dest);
            } catch (const EReadError&) {
                failed = true;
            }
        }
        const bool inside = length == 0 || begin + length <= imgBytes.size();
        FUZZ_CHECK(failed != inside, "extraction outcome");
        if (inside)
            FUZZ_CHECK(ReadFile(out) == (length ? imgBytes.substr(begin, length) : ""),
                       "extracted bytes");

        archive.RenameEntry(target, std::string_view(reinterpret_cast<const char*>(data), size));
        CheckTable(archive, ReadFile(dirPath));
    }

    // Adding appends whole sectors after the last one, even to a ragged data file.
    WriteFile(out, data, size);
    {
        FileStream source = FileStream::OpenReadShared(out);
        archive.AddFile("added", source);
    }
    const TArchiveEntry added = archive.GetEntry(archive.Count() - 1);
    FUZZ_CHECK(uint64_t{added.Offset} * SectorSize >= imgBytes.size(), "added over old data");
    {
        FileStream dest = FileStream::CreateHeld(folder + "/back.bin");
        archive.ExtractEntry(archive.Count() - 1, dest);
    }
    const std::string back = ReadFile(folder + "/back.bin");
    FUZZ_CHECK(back.size() == uint64_t{added.Size} * SectorSize &&
                   back.compare(0, size, reinterpret_cast<const char*>(data), size) == 0,
               "the added entry does not read back");
    CheckTable(archive, ReadFile(dirPath));

    int marked = 0;
    for (int i = 0; i < archive.Count(); ++i) {
        if ((seed >> (i % 8)) & 1) {
            archive.MarkDeleted(i);
            ++marked;
        }
    }
    const int before = archive.Count();
    archive.PurgeDeleted();
    FUZZ_CHECK(archive.Count() == before - marked, "purge count");
    CheckTable(archive, ReadFile(dirPath));
    return 0;
}
