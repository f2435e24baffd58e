// The virtual entry list: a table model that stores nothing per row and reads
// every cell from the open archive when the view asks for it. Its row count is
// only what it was last told with setRowCount().
#pragma once

#include <QAbstractTableModel>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string_view>

class TGTA3Archive;

// Image number of a name: 1 for ".txd", 2 for ".dff" (letter case ignored), else 0.
int GetImageIndex(std::string_view Name);
// "<Size x 2> kB", worked out in 64 bits so that no sector count overflows.
QString SizeText(uint32_t sectors);

class TEntryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColumnName = 0, ColumnType = 1, ColumnSize = 2, ColumnCount = 3 };

    // `archive` is the program's open archive, read at each request.
    explicit TEntryModel(const std::unique_ptr<TGTA3Archive>& archive, QObject* parent = nullptr);

    void setRowCount(int rows);
    // Tells the view that every row may show something else now.
    void refresh();
    // Runs `reorder`, which reorders the archive's table in place and may first
    // delete the entries at `deletedRows`, as one layout change: the selection
    // and the current row follow their entries. An index whose entry is deleted,
    // or ends up past the row count, is dropped. The row count is not changed.
    void reorderTable(std::span<const int> deletedRows, const std::function<void()>& reorder);

    // The first row from `startIndex` on (then, with `wrap`, from row 0) whose
    // stored, untrimmed name begins with `findString`, letters a-z folded; -1 if none.
    int lsvFileListDataFind(const QString& findString, int startIndex, bool wrap) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Type-ahead of the view: prefix requests go to lsvFileListDataFind.
    QModelIndexList match(const QModelIndex& start, int role, const QVariant& value, int hits,
                          Qt::MatchFlags flags) const override;

    // How many times data() was asked, for measuring that only visible rows are.
    quint64 dataCalls() const { return FDataCalls; }

private:
    // Rows that show an entry: after a failed Add the table has entries past the
    // row count, which have no row.
    int rowsWithEntries() const;

    const std::unique_ptr<TGTA3Archive>& FArchive;
    int FRows = 0;
    mutable quint64 FDataCalls = 0;
};
