// Where the settings file lives and how it is saved when the folder that
// holds it is not writable. Folder permissions bind only an unprivileged
// user, so those cases run as one.
#include "history/History.h"
#include "history/SettingsLocation.h"
#include "tests/support/QtTestSupport.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <string>

#ifdef _WIN32
namespace {

// Windows: beside the program where a Pelkon.ini is and the folder is
// writable, otherwise in the user's roaming application data, %APPDATA%.
TEST(SettingsPlaceWindowsTest, BesideTheProgramOrInTheApplicationData) {
    TestFolder folder;
    const QString program = folder.File("bin");
    const QString appData = folder.File("AppData/Roaming");
    ASSERT_TRUE(QDir().mkpath(program));
    qputenv("APPDATA", QDir::toNativeSeparators(appData).toUtf8());
    EXPECT_EQ(SettingsFilePath(program), appData + "/Pelkon/Pelkon.ini");
    WriteBytes(program + "/Pelkon.ini", "[history]\r\n0=C:/portable.img\r\n");
    EXPECT_EQ(SettingsFilePath(program), program + "/Pelkon.ini");
    qunsetenv("APPDATA");
}

// The POSIX suite below needs file modes, a second user and file-size limits.
TEST(SettingsPlaceWindowsTest, FolderPermissionCasesNeedASecondUser) {
    GTEST_SKIP() << NoSecondUserOnWindows;
}

} // namespace
#else
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

mode_t ModeOf(const QString& path) {
    struct stat info {};
    EXPECT_EQ(stat(QFile::encodeName(path).constData(), &info), 0);
    return info.st_mode & 07777;
}

ino_t InodeOf(const QString& path) {
    struct stat info {};
    EXPECT_EQ(stat(QFile::encodeName(path).constData(), &info), 0);
    return info.st_ino;
}

void SetMode(const QString& path, mode_t mode) {
    ASSERT_EQ(chmod(QFile::encodeName(path).constData(), mode), 0);
}

std::string Save(const QString& ini, const QByteArray& path) {
    THistory history;
    history.Add(path);
    history.SaveToFile(ini, "history");
    return "saved";
}

// A program folder and a home of its own under a folder anyone may enter.
class SettingsPlaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetMode(Folder.Path(), 0755);
        ASSERT_TRUE(QDir().mkpath(Program));
        ASSERT_TRUE(QDir().mkpath(Home));
        GiveToUnprivilegedUser(Home);
    }
    // As the unprivileged user could not, so the folder can be removed.
    void TearDown() override { SetMode(Program, 0755); }

    // Where a program in Program keeps its settings, with this environment.
    std::string Place(const QByteArray& configHome, bool unprivileged = false) const {
        const auto ask = [&] {
            qputenv("HOME", QFile::encodeName(Home));
            if (configHome.isNull())
                qunsetenv("XDG_CONFIG_HOME");
            else
                qputenv("XDG_CONFIG_HOME", configHome);
            return SettingsFilePath(Program).toStdString();
        };
        return unprivileged ? AsUnprivilegedUser(ask) : RunInChild(ask);
    }

    TestFolder Folder;
    QString Program = Folder.File("bin");
    QString Home = Folder.File("home");
    QString Portable = Program + "/Pelkon.ini";
};

TEST_F(SettingsPlaceTest, BesideTheProgramOnlyWhereACopyIsAndTheFolderIsWritable) {
    const QByteArray config = QFile::encodeName(Folder.File("config"));
    EXPECT_EQ(Place(config), config.toStdString() + "/Pelkon/Pelkon.ini");
    EXPECT_EQ(Place(QByteArray()), Home.toStdString() + "/.config/Pelkon/Pelkon.ini");

    WriteBytes(Portable, "[history]\r\n0=/portable.img\r\n");
    EXPECT_EQ(Place(config), Portable.toStdString());

    SetMode(Program, 0555); // installed for all users: theirs to run, not to change
    EXPECT_EQ(Place(config, true), config.toStdString() + "/Pelkon/Pelkon.ini");
    EXPECT_EQ(Place(QByteArray(), true), Home.toStdString() + "/.config/Pelkon/Pelkon.ini");
}

TEST_F(SettingsPlaceTest, FirstSaveMakesTheFoldersForTheUserAlone) {
    const QString ini = Home + "/.config/Pelkon/Pelkon.ini";
    EXPECT_EQ(AsUnprivilegedUser([&] { return Save(ini, "/games/gta3.img"); }), "saved");
    EXPECT_EQ(ReadBytes(ini), "[history]\r\n0=/games/gta3.img\r\n");
    EXPECT_EQ(ModeOf(Home + "/.config"), 0700u);
    EXPECT_EQ(ModeOf(Home + "/.config/Pelkon"), 0700u);
}

// With no leave to make a file beside it, the file itself is rewritten.
TEST_F(SettingsPlaceTest, FileInAReadOnlyFolderIsRewrittenInPlace) {
    WriteBytes(Portable, "[other]\r\nx=1\r\n[history]\r\n0=/a/much/longer/old/path.img\r\n");
    GiveToUnprivilegedUser(Portable);
    SetMode(Program, 0555);
    const ino_t before = InodeOf(Portable);
    EXPECT_EQ(AsUnprivilegedUser([&] { return Save(Portable, "/new.img"); }), "saved");
    EXPECT_EQ(ReadBytes(Portable), "[other]\r\nx=1\r\n[history]\r\n0=/new.img\r\n");
    EXPECT_EQ(InodeOf(Portable), before);
    EXPECT_EQ(QDir(Program).entryList(QDir::Files | QDir::Hidden), QStringList({"Pelkon.ini"}));
}

TEST_F(SettingsPlaceTest, SaveInAReadOnlyFolderThatFailsSaysSo) {
    const std::string unable = "Unable to write to " + Portable.toStdString();
    SetMode(Program, 0555);
    EXPECT_EQ(AsUnprivilegedUser([&] { return Save(Portable, "/new.img"); }), unable);
    EXPECT_FALSE(FileExists(Portable));

    SetMode(Program, 0755);
    WriteBytes(Portable, "[history]\r\n0=/old.img\r\n");
    GiveToUnprivilegedUser(Portable);
    SetMode(Program, 0555);
    const std::string result = AsUnprivilegedUser([&] {
        std::signal(SIGXFSZ, SIG_IGN); // a write past the limit then fails with EFBIG
        const rlimit limit{8, 8};
        setrlimit(RLIMIT_FSIZE, &limit);
        return Save(Portable, "/a/path/longer/than/the/limit.img");
    });
    EXPECT_EQ(result, unable);
}

} // namespace
#endif
