// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CatalogModel.h"

#include <QDate>
#include <QLocale>
#include <QTime>

#include "archive/EntryMeta.h"
#include "catalog/ArchiveSchema.h"
#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/Collation.h"
#include "ui/Icons.h"

namespace oru::ui {

namespace {

struct ColumnSpec {
    const char* title;  // English; translated when shown
    int width;
};
constexpr ColumnSpec kColumns[CatalogModel::ColumnCount] = {
    {QT_TRANSLATE_NOOP("oru::ui::CatalogModel", "Name"), 152},
    {QT_TRANSLATE_NOOP("oru::ui::CatalogModel", "Size"), 73},
    {QT_TRANSLATE_NOOP("oru::ui::CatalogModel", "Packed"), 78},
    {QT_TRANSLATE_NOOP("oru::ui::CatalogModel", "Date Added"), 75},
};

// The locale's long time format without its time-zone part: a stored date-time is local time
// and carries no zone. Letters Qt has no meaning for (the day period "B" of some locales) go as
// well, and brackets left empty with them. Quoted literals are kept as they are.
QString longTimeFormatWithoutZone(const QLocale& locale) {
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == u'\'') quoted = !quoted;
        if (!quoted && (c == u't' || c == u'B')) continue;
        out += c;
    }
    for (const char* empty : {"[]", "()", "（）"}) out.remove(QString::fromUtf8(empty));
    return out.trimmed();
}

}  // namespace

QString CatalogModel::columnTitle(int column) {
    return (column >= 0 && column < ColumnCount) ? tr(kColumns[column].title)
                                                 : QString();
}

int CatalogModel::columnWidth(int column) {
    return (column >= 0 && column < ColumnCount) ? kColumns[column].width : 0;
}

CatalogModel::CatalogModel(QObject* parent) : QAbstractTableModel(parent) {}

CatalogModel::~CatalogModel() {
    if (table_) table_->Bind(nullptr);
}

void CatalogModel::bind(oru::CatalogTable* table) {
    if (table_) table_->Bind(nullptr);
    beginResetModel();
    table_ = table;
    rows_.clear();
    if (table_) {
        table_->Bind(this);
        reload();
    }
    endResetModel();
    Q_EMIT catalogCurrentChanged(currentRow());
}

int CatalogModel::currentRow() const {
    if (!table_ || rows_.empty() || table_->IsEmpty()) return -1;
    const int row = table_->RecordNumber() - 1;
    return row < static_cast<int>(rows_.size()) ? row : -1;
}

void CatalogModel::setCurrentRow(int row) {
    if (!table_ || row < 0 || row >= table_->ViewSize()) return;
    table_->SetRecordNumber(row + 1);
}

std::optional<oru::Bookmark> CatalogModel::currentBookmark() const {
    if (!table_) return std::nullopt;
    return table_->GetBookmark();
}

std::optional<oru::Bookmark> CatalogModel::bookmarkAt(int row) {
    if (!table_ || row < 0 || row >= table_->ViewSize()) return std::nullopt;
    const int before = table_->RecordNumber();
    struct Quiet {
        bool& flag;
        ~Quiet() { flag = false; }
    } quiet{quiet_};
    quiet_ = true;
    table_->SetRecordNumber(row + 1);
    std::optional<oru::Bookmark> bookmark = table_->GetBookmark();
    if (before > 0) table_->SetRecordNumber(before);
    return bookmark;
}

int CatalogModel::compareBookmarks(const oru::Bookmark& a, const oru::Bookmark& b) {
    return oru::CatalogTable::CompareBookmarks(a, b);
}

QString CatalogModel::formatSize(bool hasValue, int64_t value, const QLocale& locale) {
    return hasValue ? locale.toString(static_cast<qlonglong>(value)) : QString();
}

QString CatalogModel::fileName(int row) const {
    return QString::fromStdString(rows_.at(static_cast<size_t>(row)).shownName);
}

std::string CatalogModel::parentName(int row) const { return rows_.at(static_cast<size_t>(row)).parentName; }

void CatalogModel::setFolderPaths(const QHash<QByteArray, QString>& paths) {
    beginResetModel();
    folderPaths_ = paths;
    endResetModel();
}

bool CatalogModel::isFolder(int row) const { return rows_.at(static_cast<size_t>(row)).isFolder; }

int64_t CatalogModel::originalSize(int row) const {
    const Row& r = rows_.at(static_cast<size_t>(row));
    return r.hasOriginalSize && !r.isFolder ? r.originalSize : 0;
}

QString CatalogModel::formatDateTime(double dateTime, const QLocale& locale) {
    if (!oru::clock::inRange(dateTime)) return QStringLiteral("?");
    const oru::clock::LocalTime t = oru::clock::toLocal(dateTime);
    const QDate date(t.year, t.month, t.day);
    QString text = locale.toString(date, QLocale::ShortFormat);
    if (t.hour != 0 || t.minute != 0 || t.second != 0) {
        const QTime time(t.hour, t.minute, t.second, t.millisecond);
        text += u' ' + locale.toString(time, longTimeFormatWithoutZone(locale));
    }
    return text;
}

int CatalogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int CatalogModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CatalogModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 || index.row() >= static_cast<int>(rows_.size()))
        return {};
    const Row& row = rows_[static_cast<size_t>(index.row())];
    if (role == Qt::TextAlignmentRole) {
        const bool number = index.column() == ColOriginalSize || index.column() == ColStoredSize;
        return QVariant::fromValue(Qt::Alignment(
            (number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter));
    }
    if (role == IsFolderRole) return row.isFolder;
    if (role == NameRole) return fileName(index.row());
    if (role == Qt::DecorationRole) {
        if (index.column() != ColFileName) return {};
        return row.isFolder ? icons::folderForListing() : icons::forFileName(fileName(index.row()));
    }
    if (role == SortKeyRole) {
        switch (index.column()) {
        case ColFileName:
            if (!row.nameKey) row.nameKey = QByteArray::fromStdString(oru::collation::sortKey(row.fileName));
            return *row.nameKey;
        case ColOriginalSize: return static_cast<qlonglong>(row.hasOriginalSize ? row.originalSize : -1);
        case ColStoredSize: return static_cast<qlonglong>(row.hasStoredSize ? row.storedSize : -1);
        case ColCheckinDate: return row.hasCheckinDate ? row.checkinDate : -1e9;
        default: return {};
        }
    }
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
    case ColFileName:
        if (!folderPaths_.isEmpty() && !row.parentName.empty()) {
            const QString path = folderPaths_.value(QByteArray::fromStdString(row.parentName),
                                                    QString::fromStdString(oru::cp950::toUtf8(row.parentName)));
            return path + u'/' + fileName(index.row());
        }
        return fileName(index.row());
    case ColOriginalSize:
        return formatSize(row.hasOriginalSize && !row.isFolder, row.originalSize, QLocale());
    case ColStoredSize:
        return formatSize(row.hasStoredSize && !row.isFolder, row.storedSize, QLocale());
    case ColCheckinDate:
        return row.hasCheckinDate ? formatDateTime(row.checkinDate, QLocale()) : QString();
    default:
        return {};
    }
}

QVariant CatalogModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) return columnTitle(section);
    return {};
}

Qt::ItemFlags CatalogModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    // Never editable in place; rows can be dragged out (the grid makes the drag's files).
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

CatalogModel::Row CatalogModel::readRow(int index) const {
    Row row;
    row.fileName = table_->TextAt(index, schema::kFileName);
    row.shownName = oru::entrymeta::trueNameAt(*table_, index);
    row.parentName = table_->TextAt(index, schema::kParentName);
    row.isFolder = table_->HasValueAt(index, schema::kFileType) && table_->IntegerAt(index, schema::kFileType) == schema::kFolder;
    row.hasOriginalSize = table_->HasValueAt(index, schema::kOriginalSize);
    if (row.hasOriginalSize) row.originalSize = table_->IntegerAt(index, schema::kOriginalSize);
    row.hasStoredSize = table_->HasValueAt(index, schema::kStoredSize);
    if (row.hasStoredSize) row.storedSize = table_->IntegerAt(index, schema::kStoredSize);
    row.hasCheckinDate = table_->HasValueAt(index, schema::kCheckinDate);
    if (row.hasCheckinDate) row.checkinDate = table_->DateTimeAt(index, schema::kCheckinDate);
    return row;
}

void CatalogModel::reload() {
    rows_.clear();
    const int n = table_->ViewSize();
    rows_.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) rows_.push_back(readRow(i));
}

void CatalogModel::resetAll() {
    beginResetModel();
    rows_.clear();
    if (table_) reload();
    endResetModel();
    Q_EMIT catalogCurrentChanged(currentRow());
}

// Each handler checks that the notice fits the copy (the view holds exactly one row more or
// less than the copy); anything else is taken as a change of the whole view.

void CatalogModel::viewReset() { resetAll(); }

void CatalogModel::rowInserted(int index) {
    const int n = static_cast<int>(rows_.size());
    if (!table_ || index < 0 || index > n || table_->ViewSize() != n + 1) return resetAll();
    beginInsertRows({}, index, index);
    rows_.insert(rows_.begin() + index, readRow(index));
    endInsertRows();
    Q_EMIT catalogCurrentChanged(currentRow());  // whatever order the catalog tells it in
}

void CatalogModel::rowRemoved(int index) {
    const int n = static_cast<int>(rows_.size());
    if (!table_ || index < 0 || index >= n || table_->ViewSize() != n - 1) return resetAll();
    beginRemoveRows({}, index, index);
    rows_.erase(rows_.begin() + index);
    endRemoveRows();
    Q_EMIT catalogCurrentChanged(currentRow());
}

void CatalogModel::rowMoved(int from, int to) {
    const int n = static_cast<int>(rows_.size());
    if (!table_ || from < 0 || from >= n || to < 0 || to >= n || table_->ViewSize() != n)
        return resetAll();
    if (from != to) {
        // Qt names the destination as a position before the move.
        beginMoveRows({}, from, from, {}, to > from ? to + 1 : to);
        Row moved = std::move(rows_[static_cast<size_t>(from)]);
        rows_.erase(rows_.begin() + from);
        rows_.insert(rows_.begin() + to, std::move(moved));
        endMoveRows();
        Q_EMIT catalogCurrentChanged(currentRow());
    }
    rowChanged(to);  // a moved row was edited: its content is new as well
}

void CatalogModel::rowChanged(int index) {
    const int n = static_cast<int>(rows_.size());
    if (!table_ || index < 0 || index >= n || table_->ViewSize() != n) return resetAll();
    rows_[static_cast<size_t>(index)] = readRow(index);
    Q_EMIT dataChanged(this->index(index, 0), this->index(index, ColumnCount - 1));
}

void CatalogModel::currentChanged(int index) {
    if (quiet_) return;
    Q_EMIT catalogCurrentChanged(index < static_cast<int>(rows_.size()) ? index : -1);
}

void CatalogModel::stateChanged() {}

}  // namespace oru::ui
