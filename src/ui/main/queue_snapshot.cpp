#include "ui/main/queue_snapshot.h"

#include "session/scan_model.h"

namespace corvantis::ui {

QueueSnapshot::QueueSnapshot(const scan::PageQueueModel& queue, QObject* parent)
    : QAbstractListModel(parent), m_queue(queue), m_items(queue.items()) {
    const auto stale = [this] {
        m_stale = true;
        Q_EMIT queueChanged();
    };
    connect(&queue, &QAbstractItemModel::rowsRemoved, this,
            [this, stale](const QModelIndex&, int first, int last) {
                if (first == 0)
                    m_takenFromHead += last - first + 1;
                else
                    m_reordered = true;
                stale();
            });
    connect(&queue, &QAbstractItemModel::rowsInserted, this,
            [this, stale](const QModelIndex&, int, int last) {
                if (last != m_queue.count() - 1)
                    m_reordered = true;
                stale();
            });
    const auto reordered = [this, stale] {
        m_reordered = true;
        stale();
    };
    connect(&queue, &QAbstractItemModel::modelReset, this, reordered);
    connect(&queue, &QAbstractItemModel::layoutChanged, this, reordered);
    connect(&queue, &QAbstractItemModel::dataChanged, this, reordered);
}
int QueueSnapshot::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_items.size());
}

QVariant QueueSnapshot::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_items.size() || role != Qt::DisplayRole)
        return {};
    return m_items.at(index.row());
}

void QueueSnapshot::refresh() {
    const QList<QString>& now = m_queue.items();
    const qsizetype taken = qMin(m_takenFromHead, m_items.size());
    if (m_reordered || m_items.size() - taken > now.size()) {
        beginResetModel();
        m_items = now;
        endResetModel();
    } else {
        if (taken > 0) {
            beginRemoveRows({}, 0, int(taken) - 1);
            m_items.remove(0, taken);
            endRemoveRows();
        }
        // What is left is the queue's head; the rest of the queue was added since.
        if (now.size() > m_items.size()) {
            beginInsertRows({}, int(m_items.size()), int(now.size()) - 1);
            m_items.append(now.mid(m_items.size()));
            endInsertRows();
        }
    }
    m_takenFromHead = 0;
    m_reordered = false;
    m_stale = false;
}

} // namespace corvantis::ui
