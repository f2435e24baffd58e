// Start-up, opening, creating and closing archives, and the end of the program.
#include "MainWindowTestSupport.h"
#include "ScriptedDialogs.h"
#include "history/SettingsFile.h"
#include "sorting/SortFunctions.h"

#include <QDir>
#include <QToolBar>

namespace {

const std::vector<TestEntry> ThreeEntries = {{"b.dff", 3}, {"c.txd", 2}, {"a.col", 1}};

QByteArrayList SavedHistory(const QString& settings) {
    THistory saved;
    saved.SetMaxItems(8);
    saved.LoadFromFile(settings, "history");
    QByteArrayList paths;
    for (int i = 0; i < saved.Count(); ++i)
        paths << saved.GetItem(i);
    return paths;
}

void SaveHistory(const QString& settings, const QByteArrayList& mostRecentFirst) {
    THistory history;
    history.SetMaxItems(8);
    for (auto it = mostRecentFirst.rbegin(); it != mostRecentFirst.rend(); ++it)
        history.Add(*it);
    history.SaveToFile(settings, "history");
}

// The archive's files are no longer held once the window let go of them.
bool IsReleased(const QString& imgPath) {
    try {
        TGTA3Archive probe(QFile::encodeName(imgPath).toStdString(), false);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

class MainWindowLifecycleTest : public QObject {
    Q_OBJECT
private slots:
    void init() { dialogs = std::make_unique<ScriptedDialogs>(); }
    void cleanup() { dialogs.reset(); }

    void startsWithoutArgumentsAndLoadsHistory() {
        TestFolder folder;
        SaveHistory(folder.File(QStringLiteral("Pelkon.ini")), {"/x/one.img", "/x/two.img"});
        TfrmMain window({}, folder.File(QStringLiteral("Pelkon.ini")));
        QCOMPARE(window.windowTitle(), QStringLiteral("Pelkon"));
        QCOMPARE(window.fileList()->model()->rowCount(), 0);
        QCOMPARE(window.history().Count(), 2);
        QCOMPARE(window.history().GetItem(0), QByteArrayLiteral("/x/one.img"));
        QVERIFY(!CurrentArchive);
        QVERIFY(dialogs->calls.isEmpty());
        QCOMPARE(window.size(), QSize(485, 560));
        QVERIFY(!window.findChild<QToolBar*>(QStringLiteral("ToolBar1"))->isVisibleTo(&window));
    }

    void startsOnTheFirstArgumentOnly() {
        TestFolder folder;
        const QString first = folder.File("first.img");
        const QString second = folder.File("second.img");
        WriteArchive(first, ThreeEntries);
        WriteArchive(second, {{"z", 1}});
        TfrmMain window({PathBytes(first), PathBytes(second)},
                        folder.File(QStringLiteral("Pelkon.ini")));
        QCOMPARE(window.windowTitle(), QStringLiteral("Pelkon - [%1]").arg(first));
        // Sorted by name, ascending, from the start.
        QCOMPARE(ColumnTexts(window), QStringList({"a.col", "b.dff", "c.txd"}));
        QCOMPARE(window.history().Count(), 1);
        QCOMPARE(window.history().GetItem(0), PathBytes(first));
        QVERIFY(dialogs->calls.isEmpty());
    }

    void startsOnARelativePathAsTyped() {
        TestFolder folder;
        WriteArchive(folder.File("rel.img"), ThreeEntries);
        const QString previous = QDir::currentPath();
        QDir::setCurrent(folder.Path());
        {
            TfrmMain window({PathBytes(QStringLiteral("rel.img"))},
                            folder.File(QStringLiteral("Pelkon.ini")));
            QCOMPARE(window.windowTitle(), QStringLiteral("Pelkon - [rel.img]"));
            QCOMPARE(window.fileList()->model()->rowCount(), 3);
            QCOMPARE(window.history().GetItem(0), QByteArrayLiteral("rel.img"));
        }
        QDir::setCurrent(previous);
    }

    void startsOnAMissingPathWithAMessage() {
        TestFolder folder;
        SaveHistory(folder.File(QStringLiteral("Pelkon.ini")), {"/x/kept.img"});
        const QString missing = folder.File("missing.img");
        TfrmMain window({PathBytes(missing)}, folder.File(QStringLiteral("Pelkon.ini")));
        QCOMPARE(dialogs->calls.size(), 1);
        QCOMPARE(dialogs->calls[0].title, QStringLiteral("Pelkon"));
        QCOMPARE(dialogs->errors(),
                 QStringList{QStringLiteral("Cannot open file %1.").arg(missing)});
        QCOMPARE(window.windowTitle(), QStringLiteral("Pelkon"));
        QVERIFY(!CurrentArchive);
        QCOMPARE(window.history().Count(), 1);
        QCOMPARE(window.history().GetItem(0), QByteArrayLiteral("/x/kept.img"));
    }

    void openingAnotherClosesTheFirst() {
        TestFolder folder;
        const QString first = folder.File("first.img");
        const QString second = folder.File("second.img");
        WriteArchive(first, ThreeEntries);
        WriteArchive(second, {{"only", 1}});
        TfrmMain window({PathBytes(first)}, folder.File(QStringLiteral("Pelkon.ini")));
        QVERIFY(!IsReleased(first));
        dialogs->openAnswers.enqueue({second});
        ActionNamed(window, "mniOpen")->trigger();
        QCOMPARE(window.windowTitle(), QStringLiteral("Pelkon - [%1]").arg(second));
        QCOMPARE(ColumnTexts(window), QStringList{"only"});
        QVERIFY(IsReleased(first));
        QCOMPARE(window.history().GetItem(0), PathBytes(second));
        QCOMPARE(window.history().GetItem(1), PathBytes(first));

        // The dialog: default title, archives only, names that do not exist let
        // through, and the path chosen last offered again.
        const FileDialogOptions& asked = dialogs->calls.last().options;
        QVERIFY(asked.title.isEmpty());
        QCOMPARE(asked.filter, QStringLiteral("GTA3 Archive (*.img)"));
        QVERIFY(!asked.mustExist);
        QVERIFY(!asked.multiple);
        dialogs->openAnswers.enqueue({});
        ActionNamed(window, "mniOpen")->trigger();
        QCOMPARE(dialogs->calls.last().options.initialPath, second);
    }

    void reopeningTheOpenArchiveDropsSelectionKeepsOrder() {
        TestFolder folder;
        const QString path = folder.File("a.img");
        WriteArchive(path, ThreeEntries);
        TfrmMain window({PathBytes(path)}, folder.File(QStringLiteral("Pelkon.ini")));
        CurrentCompare = CompareBySize;
        SortDescending = true;
        SelectRows(window, {0, 2});
        window.OpenArchive(PathBytes(path));
        QCOMPARE(window.fileList()->selectedRowCount(), 0);
        QCOMPARE(ColumnTexts(window), QStringList({"b.dff", "c.txd", "a.col"}));
        QVERIFY(CurrentCompare == CompareBySize && SortDescending);
    }

    void failedOpenLeavesNoArchive() {
        TestFolder folder;
        const QString good = folder.File("good.img");
        WriteArchive(good, ThreeEntries);
        TfrmMain window({PathBytes(good)}, folder.File(QStringLiteral("Pelkon.ini")));
        const QString missing = folder.File("gone.img");
        dialogs->openAnswers.enqueue({missing});
        ActionNamed(window, "mniOpen")->trigger();
        QCOMPARE(dialogs->errors(),
                 QStringList{QStringLiteral("Cannot open file %1.").arg(missing)});
        QCOMPARE(window.windowTitle(), QStringLiteral("Pelkon"));
        QVERIFY(!CurrentArchive);
        QCOMPARE(window.fileList()->model()->rowCount(), 0);
        QVERIFY(IsReleased(good));
        QCOMPARE(window.history().Count(), 1);
        QVERIFY(!ActionNamed(window, "actClose")->isEnabled());
    }

    void newOverAnExistingPairEmptiesIt() {
        TestFolder folder;
        const QString path = folder.File("a.img");
        WriteArchive(path, ThreeEntries);
        TfrmMain window({PathBytes(path)}, folder.File(QStringLiteral("Pelkon.ini")));
        dialogs->saveAnswers.enqueue(path);
        ActionNamed(window, "mniNew")->trigger();
        QVERIFY(dialogs->errors().isEmpty());
        QCOMPARE(window.windowTitle(), QStringLiteral("Pelkon - [%1]").arg(path));
        QCOMPARE(window.fileList()->model()->rowCount(), 0);
        QCOMPARE(FileSize(path), 0);
        QCOMPARE(FileSize(DirPathOf(path)), 0);
        QCOMPARE(window.history().Count(), 1); // New adds nothing
        QVERIFY(ActionNamed(window, "actAdd")->isEnabled());

        const FileDialogOptions& asked = dialogs->calls.last().options;
        QCOMPARE(asked.title, QStringLiteral("Create new archive"));
        QCOMPARE(asked.filter, QStringLiteral("GTA3 Archive (*.img);;Single-file Archive, VER2 "
                                              "(*.img);;All Files (*.*)"));
        QCOMPARE(asked.defaultSuffix, QStringLiteral("img"));
        dialogs->saveAnswers.enqueue({});
        ActionNamed(window, "mniNew")->trigger();
        QCOMPARE(dialogs->calls.last().options.initialPath, path);
    }

    void cancelledDialogsChangeNothing_data() {
        QTest::addColumn<QString>("entry");
        QTest::newRow("New") << "mniNew";
        QTest::newRow("Open") << "mniOpen";
    }
    void cancelledDialogsChangeNothing() {
        QFETCH(QString, entry);
        TestFolder folder;
        const QString path = folder.File("a.img");
        WriteArchive(path, ThreeEntries);
        TfrmMain window({PathBytes(path)}, folder.File(QStringLiteral("Pelkon.ini")));
        SelectRows(window, {1});
        dialogs->saveAnswers.enqueue({});
        dialogs->openAnswers.enqueue({});
        ActionNamed(window, entry.toLatin1().constData())->trigger();
        QCOMPARE(dialogs->calls.size(), 1);
        QCOMPARE(window.windowTitle(), QStringLiteral("Pelkon - [%1]").arg(path));
        QCOMPARE(window.fileList()->model()->rowCount(), 3);
        QCOMPARE(window.fileList()->selectedRowCount(), 1);
        QVERIFY(!IsReleased(path));
    }

    void exitClosesTheArchiveAndWritesTheHistory() {
        TestFolder folder;
        const QString path = folder.File("a.img");
        WriteArchive(path, ThreeEntries);
        TfrmMain window({PathBytes(path)}, folder.File(QStringLiteral("Pelkon.ini")));
        window.show();
        ActionNamed(window, "mniExit")->trigger();
        QVERIFY(!window.isVisible());
        QVERIFY(IsReleased(path));
        QCOMPARE(SavedHistory(folder.File(QStringLiteral("Pelkon.ini"))),
                 QByteArrayList{PathBytes(path)});
        QVERIFY(dialogs->calls.isEmpty());
    }

    void failedSaveAtCloseIsShownAndTheWindowStillCloses() {
        TestFolder folder;
        // A folder where the settings file should be: it cannot be written, not even by root.
        const QString blocked = folder.File("Pelkon.ini");
        QVERIFY(QDir().mkpath(blocked));
        const QString path = folder.File("a.img");
        WriteArchive(path, ThreeEntries);
        TfrmMain window({PathBytes(path)}, blocked);
        // Reading it gives an empty history; the archive on the command line opens.
        QCOMPARE(window.windowTitle(), QStringLiteral("Pelkon - [%1]").arg(path));
        dialogs->calls.clear();
        window.show();
        QVERIFY(window.close());
        QVERIFY(!window.isVisible());
        QCOMPARE(dialogs->errors().size(), 1);
        QVERIFY2(dialogs->errors()[0].startsWith(QStringLiteral("Unable to write to ")),
                 qPrintable(dialogs->errors()[0]));
        QVERIFY(IsReleased(path));
    }

    // A settings file too large to be ours is told once, with its path; the
    // history starts empty, an archive on the command line still opens, and
    // the close leaves the file as it was.
    void aSettingsFileTooLargeIsToldOnceAndLeftAlone() {
        TestFolder folder;
        const QString settings = folder.File("Pelkon.ini");
        const QByteArray huge =
            "[history]\r\n0=/x/one.img\r\n" + QByteArray(TSettingsFile::MaxFileSize, '\n');
        WriteBytes(settings, huge);
        const QString path = folder.File("a.img");
        WriteArchive(path, ThreeEntries);
        {
            TfrmMain window({PathBytes(path)}, settings);
            QCOMPARE(dialogs->errors(),
                     QStringList(settings +
                                 " is over 1 MiB, too large to be Pelkon's settings file: it is "
                                 "left as it is, and the list of recent files starts empty and is "
                                 "not saved."));
            QCOMPARE(window.windowTitle(), QStringLiteral("Pelkon - [%1]").arg(path));
            QCOMPARE(window.history().Count(), 1);
            window.show();
            QVERIFY(window.close());
        }
        QCOMPARE(dialogs->errors().size(), 1);
        QVERIFY(ReadBytes(settings) == huge);
    }

private:
    std::unique_ptr<ScriptedDialogs> dialogs;
};

QTEST_MAIN(MainWindowLifecycleTest)
#include "MainWindowLifecycleTest.moc"
