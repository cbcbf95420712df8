#pragma once
// The listing grid: a table view over CatalogModel whose cursor is the catalog's current row and
// whose multi-row selection is a list of bookmarks kept in CompareBookmarks order.
//
// Mouse: a plain click selects only the clicked row; Ctrl+click toggles it. Keys: Shift+Up/Down
// extend the selection from an anchor; Up/Down without Shift, Page Up/Down, Escape and Ctrl with
// Up/Down/Page Up/Page Down/Home/End clear it before the cursor moves. No editing, no deletion.

#include <QTableView>
#include <optional>
#include <vector>

#include "catalog/CatalogTable.h"

namespace oru::ui {

class CatalogModel;

class TDBGrid : public QTableView {
    Q_OBJECT
public:
    explicit TDBGrid(QWidget* parent = nullptr);

    void setCatalogModel(CatalogModel* model);
    CatalogModel* catalogModel() const { return model_; }

    // The selection, in CompareBookmarks order.
    int SelectedCount() const { return static_cast<int>(selected_.size()); }
    oru::Bookmark SelectedBookmark(int i) const { return selected_.at(static_cast<size_t>(i)).bookmark; }
    void ClearSelection();
    // Rows of the view that are selected (for drawing and tests), ascending.
    std::vector<int> selectedRows() const;

    // Selection operations behind the mouse and keys, callable directly.
    void clickRow(int row, bool ctrl);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    struct Selected {
        oru::Bookmark bookmark;
        int row;  // the row's place in the view, followed through inserts, removals and moves
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

    CatalogModel* model_ = nullptr;
    std::vector<Selected> selected_;
    std::optional<int> anchor_;  // row where Shift+Up/Down started extending
    bool following_ = false;     // moving the view's cursor to follow the catalog
};

}  // namespace oru::ui
