#include "ui/main/status_bar.h"

#include "ui/common/twips.h"
#include "ui/common/widgets.h"

#include <QLabel>
#include <QProgressBar>

namespace corvantis::ui {

MainStatusBar::MainStatusBar(QWidget* client) : QStatusBar(client) {
    // Placed by the arrangement like every other control.
    Named(this, QStringLiteral("StatusBar1"), QStringLiteral("Status"));
    setSizeGripEnabled(false);
    const char* names[4] = {"Status", "Page", "Site", "Timeout"};
    for (int i = 0; i < 4; ++i) {
        m_panels[i] = Named(new QLabel(this), QStringLiteral("StatusBar1Panel%1").arg(i + 1),
                            QLatin1String(names[i]));
        m_panels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        m_panels[i]->setIndent(3);
    }
    m_progress =
        Named(new QProgressBar(client), QStringLiteral("pb1"), QStringLiteral("Page progress"));
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
}

void MainStatusBar::showNow(int panel, const QString& text) {
    m_pending[size_t(panel)].reset();
    m_panels[size_t(panel)]->setText(text);
}

void MainStatusBar::setPending(int panel, const QString& text) {
    m_pending[size_t(panel)] = text;
}

void MainStatusBar::setPendingProgress(int percent) {
    m_pendingProgress = percent;
}

void MainStatusBar::showPending() {
    for (size_t i = 0; i < m_pending.size(); ++i)
        if (m_pending[i])
            m_panels[i]->setText(*std::exchange(m_pending[i], std::nullopt));
    if (m_pendingProgress)
        m_progress->setValue(*std::exchange(m_pendingProgress, std::nullopt));
}

void MainStatusBar::arrangePanels(const std::array<int, 4>& widths, double dpi) {
    int left = 0;
    for (int i = 0; i < 4; ++i) {
        const int right = left + widths[i];
        const int x = TwipsToPixels(left, dpi);
        m_panels[i]->setGeometry(x, 0, TwipsToPixels(right, dpi) - x, height());
        left = right;
    }
    m_progress->raise();
}

} // namespace corvantis::ui
