// The main window's commands for the modder's workflow: Import and Replace,
// also of files dropped on the list; entries dragged out of the list; the
// filter; Check Archive; Save Compacted Copy As; Compact Archive; and the
// status bar that tells what the archive holds.
#include "ui/FormMain.h"

#include "archive/Gta3Archive.h"
#include "platform/Errors.h"
#include "sorting/SortFunctions.h"
#include "ui/BackgroundCheck.h"
#include "ui/CompactInPlace.h"
#include "ui/DialogSeam.h"
#include "ui/DragFolders.h"
#include "ui/EntryCommands.h"
#include "ui/EntryModel.h"
#include "ui/ErrorReporting.h"
#include "ui/NumberText.h"
#include "ui/PathText.h"
#include "ui/StatusPanel.h"
#include "ui/WholeArchiveCommands.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QUrl>

#include <cstdint>

void TfrmMain::ChangeArchive(const std::function<bool()>& change) {
    bool changed = true;
    try {
        changed = change();
    } catch (...) {
        FCheck->Start(); // a failure part-way may have changed it all the same
        throw;
    }
    if (changed)
        FCheck->Start();
}

void TfrmMain::ChangeUndoably(const std::function<bool(TUndoStep&)>& change) {
    ChangeArchive([&] {
        TUndoStep step;
        bool changed = false;
        try {
            changed = change(step);
        } catch (...) {
            FUndo.Record(std::move(step), *CurrentArchive);
            throw;
        }
        FUndo.Record(std::move(step), *CurrentArchive);
        return changed;
    });
}

void TfrmMain::actImportExecute() {
    FileDialogOptions dlgImport;
    dlgImport.title = QStringLiteral("Select file(s) to import and replace...");
    dlgImport.initialPath = FImportPath;
    dlgImport.mustExist = true;
    dlgImport.multiple = true;
    const QStringList paths = Dialogs().openFiles(this, dlgImport);
    if (paths.isEmpty())
        return;
    FImportPath = paths.first();
    ImportPaths(paths);
}

void TfrmMain::ImportPaths(const QStringList& paths) {
    TImportResult result;
    const int32_t firstNewSlot = CurrentArchive->Count();
    ChangeUndoably([&](TUndoStep& step) {
        result = ImportAndReplace(this, *CurrentArchive, *FEntryList, paths, &step, *FJobs);
        return true;
    });
    QString notice =
        QStringLiteral("Import and Replace: %1 replaced, %2 added")
            .arg(CountText(result.Slots(true).size()), CountText(result.Slots(false).size()));
    // Replaced entries keep their names: only the added ones are new.
    if (const QString names = UnreadableNamesNotice(*CurrentArchive, firstNewSlot, INT32_MAX);
        !names.isEmpty())
        notice += QStringLiteral("; ") + names;
    FStatus->SetNotice(notice);
}

void TfrmMain::lsvFileListDrop(const QStringList& paths) {
    // Dropping files is Import and Replace on them, under its rule.
    RunCommand(CommandOf(actImport), [&] { ImportPaths(paths); });
}

void TfrmMain::lsvFileListDragOut() {
    // Dragging entries out extracts them, under Extract's rule.
    RunCommand(CommandOf(actExtract), [&] { DragSelectedOut(); });
}

void TfrmMain::DragSelectedOut() {
    const QString folder = FDragFolders->Create();
    QList<QUrl> urls;
    try {
        // File addresses are made of the names' bytes, so that a name that is
        // not UTF-8 still names its file. A Windows path begins with its drive
        // ("file:///C:/..."), not with a slash.
        for (const std::string& file :
             ExtractSelectedForDrag(this, *CurrentArchive, *FEntryList, folder, *FJobs)) {
            QByteArray path = QByteArray::fromStdString(file);
            if (!path.startsWith('/'))
                path.prepend('/');
            urls << QUrl::fromEncoded("file://" + path.toPercentEncoding("/"));
        }
    } catch (...) {
        FDragFolders->Remove(folder);
        throw;
    }
    // After a drop the receiver may still be copying from the folder, so only
    // a drag that nobody took removes it now; the others go with the window.
    if (Dialogs().dragFiles(lsvFileList, urls) == Qt::IgnoreAction)
        FDragFolders->Remove(folder);
}

void TfrmMain::actFilterExecute() {
    edtFilter->setFocus(Qt::ShortcutFocusReason);
    edtFilter->selectAll();
}

void TfrmMain::edtFilterChange(const QString& text) {
    Guarded(this, [&] { lsvFileList->setFilterText(text); });
    UpdateWindow();
}

bool TfrmMain::edtFilterKey(int key) {
    switch (key) {
    case Qt::Key_Escape:
        // Escape clears the filter; on an empty field it goes back to the list.
        if (edtFilter->text().isEmpty())
            lsvFileList->setFocus(Qt::ShortcutFocusReason);
        else
            edtFilter->clear();
        return true;
    case Qt::Key_Down:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        lsvFileList->setFocus(Qt::ShortcutFocusReason);
        return true;
    default:
        return false;
    }
}

void TfrmMain::actCheckExecute() {
    // A finished background check is of the archive as it stands.
    const TCheckReport report =
        FCheck->Report() ? *FCheck->Report() : CheckWithFindings(this, *FJobs, *CurrentArchive);
    // The status bar agrees with the list while it is open.
    FCheck->SetResult(report);
    UpdateStatus();
    ShowCheckReport(this, report);
}

void TfrmMain::actSaveCompactedExecute() {
    FileDialogOptions dlgCompact =
        SaveArchiveOptions(QStringLiteral("Save compacted copy as"), FCompactPath);
    if (dlgCompact.initialPath.isEmpty()) {
        // A name beside the open archive, which the dialog does not let stand
        // as it is: a copy is never written over an existing pair.
        const QFileInfo open(PathToText(QByteArray::fromStdString(CurrentArchive->FileName())));
        dlgCompact.initialPath =
            open.absoluteDir().filePath(open.completeBaseName() + QStringLiteral("-compacted.img"));
    }
    // The copy is of the open archive's kind unless another type is chosen.
    QString chosen;
    dlgCompact.chosenFilter = &chosen;
    dlgCompact.selectedFilter = CurrentArchive->Kind() == TArchiveKind::SingleFile
                                    ? SingleFileArchiveFilter()
                                    : PairArchiveFilter();
    const QString path = Dialogs().saveFile(this, dlgCompact);
    if (path.isEmpty())
        return;
    FCompactPath = path;
    const QString notice =
        CompactedCopyNotice(path, SaveCompactedCopy(this, *FJobs, *CurrentArchive, path,
                                                    KindChosen(chosen, CurrentArchive->Kind())));
    FStatus->SetNotice(notice);
}

void TfrmMain::actCompactExecute() {
    if (!ConfirmCompact(this, *CurrentArchive))
        return;
    TCompactResult result;
    ChangeArchive([&] {
        // The dead space Undo would need is gone: the confirmation said so.
        FUndo.Clear();
        result = CompactWithProgress(this, *FJobs, *CurrentArchive);
        // Every entry's data moved, each in its slot: the rows show them
        // afresh, with the same entries selected.
        FEntryList->tableChanged({});
        return true;
    });
    FStatus->SetNotice(CompactNotice(result));
}

void TfrmMain::UpdateStatus() {
    if (JobRunning())
        return; // the archive is the job's: the bar shows it as it was
    if (!CurrentArchive) {
        FStatus->ShowClosed();
        return;
    }
    TArchiveState state;
    state.entries = CurrentArchive->Count();
    state.rows = FModel->rowCount();
    state.filtered = FModel->isFiltered();
    state.selected = FEntryList->selectedCount();
    try {
        state.dataLength = CurrentArchive->DataLength();
    } catch (const Exception&) {
        // A status bar asks no questions: the size shows as unknown.
    }
    state.check = FCheck->Result();
    state.checkPending = FCheck->Pending();
    state.singleFile = CurrentArchive->Kind() == TArchiveKind::SingleFile;
    FStatus->Show(state);
}
