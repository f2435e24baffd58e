#include "ui/EntryModel.h"

#include "archive/Gta3Archive.h"
#include "sorting/SortFunctions.h"
#include "ui/Icons.h"
#include "ui/NameText.h"

#include <algorithm>
#include <numeric>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// The typed text as Latin-1 bytes, the form in which names that are not UTF-8
// are shown; empty when that form is not needed or does not exist.
std::string Latin1Form(const QString& text, const std::string& host) {
    const QByteArray latin1 = text.toLatin1();
    if (QString::fromLatin1(latin1) == text && latin1.toStdString() != host)
        return latin1.toStdString();
    return {};
}

// The typed text as the bytes a stored name would hold: in the host encoding, and
// also in Latin-1.
struct SearchKeys {
    explicit SearchKeys(const QString& text)
        : host(TextToName(text)), other(Latin1Form(text, host)) {}
    bool matches(std::string_view name) const {
        return (!host.empty() && StartsWithText(name, host)) ||
               (!other.empty() && StartsWithText(name, other));
    }
    std::string host;
    std::string other;
};

// The slots of `shown`, all below `count`, once the slots `deleted` are gone,
// in the same order.
std::vector<uint32_t> AfterDelete(std::span<const uint32_t> shown, size_t count,
                                  std::span<const int> deleted) {
    if (deleted.empty())
        return {shown.begin(), shown.end()};
    // Each slot's new number in one pass, rather than a search per row.
    constexpr uint32_t Gone = UINT32_MAX;
    std::vector<uint32_t> renumbered(count);
    uint32_t next = 0;
    auto doomed = deleted.begin();
    for (size_t slot = 0; slot < count; ++slot) {
        const bool isGone = doomed != deleted.end() && static_cast<size_t>(*doomed) == slot;
        if (isGone)
            ++doomed;
        renumbered[slot] = isGone ? Gone : next++;
    }
    std::vector<uint32_t> kept;
    kept.reserve(shown.size());
    for (const uint32_t slot : shown)
        if (renumbered[slot] != Gone)
            kept.push_back(renumbered[slot]);
    return kept;
}

// The row of each slot up to `top` among the first `rows` of `shown`; -1 for
// a slot without a row.
std::vector<int> RowOfSlot(std::span<const uint32_t> shown, int rows, int64_t top) {
    std::vector<int> rowOf(static_cast<size_t>(top + 1), -1);
    for (int row = 0; row < rows; ++row)
        if (const uint32_t slot = shown[static_cast<size_t>(row)]; slot <= top)
            rowOf[slot] = row;
    return rowOf;
}

// Where each of `count` slots went: the slots below `newSlotOf`'s size where
// it says, the others (added after it was made) to the slots left over, in
// order. Empty when nothing moved.
std::vector<uint32_t> MovedSlots(std::span<const int32_t> newSlotOf, size_t count) {
    if (newSlotOf.empty())
        return {};
    std::vector<uint32_t> moved(count);
    std::vector<bool> taken(count);
    for (size_t slot = 0; slot < newSlotOf.size() && slot < count; ++slot) {
        moved[slot] = static_cast<uint32_t>(newSlotOf[slot]);
        taken[moved[slot]] = true;
    }
    uint32_t free = 0;
    for (size_t slot = newSlotOf.size(); slot < count; ++slot) {
        while (taken[free])
            ++free;
        moved[slot] = free++;
    }
    return moved;
}

// Starts reading an entry's name into the cache, where the compiler can.
void PrefetchName(const TArchiveEntry& entry) {
#if defined(__GNUC__)
    __builtin_prefetch(entry.Name);
    __builtin_prefetch(entry.Name + sizeof entry.Name - 1);
#else
    (void)entry;
#endif
}

// Runs `work` on the parts [0, count / 2) and [count / 2, count): for a large
// count, the second on a thread of its own meanwhile.
template <class Work> void InTwoParts(size_t count, const Work& work) {
    const size_t half = count / 2;
    if (count >= 65536) {
        try {
            std::jthread second([&] { work(half, count); });
            work(0, half);
            return;
        } catch (const std::system_error&) {
            // No thread to be had: the first part was not begun either.
        }
    }
    work(0, half);
    work(half, count);
}

} // namespace

int64_t SlotAfterDelete(uint32_t slot, std::span<const int> deleted) {
    const auto below = std::lower_bound(deleted.begin(), deleted.end(), static_cast<int64_t>(slot));
    if (below != deleted.end() && *below == static_cast<int64_t>(slot))
        return -1;
    return static_cast<int64_t>(slot) - (below - deleted.begin());
}

int GetImageIndex(std::string_view Name) {
    const std::string_view extension = NameExtension(Name);
    if (SameText(extension, ".txd"))
        return ImagePicture;
    if (SameText(extension, ".dff"))
        return ImageCube;
    return ImagePage;
}

QString SizeText(uint32_t sectors) {
    return QString::number(uint64_t{sectors} * 2) + QStringLiteral(" kB");
}

TNameFilter::TNameFilter(const QString& text) : TNameFilter(text, TextToName(text)) {}

TNameFilter::TNameFilter(const QString& text, const std::string& host) : FHost(host) {
    if (const std::string latin1 = Latin1Form(text, host); !latin1.empty())
        FLatin1.emplace(latin1);
}

bool TNameFilter::Matches(const TArchiveEntry& entry) const {
    return FHost.Matches(entry) || (FLatin1 && FLatin1->Matches(entry));
}

TEntryModel::TEntryModel(const std::unique_ptr<TGTA3Archive>& archive, QObject* parent)
    : QAbstractTableModel(parent), FArchive(archive), FCompare(CompareByName) {}

void TEntryModel::setRowCount(int rows) {
    const size_t wanted = static_cast<size_t>(std::max(rows, 0));
    if (wanted == 0) {
        // Every row goes, from the end.
        FOrder.clear();
        FVisible.clear();
        syncRowCount();
        return;
    }
    if (wanted < FOrder.size()) {
        // The slots from `wanted` on lose their rows, as if deleted.
        std::vector<int> gone(FOrder.size() - wanted);
        std::iota(gone.begin(), gone.end(), static_cast<int>(wanted));
        relayout(gone, false);
        return;
    }
    const size_t before = FOrder.size();
    for (size_t slot = before; slot < wanted; ++slot)
        FOrder.push_back(static_cast<uint32_t>(slot));
    if (FFilter) {
        const std::vector<uint32_t> added = matching(*FFilter, std::span(FOrder).subspan(before));
        FVisible.insert(FVisible.end(), added.begin(), added.end());
    }
    syncRowCount();
}

void TEntryModel::syncRowCount() {
    const int rows = static_cast<int>(shownSlots().size());
    // Rows come and go at the end, so the selection of the rows that stay is kept.
    if (rows > FRows) {
        beginInsertRows({}, FRows, rows - 1);
        FRows = rows;
        endInsertRows();
    } else if (rows < FRows) {
        beginRemoveRows({}, rows, FRows - 1);
        FRows = rows;
        endRemoveRows();
    }
}

bool TEntryModel::setFilter(const QString& text, const std::function<void()>& beforeReset) {
    // The rows are worked out before the reset, so that a failure (out of
    // memory) leaves the model as it was rather than halfway through a reset.
    std::optional<TNameFilter> filter;
    std::vector<uint32_t> visible;
    if (!text.isEmpty()) {
        filter.emplace(text);
        // A name that contains the longer text contains the shorter one: as
        // the text grows, only the entries shown already are looked at again.
        const auto isWildcard = [](const QString& t) {
            return t.contains(u'*') || t.contains(u'?');
        };
        const bool narrows =
            FFilter && !isWildcard(text) && !isWildcard(FFilterText) && text.contains(FFilterText);
        visible = matching(*filter, narrows ? FVisible : FOrder);
    }
    const bool sameRows = filter ? visible == shownSlots() : FOrder == shownSlots();
    if (!sameRows) {
        if (beforeReset)
            beforeReset();
        beginResetModel();
    }
    FFilter = std::move(filter);
    FFilterText = FFilter ? text : QString();
    FVisible = std::move(visible);
    FRows = static_cast<int>(shownSlots().size());
    if (!sameRows)
        endResetModel();
    return !sameRows;
}

std::vector<uint32_t> TEntryModel::matching(const TNameFilter& filter,
                                            std::span<const uint32_t> among) const {
    if (!FArchive)
        return {};
    const auto table = this->table();
    // The names are read in slot order, as the table lies in memory, and the
    // matches then picked in the order of `among`. Read in a sorted order,
    // they would be fetched from all over a table of many megabytes; when
    // `among` is half the table or more, every name is read, one after the
    // other, and those not asked for are left out at the end.
    enum : uint8_t { Unasked, Asked, Shown };
    const bool readAll = among.size() >= table.size() / 2;
    std::vector<uint8_t> state(table.size(), readAll ? Asked : Unasked);
    std::vector<uint32_t> asked; // ascending
    if (!readAll) {
        for (const uint32_t slot : among)
            if (slot < table.size())
                state[slot] = Asked;
        asked.reserve(among.size());
        for (size_t slot = 0; slot < table.size(); ++slot)
            if (state[slot] == Asked)
                asked.push_back(static_cast<uint32_t>(slot));
    }
    if (filter.ShowsEveryEntry()) {
        std::replace(state.begin(), state.end(), uint8_t{Asked}, uint8_t{Shown});
    } else if (readAll) {
        InTwoParts(table.size(), [&](size_t begin, size_t end) {
            for (size_t slot = begin; slot < end; ++slot)
                if (filter.Matches(table[slot]))
                    state[slot] = Shown;
        });
    } else {
        // Spread slots: each name is a cache miss of its own unless it is
        // asked for well before it is needed.
        InTwoParts(asked.size(), [&](size_t begin, size_t end) {
            constexpr size_t Ahead = 16;
            for (size_t i = begin; i < end; ++i) {
                if (i + Ahead < end)
                    PrefetchName(table[asked[i + Ahead]]);
                if (filter.Matches(table[asked[i]]))
                    state[asked[i]] = Shown;
            }
        });
    }
    std::vector<uint32_t> shown;
    for (const uint32_t slot : among)
        if (slot < table.size() && state[slot] == Shown)
            shown.push_back(slot);
    return shown;
}

std::span<const TArchiveEntry> TEntryModel::table() const {
    if (FFrozen)
        return *FFrozen;
    return FArchive ? FArchive->Table() : std::span<const TArchiveEntry>();
}

void TEntryModel::Freeze() {
    const auto entries = table();
    FFrozen.emplace(entries.begin(), entries.end());
}

void TEntryModel::Thaw() {
    FFrozen.reset();
}

void TEntryModel::refresh() {
    if (FRows > 0)
        emit dataChanged(index(0, 0), index(FRows - 1, ColumnCount - 1));
}

int TEntryModel::rowsShowingEntries() const {
    return std::min(static_cast<int>(shownSlots().size()), FRows);
}

int TEntryModel::entryIndex(int row) const {
    if (row < 0 || row >= rowsShowingEntries())
        return -1;
    // While a delete runs, the rows still name the slots of before it.
    const uint32_t slot = shownSlots()[static_cast<size_t>(row)];
    return FArchive && slot < table().size() ? static_cast<int>(slot) : -1;
}

void TEntryModel::appendEntries(int top, int bottom, std::vector<int>& entries) const {
    // entryIndex() for each row, with what it asks worked out once.
    const std::vector<uint32_t>& shown = shownSlots();
    const size_t slotCount = FArchive ? table().size() : 0;
    const int end = std::min(bottom + 1, rowsShowingEntries());
    for (int row = std::max(top, 0); row < end; ++row)
        if (const uint32_t slot = shown[static_cast<size_t>(row)]; slot < slotCount)
            entries.push_back(static_cast<int>(slot));
}

std::vector<int> TEntryModel::rowsOfEntries(std::span<const int> entries) const {
    std::vector<int> rows;
    const auto top = std::max_element(entries.begin(), entries.end());
    if (top == entries.end() || *top < 0)
        return rows;
    // One pass down the rows, each slot looked up in a bitmap of those wanted.
    std::vector<bool> wanted(static_cast<size_t>(*top) + 1);
    for (const int entry : entries)
        if (entry >= 0)
            wanted[static_cast<size_t>(entry)] = true;
    const std::vector<uint32_t>& shown = shownSlots();
    const int count = rowsShowingEntries();
    for (int row = 0; row < count; ++row)
        if (const uint32_t slot = shown[static_cast<size_t>(row)];
            slot < wanted.size() && wanted[slot])
            rows.push_back(row);
    return rows;
}

void TEntryModel::sortBy(TCompareFunc compare, bool descending) {
    FCompare = compare;
    FDescending = descending;
    relayout({}, true);
}

void TEntryModel::tableChanged(std::span<const int> deletedSlots) {
    relayout(deletedSlots, true);
}

void TEntryModel::slotsMoved(std::span<const int32_t> newSlotOf) {
    relayout({}, true, newSlotOf);
}

void TEntryModel::relayout(std::span<const int> deletedSlots, bool sort,
                           std::span<const int32_t> newSlotOf) {
    const std::vector<uint32_t> moved = MovedSlots(newSlotOf, FOrder.size());
    // The new rows are worked out first: a failure (out of memory) leaves the
    // model as it was.
    // The rows hold every slot below their count. They are sorted from the
    // order they stand in, which a sort in the other direction, or after a few
    // entries changed, finds mostly in order already (SortSlots).
    std::vector<uint32_t> order = AfterDelete(FOrder, FOrder.size(), deletedSlots);
    for (uint32_t& slot : order)
        if (slot < moved.size())
            slot = moved[slot];
    if (sort && FArchive && order.size() <= table().size())
        SortSlots(table().first(order.size()), order, FCompare, FDescending);
    std::vector<uint32_t> visible;
    if (FFilter)
        visible =
            sort ? matching(*FFilter, order) : AfterDelete(FVisible, FOrder.size(), deletedSlots);

    emit rowsAboutToMove();
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // Asked after the announcement: the selection model saves its rows as
    // persistent indexes while it hears it.
    const QModelIndexList before = persistentIndexList();
    std::vector<int64_t> followed(static_cast<size_t>(before.size()), -1);
    int64_t top = -1;
    const int shownBefore = rowsShowingEntries();
    for (size_t i = 0; i < followed.size(); ++i) {
        const int row = before[static_cast<qsizetype>(i)].row();
        if (row >= 0 && row < shownBefore)
            followed[i] = SlotAfterDelete(shownSlots()[static_cast<size_t>(row)], deletedSlots);
        if (followed[i] >= 0 && static_cast<size_t>(followed[i]) < moved.size())
            followed[i] = moved[static_cast<size_t>(followed[i])];
        top = std::max(top, followed[i]);
    }

    FOrder = std::move(order);
    FVisible = std::move(visible);
    // The row count stays until the layout change is over.
    std::vector<int> rowOf;
    if (top >= 0)
        rowOf = RowOfSlot(shownSlots(), rowsShowingEntries(), top);
    QModelIndexList after;
    after.reserve(before.size());
    for (size_t i = 0; i < followed.size(); ++i) {
        const int row = followed[i] >= 0 ? rowOf[static_cast<size_t>(followed[i])] : -1;
        after.append(row >= 0 ? index(row, before[static_cast<qsizetype>(i)].column())
                              : QModelIndex());
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    syncRowCount();
    emit rowsMoved({deletedSlots.begin(), deletedSlots.end()}, moved);
}

int TEntryModel::lsvFileListDataFind(const QString& findString, int startIndex, bool wrap) const {
    if (!FArchive)
        return -1;
    // Only the rows are searched: entries without a row, or filtered out, have
    // no row to move to.
    const int count = rowsShowingEntries();
    if (findString.isEmpty() || startIndex < 0 || startIndex > count)
        return -1;
    const SearchKeys keys(findString);
    const auto table = this->table();
    const auto matches = [&](int row) {
        const int slot = entryIndex(row);
        return slot >= 0 && keys.matches(NameText(table[static_cast<size_t>(slot)]));
    };
    for (int i = startIndex; i < count; ++i)
        if (matches(i))
            return i;
    if (wrap)
        for (int i = 0; i < startIndex; ++i)
            if (matches(i))
                return i;
    return -1;
}

int TEntryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : FRows;
}

int TEntryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TEntryModel::data(const QModelIndex& index, int role) const {
    ++FDataCalls;
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    if (role == Qt::TextAlignmentRole && index.column() == ColumnSize)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != Qt::DecorationRole)
        return {};
    // A row without an entry (after a delete, until the rows are counted again)
    // shows empty rather than failing.
    const int entryAt = entryIndex(index.row());
    if (entryAt < 0)
        return {};
    const TArchiveEntry entry = table()[static_cast<size_t>(entryAt)];
    const std::string_view name = DisplayName(entry);
    if (role == Qt::DecorationRole)
        return index.column() == ColumnName ? QVariant(EntryIcon(GetImageIndex(name))) : QVariant();
    switch (index.column()) {
    case ColumnName:
        return NameToText(name);
    case ColumnType:
        return NameToText(GetTypeText(name));
    case ColumnSize:
        return SizeText(entry.Size);
    }
    return {};
}

QVariant TEntryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue((section == ColumnSize ? Qt::AlignRight : Qt::AlignLeft) |
                                   Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    switch (section) {
    case ColumnName:
        return QStringLiteral("FileName");
    case ColumnType:
        return QStringLiteral("Type");
    case ColumnSize:
        return QStringLiteral("Size");
    }
    return {};
}

Qt::ItemFlags TEntryModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled |
           Qt::ItemNeverHasChildren;
}

QModelIndexList TEntryModel::match(const QModelIndex& start, int role, const QVariant& value,
                                   int hits, Qt::MatchFlags flags) const {
    const Qt::MatchFlags kind = flags & Qt::MatchTypeMask;
    const bool prefixSearch =
        kind == Qt::MatchStartsWith || kind == Qt::MatchFixedString || kind == Qt::MatchExactly;
    // Only the list's own search by text is answered; scanning a million rows for
    // any other kind of request is not something this list does.
    if (role != Qt::DisplayRole || !prefixSearch || hits == 0 || !start.isValid() ||
        start.model() != this)
        return {};
    const int row = lsvFileListDataFind(value.toString(), start.row(), flags & Qt::MatchWrap);
    if (row < 0)
        return {};
    return {index(row, ColumnName)};
}
