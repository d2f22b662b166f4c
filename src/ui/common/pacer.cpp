#include "ui/common/pacer.h"

namespace corvantis::ui {

Pacer::Pacer(Interval interval, QObject* parent)
    : QObject(parent), m_interval(std::move(interval)) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &Pacer::tickNow);
}

void Pacer::request(bool atOnceWhenDue) {
    if (m_timer.isActive())
        return;
    const int interval = m_interval();
    const qint64 since = m_sinceTick.isValid() ? m_sinceTick.elapsed() : interval;
    if (atOnceWhenDue && since >= interval)
        tickNow();
    else
        m_timer.start(int(qMax<qint64>(0, interval - since)));
}

void Pacer::tickNow() {
    m_timer.stop();
    Q_EMIT tick();
    m_sinceTick.restart();
}

} // namespace corvantis::ui
