#include "ui/common/list_view_helpers.h"

#include <QAbstractProxyModel>
#include <QHeaderView>
#include <QTreeView>

namespace corvantis::ui {

namespace {
constexpr char kSortOrder[] = "corvantisSortOrder";
}

bool EnhListView_SortColumns(QTreeView* list, int columnHeader) {
    QAbstractItemModel* model = list->model();
    // A view that dresses its rows sorts the rows themselves.
    while (auto* proxy = qobject_cast<QAbstractProxyModel*>(model))
        model = proxy->sourceModel();
    if (!model || model->rowCount() == 0)
        return true;
    const int column = columnHeader - 1;
    if (column < 0 || column >= model->columnCount())
        return false;
    const auto last = Qt::SortOrder(list->property(kSortOrder).toInt()); // ascending at first
    const Qt::SortOrder order =
        last == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    list->setProperty(kSortOrder, int(order));
    model->sort(column, order);
    list->header()->setSortIndicatorShown(true);
    list->header()->setSortIndicator(column, order);
    return true;
}

void SortOnHeaderClicks(QTreeView* list, std::function<bool()> mayNow) {
    list->header()->setSectionsClickable(true);
    QObject::connect(list->header(), &QHeaderView::sectionClicked, list,
                     [list, mayNow = std::move(mayNow)](int column) {
                         if (!mayNow || mayNow())
                             EnhListView_SortColumns(list, column + 1);
                     });
}

} // namespace corvantis::ui
