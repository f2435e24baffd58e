#include "ui/FileListView.h"

#include "ui/EntryModel.h"

#include <QHeaderView>

#include <algorithm>
#include <utility>
#include <vector>

int SelectedRowCount(const QItemSelection& selection) {
    // Ranges may overlap in rows (the same rows selected in other columns), so
    // the row intervals are merged before they are counted.
    std::vector<std::pair<int, int>> rows;
    rows.reserve(static_cast<size_t>(selection.size()));
    for (const QItemSelectionRange& range : selection)
        if (range.isValid())
            rows.emplace_back(range.top(), range.bottom());
    std::sort(rows.begin(), rows.end());
    int count = 0;
    int coveredTo = -1;
    for (const auto& [top, bottom] : rows) {
        const int from = std::max(top, coveredTo + 1);
        if (bottom >= from)
            count += bottom - from + 1;
        coveredTo = std::max(coveredTo, bottom);
    }
    return count;
}

TFileListView::TFileListView(TEntryModel* model, QWidget* parent)
    : QTableView(parent), FModel(model) {
    setModel(model);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    setTabKeyNavigation(false);
    setSortingEnabled(false);
    setIconSize(QSize(16, 16));
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

    // Every row has the same height, so nothing is measured per row.
    QHeaderView* rows = verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(std::max(18, fontMetrics().height() + 4));

    QHeaderView* columns = horizontalHeader();
    columns->setSectionsClickable(true);
    columns->setSortIndicatorShown(false);
    columns->setHighlightSections(false);
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setStretchLastSection(false);
    columns->resizeSection(TEntryModel::ColumnName, 150);
    columns->resizeSection(TEntryModel::ColumnType, 80);
    columns->resizeSection(TEntryModel::ColumnSize, 90);
    connect(columns, &QHeaderView::sectionClicked, this, &TFileListView::columnClicked);
}

int TFileListView::selectedRowCount() const {
    return SelectedRowCount(selectionModel()->selection());
}

int TFileListView::firstSelectedRow() const {
    int first = -1;
    for (const QItemSelectionRange& range : selectionModel()->selection())
        if (range.isValid() && (first < 0 || range.top() < first))
            first = range.top();
    return first;
}

bool TFileListView::isRowSelected(int row) const {
    return selectionModel()->isSelected(FModel->index(row, TEntryModel::ColumnName));
}

void TFileListView::selectAllRows() {
    const int rows = FModel->rowCount();
    if (rows == 0)
        return;
    const QItemSelection all(FModel->index(0, 0),
                             FModel->index(rows - 1, TEntryModel::ColumnCount - 1));
    selectionModel()->select(all, QItemSelectionModel::ClearAndSelect);
}

int TEntryListAdapter::rowCount() const {
    return FView.entryModel()->rowCount();
}

void TEntryListAdapter::setRowCount(int rows) {
    FView.entryModel()->setRowCount(rows);
}

void TEntryListAdapter::clearSelection() {
    FView.selectionModel()->clearSelection();
}

void TEntryListAdapter::repaint() {
    FView.entryModel()->refresh();
    FView.viewport()->update();
}
