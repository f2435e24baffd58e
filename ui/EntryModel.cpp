#include "ui/EntryModel.h"

#include "archive/Gta3Archive.h"
#include "sorting/SortFunctions.h"
#include "ui/Icons.h"
#include "ui/NameText.h"

#include <algorithm>
#include <string>

namespace {

// The typed text as the bytes a stored name would hold: in the host encoding, and
// also in Latin-1, the form in which names that are not UTF-8 are shown.
struct SearchKeys {
    explicit SearchKeys(const QString& text) : host(TextToName(text)) {
        const QByteArray latin1 = text.toLatin1();
        if (QString::fromLatin1(latin1) == text && latin1.toStdString() != host)
            other = latin1.toStdString();
    }
    bool matches(std::string_view name) const {
        return (!host.empty() && StartsWithText(name, host)) ||
               (!other.empty() && StartsWithText(name, other));
    }
    std::string host;
    std::string other;
};

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

TEntryModel::TEntryModel(const std::unique_ptr<TGTA3Archive>& archive, QObject* parent)
    : QAbstractTableModel(parent), FArchive(archive) {}

void TEntryModel::setRowCount(int rows) {
    rows = std::max(rows, 0);
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

void TEntryModel::refresh() {
    if (FRows > 0)
        emit dataChanged(index(0, 0), index(FRows - 1, ColumnCount - 1));
}

int TEntryModel::lsvFileListDataFind(const QString& findString, int startIndex, bool wrap) const {
    if (!FArchive)
        return -1;
    // Rows beyond the list's count have no row to move to, so they are not searched.
    const int count = std::min(FRows, FArchive->Count());
    if (findString.isEmpty() || startIndex < 0 || startIndex > count)
        return -1;
    const SearchKeys keys(findString);
    const auto table = FArchive->Table();
    const auto matches = [&](int i) {
        return keys.matches(NameText(table[static_cast<size_t>(i)]));
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
    // A row past the table's end (never expected) shows empty rather than failing.
    if (!FArchive || index.row() >= FArchive->Count())
        return {};
    const TArchiveEntry entry = FArchive->GetEntry(index.row());
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
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
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
