#pragma once

#include <QGroupBox>

#include <array>

class QLabel;
class QPushButton;

namespace corvantis::util {
class Messages;
}
namespace corvantis::scan {
class ScanSession;
}

namespace corvantis::ui {

// "Statistics" (Frame3): this scan's and the historical counters, and the
// commands of the e-mail store: view it, export it, delete its addresses.
class StatisticsFrame : public QGroupBox {
    Q_OBJECT
public:
    StatisticsFrame(QWidget* client, scan::ScanSession& session, util::Messages& messages);

    void showCounters();
    void setEmailCommandsEnabled(bool on);

Q_SIGNALS:
    void exportRequested();

private:
    void buildCounters();
    void buildEmailCommands();

    scan::ScanSession& m_session;
    util::Messages& m_messages;
    std::array<QLabel*, 5> m_stats{};
    QList<QPushButton*> m_emailButtons;
};

} // namespace corvantis::ui
