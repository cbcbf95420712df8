// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/DBGrid.h"

#include <QApplication>
#include <QDrag>
#include <QHeaderView>
#include <QMimeData>
#include <QUrl>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <algorithm>

#include "ui/CatalogModel.h"
#include "ui/ListingProxy.h"

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
    setTabKeyNavigation(false);  // Tab moves to the next pane, not the next cell
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
}

int TDBGrid::shownCount() const { return proxy_ ? proxy_->rowCount() : 0; }

int TDBGrid::sourceRow(int shownRow) const {
    if (!proxy_ || shownRow < 0 || shownRow >= proxy_->rowCount()) return -1;
    return proxy_->mapToSource(proxy_->index(shownRow, 0)).row();
}

int TDBGrid::shownRow(int sourceRow) const {
    if (!proxy_ || !model_ || sourceRow < 0 || sourceRow >= model_->rowCount()) return -1;
    const QModelIndex index = proxy_->mapFromSource(model_->index(sourceRow, 0));
    return index.isValid() ? index.row() : -1;
}

void TDBGrid::setCatalogModel(CatalogModel* model) {
    model_ = model;
    proxy_ = new ListingProxy(this);
    proxy_->setSourceModel(model);
    setModel(proxy_);
    for (int c = 0; c < CatalogModel::ColumnCount; ++c)
        horizontalHeader()->resizeSection(c, CatalogModel::columnWidth(c));
    // The name takes what the window gains; sizes and date are always shown whole.
    horizontalHeader()->setSectionResizeMode(CatalogModel::ColFileName, QHeaderView::Stretch);
    for (int c = CatalogModel::ColOriginalSize; c < CatalogModel::ColumnCount; ++c)
        horizontalHeader()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    // A click on a title sorts by that column; a third click goes back to the catalog's order.
    horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    horizontalHeader()->setSortIndicatorClearable(true);
    setSortingEnabled(true);

    connect(model, &QAbstractItemModel::modelReset, this, [this] {
        // The rows may all be new: no bookmark taken before still names what is shown.
        ClearSelection();
    });
    // Rows shown in another order or filtered: the selection is drawn again where its rows are.
    auto redraw = [this] {
        syncSelectionModel();
        onCatalogCurrentChanged(model_->currentRow());
    };
    connect(proxy_, &QAbstractItemModel::layoutChanged, this, redraw);
    connect(proxy_, &QAbstractItemModel::modelReset, this, redraw);
    connect(proxy_, &QAbstractItemModel::rowsInserted, this, &TDBGrid::syncSelectionModel);
    connect(proxy_, &QAbstractItemModel::rowsRemoved, this, &TDBGrid::syncSelectionModel);
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

void TDBGrid::SelectAll() {
    if (!model_) return;
    const int current = model_->currentRow();
    anchor_.reset();
    for (int row = 0; row < shownCount(); ++row) {
        model_->setCurrentRow(sourceRow(row));
        selectCurrent();
    }
    if (current >= 0) model_->setCurrentRow(current);
    onCatalogCurrentChanged(model_->currentRow());
}

std::vector<int> TDBGrid::selectedModelRows() const {
    std::vector<int> rows;
    for (const Selected& s : selected_) rows.push_back(s.row);
    return rows;
}

std::vector<int> TDBGrid::selectedRows() const {
    std::vector<int> rows;
    for (const Selected& s : selected_)
        if (const int shown = shownRow(s.row); shown >= 0) rows.push_back(shown);
    std::sort(rows.begin(), rows.end());
    return rows;
}

bool TDBGrid::isRowSelected(int row) const {
    return std::any_of(selected_.begin(), selected_.end(),
                       [row](const Selected& s) { return s.row == row; });
}

void TDBGrid::moveCursorTo(int row) {
    const int source = sourceRow(row);
    if (source < 0) return;
    model_->setCurrentRow(source);
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
    const int source = sourceRow(row);
    if (source < 0) return;
    anchor_.reset();
    if (!ctrl) {
        selected_.clear();
        moveCursorTo(row);
        selectCurrent();
        syncSelectionModel();
        return;
    }
    moveCursorTo(row);
    if (isRowSelected(source))
        deselectRow(source);
    else
        selectCurrent();
}

void TDBGrid::shiftSelect(int direction) {
    if (!model_) return;
    const int current = shownRow(model_->currentRow());
    if (current < 0) return;
    const int target = std::clamp(current + direction, 0, shownCount() - 1);
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
        deselectRow(sourceRow(current));
        moveCursorTo(target);
    }
}

void TDBGrid::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    setFocus(Qt::MouseFocusReason);
    const QModelIndex index = indexAt(event->position().toPoint());
    if (!index.isValid()) return;
    pressedAt_ = event->position().toPoint();
    // A press on a row of a larger selection keeps it, so that it can be dragged out whole;
    // the click takes effect on release when no drag began.
    if (!(event->modifiers() & Qt::ControlModifier) && SelectedCount() > 1 &&
        isRowSelected(sourceRow(index.row()))) {
        deferredClick_ = index.row();
        return;
    }
    clickRow(index.row(), event->modifiers() & Qt::ControlModifier);
    following_ = true;
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    following_ = false;
}

void TDBGrid::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() == Qt::NoButton) return QTableView::mouseMoveEvent(event);
    // No selection by dragging: a drag with the left button takes the rows out instead.
    if (!(event->buttons() & Qt::LeftButton) || !pressedAt_ || !makeDragData) return;
    if ((event->position().toPoint() - *pressedAt_).manhattanLength() < QApplication::startDragDistance()) return;
    pressedAt_.reset();
    deferredClick_.reset();
    QMimeData* data = makeDragData();
    if (!data) return;
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->exec(Qt::CopyAction);
}

void TDBGrid::mouseReleaseEvent(QMouseEvent* event) {
    pressedAt_.reset();
    if (deferredClick_ && event->button() == Qt::LeftButton) clickRow(*deferredClick_, false);
    deferredClick_.reset();
}

// Files from elsewhere (a file manager), never rows dragged from this grid.
static bool acceptable(const QDropEvent* event, const QWidget* grid) {
    if (event->source() == grid || !event->mimeData()->hasUrls()) return false;
    const QList<QUrl> urls = event->mimeData()->urls();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl& u) { return u.isLocalFile(); });
}

void TDBGrid::dragEnterEvent(QDragEnterEvent* event) {
    if (!acceptable(event, this)) return event->ignore();
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void TDBGrid::dragMoveEvent(QDragMoveEvent* event) {
    if (!acceptable(event, this)) return event->ignore();
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void TDBGrid::dropEvent(QDropEvent* event) {
    if (!acceptable(event, this)) return event->ignore();
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) paths << url.toLocalFile();
    event->setDropAction(Qt::CopyAction);
    event->accept();
    Q_EMIT pathsDropped(paths);
}

void TDBGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    // No editing in place: a double-click opens the row.
    if (event->button() != Qt::LeftButton) return;
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid()) Q_EMIT rowActivated(sourceRow(index.row()));
}

void TDBGrid::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Backspace) return Q_EMIT parentRequested();
    if (!model_ || shownCount() == 0) return QTableView::keyPressEvent(event);
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    const int current = shownRow(model_->currentRow());
    const int last = shownCount() - 1;
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
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (model_->currentRow() >= 0) Q_EMIT rowActivated(model_->currentRow());
        return;
    case Qt::Key_Delete:
    case Qt::Key_F2:
        return;  // the grid deletes and edits nothing itself
    default:
        return QTableView::keyPressEvent(event);
    }
}

void TDBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    if (following_ || !model_ || !current.isValid()) return;
    const int source = sourceRow(current.row());
    if (source >= 0 && source != model_->currentRow()) model_->setCurrentRow(source);
}

void TDBGrid::onCatalogCurrentChanged(int row) {
    if (!model_ || !selectionModel()) return;
    following_ = true;
    const int shown = shownRow(row);
    if (shown < 0) {
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    } else {
        const int column = currentIndex().isValid() ? currentIndex().column() : 0;
        const QModelIndex index = proxy_->index(shown, column);
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        scrollTo(index);
    }
    following_ = false;
}

void TDBGrid::syncSelectionModel() {
    if (!model_ || !selectionModel()) return;
    QItemSelection selection;
    for (const Selected& s : selected_)
        if (const int shown = shownRow(s.row); shown >= 0)
            selection.select(proxy_->index(shown, 0), proxy_->index(shown, CatalogModel::ColumnCount - 1));
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    Q_EMIT bookmarksChanged();
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
