#include "ui/EntryModel.h"

#include "archive/Gta3Archive.h"
#include "sorting/SortFunctions.h"
#include "ui/Icons.h"
#include "ui/NameText.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <string>
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

// An entry as a persistent index remembers it across a reorder. Its directory
// slot, DirIndex, is unique and kept by sorting; a delete closes the directory
// up, so each slot then moves down by the deleted slots below it.
struct FollowedEntry {
    bool hasEntry = false;
    TArchiveEntry entry{};
};

bool SameRecord(const TArchiveEntry& a, const TArchiveEntry& b) {
    return a.Offset == b.Offset && a.Size == b.Size &&
           std::memcmp(a.Name, b.Name, sizeof a.Name) == 0;
}

// The slot an entry has once the slots `deleted` (sorted) are gone; -1 if it was one.
int32_t SlotAfterDelete(int32_t slot, const std::vector<int32_t>& deleted) {
    const auto below = std::lower_bound(deleted.begin(), deleted.end(), slot);
    if (below != deleted.end() && *below == slot)
        return -1;
    return slot - static_cast<int32_t>(below - deleted.begin());
}

} // namespace

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

TNameFilter::TNameFilter(const QString& text)
    : FWildcard(text.contains(u'*') || text.contains(u'?')), FHost(TextToName(text)),
      FLatin1(Latin1Form(text, FHost)) {}

bool TNameFilter::Matches(std::string_view displayName) const {
    return Matches(displayName, FHost) || (!FLatin1.empty() && Matches(displayName, FLatin1));
}

bool TNameFilter::Matches(std::string_view displayName, const std::string& key) const {
    return FWildcard ? MatchesWildcard(displayName, key) : ContainsText(displayName, key);
}

TEntryModel::TEntryModel(const std::unique_ptr<TGTA3Archive>& archive, QObject* parent)
    : QAbstractTableModel(parent), FArchive(archive) {}

void TEntryModel::setRowCount(int rows) {
    const int before = rowsWithEntries();
    FEntries = std::max(rows, 0);
    if (FFilter) {
        // Entries come and go at the table's end, which is the end of the rows.
        while (!FVisible.empty() && FVisible.back() >= rowsWithEntries())
            FVisible.pop_back();
        collectMatches(*FFilter, before, rowsWithEntries(), FVisible);
    }
    syncRowCount();
}

void TEntryModel::syncRowCount() {
    const int rows = FFilter ? static_cast<int>(FVisible.size()) : FEntries;
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

void TEntryModel::setFilter(const QString& text) {
    // The rows are worked out before the reset, so that a failure (out of
    // memory) leaves the model as it was rather than halfway through a reset.
    std::optional<TNameFilter> filter;
    std::vector<int> visible;
    if (!text.isEmpty()) {
        filter.emplace(text);
        collectMatches(*filter, 0, rowsWithEntries(), visible);
    }
    beginResetModel();
    FFilter = std::move(filter);
    FVisible = std::move(visible);
    FRows = FFilter ? static_cast<int>(FVisible.size()) : FEntries;
    endResetModel();
}

void TEntryModel::collectMatches(const TNameFilter& filter, int from, int to,
                                 std::vector<int>& into) const {
    if (from >= to)
        return;
    const auto table = FArchive->Table();
    for (int i = from; i < to; ++i)
        if (filter.Matches(DisplayName(table[static_cast<size_t>(i)])))
            into.push_back(i);
}

void TEntryModel::refresh() {
    if (FRows > 0)
        emit dataChanged(index(0, 0), index(FRows - 1, ColumnCount - 1));
}

int TEntryModel::rowsWithEntries() const {
    return FArchive ? std::min(FEntries, FArchive->Count()) : 0;
}

int TEntryModel::rowsShowingEntries() const {
    if (FFilter)
        return std::min(static_cast<int>(FVisible.size()), FRows);
    return std::min(rowsWithEntries(), FRows);
}

int TEntryModel::entryIndex(int row) const {
    if (row < 0 || row >= rowsShowingEntries())
        return -1;
    if (!FFilter)
        return row;
    // While a delete runs, the rows still name the entries of before it.
    const int entry = FVisible[static_cast<size_t>(row)];
    return FArchive && entry < FArchive->Count() ? entry : -1;
}

std::vector<int> TEntryModel::rowsOfEntries(std::span<const int> entries) const {
    std::vector<int> rows(entries.size(), -1);
    const int shown = rowsShowingEntries();
    if (!FFilter) {
        for (size_t i = 0; i < entries.size(); ++i)
            if (entries[i] >= 0 && entries[i] < shown)
                rows[i] = entries[i];
        return rows;
    }
    // Both ascending: each is looked for after the one before.
    const auto end = FVisible.begin() + shown;
    auto row = FVisible.begin();
    for (size_t i = 0; i < entries.size(); ++i) {
        row = std::lower_bound(row, end, entries[i]);
        if (row != end && *row == entries[i])
            rows[i] = static_cast<int>(row - FVisible.begin());
    }
    return rows;
}

void TEntryModel::reorderTable(std::span<const int> deletedRows,
                               const std::function<void()>& reorder) {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // Asked after the announcement: the selection model saves its rows as
    // persistent indexes while it hears it.
    const QModelIndexList before = persistentIndexList();
    std::vector<FollowedEntry> followed(static_cast<size_t>(before.size()));
    for (size_t i = 0; i < followed.size(); ++i)
        if (const int entry = entryIndex(before[static_cast<qsizetype>(i)].row()); entry >= 0)
            followed[i] = {true, FArchive->GetEntry(entry)};
    std::vector<int32_t> deleted;
    for (const int row : deletedRows)
        if (const int entry = entryIndex(row); entry >= 0)
            deleted.push_back(FArchive->GetEntry(entry).DirIndex);
    std::sort(deleted.begin(), deleted.end());

    std::exception_ptr failure;
    try {
        reorder();
    } catch (...) {
        failure = std::current_exception(); // the view still hears the layout end
    }
    // Sorting sorts every entry; the filter then picks from the new order. The
    // row count stays until the layout change is over.
    if (FFilter) {
        FVisible.clear();
        collectMatches(*FFilter, 0, rowsWithEntries(), FVisible);
    }

    int32_t lastSlot = -1;
    for (FollowedEntry& item : followed) {
        if (item.hasEntry)
            item.entry.DirIndex = SlotAfterDelete(item.entry.DirIndex, deleted);
        lastSlot = std::max(lastSlot, item.hasEntry ? item.entry.DirIndex : -1);
    }
    std::vector<int> rowOfSlot(static_cast<size_t>(lastSlot + 1), -1);
    if (lastSlot >= 0) {
        const auto table = FArchive->Table();
        for (int row = 0; row < rowsShowingEntries(); ++row) {
            const int entry = entryIndex(row);
            const int32_t slot = entry >= 0 ? table[static_cast<size_t>(entry)].DirIndex : -1;
            if (slot >= 0 && slot <= lastSlot)
                rowOfSlot[static_cast<size_t>(slot)] = row;
        }
    }

    QModelIndexList after;
    after.reserve(before.size());
    for (size_t i = 0; i < followed.size(); ++i) {
        const FollowedEntry& item = followed[i];
        const int row = item.hasEntry && item.entry.DirIndex >= 0
                            ? rowOfSlot[static_cast<size_t>(item.entry.DirIndex)]
                            : -1;
        // A row is only followed to the same record: a delete that failed keeps
        // the old slots.
        const bool found = row >= 0 && SameRecord(FArchive->GetEntry(entryIndex(row)), item.entry);
        after.append(found ? index(row, before[static_cast<qsizetype>(i)].column())
                           : QModelIndex());
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    syncRowCount();
    if (failure)
        std::rethrow_exception(failure);
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
    const auto table = FArchive->Table();
    const auto matches = [&](int row) {
        return keys.matches(NameText(table[static_cast<size_t>(entryIndex(row))]));
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
    const TArchiveEntry entry = FArchive->GetEntry(entryAt);
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
