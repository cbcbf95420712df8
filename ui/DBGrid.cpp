#include "ui/DBGrid.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <algorithm>

#include "ui/CatalogModel.h"

namespace oru::ui {

namespace {

// Draws a vertical line at the right of every cell and none between rows.
class ColumnLineDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        painter->save();
        painter->setPen(option.palette.color(QPalette::Mid));
        painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
        painter->restore();
    }
};

}  // namespace

TDBGrid::TDBGrid(QWidget* parent) : QTableView(parent) {
    setSelectionMode(QAbstractItemView::NoSelection);  // the selection is ours: bookmarks
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setItemDelegate(new ColumnLineDelegate(this));
    verticalHeader()->hide();  // no row indicator
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsMovable(false);
    setWordWrap(false);
}

void TDBGrid::setCatalogModel(CatalogModel* model) {
    model_ = model;
    setModel(model);
    for (int c = 0; c < CatalogModel::ColumnCount; ++c)
        horizontalHeader()->resizeSection(c, CatalogModel::columnWidth(c));

    // The header forgets its section sizes on a reset; keep what the user set.
    auto widths = std::make_shared<std::vector<int>>();
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, [this, widths] {
        widths->clear();
        for (int c = 0; c < CatalogModel::ColumnCount; ++c)
            widths->push_back(horizontalHeader()->sectionSize(c));
    });
    connect(model, &QAbstractItemModel::modelReset, this, [this, widths] {
        for (int c = 0; c < static_cast<int>(widths->size()); ++c)
            horizontalHeader()->resizeSection(c, (*widths)[static_cast<size_t>(c)]);
        // The rows may all be new: no bookmark taken before still names what is shown.
        ClearSelection();
    });
    connect(model, &CatalogModel::catalogCurrentChanged, this, &TDBGrid::onCatalogCurrentChanged);
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { onRowsInserted(first, last); });
    connect(model, &QAbstractItemModel::rowsRemoved, this,
            [this](const QModelIndex&, int first, int last) { onRowsRemoved(first, last); });
    connect(model, &QAbstractItemModel::rowsMoved, this,
            [this](const QModelIndex&, int start, int, const QModelIndex&, int row) {
                onRowsMoved(start, row);
            });
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& tl, const QModelIndex& br) { onRowsChanged(tl.row(), br.row()); });
}

void TDBGrid::ClearSelection() {
    selected_.clear();
    anchor_.reset();
    syncSelectionModel();
}

std::vector<int> TDBGrid::selectedRows() const {
    std::vector<int> rows;
    for (const Selected& s : selected_) rows.push_back(s.row);
    std::sort(rows.begin(), rows.end());
    return rows;
}

bool TDBGrid::isRowSelected(int row) const {
    return std::any_of(selected_.begin(), selected_.end(),
                       [row](const Selected& s) { return s.row == row; });
}

void TDBGrid::moveCursorTo(int row) {
    if (!model_ || row < 0 || row >= model_->rowCount()) return;
    model_->setCurrentRow(row);
    onCatalogCurrentChanged(model_->currentRow());  // also when the catalog stayed put
}

void TDBGrid::selectCurrent() {
    if (!model_) return;
    const std::optional<oru::Bookmark> bookmark = model_->currentBookmark();
    const int row = model_->currentRow();
    if (!bookmark || row < 0) return;
    for (const Selected& s : selected_)
        if (s.bookmark.slot == bookmark->slot) return;  // at most once
    auto at = std::upper_bound(selected_.begin(), selected_.end(), *bookmark,
                               [](const oru::Bookmark& b, const Selected& s) {
                                   return CatalogModel::compareBookmarks(b, s.bookmark) < 0;
                               });
    selected_.insert(at, Selected{*bookmark, row});
    syncSelectionModel();
}

void TDBGrid::deselectRow(int row) {
    std::erase_if(selected_, [row](const Selected& s) { return s.row == row; });
    syncSelectionModel();
}

void TDBGrid::clickRow(int row, bool ctrl) {
    if (!model_ || row < 0 || row >= model_->rowCount()) return;
    anchor_.reset();
    if (!ctrl) {
        selected_.clear();
        moveCursorTo(row);
        selectCurrent();
        syncSelectionModel();
        return;
    }
    moveCursorTo(row);
    if (isRowSelected(row))
        deselectRow(row);
    else
        selectCurrent();
}

void TDBGrid::shiftSelect(int direction) {
    if (!model_) return;
    const int current = model_->currentRow();
    if (current < 0) return;
    const int target = std::clamp(current + direction, 0, model_->rowCount() - 1);
    if (!anchor_) {
        selectCurrent();
        anchor_ = current;
        moveCursorTo(target);
        selectCurrent();
        return;
    }
    const bool away = direction > 0 ? current >= *anchor_ : current <= *anchor_;
    if (away) {
        moveCursorTo(target);
        selectCurrent();
    } else {
        deselectRow(current);
        moveCursorTo(target);
    }
}

void TDBGrid::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    setFocus(Qt::MouseFocusReason);
    const QModelIndex index = indexAt(event->position().toPoint());
    if (!index.isValid()) return;
    clickRow(index.row(), event->modifiers() & Qt::ControlModifier);
    following_ = true;
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    following_ = false;
}

void TDBGrid::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() != Qt::NoButton) return;  // no selection by dragging
    QTableView::mouseMoveEvent(event);
}

void TDBGrid::mouseDoubleClickEvent(QMouseEvent*) {}  // no editing in place

void TDBGrid::keyPressEvent(QKeyEvent* event) {
    if (!model_ || model_->rowCount() == 0) return QTableView::keyPressEvent(event);
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    const int current = model_->currentRow();
    const int last = model_->rowCount() - 1;
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down: {
        const int direction = event->key() == Qt::Key_Up ? -1 : 1;
        if (shift && !ctrl) return shiftSelect(direction);
        ClearSelection();
        return moveCursorTo(std::clamp(current + direction, 0, last));
    }
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        ClearSelection();
        if (ctrl) return moveCursorTo(event->key() == Qt::Key_PageUp ? 0 : last);
        return QTableView::keyPressEvent(event);
    case Qt::Key_Home:
    case Qt::Key_End:
        if (!ctrl) return QTableView::keyPressEvent(event);  // first or last column
        ClearSelection();
        return moveCursorTo(event->key() == Qt::Key_Home ? 0 : last);
    case Qt::Key_Escape:
        return ClearSelection();
    case Qt::Key_Delete:
    case Qt::Key_F2:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return;  // the grid deletes and edits nothing itself
    default:
        return QTableView::keyPressEvent(event);
    }
}

void TDBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    if (following_ || !model_ || !current.isValid()) return;
    if (current.row() != model_->currentRow()) model_->setCurrentRow(current.row());
}

void TDBGrid::onCatalogCurrentChanged(int row) {
    if (!model_ || !selectionModel()) return;
    following_ = true;
    if (row < 0 || row >= model_->rowCount()) {
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    } else {
        const int column = currentIndex().isValid() ? currentIndex().column() : 0;
        const QModelIndex index = model_->index(row, column);
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        scrollTo(index);
    }
    following_ = false;
}

void TDBGrid::syncSelectionModel() {
    if (!model_ || !selectionModel()) return;
    QItemSelection selection;
    for (const Selected& s : selected_)
        selection.select(model_->index(s.row, 0), model_->index(s.row, CatalogModel::ColumnCount - 1));
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void TDBGrid::onRowsInserted(int first, int last) {
    const int count = last - first + 1;
    for (Selected& s : selected_)
        if (s.row >= first) s.row += count;
    anchor_.reset();
    syncSelectionModel();
}

void TDBGrid::onRowsRemoved(int first, int last) {
    const int count = last - first + 1;
    std::erase_if(selected_, [&](const Selected& s) { return s.row >= first && s.row <= last; });
    for (Selected& s : selected_)
        if (s.row > last) s.row -= count;
    anchor_.reset();
    syncSelectionModel();
}

void TDBGrid::onRowsMoved(int from, int destination) {
    const int to = destination > from ? destination - 1 : destination;
    for (Selected& s : selected_) {
        if (s.row == from)
            s.row = to;
        else if (from < s.row && s.row <= to)
            --s.row;
        else if (to <= s.row && s.row < from)
            ++s.row;
    }
    anchor_.reset();
    syncSelectionModel();
}

void TDBGrid::onRowsChanged(int first, int last) {
    // An edited row is a new row version: a bookmark taken before no longer names it.
    const auto before = selected_.size();
    std::erase_if(selected_, [&](const Selected& s) { return s.row >= first && s.row <= last; });
    if (selected_.size() != before) syncSelectionModel();
}

}  // namespace oru::ui
