// The bodies of Add, Extract, Delete and Rename. They work on an archive and on
// the main window's list through IEntryList, so they can be tested without the
// window.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <span>
#include <string>

class QWidget;
class TGTA3Archive;

// What the commands need of the entry list.
class IEntryList {
public:
    virtual ~IEntryList() = default;
    virtual int rowCount() const = 0;
    virtual bool isRowSelected(int row) const = 0;
    virtual int selectedCount() const = 0;
    virtual int firstSelectedRow() const = 0; // -1 when none
    virtual void setRowCount(int rows) = 0;
    // Runs `reorder`, which sorts the archive's table, and may first delete the
    // entries at `deletedRows`; the selected and the focused rows follow their
    // entries.
    virtual void reorderTable(std::span<const int> deletedRows,
                              const std::function<void()>& reorder) = 0;
    virtual void clearSelection() = 0;
    virtual void repaint() = 0;
};

// Appends each file as a new entry under its file-name part, with the progress
// dialog and busy cursor; sets the row count and sorts with CurrentCompare at the end.
void AddFiles(QWidget* owner, TGTA3Archive& archive, IEntryList& list, const QStringList& paths);
// Extracts the selected rows, in ascending order, into `folder`, each through
// ExtractEntryToFile (archive/ArchiveCommands.h).
void ExtractSelected(QWidget* owner, TGTA3Archive& archive, IEntryList& list, QString folder);
// Asks for confirmation, then deletes the selected rows' entries.
void DeleteSelected(QWidget* owner, TGTA3Archive& archive, IEntryList& list);
// Asks for a new name for the selected row and renames it when it differs.
void RenameSelected(QWidget* owner, TGTA3Archive& archive, IEntryList& list);
