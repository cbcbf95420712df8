// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The listing's model: the one place where the window's views read the catalog. It follows the
// catalog's notifications and turns them into Qt's row signals, and keeps the grid's current row
// and the catalog's current row the same.
//
// The catalog tells its views after the fact, while Qt wants to be told before a row appears or
// goes. The model therefore keeps its own copy of the view's rows (the four shown values), which
// is what Qt sees until each change has been announced.

#include <QAbstractTableModel>
#include <QByteArray>
#include <QHash>
#include <QLocale>
#include <optional>
#include <string>
#include <vector>

#include "catalog/CatalogTable.h"

namespace oru::ui {

class CatalogModel : public QAbstractTableModel, public oru::CatalogObserver {
    Q_OBJECT
public:
    enum Column { ColFileName, ColOriginalSize, ColStoredSize, ColCheckinDate, ColumnCount };
    // SortKeyRole: what a column sorts by (the name's collation key as bytes, sizes as numbers,
    // the date as days); IsFolderRole: the row is a folder.
    enum Role { SortKeyRole = Qt::UserRole, IsFolderRole, NameRole };

    // With paths (folder CP950 name -> its path from the top level), the name column shows each
    // row as "path/name" (rows of the whole archive); empty: bare names.
    void setFolderPaths(const QHash<QByteArray, QString>& paths);
    bool showsFolderPaths() const { return !folderPaths_.isEmpty(); }
    // Titles and initial widths of the four columns, in column order.
    static QString columnTitle(int column);
    static int columnWidth(int column);

    explicit CatalogModel(QObject* parent = nullptr);
    ~CatalogModel() override;

    // Binds the model to a catalog cursor (nullptr: bound to nothing, no rows). The catalog must
    // outlive the binding: unbind before it is destroyed.
    void bind(oru::CatalogTable* table);
    oru::CatalogTable* table() const { return table_; }
    bool isBound() const { return table_ != nullptr; }

    // The catalog's current row as a 0-based row of the model; -1 for none.
    int currentRow() const;
    // Moves the catalog's current row (the grid's cursor moved).
    void setCurrentRow(int row);
    // A bookmark of the catalog's current row; none when there is no row.
    std::optional<oru::Bookmark> currentBookmark() const;
    // A bookmark of the row (0-based); none outside the view. The catalog's current row is moved
    // there and back without telling anyone, so the grid's cursor stays where it is.
    std::optional<oru::Bookmark> bookmarkAt(int row);
    static int compareBookmarks(const oru::Bookmark& a, const oru::Bookmark& b);

    // A row of the view (0-based): its name (UTF-8), its parent's name (CP950), whether it is a
    // folder, its original size.
    QString fileName(int row) const;
    std::string parentName(int row) const;
    bool isFolder(int row) const;
    int64_t originalSize(int row) const;

    // Cell texts as shown, exposed for tests of the formatting: sizes with the locale's group
    // separators.
    static QString formatSize(bool hasValue, int64_t value, const QLocale& locale);
    static QString formatDateTime(double dateTime, const QLocale& locale);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

Q_SIGNALS:
    // The catalog's current row changed (model row, -1 for none).
    void catalogCurrentChanged(int row);

private:
    struct Row {
        std::string fileName;    // CP950
        std::string shownName;   // UTF-8: the true name where the row keeps one, else FileName's
        std::string parentName;  // CP950
        bool isFolder = false;
        bool hasOriginalSize = false, hasStoredSize = false, hasCheckinDate = false;
        int64_t originalSize = 0, storedSize = 0;
        double checkinDate = 0;
        mutable std::optional<QByteArray> nameKey;  // collation key, made when first sorted by
    };
    Row readRow(int index) const;
    void reload();
    void resetAll();

    // CatalogObserver
    void viewReset() override;
    void rowInserted(int index) override;
    void rowRemoved(int index) override;
    void rowMoved(int from, int to) override;
    void rowChanged(int index) override;
    void currentChanged(int index) override;
    void stateChanged() override;

    oru::CatalogTable* table_ = nullptr;
    std::vector<Row> rows_;
    QHash<QByteArray, QString> folderPaths_;
    bool quiet_ = false;  // bookmarkAt is moving the catalog: its moves are not news
};

}  // namespace oru::ui
