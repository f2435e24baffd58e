// The history kept in the settings file: loading, saving and their failures.
#include "history/History.h"
#include "history/SettingsFile.h"
#include "platform/Errors.h"
#include "tests/support/QtTestSupport.h"

#include <gtest/gtest.h>

#include <QDir>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <functional>
#include <string>

namespace {

class HistoryFileTest : public ::testing::Test {
protected:
    HistoryFileTest() {
        History.SetMaxItems(8);
        QObject::connect(&History, &THistory::OnChange, [this] { ++Changes; });
    }

    QByteArrayList Paths() const {
        QByteArrayList paths;
        for (int i = 0; i < History.Count(); ++i)
            paths.append(History.GetItem(i));
        return paths;
    }

    void AddAll(const QByteArrayList& paths) {
        for (auto it = paths.rbegin(); it != paths.rend(); ++it)
            History.Add(*it);
        Changes = 0;
    }

    TestFolder Folder;
    QString Ini = Folder.File("Pelkon.ini");
    THistory History;
    int Changes = 0;
};

TEST_F(HistoryFileTest, LoadTakesKeysInOrderUpToTheLimitAndClosesGaps) {
    WriteBytes(Ini, "[history]\r\n5=/five\r\n0=/zero\r\n8=/eight\r\n2=/two\r\n3=\r\n");
    AddAll({"/old"});
    History.LoadFromFile(Ini, "history");
    EXPECT_EQ(Paths(), QByteArrayList({"/zero", "/two", "/five"}));
    EXPECT_EQ(Changes, 1);
}

TEST_F(HistoryFileTest, LoadKeepsAPathListedTwice) {
    WriteBytes(Ini, "[history]\r\n0=/same.img\r\n1=/SAME.img\r\n");
    History.LoadFromFile(Ini, "history");
    EXPECT_EQ(Paths(), QByteArrayList({"/same.img", "/SAME.img"}));
}

TEST_F(HistoryFileTest, LoadFromAMissingFileGivesNothingAndFires) {
    AddAll({"/old"});
    History.LoadFromFile(Ini, "history");
    EXPECT_EQ(History.Count(), 0);
    EXPECT_EQ(Changes, 1);
    EXPECT_FALSE(FileExists(Ini));
}

TEST_F(HistoryFileTest, LoadWithLimitZeroReadsNothing) {
    WriteBytes(Ini, "[history]\r\n0=/zero\r\n");
    History.SetMaxItems(0);
    History.LoadFromFile(Ini, "history");
    EXPECT_EQ(History.Count(), 0);
    EXPECT_EQ(Changes, 1);
}

TEST_F(HistoryFileTest, SaveReplacesOnlyItsSection) {
    WriteBytes(Ini,
               "; kept\r\n[other]\r\nx = 1\n[History]\r\n0=/old0\r\n9=/old9\r\n[more]\ry=2\r\n");
    AddAll({"/a", "/b"});
    History.SaveToFile(Ini, "history");
    EXPECT_EQ(ReadBytes(Ini),
              "; kept\r\n[other]\r\nx = 1\n[more]\ry=2\r\n[history]\r\n0=/a\r\n1=/b\r\n");
    EXPECT_EQ(Paths(), QByteArrayList({"/a", "/b"}));
    EXPECT_EQ(Changes, 0);
}

TEST_F(HistoryFileTest, SavingAnEmptyHistoryRemovesTheSection) {
    WriteBytes(Ini, "[history]\r\n0=/old\r\n[other]\r\nx=1\r\n");
    History.SaveToFile(Ini, "history");
    EXPECT_EQ(ReadBytes(Ini), "[other]\r\nx=1\r\n");
    AddAll({"/stale"});
    History.LoadFromFile(Ini, "history");
    EXPECT_EQ(History.Count(), 0);
}

TEST_F(HistoryFileTest, SavingAnEmptyHistoryWithoutAFileCreatesNone) {
    History.SaveToFile(Ini, "history");
    EXPECT_FALSE(FileExists(Ini));
}

TEST_F(HistoryFileTest, SaveAndLoadGiveTheSamePathsAsSpelled) {
    const QByteArrayList paths = {"/Games/GTA3/gta3.img",
                                  "/home/Zoë/Été.IMG",
                                  "/games/caf\xE9.img",
                                  " /lead/blank.img",
                                  "/trail/blank.img\t",
                                  "\"/quoted.img\"",
                                  "'/x.img'",
                                  "/semi;colon=#hash.img\x1A"};
    AddAll(paths);
    History.SaveToFile(Ini, "history");
    THistory loaded;
    loaded.SetMaxItems(8);
    loaded.LoadFromFile(Ini, "history");
    QByteArrayList back;
    for (int i = 0; i < loaded.Count(); ++i)
        back.append(loaded.GetItem(i));
    EXPECT_EQ(back, paths);
    EXPECT_TRUE(ReadBytes(Ini).contains("\r\n2=/games/caf\xE9.img\r\n"));
}

// A file written on Windows holds its paths in the system code page, here
// cp1252: they are bytes to keep, not text to decode.
TEST_F(HistoryFileTest, AWindowsFileSurvivesLoadAndSaveByteForByte) {
    const QByteArray windows = "[Recent]\r\nlast=C:\\Stra\xDF"
                               "e\\\x80.img\r\n"
                               "[history]\r\n0=C:\\Spiele\\Caf\xE9.img\r\n"
                               "1=D:\\GTA3\\models\\gta3.img\r\n2=C:\\Spiele\\caf\xE9.img\r\n";
    WriteBytes(Ini, windows);
    History.LoadFromFile(Ini, "history");
    EXPECT_EQ(Paths(), QByteArrayList({"C:\\Spiele\\Caf\xE9.img", "D:\\GTA3\\models\\gta3.img",
                                       "C:\\Spiele\\caf\xE9.img"}));
    History.SaveToFile(Ini, "history");
    EXPECT_EQ(ReadBytes(Ini), windows);
}

TEST_F(HistoryFileTest, PathsTheFileCannotHoldAreLeftOutOfTheSave) {
    const QByteArray broken = "/two\nlines.img";
    const QByteArray overlong = "/" + QByteArray(2047, 'x');
    AddAll({"/a", broken, overlong, "/b"});
    History.SaveToFile(Ini, "history");
    EXPECT_EQ(ReadBytes(Ini), "[history]\r\n0=/a\r\n1=/b\r\n");
    EXPECT_EQ(History.Count(), 4);
}

TEST_F(HistoryFileTest, MissingObjectOrSectionIsRefusedWithoutChange) {
    WriteBytes(Ini, "[history]\r\n0=/new\r\n");
    TSettingsFile ini(Ini);
    AddAll({"/a"});
    EXPECT_EQ(MessageOf([&] { History.LoadFromIni(nullptr, "history"); }), "IniFile not assigned");
    EXPECT_EQ(MessageOf([&] { History.SaveToIni(nullptr, "history"); }), "IniFile not assigned");
    EXPECT_EQ(MessageOf([&] { History.LoadFromIni(&ini, ""); }), "Section is not set!");
    EXPECT_EQ(MessageOf([&] { History.SaveToIni(&ini, ""); }), "Section is not set!");
    EXPECT_EQ(MessageOf([&] { History.LoadFromFile(Ini, ""); }), "Section is not set!");
    EXPECT_EQ(MessageOf([&] { History.SaveToFile(Ini, ""); }), "Section is not set!");
    EXPECT_EQ(Paths(), QByteArrayList({"/a"}));
    EXPECT_EQ(Changes, 0);
    EXPECT_EQ(ReadBytes(Ini), "[history]\r\n0=/new\r\n");
}

TEST_F(HistoryFileTest, SaveWhereNoFileCanBeMadeFails) {
    const QString blocker = Folder.File("plain");
    WriteBytes(blocker, "not a folder");
    const QString unreachable = blocker + "/Pelkon.ini";
    AddAll({"/a", "/b"});
    EXPECT_EQ(MessageOf([&] { History.SaveToFile(unreachable, "history"); }),
              "Unable to write to " + unreachable.toStdString());
    EXPECT_EQ(Paths(), QByteArrayList({"/a", "/b"}));
    EXPECT_EQ(ReadBytes(blocker), "not a folder");

    // Loading from there is a missing file, not a failure.
    History.LoadFromFile(unreachable, "history");
    EXPECT_EQ(History.Count(), 0);
}

TEST_F(HistoryFileTest, SaveOverAFolderFails) {
    ASSERT_TRUE(QDir().mkdir(Ini));
    AddAll({"/a"});
    EXPECT_EQ(MessageOf([&] { History.SaveToFile(Ini, "history"); }),
              "Unable to write to " + Ini.toStdString());
    History.LoadFromFile(Ini, "history");
    EXPECT_EQ(History.Count(), 0);
    EXPECT_EQ(Changes, 1);
}

// A save that runs out of room part-way must leave the old file whole. The
// child process gets a file size limit smaller than the new file.
TEST_F(HistoryFileTest, SaveCutShortLeavesTheOldFileWhole) {
    const QByteArray before =
        "[other]\r\nx=" + QByteArray(3000, 'o') + "\r\n[history]\r\n0=/old\r\n";
    WriteBytes(Ini, before);
    AddAll({"/" + QByteArray(2000, 'a'), "/" + QByteArray(2000, 'b')});
#ifdef _WIN32
    GTEST_SKIP() << NoFileSizeLimitOnWindows;
#else
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        const std::string error = MessageOf([&] { History.SaveToFile(Ini, "history"); });
        _exit(error == "Unable to write to " + Ini.toStdString() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadBytes(Ini), before);
    EXPECT_EQ(QDir(Folder.Path()).entryList(QDir::Files | QDir::Hidden),
              QStringList({"Pelkon.ini"})); // no temporary file left behind
#endif
}

} // namespace
