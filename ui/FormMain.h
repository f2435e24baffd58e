// The main window: the life of the open archive, the entry list, every command
// with its enabling rule, and the Reopen submenu.
#pragma once

#include "archive/DirectoryStore.h"
#include "archive/UndoHistory.h"
#include "history/History.h"
#include "ui/FileListView.h"

#include <QByteArrayList>
#include <QMainWindow>

#include <functional>
#include <memory>
#include <vector>

class QAction;
class QLineEdit;
class QMenu;
class QToolBar;
class TBackgroundCheck;
class TDragFolders;
class TEntryModel;
class TJobRunner;
class TGTA3Archive;
class TStatusPanel;

// The open archive, or none. Only TfrmMain creates or destroys it.
extern std::unique_ptr<TGTA3Archive> CurrentArchive;

// The kind of archive a save dialog's file type `filter` stands for;
// `otherwise` for any other type.
TArchiveKind KindChosen(const QString& filter, TArchiveKind otherwise);

class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    // `arguments` is the command line without the program's name, as the bytes
    // it was given in; the first one, if any, is opened. `settingsPath`
    // overrides where the settings file is looked for (SettingsFilePath).
    explicit TfrmMain(const QByteArrayList& arguments, const QString& settingsPath = {},
                      QWidget* parent = nullptr);
    ~TfrmMain() override;

    // `FileName` is the path's bytes; the title and the history keep them as given.
    void OpenArchive(const QByteArray& FileName);
    void CloseArchive();

    THistory& history() { return History; }
    TFileListView* fileList() const { return lsvFileList; }

    // No menu of tool bars: the window's one tool bar is hidden for good.
    QMenu* createPopupMenu() override { return nullptr; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using Handler = void (TfrmMain::*)();
    using UpdateHandler = void (TfrmMain::*)(QAction*);
    struct Command {
        QAction* action;
        Handler execute;
        UpdateHandler update;
    };

    // FormMain.cpp: life of the archive.
    void FormCreate(const QByteArrayList& arguments);
    void FormClose();
    void mniNewClick();
    void mniOpenClick();
    void mniExitClick();
    void mniAboutClick();
    void lsvFileListColumnClick(int column);
    void ShowArchiveTitle();

    // FormMainCommands.cpp: actions, menus, rules and the Reopen submenu.
    void CreateActions();
    void CreateMenus();
    QAction* AddCommand(const char* name, const QString& caption, const QKeySequence& shortcut,
                        Handler execute, UpdateHandler rule);
    QAction* AddMenuItem(QMenu* menu, const char* name, const QString& caption,
                         const QKeySequence& shortcut, Handler click);
    // Runs `body`, or else the command's own handler, if its rule holds.
    void RunCommand(const Command& command, const std::function<void()>& body = {});
    const Command& CommandOf(const QAction* action) const;
    void UpdateActions();
    // The rules and the status bar, after anything that may change either.
    void UpdateWindow();
    // A long command began or ended: while it runs, the list shows a copy of
    // the table and nothing else of the window reads the archive.
    void JobRunningChanged();
    bool JobRunning() const;
    void actCloseUpdate(QAction* action);
    void actExtractUpdate(QAction* action);
    void actDeleteUpdate(QAction* action);
    void actRenameUpdate(QAction* action);
    void actUndoUpdate(QAction* action);
    void actRedoUpdate(QAction* action);
    void actCloseExecute();
    void actAddExecute();
    void actExtractExecute();
    void actDeleteExecute();
    void actSelectAllExecute();
    void actRenameExecute();
    void actUndoExecute();
    void actRedoExecute();
    // Undo or Redo, the list shown afresh with the entries it brought back or
    // changed selected.
    void UndoOrRedo(bool redo);
    void HistoryChange();
    void GenericReopenClick(int tag);

    // FormMainWorkflow.cpp: Import and Replace (also of files dropped on the
    // list), dragging entries out, the filter, Check Archive, Save Compacted
    // Copy As, Compact Archive, and the status bar.
    void actImportExecute();
    void actFilterExecute();
    void actCheckExecute();
    void actSaveCompactedExecute();
    void actCompactExecute();
    void ImportPaths(const QStringList& paths);
    void lsvFileListDrop(const QStringList& paths);
    void lsvFileListDragOut();
    void DragSelectedOut();
    void edtFilterChange(const QString& text);
    bool edtFilterKey(int key);
    // Runs a command that may change the archive (it answers whether it went
    // ahead); the background check then starts again, also after a failure.
    void ChangeArchive(const std::function<bool()>& change);
    // The same for a command that can be undone: what it did, also when it
    // failed part way, goes into the undo history.
    void ChangeUndoably(const std::function<bool(TUndoStep&)>& change);
    void UpdateStatus();

    // Decided once at start: the history is saved where it was read from.
    QString FSettingsFile;
    // False once the file proved too large to be ours: the user was told at
    // start that it is left as it is, so the close does not try to save.
    bool FSaveHistory = true;
    QString FOpenPath; // the path chosen last in each dialog
    QString FSavePath;
    QString FAddPath;
    QString FImportPath;
    QString FCompactPath;

    THistory History;
    // The open archive's commands, to undo and redo; forgotten when it closes
    // or is compacted.
    TUndoHistory FUndo;
    TEntryModel* FModel = nullptr;
    TFileListView* lsvFileList = nullptr;
    std::unique_ptr<TEntryListAdapter> FEntryList;
    QLineEdit* edtFilter = nullptr;
    QToolBar* ToolBar1 = nullptr;
    std::unique_ptr<TStatusPanel> FStatus;
    TBackgroundCheck* FCheck = nullptr;
    std::unique_ptr<TDragFolders> FDragFolders;
    TJobRunner* FJobs = nullptr;
    bool FCloseAfterJob = false; // the user chose to cancel the job and close

    std::vector<Command> ActionList1;
    QAction* actClose = nullptr;
    QAction* actAdd = nullptr;
    QAction* actExtract = nullptr;
    QAction* actDelete = nullptr;
    QAction* actSelectAll = nullptr;
    QAction* actRename = nullptr;
    QAction* actImport = nullptr;
    QAction* actFilter = nullptr;
    QAction* actCheck = nullptr;
    QAction* actSaveCompacted = nullptr;
    QAction* actCompact = nullptr;
    QAction* actUndo = nullptr;
    QAction* actRedo = nullptr;
    QMenu* mniReopen = nullptr;
    QAction* mniNew = nullptr;
    QAction* mniOpen = nullptr;
    QMenu* PopupMenu1 = nullptr;
};
