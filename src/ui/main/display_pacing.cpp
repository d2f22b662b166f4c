#include "ui/main/display_pacing.h"

#include "ui/main/queue_snapshot.h"

#include <QAbstractItemView>
#include <QAbstractProxyModel>

namespace corvantis::ui {

namespace {
constexpr int kFastestIntervalMs = 33;
constexpr int kSlowestIntervalMs = 250;
constexpr int kCostShare = 25;
} // namespace

DisplayPacing::DisplayPacing(QObject* parent)
    : QObject(parent), m_pacer([this] { return interval(); }) {
    connect(&m_pacer, &Pacer::tick, this, [this] {
        Q_EMIT tick();
        if (m_pendingLists || (m_queue && m_queue->isStale()))
            thawLists();
    });
}

// The freeze comes first, so the view's own handling of the change paints nothing.
void DisplayPacing::bindList(QAbstractItemView* view, QAbstractItemModel* model,
                             QAbstractItemModel* shown) {
    const auto changed = [this, view] {
        if (!m_scanShown)
            return;
        if (view->updatesEnabled())
            view->setUpdatesEnabled(false);
        m_pendingLists = true;
        request();
    };
    connect(model, &QAbstractItemModel::rowsAboutToBeInserted, this, changed);
    connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this, changed);
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, changed);
    connect(model, &QAbstractItemModel::layoutAboutToBeChanged, this, changed);
    connect(model, &QAbstractItemModel::dataChanged, this, changed);
    if (auto* proxy = qobject_cast<QAbstractProxyModel*>(shown))
        proxy->setSourceModel(model);
    view->setModel(shown ? shown : model);
    m_lists << view;
}

void DisplayPacing::bindQueue(QueueSnapshot* queue) {
    m_queue = queue;
    connect(queue, &QueueSnapshot::queueChanged, this, [this] {
        if (m_scanShown)
            request();
        else
            m_queue->refresh();
    });
}

void DisplayPacing::setScanShown(bool running) {
    m_scanShown = running;
    if (!running)
        thawLists();
}

int DisplayPacing::interval() const {
    return qBound(kFastestIntervalMs, int(m_repaintCostMs * kCostShare), kSlowestIntervalMs);
}

void DisplayPacing::request() {
    m_pacer.request();
}

void DisplayPacing::showNow() {
    m_pacer.tickNow();
}

void DisplayPacing::recordRepaint(double ms) {
    m_repaintCostMs = m_repaintCostMs * 0.75 + ms * 0.25;
}

void DisplayPacing::thawLists() {
    if (m_queue && m_queue->isStale())
        m_queue->refresh();
    for (QAbstractItemView* view : m_lists)
        if (!view->updatesEnabled())
            view->setUpdatesEnabled(true);
    m_pendingLists = false;
}

} // namespace corvantis::ui
