// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ListingProxy.h"

#include "ui/CatalogModel.h"

namespace oru::ui {

ListingProxy::ListingProxy(QObject* parent) : QSortFilterProxyModel(parent) {
    setSortRole(CatalogModel::SortKeyRole);
    setFilterKeyColumn(CatalogModel::ColFileName);
    setFilterRole(CatalogModel::NameRole);  // the bare name, also where the path is shown
    setFilterCaseSensitivity(Qt::CaseInsensitive);
    setDynamicSortFilter(true);
}

void ListingProxy::setNameFilter(const QString& text) { setFilterFixedString(text); }

bool ListingProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    const bool leftFolder = left.data(CatalogModel::IsFolderRole).toBool();
    const bool rightFolder = right.data(CatalogModel::IsFolderRole).toBool();
    if (leftFolder != rightFolder)  // the view reverses lessThan for a descending sort
        return sortOrder() == Qt::AscendingOrder ? leftFolder : rightFolder;
    const QVariant a = left.data(CatalogModel::SortKeyRole);
    const QVariant b = right.data(CatalogModel::SortKeyRole);
    if (left.column() == CatalogModel::ColFileName) {
        const int order = a.toByteArray().compare(b.toByteArray());
        if (order != 0) return order < 0;
    } else if (a != b) {
        return QVariant::compare(a, b) == QPartialOrdering::Less;
    }
    return left.row() < right.row();  // equal keys keep the catalog's order
}

}  // namespace oru::ui
