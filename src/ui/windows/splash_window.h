#pragma once

#include <QTimer>
#include <QWidget>

#include <functional>

class QLabel;

namespace corvantis::ui {

// frmSplash: the borderless picture shown while the program starts. Its
// start-up timer ticks every 2 ms; on the 75th tick it opens the main window
// and hides itself. It stays loaded, hidden, until the main window unloads it.
class SplashWindow : public QWidget {
    Q_OBJECT
public:
    // Opens and shows the main window; given the splash window, whose icon the
    // main window takes and which it unloads when it closes.
    using OpenMainWindow = std::function<void(SplashWindow*)>;

    static constexpr int kTimerIntervalMs = 2;
    static constexpr qint16 kStartUpCount = 150; // 75 ticks of 2

    explicit SplashWindow(OpenMainWindow openMainWindow, QWidget* parent = nullptr);

    qint16 tickCount() const { return m_count; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void tick();

    OpenMainWindow m_openMainWindow;
    QLabel* m_picture;
    QTimer m_timer;
    qint16 m_count = 0;
};

} // namespace corvantis::ui
