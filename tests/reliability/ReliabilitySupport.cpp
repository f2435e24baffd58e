#include "tests/reliability/ReliabilitySupport.h"

#include "archive/DirRecord.h"
#include "sorting/SortFunctions.h"

#include <cstdio>
#include <set>

namespace reliability {
namespace {

std::string Numbered(const char* format, unsigned i) {
    char name[32];
    std::snprintf(name, sizeof name, format, i);
    return name;
}

int IndexOfName(const TGTA3Archive& archive, const std::string& name) {
    for (int i = 0; i < archive.Count(); ++i)
        if (NameText(archive.GetEntry(i)) == name)
            return i;
    throw std::runtime_error("no entry named " + name);
}

// A reversed order, so the operations cannot rely on the table being in slot order.
void SortNamesDescending(TGTA3Archive& archive) {
    SortDescending = true;
    archive.Sort(CompareByName);
    SortDescending = false;
}

} // namespace

std::string SixRecords() {
    std::string bytes;
    for (unsigned i = 0; i < 6; ++i)
        bytes += Record(i, 1, Numbered("entry%u.dff", i));
    return bytes;
}

std::vector<Scenario> Scenarios() {
    using Op = Scenario::Op;
    const std::string sixSectors = Pattern(6 * SectorSize, 7);
    // More records than the directory moves in one write, so a purge takes
    // several writes and can fail or stop between them.
    std::string manyRecords;
    for (unsigned i = 0; i < 70000; ++i)
        manyRecords += Record(i % 6, 1, Numbered("e%05u", i));

    return {
        {"AddToCleanPair", SixRecords(), sixSectors, Op::Add, Pattern(5000, 3), "", {}},
        {"AddToRaggedPair",
         SixRecords() + std::string(10, 'x'),
         sixSectors + Pattern(777, 5),
         Op::Add,
         Pattern(5000, 3),
         "",
         {}},
        {"AddEmptySource", SixRecords(), sixSectors, Op::Add, "", "", {}},
        {"Rename", SixRecords(), sixSectors, Op::Rename, "", "entry2.dff", {}},
        {"PurgeTwoOfSix",
         SixRecords(),
         sixSectors,
         Op::Purge,
         "",
         "",
         {"entry1.dff", "entry4.dff"}},
        {"PurgeAcrossWrites", manyRecords, sixSectors, Op::Purge, "", "", {"e00003", "e69990"}},
    };
}

PairOnDisk::PairOnDisk(const Scenario& scenario) {
    WriteAll(Dir(), scenario.dirBytes);
    WriteAll(Img(), scenario.imgBytes);
    WriteAll(Source(), scenario.sourceBytes);
}

void RunOperation(const Scenario& scenario, const PairOnDisk& pair, TGTA3Archive& archive,
                  const std::function<void()>& beforeRun) {
    SortNamesDescending(archive);
    switch (scenario.op) {
    case Scenario::Op::Add: {
        FileStream source = FileStream::OpenReadShared(pair.Source());
        beforeRun();
        archive.AddFile(AddedName, source);
        break;
    }
    case Scenario::Op::Rename: {
        const int index = IndexOfName(archive, scenario.renamed);
        beforeRun();
        archive.RenameEntry(index, RenamedName);
        break;
    }
    case Scenario::Op::Purge:
        for (const std::string& name : scenario.toDelete)
            archive.MarkDeleted(IndexOfName(archive, name));
        beforeRun();
        archive.PurgeDeleted();
        break;
    }
}

std::vector<std::string> RecordsOf(const std::string& dirBytes) {
    std::vector<std::string> records;
    for (size_t at = 0; at + DirRecordSize <= dirBytes.size(); at += DirRecordSize)
        records.push_back(dirBytes.substr(at, DirRecordSize));
    return records;
}

std::string RecordOf(const TArchiveEntry& entry) {
    unsigned char bytes[DirRecordSize];
    EncodeRecord(entry, bytes);
    return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

std::string TableAgreesWithDirectory(const TGTA3Archive& archive, const std::string& dirBytes) {
    const std::vector<std::string> records = RecordsOf(dirBytes);
    std::set<int32_t> slots;
    for (int i = 0; i < archive.Count(); ++i) {
        const TArchiveEntry entry = archive.GetEntry(i);
        const std::string where = "entry " + std::to_string(i) + " (" +
                                  std::string(NameText(entry)) + ", slot " +
                                  std::to_string(entry.DirIndex) + ")";
        if (entry.DirIndex < 0 || static_cast<size_t>(entry.DirIndex) >= records.size())
            return where + ": slot outside the directory file";
        if (!slots.insert(entry.DirIndex).second)
            return where + ": slot used twice";
        if (records[static_cast<size_t>(entry.DirIndex)] != RecordOf(entry))
            return where + ": the slot holds another record";
        if (entry.Deleted != 0)
            return where + ": still marked";
    }
    return "";
}

} // namespace reliability
