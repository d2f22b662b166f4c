#pragma once

#include <QObject>
#include <QTimer>

#include <functional>
#include <utility>

namespace corvantis::util {

// Continues work on a later turn of the event loop, unless the work was
// abandoned in the meantime. Every abandon() makes the calls scheduled before it
// go stale, so a step cut short by Stop, Next or a time-out never resumes.
class StepRunner {
public:
    explicit StepRunner(QObject* context) : m_context(context) {
        m_afterSockets.setSingleShot(true);
        m_afterSockets.setInterval(0);
        QObject::connect(&m_afterSockets, &QTimer::timeout, context,
                         [this] { std::exchange(m_pending, {})(); });
    }

    void abandon() {
        ++m_generation;
        m_afterSockets.stop();
        m_pending = {};
    }

    // The callable, wrapped so that it does nothing once the work is abandoned.
    template <class F> auto guarded(F f) {
        return [this, generation = m_generation, f = std::move(f)](auto&&... args) mutable {
            if (generation == m_generation)
                f(std::forward<decltype(args)>(args)...);
        };
    }

    // On the next turn of the event loop.
    template <class F> void later(F f) { QTimer::singleShot(0, m_context, guarded(std::move(f))); }

    // On the next turn, after that turn's socket events: the posted call starts a
    // zero-time timer at the beginning of the next turn, and timers come after the
    // sockets in a turn. Used so that a request just started goes out first.
    template <class F> void laterAfterSockets(F f) {
        later([this, f = std::move(f)]() mutable {
            m_pending = guarded(std::move(f));
            m_afterSockets.start();
        });
    }

private:
    QObject* m_context;
    quint64 m_generation = 0;
    QTimer m_afterSockets;
    std::function<void()> m_pending;
};

} // namespace corvantis::util
