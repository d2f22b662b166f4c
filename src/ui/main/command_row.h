#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class QComboBox;
class QPushButton;
class QWidget;

namespace corvantis::scan {
class ScanEngine;
struct ScanControls;
} // namespace corvantis::scan

namespace corvantis::ui {

// The row of commands over the frames: New, Open, Save, Automation, Start, Stop,
// Resume, Next, the two search combo boxes and the website button. It has no
// widget of its own: its controls stand in the client area. Stop and Next go to
// the engine; the others, Start too, are asked of the window.
class CommandRow : public QObject {
    Q_OBJECT
public:
    CommandRow(QWidget* client, scan::ScanEngine* engine);

    // Which commands may be used now.
    void applyControls(const scan::ScanControls& controls);
    // The two combo boxes are stored and restored only; nothing else reads them.
    void loadOptions();
    void setWebsiteAddress(const QString& address);

Q_SIGNALS:
    void newProjectRequested();
    void openProjectRequested();
    void saveProjectRequested();
    void automationRequested();
    void websiteRequested();
    void startRequested();

private:
    void buildScanButtons(QWidget* client);
    void buildSearchBoxes(QWidget* client);

    QPointer<scan::ScanEngine> m_engine;
    QList<QPushButton*> m_projectButtons;
    QPushButton* m_start = nullptr;
    QPushButton* m_stop = nullptr;
    QPushButton* m_next = nullptr;
    QComboBox* m_combo1 = nullptr;
    QComboBox* m_combo2 = nullptr;
    QPushButton* m_website = nullptr;
};

} // namespace corvantis::ui
