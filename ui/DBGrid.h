// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The listing grid: a table view over CatalogModel, through a ListingProxy that sorts and
// filters what is shown, whose cursor is the catalog's current row and whose multi-row selection
// is a list of bookmarks kept in CompareBookmarks order.
//
// Rows passed to and from the grid's own operations (clickRow, selectedRows) are rows as shown;
// the signals name rows of CatalogModel (the catalog's view).
//
// Mouse: a plain click selects only the clicked row; Ctrl+click toggles it. Keys: Shift+Up/Down
// extend the selection from an anchor; Up/Down without Shift, Page Up/Down, Escape and Ctrl with
// Up/Down/Page Up/Page Down/Home/End clear it before the cursor moves. No editing, no deletion.
// Tab leaves the grid. Files dropped from a file manager are handed on; dragging rows out hands
// the file manager files that makeDragData extracted.

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

    // The selection, in CompareBookmarks order.
    int SelectedCount() const { return static_cast<int>(selected_.size()); }
    oru::Bookmark SelectedBookmark(int i) const { return selected_.at(static_cast<size_t>(i)).bookmark; }
    void ClearSelection();
    // CatalogModel rows of the selection, in CompareBookmarks order.
    std::vector<int> selectedModelRows() const;
    // Rows of the view that are selected (for drawing and tests), ascending.
    std::vector<int> selectedRows() const;

    // Selection operations behind the mouse and keys, callable directly.
    void clickRow(int row, bool ctrl);
    // Selects every row shown (Ctrl+A); the cursor stays where it was.
    void SelectAll();

Q_SIGNALS:
    // The selection changed (its rows or where they are shown).
    void bookmarksChanged();
    // A row was opened: double-click, Enter or Return (CatalogModel row).
    void rowActivated(int sourceRow);
    // Backspace: the user wants the folder above.
    void parentRequested();
    // Files and folders of the file system were dropped on the grid (local paths).
    void pathsDropped(const QStringList& paths);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    struct Selected {
        oru::Bookmark bookmark;
        int row;  // the row's place in CatalogModel, followed through inserts, removals and moves
    };
    void moveCursorTo(int row);
    void selectCurrent();
    void deselectRow(int row);
    bool isRowSelected(int row) const;
    void shiftSelect(int direction);
    void syncSelectionModel();
    void onCatalogCurrentChanged(int row);
    void onRowsInserted(int first, int last);
    void onRowsRemoved(int first, int last);
    void onRowsMoved(int from, int destination);
    void onRowsChanged(int first, int last);

    int shownCount() const;

    CatalogModel* model_ = nullptr;
    ListingProxy* proxy_ = nullptr;
    std::vector<Selected> selected_;
    std::optional<int> anchor_;  // row shown where Shift+Up/Down started extending
    std::optional<QPoint> pressedAt_;  // where the left button went down, for a drag
    std::optional<int> deferredClick_;  // row shown whose click waits for the release
    bool following_ = false;     // moving the view's cursor to follow the catalog
};

}  // namespace oru::ui
