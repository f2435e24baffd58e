// The history's in-memory rules: adding, moving, the limit and when OnChange fires.
#include "history/History.h"
#include "platform/Errors.h"
#include "tests/support/QtTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

// Records every OnChange with the list as the handler saw it, which shows the
// change was already made when the notice came.
class HistoryTest : public ::testing::Test {
protected:
    HistoryTest() {
        QObject::connect(&History, &THistory::OnChange, [this](THistory* sender) {
            EXPECT_EQ(sender, &History);
            Seen.push_back(Paths());
            SeenMaxItems = History.MaxItems();
        });
    }

    QByteArrayList Paths() const {
        QByteArrayList paths;
        for (int i = 0; i < History.Count(); ++i)
            paths.append(History.GetItem(i));
        return paths;
    }

    void AddAll(const QByteArrayList& paths) {
        for (const QByteArray& path : paths)
            History.Add(path);
        Seen.clear();
    }

    THistory History;
    std::vector<QByteArrayList> Seen;
    int SeenMaxItems = -1;
};

TEST_F(HistoryTest, AddsBeyondTheLimitDropTheOldest) {
    History.SetMaxItems(8);
    for (int i = 1; i <= 9; ++i)
        History.Add("/games/" + QByteArray::number(i) + ".img");
    EXPECT_EQ(Paths(),
              QByteArrayList({"/games/9.img", "/games/8.img", "/games/7.img", "/games/6.img",
                              "/games/5.img", "/games/4.img", "/games/3.img", "/games/2.img"}));
    ASSERT_EQ(Seen.size(), 9u);
    EXPECT_EQ(Seen.back(), Paths());
}

TEST_F(HistoryTest, AddingAListedPathMovesItFirst) {
    AddAll({"/e", "/d", "/c", "/b", "/a"});
    History.Add("/d");
    EXPECT_EQ(Paths(), QByteArrayList({"/d", "/a", "/b", "/c", "/e"}));
    ASSERT_EQ(Seen.size(), 1u);
    EXPECT_EQ(Seen[0], Paths());
}

TEST_F(HistoryTest, AddingTheFirstPathChangesNothingButFires) {
    AddAll({"/b", "/a"});
    History.Add("/a");
    EXPECT_EQ(Paths(), QByteArrayList({"/a", "/b"}));
    EXPECT_EQ(Seen.size(), 1u);
}

TEST_F(HistoryTest, WithoutPlaceFirstAListedPathStaysButFires) {
    History.SetIfExistsPlaceFirst(false);
    AddAll({"/c", "/b", "/a"});
    History.Add("/c");
    EXPECT_EQ(Paths(), QByteArrayList({"/a", "/b", "/c"}));
    EXPECT_EQ(Seen.size(), 1u);
}

TEST_F(HistoryTest, EmptyPathIsIgnoredWithoutNotice) {
    AddAll({"/a"});
    History.Add(QByteArray());
    History.Add("");
    EXPECT_EQ(Paths(), QByteArrayList({"/a"}));
    EXPECT_TRUE(Seen.empty());
}

TEST_F(HistoryTest, ClearFiresEvenWhenEmpty) {
    History.Clear();
    EXPECT_EQ(Seen.size(), 1u);
    AddAll({"/a", "/b"});
    History.Clear();
    EXPECT_EQ(History.Count(), 0);
    ASSERT_EQ(Seen.size(), 1u);
    EXPECT_TRUE(Seen[0].isEmpty());
}

TEST_F(HistoryTest, GetItemOutsideTheListFails) {
    AddAll({"/a", "/b", "/c"});
    EXPECT_EQ(MessageOf([&] { History.GetItem(-1); }), "Index out of bounds (-1)");
    EXPECT_EQ(MessageOf([&] { History.GetItem(3); }), "Index out of bounds (3)");
    EXPECT_EQ(History.GetItem(2), "/a");
    EXPECT_TRUE(Seen.empty());
}

TEST_F(HistoryTest, LoweringTheLimitDropsTheOldestOnceAndRaisingBringsNothingBack) {
    AddAll({"/e", "/d", "/c", "/b", "/a"});
    History.SetMaxItems(3);
    EXPECT_EQ(Paths(), QByteArrayList({"/a", "/b", "/c"}));
    ASSERT_EQ(Seen.size(), 1u);
    EXPECT_EQ(SeenMaxItems, 3); // the handler already sees the new limit
    History.SetMaxItems(10);
    EXPECT_EQ(Paths(), QByteArrayList({"/a", "/b", "/c"}));
    EXPECT_EQ(History.MaxItems(), 10);
    EXPECT_EQ(Seen.size(), 1u);
}

TEST_F(HistoryTest, LimitThatRemovesNothingFiresNothing) {
    AddAll({"/b", "/a"});
    History.SetMaxItems(5);
    History.SetMaxItems(2);
    History.SetMaxItems(8);
    EXPECT_EQ(Paths(), QByteArrayList({"/a", "/b"}));
    EXPECT_TRUE(Seen.empty());
}

TEST_F(HistoryTest, LimitOfZeroOrLessKeepsNothing) {
    AddAll({"/b", "/a"});
    History.SetMaxItems(-2);
    EXPECT_EQ(History.Count(), 0);
    EXPECT_EQ(Seen.size(), 1u);
    History.SetMaxItems(0); // nothing left to remove
    EXPECT_EQ(Seen.size(), 1u);
    History.Add("/c");
    EXPECT_EQ(History.Count(), 0);
    EXPECT_EQ(Seen.size(), 2u);
}

TEST_F(HistoryTest, HandlerMayAddAgain) {
    // The Reopen menu's handler runs inside Add and may lead to another Add.
    bool again = true;
    QObject::connect(&History, &THistory::OnChange, [&](THistory* sender) {
        if (std::exchange(again, false))
            sender->Add("/second");
    });
    History.Add("/first");
    EXPECT_EQ(Paths(), QByteArrayList({"/second", "/first"}));
}

// Two spellings and whether the history takes them for the same path: only
// the same bytes are, as the file system sees it.
struct Spelling {
    const char* Name;
    QByteArray Stored;
    QByteArray Given;
    bool Same;
};

void PrintTo(const Spelling& spelling, std::ostream* out) {
    *out << spelling.Name;
}

class HistorySpellingTest : public HistoryTest, public ::testing::WithParamInterface<Spelling> {};

TEST_P(HistorySpellingTest, OnlyTheSameBytesAreTheSamePath) {
    const Spelling& spelling = GetParam();
    AddAll({spelling.Stored, "/other.img"});
    History.Add(spelling.Given);
    ASSERT_EQ(Seen.size(), 1u);
    if (spelling.Same)
        EXPECT_EQ(Paths(), QByteArrayList({spelling.Stored, "/other.img"}));
    else
        EXPECT_EQ(Paths(), QByteArrayList({spelling.Given, "/other.img", spelling.Stored}));
}

INSTANTIATE_TEST_SUITE_P(
    Spellings, HistorySpellingTest,
    ::testing::Values(Spelling{"Same", "/games/caf\xE9.img", "/games/caf\xE9.img", true},
                      Spelling{"Case", "/games/case.img", "/games/CASE.img", false},
                      Spelling{"AccentCase", "/Spiele/\xC3\xA9t\xC3\xA9.img",
                               "/Spiele/\xC3\x89T\xC3\x89.img", false},
                      Spelling{"Latin1AndUtf8", "/games/caf\xE9.img", "/games/caf\xC3\xA9.img",
                               false},
                      Spelling{"TwoBadBytes", "/games/caf\xE9.img", "/games/caf\xE8.img", false},
                      Spelling{"DoubleSlash", "/games//gta3.img", "/games/gta3.img", false},
                      Spelling{"TrailingBlank", "/games/gta3.img ", "/games/gta3.img", false}),
    [](const ::testing::TestParamInfo<Spelling>& test) { return std::string(test.param.Name); });

} // namespace
