#include "ui/common/top_most.h"

#include <QWidget>
#include <QWindow>

namespace corvantis::ui {

void SetTopMost(QWidget* window, bool on) {
    Qt::WindowFlags flags = window->windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, on);
    if (flags == window->windowFlags())
        return;
    if (QWindow* handle = window->windowHandle()) {
        // Through QWidget::setWindowFlags the window would be hidden and made
        // anew; the native window takes the changed layer in place.
        window->overrideWindowFlags(flags);
        handle->setFlags(flags);
    } else {
        window->setWindowFlags(flags);
    }
}

} // namespace corvantis::ui
