// The virtual entry list: a table model that stores nothing per row but the
// slot of the entry it shows, and reads every cell from the open archive when
// the view asks for it. Its rows are a permutation of the archive's first
// slots, as many as it was last told with setRowCount(), in its order (a
// sort by name, type or size); the archive's table itself is never reordered.
// With a filter, the rows show the matching entries only, in the same order.
#pragma once

#include "archive/ArchiveEntry.h"
#include "archive/NameMatch.h"

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
    bool Matches(const TArchiveEntry& entry) const;
    // Whether it shows every entry ("*"), so that no name needs to be read.
    bool ShowsEveryEntry() const { return FHost.MatchesEveryName(); }

private:
    TNameFilter(const QString& text, const std::string& host);

    TNameMatcher FHost;                  // the text in the host's encoding
    std::optional<TNameMatcher> FLatin1; // and as Latin-1, the form in which other names are shown
};

// The slot an entry has once the slots `deleted` (ascending) are gone; -1 if it was one.
int64_t SlotAfterDelete(uint32_t slot, std::span<const int> deleted);

class TEntryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColumnName = 0, ColumnType = 1, ColumnSize = 2, ColumnCount = 3 };

    // `archive` is the program's open archive, read at each request.
    explicit TEntryModel(const std::unique_ptr<TGTA3Archive>& archive, QObject* parent = nullptr);

    // How many entries, from slot 0 on, have rows. New rows come in at the
    // end, unsorted until the next sort.
    void setRowCount(int rows);
    // Tells the view that every row may show something else now.
    void refresh();
    // Sorts the rows by `compare` in the direction `descending`, and keeps that
    // order for later sorts.
    void sortBy(TCompareFunc compare, bool descending);
    // The archive's table changed: records were rewritten in place, and the
    // entries in `deletedSlots` (ascending) are gone, the slots above each
    // moving down. Sorts the rows again. Both are one layout change: the
    // selection and the current row follow their entries, and an index whose
    // entry is deleted is dropped; rows whose entries are gone leave the list
    // right after it.
    void tableChanged(std::span<const int> deletedSlots);
    // While a job may change the archive on another thread, the rows are read
    // from a copy of its table taken here; Thaw() goes back to the archive.
    void Freeze();
    void Thaw();
    // Entries moved to other slots (IEntryList::slotsMoved): one layout
    // change, as tableChanged, the selection following its entries.
    void slotsMoved(std::span<const int32_t> newSlotOf);

    // Shows only the entries `text` asks for (TNameFilter); an empty text shows
    // them all. When that changes the rows, `beforeReset` is called and the
    // model reset (the view keeps its selection itself), and true returned;
    // a text that shows the same rows (a first letter every name has, say)
    // leaves the views alone.
    bool setFilter(const QString& text, const std::function<void()>& beforeReset = {});
    bool isFiltered() const { return FFilter.has_value(); }
    // The slot of the entry on `row`, or -1 when the row shows none.
    int entryIndex(int row) const;
    // Appends the slots of the rows from `top` to `bottom` that show an
    // entry, in row order: entryIndex() of each, for a whole selection.
    void appendEntries(int top, int bottom, std::vector<int>& entries) const;
    // The rows, ascending, of those entries in the slots `entries` that have one.
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

signals:
    // Around a layout change that moves rows (a sort, a delete), before
    // layoutAboutToBeChanged and after layoutChanged: a view can take its
    // selection out by slot and put it back, rather than have the selection
    // model follow each selected index.
    void rowsAboutToMove();
    // `deletedSlots` (ascending): the entries gone, the slots above each
    // moving down (SlotAfterDelete); `newSlotOf`, when not empty: the slot
    // each entry went to (slotsMoved).
    void rowsMoved(const std::vector<int>& deletedSlots, const std::vector<uint32_t>& newSlotOf);

private:
    // Rows that show an entry (with a filter, rows past the matches may stand
    // empty for the length of a layout change).
    int rowsShowingEntries() const;
    // The slots of the rows, in row order.
    const std::vector<uint32_t>& shownSlots() const { return FFilter ? FVisible : FOrder; }
    // The slots among `among` whose names `filter` shows, in the same order.
    std::vector<uint32_t> matching(const TNameFilter& filter,
                                   std::span<const uint32_t> among) const;
    // Drops `deletedSlots` from the rows and renumbers the rest, sorts them
    // again when `sort` says so, as one layout change that the selection and
    // the current row follow.
    void relayout(std::span<const int> deletedSlots, bool sort,
                  std::span<const int32_t> newSlotOf = {});
    // Inserts or removes rows at the end until the views have as many rows as
    // there are to show.
    void syncRowCount();

    // The records the rows show: the archive's table, or its frozen copy.
    std::span<const TArchiveEntry> table() const;

    const std::unique_ptr<TGTA3Archive>& FArchive;
    std::optional<std::vector<TArchiveEntry>> FFrozen;
    // The slots that have rows, 0 to their count - 1, in the order of the rows.
    std::vector<uint32_t> FOrder;
    TCompareFunc FCompare;
    bool FDescending = false;
    int FRows = 0; // rows the views know of
    std::optional<TNameFilter> FFilter;
    QString FFilterText;            // the text FFilter was made from
    std::vector<uint32_t> FVisible; // with a filter: the slots of FOrder it shows, in its order
    mutable quint64 FDataCalls = 0;
};
