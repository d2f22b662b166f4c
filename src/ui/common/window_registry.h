#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

namespace corvantis::ui {

// The secondary windows that close with the main window. A window joins when it
// is first opened; one that was deleted in the meantime drops out by itself.
class WindowRegistry {
public:
    void add(QWidget* window) {
        if (window && !windows().contains(window))
            m_windows.append(window);
    }
    // Closes every window still there; each one's close handling runs as usual.
    void closeAll() {
        const QList<QWidget*> open = windows();
        m_windows.clear();
        for (QWidget* w : open)
            w->close();
    }
    QList<QWidget*> windows() const {
        QList<QWidget*> alive;
        for (const QPointer<QWidget>& w : m_windows)
            if (w)
                alive.append(w.data());
        return alive;
    }

private:
    QList<QPointer<QWidget>> m_windows;
};

} // namespace corvantis::ui
