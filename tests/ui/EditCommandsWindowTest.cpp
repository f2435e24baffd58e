// Add, Extract, Delete and Rename reached through the main window's actions:
// the dialogs they ask, what the list shows afterwards, and failures shown in
// the error box with nothing left behind.
#include "ScriptedDialogs.h"
#include "WorkflowTestSupport.h"

#include "platform/FaultInjection.h"

#include "sorting/SortFunctions.h"

#include <QDir>

class EditCommandsWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void addThroughTheWindow();
    void addFailureIsShownAndReleasesEverything();
    void extractThroughTheWindow();
    void extractRefusesAHostileName();
    void deleteAndRenameThroughTheWindow();
    void unreadableNamesAreToldOnce_data();
    void unreadableNamesAreToldOnce();
    void aWholeDeleteTellsWhatFailedAfterInTheStatusBar();

private:
    std::unique_ptr<TfrmMain> OpenWindow(const std::vector<TestEntry>& entries);

    std::unique_ptr<TestFolder> fresh; // a new folder for every test
    std::unique_ptr<ScriptedDialogs> dialogs;
};

void EditCommandsWindowTest::init() {
    fresh = std::make_unique<TestFolder>();
    dialogs = std::make_unique<ScriptedDialogs>();
}

void EditCommandsWindowTest::cleanup() {
    dialogs.reset();
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

std::unique_ptr<TfrmMain>
EditCommandsWindowTest::OpenWindow(const std::vector<TestEntry>& entries) {
    WriteArchive(fresh->File("a.img"), entries);
    auto window = std::make_unique<TfrmMain>(QByteArrayList{PathBytes(fresh->File("a.img"))},
                                             fresh->File(QStringLiteral("Pelkon.ini")));
    window->show();
    return window;
}

void EditCommandsWindowTest::addThroughTheWindow() {
    auto window = OpenWindow({{"mmm.dff", 1}, {"zzz.txd", 2}});
    QCOMPARE(ColumnTexts(*window), QStringList({"mmm.dff", "zzz.txd"}));

    dialogs->openAnswers << QStringList{};
    ActionNamed(*window, "actAdd")->trigger();
    QCOMPARE(dialogs->calls.last().title, QString("Select file(s) to add..."));
    QVERIFY(dialogs->calls.last().options.multiple);
    QCOMPARE(ColumnTexts(*window).size(), 2);

    WriteBytes(fresh->File("bbb.col"), Pattern(10, 1));
    WriteBytes(fresh->File("aaa.ifp"), Pattern(5000, 2));
    dialogs->openAnswers << QStringList{fresh->File("bbb.col"), fresh->File("aaa.ifp")};
    ActionNamed(*window, "actAdd")->trigger();

    QVERIFY(dialogs->errors().isEmpty());
    QCOMPARE(ColumnTexts(*window), QStringList({"aaa.ifp", "bbb.col", "mmm.dff", "zzz.txd"}));
    QCOMPARE(ReadRecords(fresh->File("a.dir")).size(), 4);
    QVERIFY(window->findChild<TfrmProgress*>() == nullptr);
}

void EditCommandsWindowTest::addFailureIsShownAndReleasesEverything() {
    auto window = OpenWindow({{"mmm.dff", 1}});
    WriteBytes(fresh->File("one.txt"), Pattern(10, 1));
    dialogs->openAnswers << QStringList{fresh->File("one.txt"), fresh->File("gone.txt")};
    ActionNamed(*window, "actAdd")->trigger();

    QCOMPARE(dialogs->errors(), QStringList({"Cannot open file " + fresh->File("gone.txt") + "."}));
    // The first file is in the archive, and the list shows it.
    QCOMPARE(ReadRecords(fresh->File("a.dir")).size(), 2);
    QCOMPARE(ColumnTexts(*window), QStringList({"mmm.dff", "one.txt"}));
    QVERIFY(window->findChild<TfrmProgress*>() == nullptr);
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

void EditCommandsWindowTest::extractThroughTheWindow() {
    auto window = OpenWindow({{"b.dff", 1}, {"a.txd", 2}, {"c.col", 3}});
    QVERIFY(QDir(fresh->Path()).mkdir("out"));
    SelectRows(*window, {0, 2}); // a.txd and c.col

    dialogs->folderAnswers << QString();
    ActionNamed(*window, "actExtract")->trigger();
    QCOMPARE(dialogs->calls.last().text, QString("Please specify a directory"));
    QVERIFY(QDir(fresh->File("out")).isEmpty());

    dialogs->folderAnswers << fresh->File("out");
    ActionNamed(*window, "actExtract")->trigger();
    QVERIFY(dialogs->errors().isEmpty());
    QCOMPARE(FileSize(fresh->File("out/a.txd")), 2 * 2048);
    QCOMPARE(FileSize(fresh->File("out/c.col")), 3 * 2048);
    QVERIFY(!QFile::exists(fresh->File("out/b.dff")));
    QCOMPARE(window->fileList()->selectedRowCount(), 2);
}

void EditCommandsWindowTest::extractRefusesAHostileName() {
    auto window = OpenWindow({{"../escaped.txt", 1}});
    QVERIFY(QDir(fresh->Path()).mkdir("out"));
    SelectRows(*window, {0});
    dialogs->folderAnswers << fresh->File("out");
    ActionNamed(*window, "actExtract")->trigger();

    QCOMPARE(dialogs->errors(),
             QStringList({"Cannot create file " + fresh->File("out") + "/../escaped.txt."}));
    QVERIFY(!QFile::exists(fresh->File("escaped.txt")));
    QVERIFY(QDir(fresh->File("out")).isEmpty());
    QVERIFY(window->findChild<TfrmProgress*>() == nullptr);
}

void EditCommandsWindowTest::deleteAndRenameThroughTheWindow() {
    auto window = OpenWindow({{"d.dff", 1}, {"a.dff", 1}, {"c.dff", 1}, {"b.dff", 1}});
    SelectRows(*window, {1, 3}); // b.dff and d.dff

    dialogs->confirmAnswers << false;
    ActionNamed(*window, "actDelete")->trigger();
    QCOMPARE(ColumnTexts(*window), QStringList({"a.dff", "b.dff", "c.dff", "d.dff"}));
    QCOMPARE(window->fileList()->selectedRowCount(), 2);

    dialogs->confirmAnswers << true;
    ActionNamed(*window, "actDelete")->trigger();
    QCOMPARE(ColumnTexts(*window), QStringList({"a.dff", "c.dff"}));
    QCOMPARE(window->fileList()->selectedRowCount(), 0);
    QCOMPARE(ReadRecords(fresh->File("a.dir")).size(), 2);

    // Renamed in place: the row keeps its place until the next sort.
    SelectRows(*window, {0});
    dialogs->inputAnswers << "z.dff";
    ActionNamed(*window, "actRename")->trigger();
    QCOMPARE(dialogs->calls.last().text, QString("a.dff"));
    QCOMPARE(ColumnTexts(*window), QStringList({"z.dff", "c.dff"}));
    QVERIFY(dialogs->errors().isEmpty());
}

void EditCommandsWindowTest::unreadableNamesAreToldOnce_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<QStringList>("files"); // added or imported
    QTest::addColumn<QString>("newName");   // for Rename
    QTest::addColumn<QString>("notice");
    const QString long24 = QStringLiteral("abcdefghijklmnopqrst.dff");
    const QString one = QStringLiteral("1 name fills all 24 bytes with no zero byte after it: "
                                       "the games cannot read it (use at most 23 bytes)");
    QTest::newRow("add") << "actAdd"
                         << QStringList{long24 + "x", "b.txd", "cdefghijklmnopqrstuvwxyz"}
                         << QString()
                         << "2 names fill all 24 bytes with no zero byte after them: the games "
                            "cannot read them (use at most 23 bytes)";
    QTest::newRow("add short names") << "actAdd" << QStringList{"b.txd"} << QString() << QString();
    // A replaced entry keeps its name: only the added one is new.
    QTest::newRow("import") << "actImport" << QStringList{"mmm.dff", long24} << QString()
                            << "Import and Replace: 1 replaced, 1 added; " + one;
    QTest::newRow("rename") << "actRename" << QStringList{} << long24 + "yz" << one;
    QTest::newRow("rename short") << "actRename" << QStringList{} << "b.dff" << QString();
}

void EditCommandsWindowTest::unreadableNamesAreToldOnce() {
    QFETCH(QString, action);
    QFETCH(QStringList, files);
    QFETCH(QString, newName);
    QFETCH(QString, notice);
    auto window = OpenWindow({{"mmm.dff", 1}});
    QStringList paths;
    for (const QString& file : files) {
        paths << fresh->File(file);
        WriteBytes(paths.last(), Pattern(10, 1));
    }
    dialogs->openAnswers << paths;
    dialogs->inputAnswers << newName;
    SelectRows(*window, {0});
    ActionNamed(*window, action.toLatin1().constData())->trigger();

    QVERIFY(dialogs->errors().isEmpty());
    QCOMPARE(NoticeText(*window), notice);
}

// Once the new directory is in place, a folder that cannot be put on disk is
// told above the counts, not in an error box.
void EditCommandsWindowTest::aWholeDeleteTellsWhatFailedAfterInTheStatusBar() {
    auto window = OpenWindow({{"a.dff", 1}, {"b.dff", 1}});
    SelectRows(*window, {0});
    dialogs->confirmAnswers << true;
    faults::FailNthCall(1, EACCES, faults::Call::SyncFolder);
    ActionNamed(*window, "actDelete")->trigger();
    faults::Reset();
    QVERIFY(dialogs->errors().isEmpty());
    QCOMPARE(ColumnTexts(*window), QStringList({"b.dff"}));
    QCOMPARE(NoticeText(*window), QString("Delete: the folder could not be synced (Permission "
                                          "denied); the entries are deleted"));
}

QTEST_MAIN(EditCommandsWindowTest)
#include "EditCommandsWindowTest.moc"
