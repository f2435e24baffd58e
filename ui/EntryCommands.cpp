#include "ui/EntryCommands.h"

#include "archive/ArchiveCommands.h"
#include "archive/Gta3Archive.h"
#include "sorting/SortFunctions.h"
#include "ui/DialogSeam.h"
#include "ui/FormProgress.h"
#include "ui/NameText.h"
#include "ui/PathText.h"

#include <QApplication>

#include <exception>
#include <memory>
#include <vector>

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
    progress->ShowNow(); // the bar at 0 is on screen before the first file is touched
    return progress;
}

std::vector<std::string> HostPaths(const QStringList& paths) {
    std::vector<std::string> hostPaths;
    hostPaths.reserve(static_cast<size_t>(paths.size()));
    for (const QString& path : paths)
        hostPaths.push_back(TextToPath(path).toStdString());
    return hostPaths;
}

} // namespace

void AddFiles(QWidget* owner, TGTA3Archive& archive, IEntryList& list, const QStringList& paths) {
    BusyCursor busy;
    auto progress =
        ShowProgress(owner, QStringLiteral("Adding File(s)..."), static_cast<int>(paths.size()));
    ::AddFiles(archive, HostPaths(paths), [&](size_t) { progress->Step(); });
    // The new entries stand at the table's end, where their rows come in.
    list.setRowCount(archive.Count());
    list.reorderTable({}, [&] { SortEntries(archive, CurrentCompare); });
    list.repaint();
}

void ExtractSelected(QWidget* owner, TGTA3Archive& archive, IEntryList& list, QString folder) {
    auto progress =
        ShowProgress(owner, QStringLiteral("Extracting File(s)..."), list.selectedCount());
    const std::string hostFolder = TextToPath(folder).toStdString();
    PrepareExtractFolder(hostFolder);
    const int rows = list.rowCount();
    for (int i = 0; i < rows; ++i) {
        if (!list.isRowSelected(i))
            continue;
        const TArchiveEntry entry = archive.GetEntry(i);
        progress->SetLine2(NameToText(DisplayName(entry)));
        progress->Step();
        ExtractEntryToFile(archive, i, ExtractTarget(entry, hostFolder));
    }
}

void DeleteSelected(QWidget* owner, TGTA3Archive& archive, IEntryList& list) {
    if (!Dialogs().confirm(owner, QStringLiteral("Confirm"),
                           QStringLiteral("Are you sure you want to delete the selected files?")))
        return;

    std::vector<int> selected;
    const int rows = list.rowCount();
    for (int i = 0; i < rows; ++i)
        if (list.isRowSelected(i))
            selected.push_back(i);
    // The list shows what the table now holds, also when the delete failed. The
    // purge leaves the table in slot order; the sort restores the list's order,
    // with the focused row still on its entry.
    std::exception_ptr failure;
    list.reorderTable(selected, [&] {
        try {
            DeleteEntries(archive, selected);
        } catch (...) {
            failure = std::current_exception();
        }
        SortEntries(archive, CurrentCompare);
    });
    list.setRowCount(archive.Count());
    list.clearSelection();
    list.repaint();
    if (failure)
        std::rethrow_exception(failure);
}

void RenameSelected(QWidget* owner, TGTA3Archive& archive, IEntryList& list) {
    const int row = list.firstSelectedRow();
    if (row < 0)
        return;
    const TArchiveEntry entry = archive.GetEntry(row);
    const QString proposed = NameToText(NameText(entry));
    const QString answer = Dialogs().inputBox(owner, QStringLiteral("Rename file..."),
                                              QStringLiteral("?"), proposed, 255);
    // Comparing with the proposal first means an unchanged answer writes nothing,
    // even for stored bytes that do not survive the trip through text.
    if (answer.isEmpty() || answer == proposed)
        return;
    const std::string newName = TextToName(answer);
    const TArchiveEntry current = archive.GetEntry(row);
    if (newName == NameText(current))
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
