// The commands of the main window: its actions and their enabling rules, the
// menus and shortcut keys that reach them, and the Reopen submenu.
#include "ui/FormMain.h"

#include "archive/Cancel.h"
#include "archive/Gta3Archive.h"
#include "ui/CommandSupport.h"
#include "ui/DialogSeam.h"
#include "ui/EntryCommands.h"
#include "ui/ErrorReporting.h"
#include "ui/JobRunner.h"
#include "ui/NameText.h"
#include "ui/PathText.h"
#include "ui/StatusPanel.h"

#include <QAction>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>

#include <algorithm>
#include <cstdint>
#include <exception>

QAction* TfrmMain::AddCommand(const char* name, const QString& caption,
                              const QKeySequence& shortcut, Handler execute, UpdateHandler rule) {
    auto* action = new QAction(caption, this);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(shortcut);
    addAction(action); // its key works wherever the focus is in the window
    const Command command{action, execute, rule};
    ActionList1.push_back(command);
    connect(action, &QAction::triggered, this, [this, command] { RunCommand(command); });
    return action;
}

QAction* TfrmMain::AddMenuItem(QMenu* menu, const char* name, const QString& caption,
                               const QKeySequence& shortcut, Handler click) {
    QAction* item = menu->addAction(caption);
    item->setObjectName(QString::fromLatin1(name));
    item->setShortcut(shortcut);
    addAction(item);
    connect(item, &QAction::triggered, this, [this, click, caption] {
        Guarded(
            this, [&] { (this->*click)(); }, QString(caption).remove(u'&'));
        UpdateWindow();
    });
    return item;
}

void TfrmMain::CreateActions() {
    actClose = AddCommand("actClose", QStringLiteral("&Close"), Qt::CTRL | Qt::Key_F4,
                          &TfrmMain::actCloseExecute, &TfrmMain::actCloseUpdate);
    actAdd = AddCommand("actAdd", QStringLiteral("Add"), {}, &TfrmMain::actAddExecute,
                        &TfrmMain::actCloseUpdate);
    actExtract = AddCommand("actExtract", QStringLiteral("&Extract"), Qt::CTRL | Qt::Key_E,
                            &TfrmMain::actExtractExecute, &TfrmMain::actExtractUpdate);
    actDelete = AddCommand("actDelete", QStringLiteral("Delete"), Qt::Key_Delete,
                           &TfrmMain::actDeleteExecute, &TfrmMain::actDeleteUpdate);
    actSelectAll = AddCommand("actSelectAll", QStringLiteral("Select All"), Qt::CTRL | Qt::Key_A,
                              &TfrmMain::actSelectAllExecute, &TfrmMain::actCloseUpdate);
    actRename = AddCommand("actRename", QStringLiteral("Rename"), Qt::Key_F2,
                           &TfrmMain::actRenameExecute, &TfrmMain::actRenameUpdate);
    // The modder's workflow: each needs an open archive.
    actImport =
        AddCommand("actImport", QStringLiteral("&Import and Replace..."), Qt::CTRL | Qt::Key_R,
                   &TfrmMain::actImportExecute, &TfrmMain::actCloseUpdate);
    actFilter = AddCommand("actFilter", QStringLiteral("&Filter"), Qt::CTRL | Qt::Key_F,
                           &TfrmMain::actFilterExecute, &TfrmMain::actCloseUpdate);
    actCheck = AddCommand("actCheck", QStringLiteral("&Check Archive"), {},
                          &TfrmMain::actCheckExecute, &TfrmMain::actCloseUpdate);
    actSaveCompacted =
        AddCommand("actSaveCompacted", QStringLiteral("Save Compacted Copy &As..."), {},
                   &TfrmMain::actSaveCompactedExecute, &TfrmMain::actCloseUpdate);
    actCompact = AddCommand("actCompact", QStringLiteral("Com&pact Archive..."), {},
                            &TfrmMain::actCompactExecute, &TfrmMain::actCloseUpdate);
    actUndo = AddCommand("actUndo", QStringLiteral("&Undo"), Qt::CTRL | Qt::Key_Z,
                         &TfrmMain::actUndoExecute, &TfrmMain::actUndoUpdate);
    actRedo = AddCommand("actRedo", QStringLiteral("&Redo"), Qt::CTRL | Qt::SHIFT | Qt::Key_Z,
                         &TfrmMain::actRedoExecute, &TfrmMain::actRedoUpdate);
}

void TfrmMain::CreateMenus() {
    QMenuBar* mnuMain = menuBar();
    mnuMain->setObjectName(QStringLiteral("mnuMain"));

    QMenu* mniFile = mnuMain->addMenu(QStringLiteral("&File"));
    mniFile->setObjectName(QStringLiteral("mniFile"));
    mniNew = AddMenuItem(mniFile, "mniNew", QStringLiteral("&New"), Qt::CTRL | Qt::Key_N,
                         &TfrmMain::mniNewClick);
    mniOpen = AddMenuItem(mniFile, "mniOpen", QStringLiteral("&Open"), Qt::CTRL | Qt::Key_O,
                          &TfrmMain::mniOpenClick);
    mniReopen = mniFile->addMenu(QStringLiteral("&Reopen"));
    mniReopen->setObjectName(QStringLiteral("mniReopen"));
    mniReopen->addAction(QString()); // placeholder until the history is loaded
    mniReopen->menuAction()->setEnabled(false);
    mniFile->addAction(actClose);
    mniFile->addSeparator()->setObjectName(QStringLiteral("mniN1"));
    AddMenuItem(mniFile, "mniExit", QStringLiteral("&Exit"), Qt::ALT | Qt::Key_F4,
                &TfrmMain::mniExitClick);
    mniFile->addSeparator()->setObjectName(QStringLiteral("mniN3"));
    mniFile->addAction(actSaveCompacted);

    QMenu* mniAction = mnuMain->addMenu(QStringLiteral("&Action"));
    mniAction->setObjectName(QStringLiteral("mniAction"));
    mniAction->addActions({actAdd, actExtract, actRename, actDelete});
    mniAction->addSeparator()->setObjectName(QStringLiteral("mniN2"));
    mniAction->addAction(actSelectAll);
    mniAction->addSeparator()->setObjectName(QStringLiteral("mniN4"));
    mniAction->addActions({actImport, actFilter, actCheck});
    mniAction->addSeparator()->setObjectName(QStringLiteral("mniN5"));
    mniAction->addAction(actCompact);
    mniAction->addSeparator()->setObjectName(QStringLiteral("mniN6"));
    mniAction->addActions({actUndo, actRedo});

    QMenu* mniHelp = mnuMain->addMenu(QStringLiteral("&Help"));
    mniHelp->setObjectName(QStringLiteral("mniHelp"));
    AddMenuItem(mniHelp, "mniAbout", QStringLiteral("About"), {}, &TfrmMain::mniAboutClick);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    PopupMenu1->addActions({actAdd, actExtract, actRename, actDelete});
    PopupMenu1->addSeparator()->setObjectName(QStringLiteral("N1"));
    PopupMenu1->addAction(actSelectAll);
    PopupMenu1->addSeparator()->setObjectName(QStringLiteral("N2"));
    PopupMenu1->addActions({actImport, actFilter, actCheck});
    PopupMenu1->addSeparator()->setObjectName(QStringLiteral("N3"));
    PopupMenu1->addAction(actCompact);
    PopupMenu1->addSeparator()->setObjectName(QStringLiteral("N4"));
    PopupMenu1->addActions({actUndo, actRedo});
    lsvFileList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lsvFileList, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        PopupMenu1->popup(lsvFileList->viewport()->mapToGlobal(pos));
    });

    for (QMenu* menu : {mniFile, mniAction, PopupMenu1})
        connect(menu, &QMenu::aboutToShow, this, &TfrmMain::UpdateActions);
}

// The enabling rules. The archive test comes first: without an archive the list
// is not asked. While a long command runs, no other command may start.
void TfrmMain::actCloseUpdate(QAction* action) {
    action->setEnabled(CurrentArchive != nullptr && !JobRunning());
}

void TfrmMain::actExtractUpdate(QAction* action) {
    action->setEnabled(CurrentArchive && !JobRunning() && FEntryList->selectedCount() >= 1);
}

void TfrmMain::actDeleteUpdate(QAction* action) {
    action->setEnabled(CurrentArchive && !JobRunning() && FEntryList->selectedCount() >= 1);
}

void TfrmMain::actRenameUpdate(QAction* action) {
    action->setEnabled(CurrentArchive && !JobRunning() && FEntryList->selectedCount() == 1);
}

// Undo and Redo are named after the command they work on.
void TfrmMain::actUndoUpdate(QAction* action) {
    const auto command = FUndo.UndoCommand();
    action->setEnabled(CurrentArchive && !JobRunning() && command);
    action->setText(UndoCaption(QStringLiteral("&Undo"), command, FUndo.UndoCount()));
}

void TfrmMain::actRedoUpdate(QAction* action) {
    const auto command = FUndo.RedoCommand();
    action->setEnabled(CurrentArchive && !JobRunning() && command);
    action->setText(UndoCaption(QStringLiteral("&Redo"), command, FUndo.RedoCount()));
}

void TfrmMain::UpdateActions() {
    for (const Command& command : ActionList1)
        (this->*command.update)(command.action);
    // Opening another archive would close the one a command works on.
    for (QAction* item : {mniNew, mniOpen, mniReopen->menuAction()})
        item->setEnabled(!JobRunning() && (item != mniReopen->menuAction() || History.Count() > 0));
    // The filter field and drops follow the commands they belong to.
    edtFilter->setEnabled(actFilter->isEnabled());
    lsvFileList->setAcceptDrops(actImport->isEnabled());
}

void TfrmMain::UpdateWindow() {
    UpdateActions();
    UpdateStatus();
}

const TfrmMain::Command& TfrmMain::CommandOf(const QAction* action) const {
    return *std::find_if(ActionList1.begin(), ActionList1.end(),
                         [&](const Command& command) { return command.action == action; });
}

void TfrmMain::RunCommand(const Command& command, const std::function<void()>& body) {
    // The rule is asked once more right before the command runs: a command whose
    // rule does not hold does nothing and says nothing.
    Guarded(
        this,
        [&] {
            (this->*command.update)(command.action);
            if (!command.action->isEnabled())
                return;
            FStatus->SetNotice({}); // the bar tells the result of the last command only
            try {
                if (body)
                    body();
                else
                    (this->*command.execute)();
            } catch (const ECancelled& cancelled) {
                // Not a failure: the bar tells what was done before the stop.
                FStatus->SetNotice(
                    QString(command.action->text()).remove(u'&').remove(QStringLiteral("...")) +
                    QStringLiteral(" cancelled: ") + NameToText(cancelled.what()));
            }
        },
        QString(command.action->text()).remove(u'&').remove(QStringLiteral("...")));
    UpdateWindow();
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edtFilter && event->type() == QEvent::KeyPress &&
        edtFilterKey(static_cast<QKeyEvent*>(event)->key()))
        return true;
    // A shortcut whose action is disabled is not taken by the shortcut system; its
    // key would reach the list (Ctrl+A would select there). Such keys are consumed
    // here, after the rule has been asked once more.
    if (watched == lsvFileList && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QKeySequence pressed(
            QKeyCombination(key->modifiers() & ~Qt::KeypadModifier, Qt::Key(key->key())));
        for (const Command& command : ActionList1) {
            if (!command.action->shortcut().isEmpty() && command.action->shortcut() == pressed) {
                RunCommand(command);
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TfrmMain::actCloseExecute() {
    CloseArchive();
}

void TfrmMain::actAddExecute() {
    FileDialogOptions dlgAdd;
    dlgAdd.title = QStringLiteral("Select file(s) to add...");
    dlgAdd.initialPath = FAddPath;
    dlgAdd.mustExist = true;
    dlgAdd.multiple = true;
    const QStringList paths = Dialogs().openFiles(this, dlgAdd);
    if (paths.isEmpty())
        return;
    FAddPath = paths.first();
    const int32_t firstNewSlot = CurrentArchive->Count();
    ChangeUndoably([&](TUndoStep& step) {
        AddFiles(this, *CurrentArchive, *FEntryList, paths, &step, *FJobs);
        return true;
    });
    FStatus->SetNotice(UnreadableNamesNotice(*CurrentArchive, firstNewSlot, INT32_MAX));
}

void TfrmMain::actExtractExecute() {
    const QString folder =
        Dialogs().chooseFolder(this, QStringLiteral("Please specify a directory"));
    if (folder.isEmpty())
        return;
    ExtractSelected(this, *CurrentArchive, *FEntryList, folder, *FJobs);
}

void TfrmMain::actDeleteExecute() {
    TWarnings warnings;
    ChangeUndoably([&](TUndoStep& step) {
        return DeleteSelected(this, *CurrentArchive, *FEntryList, &warnings, &step);
    });
    FStatus->SetNotice(WarningsNotice(QStringLiteral("Delete"), warnings,
                                      QStringLiteral("the entries are deleted")));
}

void TfrmMain::actSelectAllExecute() {
    lsvFileList->selectAllRows();
}

void TfrmMain::actRenameExecute() {
    const int row = FEntryList->firstSelectedRow();
    if (row < 0)
        return;
    const int32_t slot = FEntryList->entryIndex(row);
    bool renamed = false;
    ChangeUndoably([&](TUndoStep& step) {
        return renamed = RenameSelected(this, *CurrentArchive, *FEntryList, &step);
    });
    if (renamed)
        FStatus->SetNotice(UnreadableNamesNotice(*CurrentArchive, slot, slot));
}

void TfrmMain::actUndoExecute() {
    UndoOrRedo(false);
}

void TfrmMain::actRedoExecute() {
    UndoOrRedo(true);
}

void TfrmMain::UndoOrRedo(bool redo) {
    const QString command = QString(redo ? actRedo->text() : actUndo->text()).remove(u'&');
    TUndoOutcome outcome;
    ChangeArchive([&] {
        std::exception_ptr failure;
        try {
            outcome = redo ? FUndo.Redo(*CurrentArchive) : FUndo.Undo(*CurrentArchive);
        } catch (...) {
            failure = std::current_exception();
        }
        // The list shows what the table holds, also when putting it on disk failed.
        FEntryList->setRowCount(CurrentArchive->Count());
        FEntryList->tableChanged({});
        FEntryList->clearSelection();
        FEntryList->selectEntries(outcome.Slots);
        FEntryList->repaint();
        if (failure)
            std::rethrow_exception(failure);
        return true;
    });
    // "Undone: Delete 3 Entries", the item's caption without its verb.
    QString notice =
        (redo ? QStringLiteral("Redone: ") : QStringLiteral("Undone: ")) + command.section(u' ', 1);
    if (const QString warnings =
            WarningsNotice(command, outcome.Warnings, QStringLiteral("the directory is written"));
        !warnings.isEmpty())
        notice = warnings;
    FStatus->SetNotice(notice);
}

void TfrmMain::HistoryChange() {
    // The clicked entry may be the one being replaced: it is only taken out of the
    // menu here and destroyed once its click has been handled.
    for (QAction* item : mniReopen->actions()) {
        mniReopen->removeAction(item);
        item->deleteLater();
    }
    const auto addItem = [this](const QString& caption, int tag) {
        auto* item = new QAction(caption, this);
        item->setData(tag);
        mniReopen->addAction(item);
        connect(item, &QAction::triggered, this, [this, item] {
            const int clicked = item->data().toInt(); // the item is not touched after this
            Guarded(this, [&] { GenericReopenClick(clicked); });
            UpdateWindow();
        });
    };
    for (int i = 0; i < History.Count(); ++i) {
        // The path as readable text; the entry opens the stored bytes through its
        // tag. "&&" shows an ampersand of the path as itself, not as an access key.
        QString path = PathToText(History.GetItem(i));
        addItem(QStringLiteral("&%1 %2").arg(QString::number(i),
                                             path.replace(u'&', QStringLiteral("&&"))),
                i);
    }
    mniReopen->menuAction()->setEnabled(!mniReopen->actions().isEmpty());
    mniReopen->addSeparator();
    addItem(QStringLiteral("Clear History"), -1);
}

void TfrmMain::GenericReopenClick(int tag) {
    if (tag < 0)
        History.Clear();
    else
        OpenArchive(History.GetItem(tag));
}
