// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The order and the name filter that the listing shows, over CatalogModel. Sorting here never
// reorders the catalog (whose order Rebuild and Extract follow): with no sort column the rows
// stand in the catalog's order. Folders come first in either direction.

#include <QSortFilterProxyModel>

namespace oru::ui {

class ListingProxy : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit ListingProxy(QObject* parent = nullptr);
    // Shows only the rows whose name contains text, in any case; empty shows every row.
    void setNameFilter(const QString& text);

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
};

}  // namespace oru::ui
