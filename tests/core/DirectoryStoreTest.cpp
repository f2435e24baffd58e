// What every directory store promises the archive object, run over each kind
// of archive as a row: the store is reached through OpenArchiveFiles, as the
// archive object reaches it, and what it wrote is judged by opening again.
#include "archive/DirectoryStore.h"
#include "archive/DirectoryCodec.h"
#include "platform/FaultInjection.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

namespace {

struct StoreKind {
    const char* name;
    TArchiveKind kind;
    // Writes an archive of this kind at `dataPath` holding `records`, each
    // pointing at one sector of its own.
    void (*write)(const std::string& dataPath, const std::vector<TArchiveEntry>& records);
};

void WriteAsPair(const std::string& dataPath, const std::vector<TArchiveEntry>& records) {
    WritePair(dataPath, EncodeRecords(records), Pattern(records.size() * SectorSize));
}

const StoreKind Kinds[] = {
    {"Pair", TArchiveKind::Pair, WriteAsPair},
    // A directory file with a second name is rewritten where it is.
    {"PairRewrittenInPlace", TArchiveKind::Pair,
     [](const std::string& dataPath, const std::vector<TArchiveEntry>& records) {
         WriteAsPair(dataPath, records);
         const std::string dir = DirectoryFileName(dataPath);
         MakeHardLink(dir, dir + ".second-name");
     }},
};

void PrintTo(const StoreKind& kind, std::ostream* os) {
    *os << kind.name;
}

std::vector<TArchiveEntry> Records(size_t count) {
    std::vector<TArchiveEntry> records;
    for (size_t i = 0; i < count; ++i)
        records.push_back(MakeEntry(static_cast<uint32_t>(i), 1,
                                    "entry" + std::to_string(i) + ".dff", static_cast<int32_t>(i)));
    return records;
}

// The records as stored, and whether each one's DirIndex is its slot.
std::string Stored(const std::vector<TArchiveEntry>& records) {
    for (size_t i = 0; i < records.size(); ++i)
        if (records[i].DirIndex != static_cast<int32_t>(i))
            return "slot " + std::to_string(i) + " has DirIndex " +
                   std::to_string(records[i].DirIndex);
    return EncodeRecords(records);
}

class DirectoryStoreContract : public ::testing::TestWithParam<StoreKind> {
protected:
    void TearDown() override { faults::Reset(); }

    // An archive of the row's kind in `folder`, holding `records`.
    static std::string Write(const TempDir& folder, const std::vector<TArchiveEntry>& records) {
        const std::string path = folder.File("archive.img");
        GetParam().write(path, records);
        return path;
    }
    static TArchiveFiles Open(const std::string& path) {
        return OpenArchiveFiles(path, TOpenMode::Exclusive);
    }
    // What the next opening finds.
    static std::string Reloaded(const std::string& path) {
        TArchiveFiles files = OpenArchiveFiles(path, TOpenMode::Shared);
        return Stored(files.Directory->Load());
    }

    TempDir dir;
};

TEST_P(DirectoryStoreContract, LoadsTheRecordsInSlotOrder) {
    const std::vector<TArchiveEntry> records = Records(5);
    TArchiveFiles files = Open(Write(dir, records));
    EXPECT_EQ(files.Directory->Kind(), GetParam().kind);
    EXPECT_EQ(Stored(files.Directory->Load()), EncodeRecords(records));
    EXPECT_EQ(files.Directory->Length(), records.size() * DirRecordSize);
}

TEST_P(DirectoryStoreContract, WritesOneRecordInPlaceAndAppendsTheNextSlot) {
    std::vector<TArchiveEntry> records = Records(3);
    const std::string path = Write(dir, records);
    {
        TArchiveFiles files = Open(path);
        files.Directory->Load();
        files.Directory->BeginChange();
        records[1] = MakeEntry(7, 2, "renamed.txd", 1);
        files.Directory->WriteRecord(records[1]);
        records.push_back(MakeEntry(9, 1, "added.dff", 3));
        files.Directory->AppendRecord(records.back());
        files.Directory->Flush();
        EXPECT_EQ(files.Directory->Length(), 4 * DirRecordSize);
    }
    EXPECT_EQ(Reloaded(path), EncodeRecords(records));
}

TEST_P(DirectoryStoreContract, AFailedAppendLeavesTheRecordsAsTheyWere) {
    const std::vector<TArchiveEntry> records = Records(3);
    const std::string path = Write(dir, records);
    {
        TArchiveFiles files = Open(path);
        files.Directory->Load();
        files.Directory->BeginChange();
        faults::FailNthCall(1, EIO, faults::Call::Write);
        EXPECT_ANY_THROW(files.Directory->AppendRecord(MakeEntry(9, 1, "added.dff", 3)));
        faults::Reset();
    }
    EXPECT_EQ(Reloaded(path), EncodeRecords(records));
}

// A failure at any file-layer call of a whole rewrite leaves the old records
// or the new ones, each whole, for the next opening.
TEST_P(DirectoryStoreContract, ReplacesAllRecordsWholeOrNotAtAll) {
    const std::vector<TArchiveEntry> old = Records(6);
    std::vector<TArchiveEntry> kept = {old[0], old[2], old[3], old[5]};
    const std::string before = EncodeRecords(old);
    const std::string after = EncodeRecords(kept);
    for (long n = 1;; ++n) {
        SCOPED_TRACE("failing call " + std::to_string(n));
        const TempDir round;
        const std::string path = Write(round, old);
        bool fired = false;
        {
            TArchiveFiles files = Open(path);
            files.Directory->Load();
            faults::FailNthCall(n, EIO);
            try {
                files.Directory->BeginChange();
                files.Directory->ReplaceAll(kept, 1);
                files.Directory->Flush();
            } catch (const std::exception&) {
            }
            fired = faults::Fired();
            faults::Reset();
        }
        const std::string found = Reloaded(path);
        EXPECT_TRUE(found == before || found == after);
        if (!fired) {
            EXPECT_EQ(found, after);
            break;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, DirectoryStoreContract, ::testing::ValuesIn(Kinds),
                         [](const auto& test) { return std::string(test.param.name); });

} // namespace
