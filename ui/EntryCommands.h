// The bodies of the commands that work on entries: Add, Import and Replace,
// Extract (also for a drag out of the list), Delete and Rename. They work on an
// archive and on the main window's list through IEntryList, so they can be
// tested without the window.
#pragma once

#include "archive/ArchiveCommands.h"
#include "ui/JobRunner.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

class QWidget;
class TGTA3Archive;
class TJobRunner;

// What the commands need of the entry list. Rows are what the list shows, in
// its order: with a filter, only some entries have rows, so a row is turned
// into the entry's slot with entryIndex() before the archive is asked.
class IEntryList {
public:
    virtual ~IEntryList() = default;
    virtual int rowCount() const = 0;
    virtual bool isRowSelected(int row) const = 0;
    virtual int selectedCount() const = 0;
    virtual int firstSelectedRow() const = 0; // -1 when none
    // The slot of the entry on `row`.
    virtual int entryIndex(int row) const = 0;
    // How many entries, from slot 0 on, have rows.
    virtual void setRowCount(int rows) = 0;
    // The archive's table changed: records were rewritten in place, and the
    // entries in `deletedSlots` (ascending) are gone. The rows are sorted again
    // in the list's order; the selected and the focused rows follow their
    // entries.
    virtual void tableChanged(std::span<const int> deletedSlots) = 0;
    // Room was made for added entries: the entry in each slot below
    // `newSlotOf`'s size now stands in slot newSlotOf[slot], the rows having
    // been set to the archive's count first. As tableChanged otherwise.
    virtual void slotsMoved(std::span<const int32_t> newSlotOf) = 0;
    virtual void clearSelection() = 0;
    // Selects the rows of the entries in the slots `entries`.
    virtual void selectEntries(std::span<const int> entries) = 0;
    virtual void repaint() = 0;
};

// The long commands below run their core bodies as jobs of `runner`; a
// cancelled one is rethrown as ECancelled saying what was done, after the
// list shows it.

// Appends each file as a new entry under its file-name part, with the progress
// dialog and busy cursor; sets the row count and has the list sorted again at
// the end, also after a failure or a cancel. `undo`, when given, gets what was
// done, also after a failure or a cancel (as do the commands below).
void AddFiles(QWidget* owner, TGTA3Archive& archive, IEntryList& list, const QStringList& paths,
              TUndoStep* undo = nullptr, TJobRunner& runner = InlineRunner());
// Import and Replace (ImportFiles), with the progress dialog and busy cursor.
// Afterwards, also after a failure, every entry has a row and the list is sorted
// again; after a success the replaced entries are the selected rows, and names
// that several entries share are told in a message.
TImportResult ImportAndReplace(QWidget* owner, TGTA3Archive& archive, IEntryList& list,
                               const QStringList& paths, TUndoStep* undo = nullptr,
                               TJobRunner& runner = InlineRunner());
// Extracts the selected rows, in ascending order, into `folder`, each through
// ExtractEntryToFile (archive/ArchiveCommands.h).
void ExtractSelected(QWidget* owner, TGTA3Archive& archive, IEntryList& list, QString folder,
                     TJobRunner& runner = InlineRunner());
// The same for a drag out of the list, into the drag's own new folder; the
// progress dialog shows only when the entries are many or large. Returns the
// files written, each once, as the host's bytes.
std::vector<std::string> ExtractSelectedForDrag(QWidget* owner, TGTA3Archive& archive,
                                                IEntryList& list, const QString& folder,
                                                TJobRunner& runner = InlineRunner());
// Asks for confirmation, then deletes the selected rows' entries. False when
// the user said No. What failed after the new directory was whole goes to
// `warnings`, when given.
bool DeleteSelected(QWidget* owner, TGTA3Archive& archive, IEntryList& list,
                    TWarnings* warnings = nullptr, TUndoStep* undo = nullptr);
// Asks for a new name for the selected row and renames it when it differs.
// False when nothing was to be written.
bool RenameSelected(QWidget* owner, TGTA3Archive& archive, IEntryList& list,
                    TUndoStep* undo = nullptr);
// What the status bar tells of the names among the entries in slots
// `firstSlot` to `lastSlot` that the games cannot read (NameUnterminated):
// empty when there are none.
QString UnreadableNamesNotice(const TGTA3Archive& archive, int32_t firstSlot, int32_t lastSlot);
