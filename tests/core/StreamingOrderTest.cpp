// The streaming rule of the first game over the layouts that edits leave: which
// records the game reads wrongly, and where the chain breaks.
#include "archive/StreamingOrder.h"
#include "archive/DirectoryCodec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Record {
    uint32_t offset;
    uint32_t size;
    std::string name;
};

struct StreamingCase {
    const char* title;
    std::vector<Record> records; // in slot order
    // (slot, slot of the record it should follow) for each record read wrongly.
    std::vector<std::pair<int32_t, int32_t>> breaks;
};

void PrintTo(const StreamingCase& c, std::ostream* os) {
    *os << c.title;
}

class StreamingRule : public ::testing::TestWithParam<StreamingCase> {};

TEST_P(StreamingRule, FindsEveryRecordTheGameReadsWrongly) {
    const StreamingCase& c = GetParam();
    std::vector<TArchiveEntry> entries;
    for (const Record& record : c.records)
        entries.push_back(MakeEntry(record.offset, record.size, record.name,
                                    static_cast<int32_t>(entries.size())));
    std::vector<std::pair<int32_t, int32_t>> found;
    ForEachStreamingBreak(entries, FirstGameStreaming,
                          [&](const TArchiveEntry& entry, const TArchiveEntry& before) {
                              found.emplace_back(entry.DirIndex, before.DirIndex);
                          });
    EXPECT_EQ(found, c.breaks);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, StreamingRule,
    ::testing::Values(
        // What new + add leave: each entry right after the one before.
        StreamingCase{
            "Contiguous", {{0, 2, "a.dff"}, {2, 1, "b.txd"}, {3, 4, "c.DFF"}, {7, 1, "d.TXD"}}, {}},
        // A delete leaves a hole: the neighbours of the deleted entry are
        // read as one piece, and the later one gets the deleted bytes.
        StreamingCase{"Gap", {{0, 1, "a.dff"}, {1, 1, "b.dff"}, {3, 1, "d.dff"}}, {{2, 1}}},
        // A replace appends the new data: the entry and its successor both
        // lie elsewhere than the chain says.
        StreamingCase{"Reordered", {{3, 1, "a.dff"}, {1, 1, "b.dff"}, {2, 1, "c.dff"}}, {{1, 0}}},
        // A record sharing the range of the one before it does not follow it;
        // the next one follows it again.
        StreamingCase{"SharedRange", {{0, 1, "a.dff"}, {0, 1, "b.dff"}, {1, 1, "c.dff"}}, {{1, 0}}},
        // Records without data stand wherever they point: the chain passes
        // over them to the record with data before.
        StreamingCase{
            "ZeroSizeRecords",
            {{0, 2, "a.dff"}, {9, 0, "e.dff"}, {2, 1, "b.dff"}, {3, 0, "f.txd"}, {5, 1, "c.dff"}},
            {{4, 2}}},
        // Only ".dff", ".DFF", ".txd" and ".TXD" after the first dot are
        // streamed: anything else breaks the chain, and the pair across the
        // break is not checked.
        StreamingCase{"UnstreamedTypes",
                      {{0, 1, "a.dff"},
                       {5, 1, "x.col"},
                       {9, 1, "b.dff"},
                       {2, 1, "m.Dff"},
                       {7, 1, "c.txd"},
                       {1, 1, "two.dots.dff"},
                       {8, 1, "d.txd"},
                       {3, 1, "noextension"},
                       {4, 1, "e.dffx"},
                       {6, 1, "f.dff"}},
                      {}},
        // A name that an earlier record with data of the same table carries
        // (letter case aside) is skipped by the game and breaks the chain; the
        // same name in the other table is another entry to the game.
        StreamingCase{
            "RepeatedNames",
            {{0, 1, "a.dff"}, {5, 1, "A.DFF"}, {9, 1, "b.dff"}, {10, 1, "a.txd"}, {3, 1, "b.txd"}},
            {{4, 3}}},
        // A name first seen without data is no repeat: the game files the
        // later record and chains it.
        StreamingCase{"RepeatAfterARecordWithoutData",
                      {{0, 0, "a.dff"}, {0, 1, "b.dff"}, {4, 1, "a.dff"}},
                      {{2, 1}}},
        // The first game reads a name of all 24 bytes whole.
        StreamingCase{
            "NameOfAll24Bytes", {{0, 1, "b.dff"}, {3, 1, "abcdefghijklmnopqrst.dff"}}, {{1, 0}}}),
    [](const auto& test) { return std::string(test.param.title); });

} // namespace
