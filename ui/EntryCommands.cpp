#include "ui/EntryCommands.h"

#include "archive/Cancel.h"
#include "archive/Gta3Archive.h"
#include "archive/PrintableName.h"
#include "ui/CommandSupport.h"
#include "ui/DialogSeam.h"
#include "ui/FormProgress.h"
#include "ui/NameText.h"
#include "ui/NumberText.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <unordered_set>
#include <vector>

namespace {

// A drag of fewer and smaller entries than this is extracted without the
// progress dialog: it would only flash on the screen.
constexpr int DragProgressEntries = 16;
constexpr uint64_t DragProgressBytes = 32ull << 20;

// "3 of 10 files added": what a cancelled batch did.
QString BatchDone(size_t done, size_t total, const QString& what) {
    return QStringLiteral("%1 of %2 files %3").arg(CountText(done), CountText(total), what);
}

// Extracts the selected rows, in row order, into `folder` as a job of
// `runner`; returns the files written.
std::vector<std::string> ExtractRows(TGTA3Archive& archive, IEntryList& list,
                                     const std::string& folder, TfrmProgress* progress,
                                     TJobRunner& runner) {
    // The rows are read here, on the window's thread; the job reads only the archive.
    std::vector<int> chosen;
    QStringList names;
    const int rows = list.rowCount();
    for (int row = 0; row < rows; ++row) {
        if (!list.isRowSelected(row))
            continue;
        chosen.push_back(list.entryIndex(row));
        const TArchiveEntry entry = archive.GetEntry(chosen.back());
        names << NameToText(DisplayName(entry));
    }
    std::vector<std::string> targets;
    std::atomic<size_t> done = 0;
    try {
        runner.Run(progress, [&](const TJob& job) {
            // The bar steps, and names the entry, as each entry is begun.
            const auto begin = [&](size_t next) {
                if (progress && next < chosen.size())
                    job.OnWindow([progress, name = names[qsizetype(next)]] {
                        progress->SetLine2(name);
                        progress->Step();
                    });
            };
            begin(0);
            targets = ExtractEntries(
                archive, chosen, folder,
                [&](size_t extracted) {
                    done = extracted;
                    begin(extracted);
                },
                job.Stop());
        });
    } catch (const ECancelled&) {
        throw ECancelled(BatchDone(done, chosen.size(), QStringLiteral("extracted")).toStdString());
    }
    return targets;
}

} // namespace

void AddFiles(QWidget* owner, TGTA3Archive& archive, IEntryList& list, const QStringList& paths,
              TUndoStep* undo, TJobRunner& runner) {
    BusyCursor busy;
    std::atomic<size_t> done = 0;
    std::vector<int32_t> moved;
    std::exception_ptr failure;
    auto progress =
        ShowProgress(owner, QStringLiteral("Adding File(s)..."), static_cast<int>(paths.size()));
    const std::vector<std::string> files = HostPaths(paths);
    try {
        runner.Run(progress.get(), [&, bar = progress.get()](const TJob& job) {
            ::AddFiles(
                archive, files,
                [&](size_t added) {
                    done = added;
                    job.OnWindow([bar] { bar->Step(); });
                },
                undo, job.Stop(), &moved);
        });
    } catch (...) {
        failure = std::current_exception();
    }
    // The new entries stand at the table's end, where their rows come in;
    // those added before a failure or a stop are on disk and shown too.
    list.setRowCount(archive.Count());
    if (moved.empty())
        list.tableChanged({});
    else
        list.slotsMoved(moved);
    list.repaint();
    progress.reset();
    try {
        if (failure)
            std::rethrow_exception(failure);
    } catch (const ECancelled&) {
        throw ECancelled(BatchDone(done, static_cast<size_t>(paths.size()), QStringLiteral("added"))
                             .toStdString());
    }
}

TImportResult ImportAndReplace(QWidget* owner, TGTA3Archive& archive, IEntryList& list,
                               const QStringList& paths, TUndoStep* undo, TJobRunner& runner) {
    BusyCursor busy;
    TImportResult result;
    std::exception_ptr failure;
    {
        auto progress = ShowProgress(owner, QStringLiteral("Importing File(s)..."),
                                     static_cast<int>(paths.size()));
        const std::vector<std::string> files = HostPaths(paths);
        try {
            runner.Run(progress.get(), [&, bar = progress.get()](const TJob& job) {
                ImportFiles(
                    archive, files, result, [&](size_t) { job.OnWindow([bar] { bar->Step(); }); },
                    undo, job.Stop());
            });
        } catch (...) {
            failure = std::current_exception();
        }
    }
    // The entries done before a failure are on disk: the list shows them too.
    list.setRowCount(archive.Count());
    if (result.MovedSlots.empty())
        list.tableChanged({});
    else
        list.slotsMoved(result.MovedSlots);
    if (const std::vector<int32_t> replaced = result.Slots(true); !failure && !replaced.empty())
        list.selectEntries(replaced);
    list.repaint();
    try {
        if (failure)
            std::rethrow_exception(failure);
    } catch (const ECancelled&) {
        throw ECancelled(QStringLiteral("%1 replaced, %2 added of %3 files")
                             .arg(CountText(result.Slots(true).size()),
                                  CountText(result.Slots(false).size()),
                                  CountText(static_cast<uint64_t>(paths.size())))
                             .toStdString());
    }

    QStringList shared;
    for (const std::string& name : result.SharedNames)
        shared << QStringLiteral("Several entries are named %1; the first in the directory "
                                 "was replaced.")
                      .arg(NameToText(PrintableName(name)));
    shared.removeDuplicates();
    if (!shared.isEmpty())
        Dialogs().showInformation(owner, QStringLiteral("Import and Replace"), shared.join(u'\n'));
    return result;
}

void ExtractSelected(QWidget* owner, TGTA3Archive& archive, IEntryList& list, QString folder,
                     TJobRunner& runner) {
    auto progress =
        ShowProgress(owner, QStringLiteral("Extracting File(s)..."), list.selectedCount());
    ExtractRows(archive, list, HostPath(folder), progress.get(), runner);
}

std::vector<std::string> ExtractSelectedForDrag(QWidget* owner, TGTA3Archive& archive,
                                                IEntryList& list, const QString& folder,
                                                TJobRunner& runner) {
    // A refused name is told by itself, before anything is written: the
    // private folder's path would mean nothing to the user.
    uint64_t bytes = 0;
    const int rows = list.rowCount();
    for (int row = 0; row < rows; ++row)
        if (list.isRowSelected(row)) {
            const TArchiveEntry entry = archive.GetEntry(list.entryIndex(row));
            RequireSafeName(entry);
            bytes += uint64_t{entry.Size} * SectorSize;
        }
    std::unique_ptr<TfrmProgress> progress;
    if (list.selectedCount() > DragProgressEntries || bytes >= DragProgressBytes)
        progress =
            ShowProgress(owner, QStringLiteral("Extracting File(s)..."), list.selectedCount());
    std::vector<std::string> files =
        ExtractRows(archive, list, HostPath(folder), progress.get(), runner);
    // Entries of one name were written to one file, the later one last.
    std::unordered_set<std::string> seen;
    std::erase_if(files, [&](const std::string& file) { return !seen.insert(file).second; });
    return files;
}

bool DeleteSelected(QWidget* owner, TGTA3Archive& archive, IEntryList& list, TWarnings* warnings,
                    TUndoStep* undo) {
    if (!Dialogs().confirm(owner, QStringLiteral("Confirm"),
                           QStringLiteral("Are you sure you want to delete the selected files?")))
        return false;

    std::vector<int> doomed;
    const int rows = list.rowCount();
    for (int i = 0; i < rows; ++i)
        if (list.isRowSelected(i))
            doomed.push_back(list.entryIndex(i));
    std::sort(doomed.begin(), doomed.end());
    // The list shows what the table now holds, also when the delete failed,
    // sorted again with the focused row still on its entry.
    std::exception_ptr failure;
    try {
        TWarnings told = DeleteEntries(archive, doomed, undo);
        if (warnings)
            *warnings = std::move(told);
    } catch (...) {
        failure = std::current_exception();
    }
    list.tableChanged(failure ? std::span<const int>() : std::span<const int>(doomed));
    list.setRowCount(archive.Count());
    list.clearSelection();
    list.repaint();
    if (failure)
        std::rethrow_exception(failure);
    return true;
}

bool RenameSelected(QWidget* owner, TGTA3Archive& archive, IEntryList& list, TUndoStep* undo) {
    const int row = list.firstSelectedRow();
    if (row < 0)
        return false;
    const int index = list.entryIndex(row);
    const TArchiveEntry entry = archive.GetEntry(index);
    const QString proposed = NameToText(NameText(entry));
    const QString answer = Dialogs().inputBox(owner, QStringLiteral("Rename file..."),
                                              QStringLiteral("?"), proposed, 255);
    // Comparing with the proposal first means an unchanged answer writes nothing,
    // even for stored bytes that do not survive the trip through text.
    if (answer.isEmpty() || answer == proposed)
        return false;
    const std::string newName = TextToName(answer);
    const TArchiveEntry current = archive.GetEntry(index);
    if (newName == NameText(current))
        return false;
    // The record is rewritten first: the list shows the new name even when
    // putting it on disk fails.
    std::exception_ptr failure;
    try {
        RenameEntry(archive, index, newName, undo);
    } catch (...) {
        failure = std::current_exception();
    }
    list.repaint();
    if (failure)
        std::rethrow_exception(failure);
    return true;
}

QString UnreadableNamesNotice(const TGTA3Archive& archive, int32_t firstSlot, int32_t lastSlot) {
    const auto table = archive.Table();
    const int64_t first = std::max<int64_t>(firstSlot, 0);
    const int64_t end = std::min<int64_t>(int64_t{lastSlot} + 1, std::ssize(table));
    const auto count =
        first < end ? std::count_if(table.begin() + first, table.begin() + end, NameUnterminated)
                    : 0;
    if (count == 0)
        return {};
    return count == 1 ? QStringLiteral("1 name fills all 24 bytes with no zero byte after it: "
                                       "the games cannot read it (use at most 23 bytes)")
                      : QStringLiteral("%1 names fill all 24 bytes with no zero byte after "
                                       "them: the games cannot read them (use at most 23 bytes)")
                            .arg(CountText(static_cast<uint64_t>(count)));
}
