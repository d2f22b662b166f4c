#pragma once

#include "ui/common/pacer.h"

#include <QList>
#include <QObject>

class QAbstractItemModel;
class QAbstractItemView;

namespace corvantis::ui {

class QueueSnapshot;

// Paces what a scan shows. The scan reports figures, status texts and rows many
// times a second; they are shown on a display tick, at most about 30 a second
// and less often when a repaint is dear (with the browser views in it the whole
// window is composed on every repaint, which takes milliseconds on a
// software-rendered display): then about a 25th of the time, at least 4 a
// second. The lists a scan fills repaint on the tick too, not on every row.
class DisplayPacing : public QObject {
    Q_OBJECT
public:
    explicit DisplayPacing(QObject* parent = nullptr);

    // Shows the model in the view (through the proxy when one is given). While
    // a scan runs, a change freezes the view's painting until the next tick.
    void bindList(QAbstractItemView* view, QAbstractItemModel* model,
                  QAbstractItemModel* shown = nullptr);
    // The queue list: outside a scan it follows the queue at once.
    void bindQueue(QueueSnapshot* queue);

    // Whether a scan runs; when it ends, the lists are thawed at once.
    void setScanShown(bool running);
    // Asks for a tick; several requests before it make one.
    void request();
    // Ticks now: the final figures of a scan, and the first ones.
    void showNow();
    void stop() { m_pacer.stop(); }

    // What a repaint of the window took; smoothed, it sets the pace.
    void recordRepaint(double ms);
    int interval() const;

Q_SIGNALS:
    // Show the latest figures and texts now.
    void tick();

private:
    void thawLists();

    bool m_scanShown = false;
    bool m_pendingLists = false;
    QList<QAbstractItemView*> m_lists;
    QueueSnapshot* m_queue = nullptr;
    double m_repaintCostMs = 0;
    Pacer m_pacer;
};

} // namespace corvantis::ui
