#pragma once

#include <QStatusBar>

#include <array>
#include <optional>

class QLabel;
class QProgressBar;

namespace corvantis::ui {

// "StatusBar1" at the foot of the client area: four panels (status, page, site,
// time-out) and the page's progress bar "pb1", which stands over it in the
// client area. What a scan reports waits for the display tick; what the user's
// own action says is shown at once.
class MainStatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit MainStatusBar(QWidget* client);

    void showNow(int panel, const QString& text);
    void setPending(int panel, const QString& text);
    void setPendingProgress(int percent);
    void showPending();

    // The panels' widths in twips, left to right; the progress bar stays on top.
    void arrangePanels(const std::array<int, 4>& widths, double dpi);

private:
    std::array<QLabel*, 4> m_panels{};
    QProgressBar* m_progress;
    std::array<std::optional<QString>, 4> m_pending;
    std::optional<int> m_pendingProgress;
};

} // namespace corvantis::ui
