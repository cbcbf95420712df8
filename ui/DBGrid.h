// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The listing grid: a table view over CatalogModel, through a ListingProxy that sorts and
// filters what is shown, whose cursor is the catalog's current row and whose selection is Qt's
// own selection model: the rows drawn selected are the rows the commands act on.
//
// Rows passed to and from the grid's own operations (clickRow, selectedRows) are rows as shown;
// the signals name rows of CatalogModel (the catalog's view).
//
// Selection as in Qt's item views with extended selection: a click selects the clicked row,
// Ctrl+click toggles it, Shift+click extends; the arrows, Page Up/Down and Ctrl+Home/End move the
// cursor and select its row, with Shift they extend from the anchor, with Ctrl they move without
// selecting; Space and Ctrl+Space toggle the cursor's row; Ctrl+A selects all; Escape clears. No
// editing, no deletion. Tab leaves the grid. Files dropped from a file manager are handed on;
// dragging rows out hands the file manager files that makeDragData extracted.

#include <QItemSelectionModel>
#include <QTimer>
#include <QStringList>
#include <QTableView>
#include <functional>
#include <optional>
#include <vector>

#include "catalog/CatalogTable.h"

namespace oru::ui {

class CatalogModel;
class ListingProxy;

class TDBGrid : public QTableView {
    Q_OBJECT
public:
    explicit TDBGrid(QWidget* parent = nullptr);

    // Makes the data of a drag out of the grid (the rows extracted to files); null: no drag.
    std::function<QMimeData*()> makeDragData;

    void setCatalogModel(CatalogModel* model);
    CatalogModel* catalogModel() const { return model_; }
    ListingProxy* proxy() const { return proxy_; }
    // The CatalogModel row shown at row, and back; -1 for none.
    int sourceRow(int shownRow) const;
    int shownRow(int sourceRow) const;

    // The selection, in CompareBookmarks order (for rows of one listing: top to bottom in the
    // catalog's order). A bookmark is taken when first asked for after the selection or the
    // rows changed, so it names the row as it is now.
    int SelectedCount() const;
    oru::Bookmark SelectedBookmark(int i) const;
    void ClearSelection();
    // CatalogModel rows of the selection, ascending (the CompareBookmarks order).
    std::vector<int> selectedModelRows() const;
    // Rows of the view that are selected (for drawing and tests), ascending.
    std::vector<int> selectedRows() const;
    // The CatalogModel row that Enter and View open: the cursor's row when it is selected, else
    // the first selected row shown; -1 when nothing is selected (a cursor moved with Ctrl over
    // unselected rows opens nothing).
    int actionRow() const;

    // A click on a row shown (Ctrl: toggles it), callable directly.
    void clickRow(int row, bool ctrl);
    // Selects every row shown (Ctrl+A); the cursor stays where it was.
    void SelectAll();

Q_SIGNALS:
    // The selection changed (its rows or where they are shown).
    void bookmarksChanged();
    // A row was opened: double-click, Enter or Return (CatalogModel row; Enter: actionRow()).
    void rowActivated(int sourceRow);
    // Backspace: the user wants the folder above.
    void parentRequested();
    // Files and folders of the file system were dropped on the grid (local paths).
    void pathsDropped(const QStringList& paths);

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Widens the size and date columns to the text of the rows in view (never narrows them).
    void fitColumnsToContents();
    QTimer* fitColumns_ = nullptr;  // fits them once after a burst of changes
    void onCatalogCurrentChanged(int row);
    void forgetBookmarks();
    const std::vector<oru::Bookmark>& bookmarks() const;

    CatalogModel* model_ = nullptr;
    ListingProxy* proxy_ = nullptr;
    mutable std::optional<std::vector<oru::Bookmark>> bookmarks_;  // of the selection, once asked
    bool following_ = false;     // moving the view's cursor to follow the catalog
    bool leading_ = false;       // moving the catalog's current row to follow the view's cursor
};

}  // namespace oru::ui
