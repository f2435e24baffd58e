// The entry list of the main window: a table view over TEntryModel that looks
// and behaves like a report-style list (whole rows, several selectable, never
// editable, fixed row height), and the IEntryList the commands work through.
#pragma once

#include "ui/EntryCommands.h"

#include <QItemSelection>
#include <QTableView>

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

signals:
    // A click on a column header; the view itself never sorts.
    void columnClicked(int column);

protected:
    // Home and End go to the first and the last entry, as in any list.
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitNameColumn();
    void showCurrentRow();

    TEntryModel* FModel;
    // The FileName column's own width: the designed one, or the one the user
    // dragged it to. It is widened to fill the list, never narrowed below it.
    int FNameWidth;
    bool FFitting = false;
};

// What the commands see of the list.
class TEntryListAdapter final : public IEntryList {
public:
    explicit TEntryListAdapter(TFileListView& view) : FView(view) {}
    int rowCount() const override;
    bool isRowSelected(int row) const override { return FView.isRowSelected(row); }
    int selectedCount() const override { return FView.selectedRowCount(); }
    int firstSelectedRow() const override { return FView.firstSelectedRow(); }
    void setRowCount(int rows) override;
    void reorderTable(std::span<const int> deletedRows,
                      const std::function<void()>& reorder) override;
    void clearSelection() override;
    void repaint() override;

private:
    TFileListView& FView;
};
