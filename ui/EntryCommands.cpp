#include "ui/EntryCommands.h"

#include "archive/Gta3Archive.h"
#include "platform/Errors.h"
#include "platform/FileStream.h"
#include "sorting/SortFunctions.h"
#include "ui/DialogSeam.h"
#include "ui/FormProgress.h"
#include "ui/NameText.h"
#include "ui/PathText.h"

#include <QApplication>

#include <exception>
#include <memory>

namespace {

// The hourglass for the whole program while adding; restored on every path.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

std::unique_ptr<TfrmProgress> ShowProgress(QWidget* owner, const QString& line1, int maximum) {
    auto progress = std::make_unique<TfrmProgress>(owner);
    progress->SetLine1(line1);
    progress->SetPosition(0);
    progress->SetMax(maximum);
    progress->show();
    return progress;
}

// The folder's bytes ending in exactly one '/'.
std::string FolderPrefix(const QString& folder) {
    std::string prefix = TextToPath(folder).toStdString();
    while (!prefix.empty() && prefix.back() == '/')
        prefix.pop_back();
    return prefix + '/';
}

// Puts what a command wrote on disk. When the command already failed, its own
// error is the one the user sees.
void FlushAfter(TGTA3Archive& archive, std::exception_ptr failure) {
    if (!failure) {
        archive.Flush();
        return;
    }
    try {
        archive.Flush();
    } catch (...) {
    }
    std::rethrow_exception(failure);
}

} // namespace

void AddFiles(QWidget* owner, TGTA3Archive& archive, IEntryList& list, const QStringList& paths) {
    BusyCursor busy;
    auto progress =
        ShowProgress(owner, QStringLiteral("Adding File(s)..."), static_cast<int>(paths.size()));
    std::exception_ptr failure;
    try {
        for (const QString& path : paths) {
            const std::string hostPath = TextToPath(path).toStdString();
            FileStream source = FileStream::OpenReadShared(hostPath);
            archive.AddFile(EntryNameFromPath(hostPath), source);
            source.Close();
            progress->Step();
        }
        archive.Sort(CurrentCompare);
        list.setRowCount(archive.Count());
        list.repaint();
    } catch (...) {
        failure = std::current_exception();
    }
    FlushAfter(archive, failure);
}

void ExtractSelected(QWidget* owner, TGTA3Archive& archive, IEntryList& list, QString folder) {
    auto progress =
        ShowProgress(owner, QStringLiteral("Extracting File(s)..."), list.selectedCount());
    const std::string prefix = FolderPrefix(folder);
    const int rows = list.rowCount();
    for (int i = 0; i < rows; ++i) {
        if (!list.isRowSelected(i))
            continue;
        const TArchiveEntry entry = archive.GetEntry(i);
        const std::string_view name = DisplayName(entry);
        progress->SetLine2(NameToText(name));
        progress->Step();
        const std::string target = prefix + std::string(name);
        if (!IsSafeFileName(name))
            throw EFCreateError(target);
        ExtractEntryToFile(archive, i, target);
    }
}

void ExtractEntryToFile(TGTA3Archive& archive, int index, const std::string& targetPath) {
    // A link standing under an entry's name would send the entry's bytes
    // wherever it points, even to a file that does not exist yet.
    FileStream target = FileStream::CreateHeld(targetPath, FileStream::Links::Refuse);
    archive.ExtractEntry(index, target);
    target.Close();
}

void DeleteSelected(QWidget* owner, TGTA3Archive& archive, IEntryList& list) {
    if (!Dialogs().confirm(owner, QStringLiteral("Confirm"),
                           QStringLiteral("Are you sure you want to delete the selected files?")))
        return;

    std::exception_ptr failure;
    try {
        const int rows = list.rowCount();
        for (int i = 0; i < rows; ++i)
            if (list.isRowSelected(i))
                archive.MarkDeleted(i);
    } catch (...) {
        failure = std::current_exception();
    }
    // Purged and refreshed even when marking stopped part-way, so that no mark
    // outlives the command and the list shows what the table now holds.
    try {
        archive.PurgeDeleted();
    } catch (...) {
        failure = std::current_exception();
    }
    list.setRowCount(archive.Count());
    archive.Sort(CurrentCompare);
    list.clearSelection();
    list.repaint();
    FlushAfter(archive, failure);
}

void RenameSelected(QWidget* owner, TGTA3Archive& archive, IEntryList& list) {
    const int row = list.firstSelectedRow();
    if (row < 0)
        return;
    const QString proposed = NameToText(NameText(archive.GetEntry(row)));
    const QString answer = Dialogs().inputBox(owner, QStringLiteral("Rename file..."),
                                              QStringLiteral("?"), proposed, 255);
    // Comparing with the proposal first means an unchanged answer writes nothing,
    // even for stored bytes that do not survive the trip through text.
    if (answer.isEmpty() || answer == proposed)
        return;
    const std::string newName = TextToName(answer);
    if (newName == NameText(archive.GetEntry(row)))
        return;
    archive.RenameEntry(row, newName);
    // The record is rewritten: the list shows the new name even when putting it
    // on disk fails.
    std::exception_ptr failure;
    try {
        archive.Flush();
    } catch (...) {
        failure = std::current_exception();
    }
    list.repaint();
    if (failure)
        std::rethrow_exception(failure);
}
