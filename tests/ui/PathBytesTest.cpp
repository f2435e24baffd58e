// Paths that are not UTF-8, as a Linux file system allows: from the command
// line and the dialogs into the archive, the title and the history, and back
// out of the Reopen menu after a restart, byte for byte.
#include "EditTestSupport.h"
#include "MainWindowTestSupport.h"
#include "ScriptedDialogs.h"

#include <QDir>

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {

// A folder whose UTF-8 name must stay readable beside a Latin-1 one.
const QString Utf8Folder = QStringLiteral("Zo\u00eb");
const QByteArray Latin1Name = "caf\xe9";

// Moves what QFile wrote under a UTF-8 name to `bytes`, which QFile cannot name.
void MoveTo(const QString& from, const QByteArray& bytes) {
    QCOMPARE(std::rename(PathBytes(from).constData(), bytes.constData()), 0);
}

// The archive pair at `path` (bytes), with one entry.
void WriteArchiveAt(TestFolder& folder, const QByteArray& path) {
    const QString staging = folder.File("staging.img");
    WriteArchive(staging, {{"x.dff", 1}});
    MoveTo(staging, path);
    MoveTo(DirPathOf(staging), QByteArray::fromStdString(DirectoryFileName(path.toStdString())));
}

// Removes the folder by the bytes of its names, which QTemporaryDir cannot.
struct RemovedByBytes {
    QString folder;
    ~RemovedByBytes() {
        std::error_code ignored;
        std::filesystem::remove_all(PathBytes(folder).toStdString(), ignored);
    }
};

QByteArray StoredArchivePath() {
    return CurrentArchive ? QByteArray::fromStdString(CurrentArchive->FileName()) : QByteArray();
}

} // namespace

class PathBytesTest : public QObject {
    Q_OBJECT
private slots:
    void init() { dialogs = std::make_unique<ScriptedDialogs>(); }
    void cleanup() { dialogs.reset(); }

    void commandLineThroughReopenAfterARestart() {
#ifdef Q_OS_WIN
        QSKIP("Windows names are UTF-16: bytes that are no UTF-8 name no file there");
#endif
        TestFolder folder;
        const RemovedByBytes removed{folder.Path()};
        QVERIFY(QDir(folder.Path()).mkdir(Utf8Folder));
        const QString shownFolder = folder.File(Utf8Folder);
        const QByteArray path = PathBytes(shownFolder) + '/' + Latin1Name + ".img";
        const QString shown = shownFolder + QStringLiteral("/caf\u00e9.img");
        WriteArchiveAt(folder, path);
        {
            TfrmMain window({path}, folder.File(QStringLiteral("Pelkon.ini")));
            QCOMPARE(StoredArchivePath(), path);
            QCOMPARE(window.windowTitle(), QStringLiteral("Pelkon - [%1]").arg(shown));
            QCOMPARE(window.history().GetItem(0), path);
            QCOMPARE(MenuNamed(window, "mniReopen")->actions().first()->text(), "&0 " + shown);
            window.close();
        }
        QVERIFY(ReadBytes(folder.File(QStringLiteral("Pelkon.ini")))
                    .contains("\r\n0=" + path + "\r\n"));

        TfrmMain window({}, folder.File(QStringLiteral("Pelkon.ini")));
        QVERIFY(!CurrentArchive);
        MenuNamed(window, "mniReopen")->actions().first()->trigger();
        QCOMPARE(StoredArchivePath(), path);
        QCOMPARE(window.windowTitle(), QStringLiteral("Pelkon - [%1]").arg(shown));
        QVERIFY(dialogs->calls.isEmpty());

        // Gone from disk: the message names it as readably as the title did.
        window.CloseArchive();
        QCOMPARE(std::remove(path.constData()), 0);
        MenuNamed(window, "mniReopen")->actions().first()->trigger();
        QCOMPARE(dialogs->errors(), QStringList{"Cannot open file " + shown + "."});
    }

    // Qt's dialogs hand back such a name with replacement characters in it.
    void dialogsGiveTheBytesOfNamesQtCannotDecode() {
#ifdef Q_OS_WIN
        QSKIP("Windows names are UTF-16: bytes that are no UTF-8 name no file there");
#endif
        TestFolder folder;
        const RemovedByBytes removed{folder.Path()};
        const QByteArray base = PathBytes(folder.Path()) + '/';
        const QByteArray archive = base + Latin1Name + ".img";
        WriteArchiveAt(folder, archive);
        const QString source = folder.File("source.bin");
        WriteBytes(source, QByteArray(10, 's'));
        MoveTo(source, base + Latin1Name + ".dff");
        const QByteArray target = base + "target\xff";
        QVERIFY(QDir().mkdir(folder.File("target")));
        MoveTo(folder.File("target"), target);

        TfrmMain window({}, folder.File(QStringLiteral("Pelkon.ini")));
        dialogs->openAnswers << QStringList{QFile::decodeName(archive)};
        ActionNamed(window, "mniOpen")->trigger();
        QCOMPARE(StoredArchivePath(), archive);

        dialogs->openAnswers << QStringList{QFile::decodeName(base + Latin1Name + ".dff")};
        ActionNamed(window, "actAdd")->trigger();
        QCOMPARE(ColumnTexts(window), QStringList({QStringLiteral("caf\u00e9.dff"), "x.dff"}));

        SelectRows(window, {0, 1});
        dialogs->folderAnswers << QFile::decodeName(target);
        ActionNamed(window, "actExtract")->trigger();
        QCOMPARE(std::remove((target + "/x.dff").constData()), 0);
        QCOMPARE(std::remove((target + '/' + Latin1Name + ".dff").constData()), 0);
        QVERIFY(dialogs->errors().isEmpty());
    }

private:
    std::unique_ptr<ScriptedDialogs> dialogs;
};

QTEST_MAIN(PathBytesTest)
#include "PathBytesTest.moc"
