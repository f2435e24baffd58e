// The new commands in their menus and under their rules, and the status bar:
// the counts and the dead space after each command, the problems of an
// opened archive told without a dialog, and a check result that is never of
// an older state of the archive.
#include "ScriptedDialogs.h"
#include "WorkflowTestSupport.h"

#include "ui/BackgroundCheck.h"

#include <QLineEdit>
#include <QtTest>

namespace {

QStringList EntryNames(QMenu* menu) {
    QStringList names;
    for (const QAction* action : menu->actions())
        names << (action->menu() ? action->menu()->objectName() : action->objectName());
    return names;
}

} // namespace

class StatusAndRulesTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        folder = std::make_unique<TestFolder>();
        dialogs = std::make_unique<ScriptedDialogs>();
    }
    void cleanup() { dialogs.reset(); }

    void newCommandsStandAfterTheDesignedOnes();
    void newCommandsNeedAnOpenArchive();
    void statusBarFollowsEveryCommand();
    void problemsOfAnOpenedArchiveAreTold();
    void aCheckResultIsNeverOfAnOlderState();

private:
    std::unique_ptr<TestFolder> folder;
    std::unique_ptr<ScriptedDialogs> dialogs;
};

void StatusAndRulesTest::newCommandsStandAfterTheDesignedOnes() {
    TfrmMain window({}, folder->File(QStringLiteral("Pelkon.ini")));
    QCOMPARE(EntryNames(MenuNamed(window, "mniFile")),
             QStringList({"mniNew", "mniOpen", "mniReopen", "actClose", "mniN1", "mniExit", "mniN3",
                          "actSaveCompacted"}));
    QCOMPARE(EntryNames(MenuNamed(window, "mniAction")),
             QStringList({"actAdd", "actExtract", "actRename", "actDelete", "mniN2", "actSelectAll",
                          "mniN4", "actImport", "actFilter", "actCheck", "mniN5", "actCompact",
                          "mniN6", "actUndo", "actRedo"}));
    QCOMPARE(EntryNames(MenuNamed(window, "PopupMenu1")),
             QStringList({"actAdd", "actExtract", "actRename", "actDelete", "N1", "actSelectAll",
                          "N2", "actImport", "actFilter", "actCheck", "N3", "actCompact", "N4",
                          "actUndo", "actRedo"}));
    QCOMPARE(ActionNamed(window, "actImport")->text(), QString("&Import and Replace..."));
    QCOMPARE(ActionNamed(window, "actImport")->shortcut(), QKeySequence("Ctrl+R"));
    QCOMPARE(ActionNamed(window, "actFilter")->shortcut(), QKeySequence("Ctrl+F"));
    QCOMPARE(ActionNamed(window, "actUndo")->shortcut(), QKeySequence("Ctrl+Z"));
    QCOMPARE(ActionNamed(window, "actRedo")->shortcut(), QKeySequence("Ctrl+Shift+Z"));
    QCOMPARE(ActionNamed(window, "actCheck")->text(), QString("&Check Archive"));
    QCOMPARE(ActionNamed(window, "actSaveCompacted")->text(),
             QString("Save Compacted Copy &As..."));
    QCOMPARE(ActionNamed(window, "actCompact")->text(), QString("Com&pact Archive..."));
}

void StatusAndRulesTest::newCommandsNeedAnOpenArchive() {
    WriteArchive(folder->File("a.img"), {{"a.dff", 1}});
    TfrmMain window({}, folder->File(QStringLiteral("Pelkon.ini")));
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    window.fileList()->setFocus();
    auto* field = window.findChild<QLineEdit*>("edtFilter");

    for (const bool open : {false, true}) {
        if (open)
            window.OpenArchive(PathBytes(folder->File("a.img")));
        QCOMPARE(EnabledInMenu(window, "mniFile", "actSaveCompacted"), open);
        for (const char* name : {"actImport", "actFilter", "actCheck", "actCompact"}) {
            QCOMPARE(EnabledInMenu(window, "mniAction", name), open);
            QCOMPARE(EnabledInMenu(window, "PopupMenu1", name), open);
        }
        QCOMPARE(field->isEnabled(), open);
        QCOMPARE(window.fileList()->acceptDrops(), open);
    }
    // Closed again, the keys do nothing: no dialog, no focus taken.
    ActionNamed(window, "actClose")->trigger();
    window.fileList()->setFocus();
    QTest::keyClick(window.fileList(), Qt::Key_R, Qt::ControlModifier);
    QTest::keyClick(window.fileList(), Qt::Key_F, Qt::ControlModifier);
    QVERIFY(dialogs->calls.isEmpty());
    QVERIFY(!field->hasFocus());
}

void StatusAndRulesTest::statusBarFollowsEveryCommand() {
    // Sectors 1 and 4-5 belong to no record: 3 of 6 sectors are dead, and
    // b.txd does not follow a.dff as the games read them.
    const QString img = folder->File("a.img");
    WritePair(img, {{0, 1, "a.dff"}, {2, 2, "b.txd"}}, 6);
    auto window = ShownWindow(*folder, img);
    QVERIFY(CheckCounted(*window));
    QVERIFY2(StatusText(*window).startsWith("2 entries · 0 selected · data file "),
             qPrintable(StatusText(*window)));
    QVERIFY(StatusText(*window).endsWith(" · dead space 6.0 KiB (50.0%)"));
    QCOMPARE(ProblemsText(*window), QString("1 problem — Action, Check Archive"));
    // At the window's first width every text of the bar still shows whole
    // (StatusLayoutTest tries the longest ones).
    window->resize(485, window->height());
    for (const char* name : {"lblProblems", "lblStatus", "lblSpace"}) {
        auto* label = window->findChild<QLabel*>(QLatin1StringView(name));
        QTRY_VERIFY2(label->width() >= label->sizeHint().width(), name);
    }
    window->resize(900, window->height());

    SelectRows(*window, {1});
    QVERIFY(StatusText(*window).startsWith("2 entries · 1 selected"));
    dialogs->confirmAnswers << true;
    ActionNamed(*window, "actDelete")->trigger();
    QVERIFY(CheckCounted(*window));
    QVERIFY(StatusText(*window).startsWith("1 entry · 0 selected"));
    QVERIFY(StatusText(*window).endsWith(" · dead space 10.0 KiB (83.3%)"));
    QVERIFY(ProblemsText(*window).isEmpty());

    // Replacing makes the old data dead and the data file longer.
    WriteBytes(folder->File("a.dff"), Pattern(4096, 9));
    dialogs->openAnswers << QStringList{folder->File("a.dff")};
    ActionNamed(*window, "actImport")->trigger();
    QVERIFY(CheckCounted(*window));
    QVERIFY(StatusText(*window).endsWith(" · dead space 12.0 KiB (75.0%)"));
    QCOMPARE(FileSize(img), 8 * 2048);

    ActionNamed(*window, "actClose")->trigger();
    QVERIFY(StatusText(*window).isEmpty());
    QVERIFY(dialogs->errors().isEmpty());
}

void StatusAndRulesTest::problemsOfAnOpenedArchiveAreTold() {
    // A record past the data file's end, and a name two entries carry.
    const QString img = folder->File("a.img");
    WritePair(img, {{0, 1, "same.dff"}, {1, 1, "SAME.DFF"}, {1, 9, "long.txd"}}, 2);
    auto window = ShownWindow(*folder, img);
    QVERIFY(CheckCounted(*window));
    QCOMPARE(ProblemsText(*window), QString("3 problems — Action, Check Archive"));
    QVERIFY(dialogs->calls.isEmpty()); // opening asked nothing

    // Once the problems are gone, so is the notice.
    SelectRows(*window, {0, 2}); // long.txd and one of the two names
    dialogs->confirmAnswers << true;
    ActionNamed(*window, "actDelete")->trigger();
    QVERIFY(CheckCounted(*window));
    QVERIFY(ProblemsText(*window).isEmpty());
}

void StatusAndRulesTest::aCheckResultIsNeverOfAnOlderState() {
    // A delete while the check of the opened archive is running: its result,
    // when it comes, is of the archive before the delete.
    std::vector<TestEntry> entries = {{"aaa1", 1}, {"aaa2", 1}, {"aaa3", 1}};
    for (int i = 0; i < 300000; ++i)
        entries.push_back({"e" + std::to_string(i), 0});
    WriteArchive(folder->File("a.img"), entries);
    auto window = ShownWindow(*folder, folder->File("a.img"));
    auto* check = window->findChild<TBackgroundCheck*>();
    QVERIFY(QTest::qWaitFor([&] { return check->Running(); }, 20000));
    SelectRows(*window, {0, 1});
    dialogs->confirmAnswers << true;
    ActionNamed(*window, "actDelete")->trigger();

    // The first result to show is the one of the archive after the delete.
    QVERIFY(QTest::qWaitFor(
        [&] { return !StatusText(*window).contains(QStringLiteral("counting")); }, 20000));
    QVERIFY2(StatusText(*window).endsWith(" · dead space 4.0 KiB (66.7%)"),
             qPrintable(StatusText(*window)));
}

QTEST_MAIN(StatusAndRulesTest)
#include "StatusAndRulesTest.moc"
