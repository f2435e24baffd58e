// The virtual entry list: a table model that stores nothing per row and reads
// every cell from the open archive when the view asks for it. Its entries are
// the first ones of the archive's table, as many as it was last told with
// setRowCount(); without a filter, row i shows table entry i. With a filter,
// the rows show the matching entries only, in table order, through a list of
// their table indexes.
#pragma once

#include <QAbstractTableModel>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class TGTA3Archive;

// Image number of a name: 1 for ".txd", 2 for ".dff" (letter case ignored), else 0.
int GetImageIndex(std::string_view Name);
// "<Size x 2> kB", worked out in 64 bits so that no sector count overflows.
QString SizeText(uint32_t sectors);

// What the filter field asks for: display names that contain the text or, when
// it holds '*' or '?', match it as a wildcard; letters a-z folded.
class TNameFilter {
public:
    explicit TNameFilter(const QString& text);
    bool Matches(std::string_view displayName) const;

private:
    bool Matches(std::string_view displayName, const std::string& key) const;

    bool FWildcard;
    std::string FHost;   // the text in the host's encoding
    std::string FLatin1; // and as Latin-1, the form in which other names are shown
};

class TEntryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColumnName = 0, ColumnType = 1, ColumnSize = 2, ColumnCount = 3 };

    // `archive` is the program's open archive, read at each request.
    explicit TEntryModel(const std::unique_ptr<TGTA3Archive>& archive, QObject* parent = nullptr);

    // How many entries, from the start of the table, have rows.
    void setRowCount(int rows);
    // Tells the view that every row may show something else now.
    void refresh();
    // Runs `reorder`, which reorders the archive's table in place and may first
    // delete the entries at `deletedRows`, as one layout change: the selection
    // and the current row follow their entries. An index whose entry is deleted,
    // or ends up without a row, is dropped. With a filter, rows whose entries
    // are gone leave the list right after the layout change.
    void reorderTable(std::span<const int> deletedRows, const std::function<void()>& reorder);

    // Shows only the entries `text` asks for (TNameFilter); an empty text shows
    // them all. The model is reset: the view keeps its selection itself.
    void setFilter(const QString& text);
    bool isFiltered() const { return FFilter.has_value(); }
    // The table index of the entry on `row`, or -1 when the row shows none.
    int entryIndex(int row) const;
    // The rows of the entries at `entries` (table indexes, ascending), each -1
    // when that entry has no row.
    std::vector<int> rowsOfEntries(std::span<const int> entries) const;

    // The first row from `startIndex` on (then, with `wrap`, from row 0) whose
    // stored, untrimmed name begins with `findString`, letters a-z folded; -1 if none.
    int lsvFileListDataFind(const QString& findString, int startIndex, bool wrap) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }
    // Type-ahead of the view: prefix requests go to lsvFileListDataFind.
    QModelIndexList match(const QModelIndex& start, int role, const QVariant& value, int hits,
                          Qt::MatchFlags flags) const override;

    // How many times data() was asked, for measuring that only visible rows are.
    quint64 dataCalls() const { return FDataCalls; }

private:
    // Entries that can have a row: after a failed Add the table has entries
    // past the row count, which have none.
    int rowsWithEntries() const;
    // Rows that show an entry (with a filter, rows past the matches may stand
    // empty for the length of a layout change).
    int rowsShowingEntries() const;
    // Appends the table indexes in [from, to) whose names `filter` shows.
    void collectMatches(const TNameFilter& filter, int from, int to, std::vector<int>& into) const;
    // Inserts or removes rows at the end until the views have as many rows as
    // there are to show.
    void syncRowCount();

    const std::unique_ptr<TGTA3Archive>& FArchive;
    int FEntries = 0; // entries that have rows
    int FRows = 0;    // rows the views know of
    std::optional<TNameFilter> FFilter;
    std::vector<int> FVisible; // with a filter: the table index of each row, ascending
    mutable quint64 FDataCalls = 0;
};
