// The entry list of the main window: a table view over TEntryModel that looks
// and behaves like a report-style list (whole rows, several selectable, never
// editable, fixed row height), and the IEntryList the commands work through.
// Files dropped on it and entries dragged out of it are handed to the main
// window, which runs the commands.
#pragma once

#include "ui/EntryCommands.h"

#include <QItemSelection>
#include <QStringList>
#include <QTableView>

#include <span>

class TEntryModel;

// The number of distinct rows covered by `selection`, from its ranges alone.
int SelectedRowCount(const QItemSelection& selection);

class TFileListView : public QTableView {
    Q_OBJECT
public:
    explicit TFileListView(TEntryModel* model, QWidget* parent = nullptr);

    TEntryModel* entryModel() const { return FModel; }
    int selectedRowCount() const;
    int firstSelectedRow() const;
    bool isRowSelected(int row) const;
    // Selects every row as one range.
    void selectAllRows();
    // Selects the rows of the entries in the slots `entries` and focuses the
    // topmost of them; entries without a row are left out.
    void selectEntries(std::span<const int> entries);
    // Shows the entries the filter text asks for (TNameFilter). The selected and
    // the focused entries that stay in the list stay selected and focused.
    void setFilterText(const QString& text);

signals:
    // A click on a column header; the view itself never sorts.
    void columnClicked(int column);
    // Local files were dropped on the list from elsewhere.
    void filesDropped(const QStringList& paths);
    // The user began to drag the selected rows out of the list.
    void dragOutRequested();

protected:
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // Home and End go to the first and the last entry, as in any list.
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitNameColumn();
    void showCurrentRow();
    // Selects exactly `rows` (-1: none) and focuses `currentRow`, if any, in view.
    void selectRows(const std::vector<int>& rows, int currentRow);
    // The slots of the selected rows' entries.
    std::vector<int> selectedSlots() const;
    // Around rows that move: the selection is taken out by slot and put back.
    // The selection model would otherwise keep each selected index of a
    // scattered selection as a persistent index through the change, which
    // takes seconds for a million rows.
    void holdSelection();
    void restoreSelection(const std::vector<int>& deletedSlots,
                          const std::vector<uint32_t>& newSlotOf);

    TEntryModel* FModel;
    // The FileName column's own width: the designed one, or the one the user
    // dragged it to. It is widened to fill the list, never narrowed below it.
    int FNameWidth;
    bool FFitting = false;
    QStringList FDropPaths; // of the drag over the list, when it can be dropped
    bool FDraggingOut = false;
    std::vector<int> FHeldSlots; // the selection while rows move
};

// What the commands see of the list.
class TEntryListAdapter final : public IEntryList {
public:
    explicit TEntryListAdapter(TFileListView& view) : FView(view) {}
    int rowCount() const override;
    bool isRowSelected(int row) const override { return FView.isRowSelected(row); }
    int selectedCount() const override { return FView.selectedRowCount(); }
    int firstSelectedRow() const override { return FView.firstSelectedRow(); }
    int entryIndex(int row) const override;
    void setRowCount(int rows) override;
    void tableChanged(std::span<const int> deletedSlots) override;
    void slotsMoved(std::span<const int32_t> newSlotOf) override;
    void clearSelection() override;
    void selectEntries(std::span<const int> entries) override { FView.selectEntries(entries); }
    void repaint() override;

private:
    TFileListView& FView;
};
