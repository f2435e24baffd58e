// Opening a directory file that a rewrite in place left with its journal: any
// opening shows what the journal says, a read-only one leaves the file, a
// writable one settles it.
#include "archive/DirectoryJournal.h"
#include "archive/DirectoryCodec.h"
#include "tests/core/ArchiveTestSupport.h"

namespace {

// FiveRecords() "e0".."e4"; the rewrite drops "e1", so slots 1 to 3 change.
std::string Old() {
    return FiveRecords();
}
std::string New() {
    const std::string old = Old();
    return old.substr(0, 32) + old.substr(64);
}
std::string Journal() {
    const std::string records = New();
    std::vector<TArchiveEntry> entries;
    for (size_t at = 0; at < records.size(); at += 32) {
        TArchiveEntry entry{};
        DecodeRecord(reinterpret_cast<const unsigned char*>(records.data() + at), entry);
        entries.push_back(entry);
    }
    return EncodeJournal(5, 1, entries);
}

struct JournalCase {
    const char* name;
    std::string (*bytes)(); // the directory file as the stop left it
    std::string (*holds)(); // what any opening shows
};

std::string Flipped(std::string bytes, size_t at) {
    bytes[at] = static_cast<char>(bytes[at] ^ 1);
    return bytes;
}

const JournalCase Cases[] = {
    {"StoppedRightAfterTheJournal", [] { return Old() + Journal(); }, New},
    {"StoppedWritingTheNewRecords",
     [] { return New().substr(0, 64) + Old().substr(64) + Journal(); }, New},
    {"StoppedBeforeTheCut", [] { return New() + Old().substr(128) + Journal(); }, New},
    {"TornInItsRecords", [] { return Old() + Journal().substr(0, 80); }, Old},
    {"TornBeforeItsTail", [] { return Old() + Journal().substr(0, 128); }, Old},
    {"StaleBytesInItsRecords", [] { return Old() + Flipped(Journal(), 40); }, Old},
    // A head out of its own slot is an ordinary record, and so is all after it.
    {"AHeadOutOfPlaceIsNoJournal", [] { return Old() + Record(0, 0, "x") + Journal(); },
     [] { return Old() + Record(0, 0, "x") + Journal(); }},
    {"AHeadWithMoreAfterItThanAJournalIsNoJournal",
     [] { return Old() + Journal() + Record(0, 0, "x"); },
     [] { return Old() + Journal() + Record(0, 0, "x"); }},
};

void PrintTo(const JournalCase& c, std::ostream* os) {
    *os << c.name;
}

class JournalOpenTest : public ArchiveTest, public ::testing::WithParamInterface<JournalCase> {
protected:
    std::string Shown(const TGTA3Archive& archive) {
        const auto table = archive.Table();
        for (size_t i = 0; i < table.size(); ++i)
            EXPECT_EQ(table[i].DirIndex, static_cast<int32_t>(i));
        return EncodeRecords(table);
    }
};

TEST_P(JournalOpenTest, EveryOpeningShowsWhatTheJournalSaysAndAWriterSettlesIt) {
    const std::string stopped = GetParam().bytes();
    MakePair(stopped, "");
    {
        const TGTA3Archive reader(Img(), TOpenMode::Shared);
        EXPECT_EQ(Shown(reader), GetParam().holds());
        EXPECT_EQ(reader.DirectoryLength(), GetParam().holds().size());
    }
    EXPECT_EQ(ReadAll(Dir()), stopped);
    {
        const TGTA3Archive writer(Img(), TOpenMode::Exclusive);
        EXPECT_EQ(Shown(writer), GetParam().holds());
    }
    EXPECT_EQ(ReadAll(Dir()), GetParam().holds());
}

INSTANTIATE_TEST_SUITE_P(Stops, JournalOpenTest, ::testing::ValuesIn(Cases),
                         [](const auto& test) { return std::string(test.param.name); });

} // namespace
