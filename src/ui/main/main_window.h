#pragma once

#include "scan/scan_engine.h"
#include "scan/scan_session.h"
#include "ui/common/window_registry.h"
#include "util/seams.h"

#include <QElapsedTimer>
#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <array>
#include <memory>
#include <optional>

class QAbstractItemModel;
class QAbstractItemView;
class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTabWidget;
class QToolButton;
class QTreeView;
class QWebEngineView;

namespace corvantis::scan {
class HostRouter;
}

namespace corvantis::ui {

class AutomationWindow;
class ExportWindow;
class AboutWindow;
class WebTab;
class HelpWindow;
class QueueSnapshot;
class SiteEditorDialog;
class SplashWindow;
class WebsiteWindow;

// Form1: the domain and partner entry, the result tabs, the options, the
// statistics, the scan buttons and the status bar, over one scan session and
// its engine. Every control carries its control name as its objectName.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // Where the window meets the user and the network. They must outlive the window.
    struct Seams {
        util::Messages* messages;
        util::FileDialogs* dialogs;
        util::SoundPlayer* sound;
        const scan::HostRouter* router;
    };

    // The program's window: message boxes, file dialogs, sound cues, and partner
    // hosts reached on their own port 80.
    explicit MainWindow(QWidget* parent = nullptr);
    explicit MainWindow(const Seams& seams, QWidget* parent = nullptr);
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
    const WindowRegistry& secondaryWindows() const { return m_windows; }

    // True once the main window closed while the website window was open: the
    // program then ends when that window closes.
    static bool endWithBrowser();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct OwnSeams;
    MainWindow(std::unique_ptr<OwnSeams> own, const Seams& seams, QWidget* parent);

    // Building the controls, region by region.
    void buildMenus();
    void buildTopRow();
    void buildWebsitesFrame();
    void buildResultsFrame();
    void buildPageBuilder(QWidget* frame2);
    void buildOptionsFrame();
    void buildStatisticsFrame();
    void buildStatusBar();
    template <typename W> W* place(W* widget, const QString& name);

    // The load step and the options.
    void load();
    void LoadOptions();
    void connectOptions();
    void pushOptions();

    // The scan.
    void connectEngine();
    void applyControls(const scan::ScanControls& controls);
    void bindScanList(QAbstractItemView* view, QAbstractItemModel* model,
                      QAbstractItemModel* shown = nullptr);
    void thawScanLists();
    void showStatusNow(int panel, const QString& text);
    void scheduleDisplay();
    void showDisplay();

    // The partner list and its entry fields.
    int selectedPartner() const; // 0-based; -1 when none
    void addPartner(bool fromEnter);
    void EditPartnerSite();
    void sortColumnClicked(QTreeView* list, int column);

    // Projects, the page builder and the report.
    void newProject();
    void openProject();
    void saveProject();
    void showProjectName();
    void showHtmlTexts();
    void showReport();

    void SelectResultsTab();
    void openAutomation();
    void openExport();
    void deleteAllEmails();
    void openHelp();
    void openAbout();
    void openWebsite();
    bool runExitCheck();
    void shutDown();

    std::unique_ptr<OwnSeams> m_own;
    util::Messages& m_messages;
    util::FileDialogs& m_dialogs;
    util::SoundPlayer& m_sound;
    const scan::HostRouter& m_router;

    scan::ScanSession m_session;
    std::unique_ptr<scan::ScanEngine> m_engine;

    QWidget* m_client;
    QHash<QString, QWidget*> m_placed; // every control the arrangement places, by name

    QAction* m_newProject = nullptr;
    QAction* m_openProject = nullptr;
    QAction* m_saveProject = nullptr;
    QAction* m_detailedView = nullptr;
    QAction* m_simpleViewAction = nullptr;

    QPushButton* m_start = nullptr;
    QPushButton* m_stop = nullptr;
    QPushButton* m_next = nullptr;
    QList<QPushButton*> m_projectButtons;
    QList<QPushButton*> m_emailButtons;
    QComboBox* m_combo1 = nullptr;
    QComboBox* m_combo2 = nullptr;
    QPushButton* m_website = nullptr;

    QLineEdit* m_domain = nullptr;
    std::array<QLineEdit*, 5> m_entry{}; // Text1 to Text5
    QList<QWidget*> m_detailedOnly;      // labels and fields the simple form hides
    QTreeView* m_partners = nullptr;
    QListView* m_queue = nullptr;
    QueueSnapshot* m_queueShown = nullptr; // what the queue list shows
    QMenu* m_popup1 = nullptr;
    QPointer<SiteEditorDialog> m_siteEditor;

    QTabWidget* m_tabs = nullptr;
    QTreeView* m_results = nullptr;
    QTreeView* m_errors = nullptr;
    QWebEngineView* m_browser = nullptr;
    WebTab* m_webTab = nullptr;
    QWebEngineView* m_report = nullptr;
    util::SystemClock m_clock;  // the report's date and time
    QList<QWidget*> m_tabViews; // every view a tab shows or hides
    std::array<QList<QWidget*>, 4> m_shownByTab;
    std::array<QPlainTextEdit*, 3> m_html{};
    std::array<QString, 3> m_shownHtml; // the texts the boxes were last given or typed
    bool m_showingHtml = false;
    QCheckBox* m_bullet = nullptr;
    QCheckBox* m_newWindow = nullptr;

    QCheckBox* m_auto = nullptr;
    QCheckBox* m_auto2 = nullptr;
    QComboBox* m_advance = nullptr;
    QLineEdit* m_timeout = nullptr;
    QCheckBox* m_redirect = nullptr;
    QCheckBox* m_insecure = nullptr; // accept invalid certificates
    QComboBox* m_lastSearch = nullptr;
    QCheckBox* m_audioEmail = nullptr;
    QCheckBox* m_audioNext = nullptr;
    QCheckBox* m_audioFinished = nullptr;
    QList<QLabel*> m_checkLabels; // wrapped captions that tick their box when clicked

    std::array<QLabel*, 5> m_stats{};
    QStatusBar* m_statusBar = nullptr;
    std::array<QLabel*, 4> m_panels{};
    QProgressBar* m_progress = nullptr;

    bool m_resizedOnce = false;
    bool m_columnsSized = false;
    bool m_simpleView = false;
    bool m_closed = false;
    qint32 m_pageLimit = 500;

    // What the scan reported since the last repaint; shown at most about 30
    // times a second, the latest values only.
    std::array<std::optional<QString>, 4> m_pendingPanels;
    std::optional<int> m_pendingProgress;
    bool m_pendingLists = false;
    bool m_scanShown = false;              // a scan runs: its lists repaint on the display tick
    QList<QAbstractItemView*> m_scanLists; // the result and error lists
    double m_repaintCostMs = 0;            // a repaint of the window, smoothed
    QTimer m_displayTimer;
    QElapsedTimer m_sinceDisplay;

    WindowRegistry m_windows;
    QPointer<AutomationWindow> m_automation;
    QPointer<ExportWindow> m_export;
    QPointer<HelpWindow> m_help;
    QPointer<AboutWindow> m_about;
    QPointer<WebsiteWindow> m_websiteWindow;
};

} // namespace corvantis::ui
