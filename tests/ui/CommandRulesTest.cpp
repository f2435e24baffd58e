// The commands' enabling rules seen through the menus and the shortcut keys,
// the error handler, and the About box.
#include "MainWindowTestSupport.h"
#include "ScriptedDialogs.h"
#include "platform/Errors.h"
#include "ui/ErrorReporting.h"
#include "ui/FormAbout.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace {

const char* const RuledActions[] = {"actClose",  "actAdd",       "actExtract",
                                    "actDelete", "actSelectAll", "actRename"};

// Opens the window on an archive of `entries` entries (none: no archive), shown
// and active so that its shortcut keys work.
std::unique_ptr<TfrmMain> ShownWindow(TestFolder& folder, int entries) {
    QByteArrayList arguments;
    if (entries >= 0) {
        std::vector<TestEntry> list;
        for (int i = 0; i < entries; ++i)
            list.push_back({"entry" + std::to_string(i) + ".dff", 1});
        WriteArchive(folder.File("a.img"), list);
        arguments << PathBytes(folder.File("a.img"));
    }
    auto window = std::make_unique<TfrmMain>(arguments, folder.File(QStringLiteral("Pelkon.ini")));
    window->show();
    QApplication::setActiveWindow(window.get());
    if (!QTest::qWaitForWindowActive(window.get()))
        qFatal("window not active");
    window->fileList()->setFocus();
    return window;
}

} // namespace

class CommandRulesTest : public QObject {
    Q_OBJECT
private slots:
    void init() { dialogs = std::make_unique<ScriptedDialogs>(); }
    void cleanup() { dialogs.reset(); }

    void menusShowTheRules_data() {
        QTest::addColumn<int>("entries"); // -1: no archive open
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<QList<bool>>("enabled"); // in the order of RuledActions
        QTest::newRow("no archive")
            << -1 << QList<int>{} << QList<bool>{false, false, false, false, false, false};
        QTest::newRow("none selected")
            << 3 << QList<int>{} << QList<bool>{true, true, false, false, true, false};
        QTest::newRow("one selected")
            << 3 << QList<int>{1} << QList<bool>{true, true, true, true, true, true};
        QTest::newRow("two selected")
            << 3 << QList<int>{0, 2} << QList<bool>{true, true, true, true, true, false};
        QTest::newRow("empty archive")
            << 0 << QList<int>{} << QList<bool>{true, true, false, false, true, false};
    }
    void menusShowTheRules() {
        QFETCH(int, entries);
        QFETCH(QList<int>, selected);
        QFETCH(QList<bool>, enabled);
        TestFolder folder;
        auto window = ShownWindow(folder, entries);
        SelectRows(*window, selected);
        for (int i = 0; i < 6; ++i) {
            const char* name = RuledActions[i];
            if (QString(name) == "actClose") {
                QCOMPARE(EnabledInMenu(*window, "mniFile", name), enabled[i]);
                continue;
            }
            QCOMPARE(EnabledInMenu(*window, "mniAction", name), enabled[i]);
            QCOMPARE(EnabledInMenu(*window, "PopupMenu1", name), enabled[i]);
        }
        for (const char* always : {"mniNew", "mniOpen", "mniExit", "mniAbout"})
            QVERIFY(ActionNamed(*window, always)->isEnabled());
    }

    void disabledKeysDoNothingAndDoNotReachTheList_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("Ctrl+F4") << int(Qt::Key_F4) << int(Qt::ControlModifier);
        QTest::newRow("Ctrl+E") << int(Qt::Key_E) << int(Qt::ControlModifier);
        QTest::newRow("Del") << int(Qt::Key_Delete) << int(Qt::NoModifier);
        QTest::newRow("Ctrl+A") << int(Qt::Key_A) << int(Qt::ControlModifier);
        QTest::newRow("F2") << int(Qt::Key_F2) << int(Qt::NoModifier);
    }
    void disabledKeysDoNothingAndDoNotReachTheList() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        TestFolder folder;
        auto window = ShownWindow(folder, -1);
        // No archive: every key is disabled; a dialog asked now would fail the test.
        QTest::keyClick(window->fileList(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QVERIFY(dialogs->calls.isEmpty());
        QCOMPARE(window->windowTitle(), QStringLiteral("Pelkon"));
    }

    void keysFollowTheSelection() {
        TestFolder folder;
        auto window = ShownWindow(folder, 3);
        TFileListView* list = window->fileList();

        // Nothing selected: Del, F2 and Ctrl+E do nothing.
        for (Qt::Key key : {Qt::Key_Delete, Qt::Key_F2})
            QTest::keyClick(list, key);
        QTest::keyClick(list, Qt::Key_E, Qt::ControlModifier);
        QVERIFY(dialogs->calls.isEmpty());

        // Ctrl+A selects every row; F2 then stays disabled, Del asks.
        QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(list->selectedRowCount(), 3);
        QTest::keyClick(list, Qt::Key_F2);
        QCOMPARE(dialogs->count("inputBox"), 0);
        dialogs->confirmAnswers.enqueue(false);
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(dialogs->count("confirm"), 1);
        QCOMPARE(list->model()->rowCount(), 3);

        // One row: F2 asks for the name, Ctrl+E for a folder.
        SelectRows(*window, {1});
        dialogs->inputAnswers.enqueue(QStringLiteral("entry1.dff"));
        QTest::keyClick(list, Qt::Key_F2);
        QCOMPARE(dialogs->count("inputBox"), 1);
        dialogs->folderAnswers.enqueue({});
        QTest::keyClick(list, Qt::Key_E, Qt::ControlModifier);
        QCOMPARE(dialogs->count("chooseFolder"), 1);
        QCOMPARE(dialogs->calls.last().text, QStringLiteral("Please specify a directory"));

        // Ctrl+F4 closes the archive; afterwards the keys are disabled again.
        QTest::keyClick(list, Qt::Key_F4, Qt::ControlModifier);
        QCOMPARE(window->windowTitle(), QStringLiteral("Pelkon"));
        QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(list->selectedRowCount(), 0);
        QVERIFY(dialogs->errors().isEmpty());
    }

    void ruleIsAskedAgainRightBeforeRunning() {
        TestFolder folder;
        auto window = ShownWindow(folder, 3);
        SelectRows(*window, {0});
        QAction* rename = ActionNamed(*window, "actRename");
        QVERIFY(rename->isEnabled());
        // The selection grows behind the action's back: the stale state must not run it.
        const QSignalBlocker quiet(window->fileList()->selectionModel());
        window->fileList()->selectionModel()->select(window->fileList()->model()->index(2, 0),
                                                     QItemSelectionModel::Select |
                                                         QItemSelectionModel::Rows);
        rename->trigger();
        QCOMPARE(dialogs->count("inputBox"), 0);
        QVERIFY(!rename->isEnabled());
    }

    void selectAllOnAnEmptyArchiveSelectsNothing() {
        TestFolder folder;
        auto window = ShownWindow(folder, 0);
        ActionNamed(*window, "actSelectAll")->trigger();
        QCOMPARE(window->fileList()->selectedRowCount(), 0);
        for (const char* name : {"actExtract", "actDelete", "actRename"})
            QVERIFY(!EnabledInMenu(*window, "mniAction", name));
    }

    void selectAllThenRenameOnlyWithOneEntry_data() {
        QTest::addColumn<int>("entries");
        QTest::addColumn<bool>("renameEnabled");
        QTest::newRow("one") << 1 << true;
        QTest::newRow("two") << 2 << false;
    }
    void selectAllThenRenameOnlyWithOneEntry() {
        QFETCH(int, entries);
        TestFolder folder;
        auto window = ShownWindow(folder, entries);
        ActionNamed(*window, "actSelectAll")->trigger();
        QCOMPARE(window->fileList()->selectedRowCount(), entries);
        // Select All makes one range, however many rows.
        QCOMPARE(window->fileList()->selectionModel()->selection().size(), 1);
        QTEST(EnabledInMenu(*window, "PopupMenu1", "actRename"), "renameEnabled");
    }

    void commandFailureIsShownAndTheProgramCarriesOn() {
        TestFolder folder;
        auto window = ShownWindow(folder, 1);
        const QString missing = folder.File("not-there.bin");
        dialogs->openAnswers.enqueue({missing});
        ActionNamed(*window, "actAdd")->trigger();
        const FileDialogOptions& asked = dialogs->calls.first().options;
        QCOMPARE(asked.title, QStringLiteral("Select file(s) to add..."));
        QVERIFY(asked.filter.isEmpty());
        QVERIFY(asked.multiple && asked.mustExist);
        QCOMPARE(dialogs->errors(),
                 QStringList{QStringLiteral("Cannot open file %1.").arg(missing)});
        QCOMPARE(dialogs->calls.last().title, QStringLiteral("Pelkon"));
        QVERIFY(CurrentArchive);
        QVERIFY(ActionNamed(*window, "actAdd")->isEnabled());
    }

    void errorTextGetsAFullStopAfterDot_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter") << "Stream read error"
                                << "Stream read error.";
        QTest::newRow("full stop") << "Code: 5."
                                   << "Code: 5.";
        QTest::newRow("digit") << "Index out of bounds (9"
                               << "Index out of bounds (9.";
        QTest::newRow("bracket") << "bounds (9)"
                                 << "bounds (9)";
        QTest::newRow("slash sorts after dot") << "a/b/"
                                               << "a/b/.";
        QTest::newRow("hyphen sorts before") << "x-"
                                             << "x-";
        QTest::newRow("empty") << ""
                               << "";
    }
    void errorTextGetsAFullStopAfterDot() {
        QFETCH(QString, message);
        QTEST(ErrorText(message), "shown");
    }

    void guardedReportsEveryKindOfFailure() {
        Guarded(nullptr, [] { throw Exception("Section is not set!"); });
        Guarded(nullptr, [] { throw std::runtime_error("plain"); });
        Guarded(nullptr, [] { throw 42; });
        Guarded(
            nullptr, [] { throw std::bad_alloc(); }, QStringLiteral("Check Archive"));
        QCOMPARE(dialogs->errors().size(), 4);
        QCOMPARE(dialogs->errors()[0], QStringLiteral("Section is not set!"));
        QCOMPARE(dialogs->errors()[1], QStringLiteral("plain."));
        QCOMPARE(dialogs->errors()[3], QStringLiteral("Out of memory in Check Archive."));
    }

    void aboutBoxFromTheHelpMenu() {
        TestFolder folder;
        auto window = ShownWindow(folder, -1);
        QString title;
        bool escapeClosed = true;
        QTimer::singleShot(0, [&] {
            auto* about = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(about);
            title = about->windowTitle();
            QTest::keyClick(about, Qt::Key_Escape);
            escapeClosed = !about->isVisible();
            auto* link = about->findChild<QLabel*>(QStringLiteral("Label3"));
            QTest::mouseClick(link, Qt::LeftButton);
            QTest::mouseClick(link, Qt::LeftButton);
            QVERIFY(about->isVisible());
            about->findChild<QPushButton*>(QStringLiteral("Button1"))->click();
        });
        ActionNamed(*window, "mniAbout")->trigger();
        QCOMPARE(title, QStringLiteral("About..."));
        QVERIFY(!escapeClosed);
        QCOMPARE(dialogs->count("openUrl"), 2);
        const QUrl opened(dialogs->calls.last().text);
        QVERIFY(opened.isLocalFile());
        QVERIFY(opened.toLocalFile().endsWith(QStringLiteral("/README.md")));
        QVERIFY(QFileInfo(opened.toLocalFile()).isFile());
        QVERIFY(!QApplication::activeModalWidget());
    }

    // The link opens the README that belongs to the running program: installed,
    // the one installed beside it under the same prefix; run from the build tree,
    // where nothing is installed, the source tree's.
    void aboutLinkFindsTheReadmeWhereTheProgramRuns() {
        const QString sourceReadme =
            QFileInfo(QStringLiteral(QT_TESTCASE_SOURCEDIR "/../../README.md")).canonicalFilePath();
        QVERIFY(!sourceReadme.isEmpty());
        QCOMPARE(QFileInfo(TfrmAbout::HomePage().toLocalFile()).canonicalFilePath(), sourceReadme);

        TestFolder prefix;
        QVERIFY(QDir(prefix.Path()).mkpath("bin"));
        QCOMPARE(
            QFileInfo(TfrmAbout::HomePage(prefix.File("bin")).toLocalFile()).canonicalFilePath(),
            sourceReadme);
        QVERIFY(QDir(prefix.Path()).mkpath("share/doc/Pelkon"));
        QVERIFY(QFile::copy(sourceReadme, prefix.File("share/doc/Pelkon/README.md")));
        QCOMPARE(TfrmAbout::HomePage(prefix.File("bin")),
                 QUrl::fromLocalFile(prefix.File("share/doc/Pelkon/README.md")));
    }

    void aboutBoxLayout() {
        TfrmAbout about;
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        auto* ok = about.findChild<QPushButton*>(QStringLiteral("Button1"));
        QCOMPARE(ok->text(), QStringLiteral("&Ok"));
        QCOMPARE(about.focusWidget(), ok);
        QCOMPARE(about.minimumSize(), about.maximumSize());
        auto* name = about.findChild<QLabel*>(QStringLiteral("Label1"));
        QCOMPARE(name->text(), QStringLiteral("GTA3 Pelkon 0.2"));
        QVERIFY(name->font().bold());
        auto* link = about.findChild<QLabel*>(QStringLiteral("Label3"));
        QCOMPARE(link->text(), TfrmAbout::HomePage().toString());
        QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
    }

    // Ctrl+Z and Ctrl+Shift+Z go through the rule table like every key: the
    // items are named after the command, enabled only when there is a step,
    // and the entries brought back are the selected rows.
    void undoAndRedoByKey_data() {
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<int>("key");
        QTest::addColumn<QStringList>("afterCommand"); // the names shown, sorted
        QTest::addColumn<QString>("command");          // as the items name it
        QTest::addColumn<QStringList>("selectedAfterUndo");
        QTest::newRow("delete") << QList<int>{1, 3} << int(Qt::Key_Delete)
                                << QStringList{"entry0.dff", "entry2.dff"}
                                << QStringLiteral("Delete 2 Entries")
                                << QStringList{"entry1.dff", "entry3.dff"};
        QTest::newRow("rename") << QList<int>{0} << int(Qt::Key_F2)
                                << QStringList{"entry1.dff", "entry2.dff", "entry3.dff", "z.dff"}
                                << QStringLiteral("Rename") << QStringList{"entry0.dff"};
    }
    void undoAndRedoByKey() {
        QFETCH(QList<int>, selected);
        QFETCH(int, key);
        QFETCH(QStringList, afterCommand);
        QFETCH(QString, command);
        QFETCH(QStringList, selectedAfterUndo);
        TestFolder folder;
        auto window = ShownWindow(folder, 4);
        TFileListView* list = window->fileList();
        const QStringList before = ColumnTexts(*window);
        QVERIFY(!EnabledInMenu(*window, "mniAction", "actUndo"));
        QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier); // nothing to undo: nothing asked
        QCOMPARE(ColumnTexts(*window), before);

        SelectRows(*window, selected);
        dialogs->confirmAnswers.enqueue(true);
        dialogs->inputAnswers.enqueue(QStringLiteral("z.dff"));
        // A renamed entry keeps its row until the list is sorted again.
        const auto shownSorted = [&] {
            QStringList names = ColumnTexts(*window);
            names.sort();
            return names;
        };
        QTest::keyClick(list, Qt::Key(key));
        QCOMPARE(shownSorted(), afterCommand);
        QVERIFY(EnabledInMenu(*window, "mniAction", "actUndo"));
        QVERIFY(!EnabledInMenu(*window, "mniAction", "actRedo"));
        QCOMPARE(ActionNamed(*window, "actUndo")->text(), QStringLiteral("&Undo ") + command);

        QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(ColumnTexts(*window), before);
        QCOMPARE(SelectedNames(*window), selectedAfterUndo);
        QVERIFY(EnabledInMenu(*window, "PopupMenu1", "actRedo"));
        QCOMPARE(ActionNamed(*window, "actRedo")->text(), QStringLiteral("&Redo ") + command);

        QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(shownSorted(), afterCommand);
        QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(dialogs->errors().isEmpty());

        // The history lives as long as the archive stays open.
        QTest::keyClick(list, Qt::Key_F4, Qt::ControlModifier);
        QVERIFY(!EnabledInMenu(*window, "mniAction", "actUndo"));
        QVERIFY(!EnabledInMenu(*window, "mniAction", "actRedo"));
        QCOMPARE(ActionNamed(*window, "actRedo")->text(), QStringLiteral("&Redo"));
    }

private:
    std::unique_ptr<ScriptedDialogs> dialogs;
};

QTEST_MAIN(CommandRulesTest)
#include "CommandRulesTest.moc"
