#pragma once

#include "scan/scan_engine.h"
#include "session/scan_session.h"
#include "ui/common/window_registry.h"
#include "util/seams.h"

#include <QHash>
#include <QMainWindow>

#include <functional>
#include <memory>

class QAction;

namespace corvantis::afterscan {
struct AfterScanRequest;
}

namespace corvantis::scan {
class HostRouter;
}

namespace corvantis::alert {
class SecretStore;
}

namespace corvantis::ui {

class CommandRow;
class DisplayPacing;
class MainStatusBar;
class OptionsFrame;
class ProjectController;
class ResultsFrame;
class SecondaryWindows;
class SplashWindow;
class StatisticsFrame;
class WebsitesFrame;

// Form1, composed of its regions: the command row, "Websites", "Link Results",
// "Options", "Statistics" and the status bar, over one scan session and its
// engine. It keeps the menus, runs the load step, places every control and
// wires the regions to the engine and to each other. Every control carries its
// control name as its objectName.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // Where the window meets the user and the network. They, and the session,
    // must outlive the window and every window it opens.
    struct Seams {
        util::Messages* messages;
        util::FileDialogs* dialogs;
        util::SoundPlayer* sound;
        const scan::HostRouter* router;
        alert::SecretStore* secrets; // the SMTP password and webhook secret
        // Whether the desktop can show a notification now; none: it cannot.
        std::function<bool()> desktopNotifies = nullptr;
    };

    MainWindow(scan::ScanSession& session, const Seams& seams, QWidget* parent = nullptr);
    ~MainWindow() override;

    scan::ScanSession& session() { return m_session; }

    // The entry form: detailed (all five fields) or simple (the address only).
    // Remembered for the next start.
    void ApplyViewMode(bool simple);
    bool simpleView() const { return m_simpleView; }

    // Places every control for the window's present size.
    void ArrangeMainWindow();

    // Selects a result tab: 1 "Links", 2 "Web", 3 "Pages", 4 "Reports".
    void selectResultsTab(int tab);

    // The splash window: the main window takes its icon and unloads it on closing.
    void adoptSplash(SplashWindow* splash);
    // A secondary window that closes with the main window.
    void registerWindow(QWidget* window);
    const WindowRegistry& secondaryWindows() const;

    // True once the main window closed while the website window was open: the
    // program then ends when that window closes.
    static bool endWithBrowser();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenus();
    void buildRegions();
    void connectRegions();
    void connectEngine();
    void applyControls(const scan::ScanControls& controls);
    void startScan();
    void windUpScan();
    afterscan::AfterScanRequest afterScanRequest() const;
    void showHistoryError(const QString& error);
    void load();
    void shutDown();

    class Cues;

    scan::ScanSession& m_session;
    Seams m_seams;
    std::unique_ptr<Cues> m_cues; // the engine's sound cues, through the window
    std::unique_ptr<scan::ScanEngine> m_engine;
    QWidget* m_client;
    QHash<QString, QWidget*> m_placed; // every control the arrangement places, by name

    DisplayPacing* m_pacing = nullptr;
    CommandRow* m_commands = nullptr;
    WebsitesFrame* m_websites = nullptr;
    ResultsFrame* m_results = nullptr;
    OptionsFrame* m_options = nullptr;
    StatisticsFrame* m_statistics = nullptr;
    MainStatusBar* m_statusBar = nullptr;
    ProjectController* m_projects = nullptr;
    SecondaryWindows* m_windows = nullptr;

    QAction* m_newProject = nullptr;
    QAction* m_openProject = nullptr;
    QAction* m_detailedView = nullptr;
    QAction* m_simpleViewAction = nullptr;

    bool m_resizedOnce = false;
    bool m_columnsSized = false;
    bool m_simpleView = false;
    util::SystemClock m_clock; // the report's date and time
    QDateTime m_scanStarted;   // for the scan's JSON document
    bool m_closed = false;
    bool m_historyMessageShown = false; // a history store that cannot be used says so once
};

} // namespace corvantis::ui
