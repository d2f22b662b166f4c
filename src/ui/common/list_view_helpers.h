#pragma once

#include <functional>

class QTreeView;

namespace corvantis::ui {

// Sorts a list by the clicked column (1-based) in the direction opposite to the
// list's last one, the first time descending; the model keeps later rows in
// order. A list without rows is left alone, its direction too. The direction
// is kept on the list itself.
bool EnhListView_SortColumns(QTreeView* list, int columnHeader);

// A click on a column header sorts the list by it, when mayNow (if given) allows.
void SortOnHeaderClicks(QTreeView* list, std::function<bool()> mayNow = {});

} // namespace corvantis::ui
