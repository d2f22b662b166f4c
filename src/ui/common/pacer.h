#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

namespace corvantis::ui {

// Paces what a window shows of a stream of changes: at most one tick an interval.
// Requests in between make one tick when the interval is up.
class Pacer : public QObject {
    Q_OBJECT
public:
    using Interval = std::function<int()>; // milliseconds, asked at each request
    Pacer(Interval interval, QObject* parent = nullptr);

    // Asks for a tick. With atOnceWhenDue, a request an interval or more after the
    // last tick ticks at once; otherwise the tick comes from the event loop.
    void request(bool atOnceWhenDue = false);
    void tickNow();
    void stop() { m_timer.stop(); }

Q_SIGNALS:
    void tick();

private:
    Interval m_interval;
    QTimer m_timer;
    QElapsedTimer m_sinceTick;
};

} // namespace corvantis::ui
