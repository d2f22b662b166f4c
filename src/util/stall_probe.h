#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

namespace corvantis::util {

// Measures how long the event loop was kept from running a 10 ms timer: the
// longest stall, in milliseconds, between start() and stop().
class StallProbe {
public:
    StallProbe() {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(kIntervalMs);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_maxStallMs = std::max(m_maxStallMs, m_sinceTick.restart() - kIntervalMs);
        });
    }
    void start() {
        m_sinceTick.start();
        m_timer.start();
    }
    void stop() { m_timer.stop(); }
    qint64 maxStallMs() const { return m_maxStallMs; }

private:
    static constexpr int kIntervalMs = 10;
    QTimer m_timer;
    QElapsedTimer m_sinceTick;
    qint64 m_maxStallMs = 0;
};

} // namespace corvantis::util
