#include "ui/FileListView.h"

#include "ui/EntryModel.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>

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

namespace {

constexpr int DesignedWidths[TEntryModel::ColumnCount] = {150, 80, 90};

// The paths of a drag that holds local files only; empty for anything else
// (folders, web addresses, text), which the list does not take.
QStringList DraggedFiles(const QMimeData* data) {
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile() || !QFileInfo(url.toLocalFile()).isFile())
            return {};
        paths << url.toLocalFile();
    }
    return paths;
}

// Rows, ascending, as whole-row ranges, consecutive rows in one range.
QItemSelection RowRanges(const QAbstractItemModel* model, const std::vector<int>& rows) {
    QItemSelection selection;
    const auto add = [&](int top, int bottom) {
        selection.append(QItemSelectionRange(model->index(top, 0),
                                             model->index(bottom, model->columnCount() - 1)));
    };
    int top = -1, bottom = -1;
    for (const int row : rows) {
        if (row < 0)
            continue;
        if (top >= 0 && row == bottom + 1) {
            bottom = row;
            continue;
        }
        if (top >= 0)
            add(top, bottom);
        top = bottom = row;
    }
    if (top >= 0)
        add(top, bottom);
    return selection;
}

} // namespace

TFileListView::TFileListView(TEntryModel* model, QWidget* parent)
    : QTableView(parent), FModel(model), FNameWidth(DesignedWidths[TEntryModel::ColumnName]) {
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
    // Dragging selected rows out extracts them; files dropped in are imported.
    // Drops are taken only while an archive is open (the main window says so).
    setDragEnabled(true);
    setAcceptDrops(false);
    setDropIndicatorShown(false);
    setDefaultDropAction(Qt::CopyAction);

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
    for (int column = 0; column < TEntryModel::ColumnCount; ++column)
        columns->resizeSection(column, DesignedWidths[column]);
    connect(columns, &QHeaderView::sectionClicked, this, &TFileListView::columnClicked);
    connect(columns, &QHeaderView::sectionResized, this, [this](int column, int, int width) {
        if (column == TEntryModel::ColumnName && !FFitting)
            FNameWidth = width;
    });
    // Connected after the view's own handler, so the rows are laid out anew first.
    connect(model, &QAbstractItemModel::layoutChanged, this, &TFileListView::showCurrentRow);
    connect(model, &TEntryModel::rowsAboutToMove, this, &TFileListView::holdSelection);
    connect(model, &TEntryModel::rowsMoved, this, &TFileListView::restoreSelection);
}

QModelIndex TFileListView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) {
    // A table's Home and End stay in the row and go to its first or last cell.
    const int rows = FModel->rowCount();
    const int column = std::max(currentIndex().column(), 0);
    if (cursorAction == MoveHome && rows > 0)
        return FModel->index(0, column);
    if (cursorAction == MoveEnd && rows > 0)
        return FModel->index(rows - 1, column);
    return QTableView::moveCursor(cursorAction, modifiers);
}

void TFileListView::keyPressEvent(QKeyEvent* event) {
    // Shift+F10 asks for the context menu as the Menu key does: at the focused row.
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        const QPoint at = visualRect(currentIndex()).center();
        QContextMenuEvent request(QContextMenuEvent::Keyboard, at, viewport()->mapToGlobal(at),
                                  event->modifiers());
        QCoreApplication::sendEvent(this, &request);
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void TFileListView::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    fitNameColumn();
}

void TFileListView::fitNameColumn() {
    // The other columns keep their widths; the FileName column takes what is left.
    const QHeaderView* columns = horizontalHeader();
    const int rest = viewport()->width() - columns->sectionSize(TEntryModel::ColumnType) -
                     columns->sectionSize(TEntryModel::ColumnSize);
    FFitting = true;
    horizontalHeader()->resizeSection(TEntryModel::ColumnName, std::max(FNameWidth, rest));
    FFitting = false;
}

void TFileListView::showCurrentRow() {
    if (!currentIndex().isValid())
        return;
    executeDelayedItemsLayout(); // the scroll range for the rows as they now stand
    scrollTo(currentIndex());
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

void TFileListView::selectEntries(std::span<const int> entries) {
    const std::vector<int> rows = FModel->rowsOfEntries(entries);
    selectRows(rows, rows.empty() ? -1 : rows.front());
}

void TFileListView::selectRows(const std::vector<int>& rows, int currentRow) {
    selectionModel()->select(RowRanges(FModel, rows), QItemSelectionModel::ClearAndSelect);
    if (currentRow < 0)
        return;
    selectionModel()->setCurrentIndex(FModel->index(currentRow, 0), QItemSelectionModel::NoUpdate);
    scrollTo(currentIndex());
}

std::vector<int> TFileListView::selectedSlots() const {
    const QItemSelection selected = selectionModel()->selection();
    std::vector<int> chosen;
    chosen.reserve(static_cast<size_t>(SelectedRowCount(selected)));
    for (const QItemSelectionRange& range : selected)
        FModel->appendEntries(range.top(), range.bottom(), chosen);
    return chosen;
}

void TFileListView::holdSelection() {
    FHeldSlots = selectedSlots();
    if (!FHeldSlots.empty())
        selectionModel()->select(QItemSelection(), QItemSelectionModel::Clear);
}

void TFileListView::restoreSelection(const std::vector<int>& deletedSlots,
                                     const std::vector<uint32_t>& newSlotOf) {
    std::vector<int> held = std::exchange(FHeldSlots, {});
    if (held.empty())
        return;
    // A deleted entry's slot becomes -1, which has no row.
    if (!deletedSlots.empty())
        for (int& slot : held)
            slot = static_cast<int>(SlotAfterDelete(static_cast<uint32_t>(slot), deletedSlots));
    for (int& slot : held)
        if (slot >= 0 && static_cast<size_t>(slot) < newSlotOf.size())
            slot = static_cast<int>(newSlotOf[static_cast<size_t>(slot)]);
    selectRows(FModel->rowsOfEntries(held), -1);
}

void TFileListView::setFilterText(const QString& text) {
    // Kept by entry: the model's reset drops the selection and the focus.
    std::vector<int> chosen;
    int focused = -1;
    const bool reset = FModel->setFilter(text, [&] {
        chosen = selectedSlots();
        focused = FModel->entryIndex(currentIndex().row());
    });
    if (!reset)
        return;

    const std::vector<int> focusedRow = FModel->rowsOfEntries(std::span(&focused, 1));
    selectRows(FModel->rowsOfEntries(chosen), focusedRow.empty() ? -1 : focusedRow.front());
}

void TFileListView::startDrag(Qt::DropActions) {
    FDraggingOut = true;
    emit dragOutRequested();
    FDraggingOut = false;
}

void TFileListView::dragEnterEvent(QDragEnterEvent* event) {
    // The list's own rows dragged back onto it would be imported over
    // themselves; and files are only ever copied from, never moved.
    const bool own = FDraggingOut || event->source() == this;
    FDropPaths = own || !(event->possibleActions() & Qt::CopyAction)
                     ? QStringList()
                     : DraggedFiles(event->mimeData());
    if (FDropPaths.isEmpty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void TFileListView::dragMoveEvent(QDragMoveEvent* event) {
    if (FDropPaths.isEmpty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void TFileListView::dragLeaveEvent(QDragLeaveEvent* event) {
    FDropPaths.clear();
    event->accept();
}

void TFileListView::dropEvent(QDropEvent* event) {
    const QStringList paths = std::exchange(FDropPaths, {});
    if (paths.isEmpty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    emit filesDropped(paths);
}

int TEntryListAdapter::rowCount() const {
    return FView.entryModel()->rowCount();
}

int TEntryListAdapter::entryIndex(int row) const {
    return FView.entryModel()->entryIndex(row);
}

void TEntryListAdapter::setRowCount(int rows) {
    FView.entryModel()->setRowCount(rows);
}

void TEntryListAdapter::tableChanged(std::span<const int> deletedSlots) {
    FView.entryModel()->tableChanged(deletedSlots);
}

void TEntryListAdapter::slotsMoved(std::span<const int32_t> newSlotOf) {
    FView.entryModel()->slotsMoved(newSlotOf);
}

void TEntryListAdapter::clearSelection() {
    FView.selectionModel()->clearSelection();
}

void TEntryListAdapter::repaint() {
    FView.entryModel()->refresh();
    FView.viewport()->update();
}
