#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QString>

namespace corvantis::scan {
class PageQueueModel;
}

namespace corvantis::ui {

// The page queue as the queue list shows it. A scan takes a page from the head
// and adds new ones at the end many times a second; a list view lays out all of
// its rows on every such change, which costs more than the scan itself on a
// large site. The list therefore shows the queue as it stood at the last
// refresh, which the window makes with the scan's other figures: the pages taken
// since go from the top, the pages added from the end, each as one change.
class QueueSnapshot : public QAbstractListModel {
    Q_OBJECT
public:
    explicit QueueSnapshot(const scan::PageQueueModel& queue, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // True when the queue changed since the last refresh.
    bool isStale() const { return m_stale; }
    void refresh();

Q_SIGNALS:
    // The queue changed; the snapshot is stale until the next refresh.
    void queueChanged();

private:
    const scan::PageQueueModel& m_queue;
    QList<QString> m_items;
    qsizetype m_takenFromHead = 0; // since the last refresh
    bool m_reordered = false;      // a change other than at the head or the end
    bool m_stale = false;
};

} // namespace corvantis::ui
