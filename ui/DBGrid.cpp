// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/DBGrid.h"

#include <QApplication>
#include <QDrag>
#include <QHeaderView>
#include <QMimeData>
#include <QUrl>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QItemSelectionModel>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
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
    setSelectionMode(QAbstractItemView::ExtendedSelection);
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
    // The name takes what the window gains; sizes and date are always shown whole: the user may
    // widen them (the window remembers it), and they widen themselves to the rows in view.
    horizontalHeader()->setSectionResizeMode(CatalogModel::ColFileName, QHeaderView::Stretch);
    for (int c = CatalogModel::ColOriginalSize; c < CatalogModel::ColumnCount; ++c) {
        horizontalHeader()->setSectionResizeMode(c, QHeaderView::Interactive);
        horizontalHeader()->resizeSection(c, std::max(horizontalHeader()->sectionSizeHint(c), CatalogModel::columnWidth(c)));
    }
    auto* fit = new QTimer(this);
    fit->setSingleShot(true);
    fit->setInterval(0);
    connect(fit, &QTimer::timeout, this, &TDBGrid::fitColumnsToContents);
    connect(proxy_, &QAbstractItemModel::modelReset, fit, qOverload<>(&QTimer::start));
    connect(proxy_, &QAbstractItemModel::layoutChanged, fit, qOverload<>(&QTimer::start));
    connect(proxy_, &QAbstractItemModel::rowsInserted, fit, qOverload<>(&QTimer::start));
    connect(proxy_, &QAbstractItemModel::dataChanged, fit, qOverload<>(&QTimer::start));
    connect(verticalScrollBar(), &QScrollBar::valueChanged, fit, qOverload<>(&QTimer::start));
    fitColumns_ = fit;
    // The smallest grid still shows every column title whole and three rows: the window cannot
    // be made so small that the titles go.
    int width = 2 * frameWidth() + verticalScrollBar()->sizeHint().width();
    for (int c = 0; c < CatalogModel::ColumnCount; ++c)
        width += std::max(horizontalHeader()->sectionSizeHint(c), CatalogModel::columnWidth(c));
    setMinimumSize(width, 2 * frameWidth() + horizontalHeader()->sizeHint().height() +
                              3 * verticalHeader()->defaultSectionSize() + horizontalScrollBar()->sizeHint().height());
    // A click on a title sorts by that column; a third click goes back to the catalog's order.
    horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    horizontalHeader()->setSortIndicatorClearable(true);
    setSortingEnabled(true);

    // Qt's selection model follows the rows shown (a filtered-out row leaves the selection); the
    // bookmarks taken of it are forgotten whenever the selection or the rows change.
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &TDBGrid::forgetBookmarks);
    auto reshown = [this] {
        forgetBookmarks();
        onCatalogCurrentChanged(model_->currentRow());
    };
    connect(proxy_, &QAbstractItemModel::layoutChanged, this, reshown);
    connect(proxy_, &QAbstractItemModel::modelReset, this, reshown);
    connect(proxy_, &QAbstractItemModel::rowsInserted, this, &TDBGrid::forgetBookmarks);
    connect(proxy_, &QAbstractItemModel::rowsRemoved, this, &TDBGrid::forgetBookmarks);
    connect(proxy_, &QAbstractItemModel::rowsMoved, this, &TDBGrid::forgetBookmarks);
    connect(proxy_, &QAbstractItemModel::dataChanged, this, &TDBGrid::forgetBookmarks);
    connect(model, &CatalogModel::catalogCurrentChanged, this, &TDBGrid::onCatalogCurrentChanged);
}

void TDBGrid::fitColumnsToContents() {
    if (!model_) return;
    for (int c = CatalogModel::ColOriginalSize; c < CatalogModel::ColumnCount; ++c) {
        const int wanted = std::max(sizeHintForColumn(c), horizontalHeader()->sectionSizeHint(c));
        if (wanted > horizontalHeader()->sectionSize(c)) horizontalHeader()->resizeSection(c, wanted);
    }
}

void TDBGrid::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    if (fitColumns_) fitColumns_->start();  // more rows in view
}

void TDBGrid::forgetBookmarks() {
    bookmarks_.reset();
    Q_EMIT bookmarksChanged();
}

const std::vector<oru::Bookmark>& TDBGrid::bookmarks() const {
    if (!bookmarks_) {
        bookmarks_.emplace();
        for (const int row : selectedModelRows())
            if (const std::optional<oru::Bookmark> b = model_->bookmarkAt(row)) bookmarks_->push_back(*b);
        std::sort(bookmarks_->begin(), bookmarks_->end(), [](const oru::Bookmark& a, const oru::Bookmark& b) {
            return CatalogModel::compareBookmarks(a, b) < 0;
        });
    }
    return *bookmarks_;
}

int TDBGrid::SelectedCount() const {
    return selectionModel() ? static_cast<int>(selectionModel()->selectedRows().size()) : 0;
}

oru::Bookmark TDBGrid::SelectedBookmark(int i) const { return bookmarks().at(static_cast<size_t>(i)); }

void TDBGrid::ClearSelection() {
    if (selectionModel()) selectionModel()->clearSelection();
}

void TDBGrid::SelectAll() {
    if (selectionModel()) selectAll();
}

std::vector<int> TDBGrid::selectedModelRows() const {
    std::vector<int> rows;
    if (!selectionModel() || !model_) return rows;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        rows.push_back(proxy_->mapToSource(index).row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::vector<int> TDBGrid::selectedRows() const {
    std::vector<int> rows;
    if (!selectionModel()) return rows;
    for (const QModelIndex& index : selectionModel()->selectedRows()) rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

int TDBGrid::actionRow() const {
    if (!selectionModel() || !proxy_) return -1;
    const QModelIndex cursor = currentIndex();
    if (cursor.isValid() && selectionModel()->isRowSelected(cursor.row(), QModelIndex())) return sourceRow(cursor.row());
    const std::vector<int> shown = selectedRows();
    return shown.empty() ? -1 : sourceRow(shown.front());
}

void TDBGrid::clickRow(int row, bool ctrl) {
    if (!proxy_ || row < 0 || row >= proxy_->rowCount()) return;
    const QModelIndex index = proxy_->index(row, 0);
    if (!ctrl) return setCurrentIndex(index);  // also the anchor of the next Shift+arrow
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::Toggle | QItemSelectionModel::Rows);
}

QItemSelectionModel::SelectionFlags TDBGrid::selectionCommand(const QModelIndex& index,
                                                             const QEvent* event) const {
    // A cursor set by the program (clickRow) selects its row alone, whatever keys are held.
    if (!event) return QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
    return QTableView::selectionCommand(index, event);
}

void TDBGrid::startDrag(Qt::DropActions) {
    if (!makeDragData) return;
    QMimeData* data = makeDragData();
    if (!data) return;
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->exec(Qt::CopyAction);
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
    if (!model_ || proxy_->rowCount() == 0) return QTableView::keyPressEvent(event);
    switch (event->key()) {
    case Qt::Key_Space:
        // Space toggles as Ctrl+Space does (Qt's plain Space only selects).
        if (event->modifiers() & Qt::ShiftModifier || !currentIndex().isValid())
            return QTableView::keyPressEvent(event);
        selectionModel()->select(currentIndex(), QItemSelectionModel::Toggle | QItemSelectionModel::Rows);
        return;
    case Qt::Key_Escape:
        return ClearSelection();
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (const int row = actionRow(); row >= 0) Q_EMIT rowActivated(row);
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
    if (source < 0 || source == model_->currentRow()) return;
    // The view is already there: no scrolling back to it (a click must hit the row it aimed at).
    leading_ = true;
    model_->setCurrentRow(source);
    leading_ = false;
}

void TDBGrid::onCatalogCurrentChanged(int row) {
    if (!model_ || !selectionModel() || leading_) return;
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

}  // namespace oru::ui
