#include "ui/main/main_window.h"

#include "afterscan/after_scan.h"
#include "ui/common/alert_delivery.h"
#include "ui/common/branding.h"
#include "ui/main/command_row.h"
#include "ui/main/display_pacing.h"
#include "ui/main/main_layout.h"
#include "ui/main/options_frame.h"
#include "ui/main/page_builder.h"
#include "ui/main/project_controller.h"
#include "ui/main/results_frame.h"
#include "ui/main/secondary_windows.h"
#include "ui/main/statistics_frame.h"
#include "ui/main/status_bar.h"
#include "ui/main/websites_frame.h"
#include "ui/windows/help_window.h"
#include "util/busy_wait.h"
#include "util/settings_store.h"
#include "util/text_utils.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLayout>
#include <QListView>
#include <QMenuBar>
#include <QTreeView>

namespace corvantis::ui {

// The scan's sound cues go to the desktop's player until the window closes: a
// scan that ends with the window ends without its finished cue.
class MainWindow::Cues final : public util::SoundPlayer {
public:
    explicit Cues(util::SoundPlayer& player) : m_player(player) {}
    void play(const QString& path) override {
        if (!m_silent)
            m_player.play(path);
    }
    void silence() { m_silent = true; }

private:
    util::SoundPlayer& m_player;
    bool m_silent = false;
};

MainWindow::MainWindow(scan::ScanSession& session, const Seams& seams, QWidget* parent)
    : QMainWindow(parent), m_session(session), m_seams(seams),
      m_cues(std::make_unique<Cues>(*seams.sound)),
      m_engine(
          std::make_unique<scan::ScanEngine>(m_session, *seams.messages, *m_cues, *seams.router)),
      m_client(new QWidget(this)) {
    setObjectName(QStringLiteral("Form1"));
    m_client->setObjectName(QStringLiteral("client"));
    setCentralWidget(m_client);
    m_client->installEventFilter(this);
    m_pacing = new DisplayPacing(this);
    m_projects = new ProjectController(m_session, *seams.messages, *seams.dialogs, this);
    m_windows = new SecondaryWindows(m_session, *seams.messages, *seams.dialogs, *seams.router,
                                     *seams.secrets, this);

    buildMenus();
    buildRegions();
    connectRegions();
    connectEngine();
    load();
}

MainWindow::~MainWindow() {
    // A scan under way ends before the regions it reports to.
    m_engine.reset();
}

bool MainWindow::endWithBrowser() {
    return SecondaryWindows::endWithBrowser();
}

void MainWindow::adoptSplash(SplashWindow* splash) {
    m_windows->adoptSplash(splash);
}

void MainWindow::registerWindow(QWidget* window) {
    m_windows->add(window);
}

const WindowRegistry& MainWindow::secondaryWindows() const {
    return m_windows->registry();
}

// ---- building ----

void MainWindow::buildMenus() {
    QMenuBar* bar = menuBar();
    const auto menu = [bar](const char* name, const char* title) {
        QMenu* m = bar->addMenu(QLatin1String(title));
        m->setObjectName(QLatin1String(name));
        m->menuAction()->setObjectName(QLatin1String(name));
        return m;
    };
    const auto item = [this](QMenu* m, const char* name, const char* caption, auto action) {
        QAction* a = m->addAction(QLatin1String(caption));
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this, action);
        return a;
    };
    QMenu* file = menu("mnuFile", "File");
    m_newProject = item(file, "mnuFileItem_0", "New Project", [this] { m_projects->newProject(); });
    m_openProject =
        item(file, "mnuFileItem_1", "Open Project", [this] { m_projects->openProject(); });
    item(file, "mnuFileItem_2", "Save Project", [this] { m_projects->saveProject(); });
    item(file, "mnuFileSchedule", "Schedule and Alerts", [this] { m_windows->openSchedule(); });
    item(file, "mnuFileItem_3", "Exit", [this] { close(); });

    QMenu* view = menu("mnuView", "View");
    auto* modes = new QActionGroup(this);
    m_detailedView = item(view, "mnuViewItem_0", "Detailed Website Entry Form",
                          [this] { ApplyViewMode(false); });
    m_simpleViewAction =
        item(view, "mnuViewItem_1", "Simple Website Entry Form", [this] { ApplyViewMode(true); });
    for (QAction* a : {m_detailedView, m_simpleViewAction}) {
        a->setCheckable(true);
        modes->addAction(a);
    }
    item(menu("mnuHelp", "Help"), "mnuHelpItem_0", "View Help File",
         [this] { m_windows->openHelp(); });
    item(menu("mnuAbout", "About"), "mnuAboutItem_0", "About this software",
         [this] { m_windows->openAbout(); });
}

// In the order the controls were always made in: the tab order and the
// accessibility tree follow it.
void MainWindow::buildRegions() {
    m_commands = new CommandRow(m_client, m_engine.get());
    m_websites =
        new WebsitesFrame(m_client, m_session, m_engine.get(), *m_seams.messages, *m_pacing);
    m_results =
        new ResultsFrame(m_client, m_session, *m_seams.messages, *m_seams.dialogs, *m_pacing);
    m_options = new OptionsFrame(m_client, m_session.options);
    m_statistics = new StatisticsFrame(m_client, m_session, *m_seams.messages);
    m_statusBar = new MainStatusBar(m_client);
}

void MainWindow::connectRegions() {
    connect(m_commands, &CommandRow::newProjectRequested, m_projects,
            &ProjectController::newProject);
    connect(m_commands, &CommandRow::openProjectRequested, m_projects,
            &ProjectController::openProject);
    connect(m_commands, &CommandRow::saveProjectRequested, m_projects,
            &ProjectController::saveProject);
    connect(m_commands, &CommandRow::automationRequested, m_windows,
            &SecondaryWindows::openAutomation);
    connect(m_commands, &CommandRow::websiteRequested, m_windows, &SecondaryWindows::openWebsite);
    connect(m_commands, &CommandRow::startRequested, this, &MainWindow::startScan);
    connect(m_websites, &WebsitesFrame::editRequested, m_windows, &SecondaryWindows::editPartner);
    connect(m_statistics, &StatisticsFrame::exportRequested, m_windows,
            &SecondaryWindows::openExport);
    connect(m_projects, &ProjectController::textsReplaced, m_results->pageBuilder(),
            &PageBuilder::showTexts);
    connect(m_projects, &ProjectController::entryCleared, m_websites, &WebsitesFrame::clearEntry);
    // What the user's own action says shows at once, in the first panel.
    const auto showNow = [this](const QString& text) { m_statusBar->showNow(0, text); };
    connect(m_websites, &WebsitesFrame::fieldHelp, this, showNow);
    connect(m_results, &ResultsFrame::status, this, showNow);
    connect(m_results, &ResultsFrame::historyRequested, m_windows,
            &SecondaryWindows::openPartnerHistory);
    connect(m_websites, &WebsitesFrame::historyRequested, m_windows,
            &SecondaryWindows::openPartnerHistory);
    connect(m_pacing, &DisplayPacing::tick, this, [this] {
        m_statusBar->showPending();
        m_statistics->showCounters();
    });
}

void MainWindow::connectEngine() {
    scan::ScanEngine* engine = m_engine.get();
    connect(engine, &scan::ScanEngine::controlsChanged, this, &MainWindow::applyControls);
    connect(engine, &scan::ScanEngine::focusRequested, m_websites, &WebsitesFrame::focusField);
    connect(engine, &scan::ScanEngine::statusText, this,
            [this](scan::StatusPanel panel, const QString& text) {
                m_statusBar->setPending(int(panel), text);
                m_pacing->request();
            });
    connect(engine, &scan::ScanEngine::progressChanged, this, [this](int percent) {
        m_statusBar->setPendingProgress(percent);
        m_pacing->request();
    });
    // Every tick shows the latest counters; the final figures of a scan at once.
    connect(&m_session.run, &scan::RunState::statisticsChanged, m_pacing, &DisplayPacing::request);
    connect(engine, &scan::ScanEngine::scanStopped, m_pacing, &DisplayPacing::showNow);
    connect(engine, &scan::ScanEngine::scanEnded, this, &MainWindow::windUpScan);
    applyControls(engine->controls());
}

afterscan::AfterScanRequest MainWindow::afterScanRequest() const {
    afterscan::AfterScanRequest request;
    request.busyTimeout = util::kWindowBusyTimeout;
    request.writeReport = !m_closed;
    return request;
}

// A history store that cannot be used leaves the results as they are and says so
// in the status bar, and once a run in a message box.
void MainWindow::showHistoryError(const QString& error) {
    if (error.isEmpty())
        return;
    m_statusBar->showNow(0, error);
    if (!std::exchange(m_historyMessageShown, true))
        m_seams.messages->inform(error, QStringLiteral("Scan History"));
}

// Start: the pages where the links stood last time, from the history, then the scan.
void MainWindow::startScan() {
    m_scanStarted = QDateTime::currentDateTimeUtc();
    showHistoryError(afterscan::BeforeScan(m_session, afterScanRequest()));
    m_engine->StartScan();
}

// The history, the changes in the result list, the report and the alerts, as
// every scan ends; a scan the closing window ends has no report. A desktop
// notification only when the user is elsewhere and the desktop has a service
// for it (one the user did not ask for cannot fail).
void MainWindow::windUpScan() {
    afterscan::AfterScanRequest request = afterScanRequest();
    request.started = m_scanStarted;
    request.alerts = alert::AlertSettings::FromSettings();
    request.alerts.notify = !isActiveWindow();
    request.desktopNotifies =
        request.alerts.notify && m_seams.desktopNotifies && m_seams.desktopNotifies();
    const afterscan::AfterScanOutcome done =
        afterscan::AfterScan(m_session, m_engine->verdicts(), m_clock, request);
    showHistoryError(done.historyError);
    if (request.writeReport)
        m_results->showReport(done.report);
    if (done.alert)
        SendAlertInBackground(this, *done.alert, request.alertsSent(), *m_seams.secrets, request,
                              [this](const QStringList& failed) {
                                  if (!failed.isEmpty())
                                      m_statusBar->showNow(0, failed.join(QLatin1Char(' ')));
                              });
}

void MainWindow::applyControls(const scan::ScanControls& controls) {
    // Stop is offered exactly while a scan runs.
    m_pacing->setScanShown(controls.stop);
    m_commands->applyControls(controls);
    m_newProject->setEnabled(controls.project);
    m_openProject->setEnabled(controls.project);
    m_statistics->setEmailCommandsEnabled(controls.email);
}

// ---- the load step ----

void MainWindow::load() {
    m_resizedOnce = false;
    ApplyViewMode(util::EqualsCI(
        util::ReadSetting(QStringLiteral("SimpleView"), QStringLiteral("False")), u"true"));
    m_columnsSized = false;
    m_session.run.resetRunCounters();
    m_commands->loadOptions();
    m_options->loadOptions();
    m_results->pageBuilder()->loadOptions();
    m_session.run.LoadCounters();
    m_pacing->showNow();

    const Branding& brand = BrandingRecord();
    setWindowIcon(QIcon(QStringLiteral(":/images/corvantis.png")));
    m_projects->showCaption();
    m_commands->setWebsiteAddress(brand.websiteAddress);
    if (HelpWindow::showAtStartup())
        m_windows->openHelp();
    m_results->showStartPages(brand.websiteAddress);

    // The window opens at its first client size, arranged by the resize that brings.
    resize(TwipsToPixels(kFirstClientTwips.width(), logicalDpiX()),
           TwipsToPixels(kFirstClientTwips.height(), logicalDpiY()) +
               menuBar()->sizeHint().height());
    layout()->activate();
    ArrangeMainWindow();
}

// ---- layout and view modes ----

void MainWindow::ApplyViewMode(bool simple) {
    m_websites->setSimpleView(simple);
    (simple ? m_simpleViewAction : m_detailedView)->setChecked(true);
    util::WriteSetting(QStringLiteral("SimpleView"),
                       simple ? QStringLiteral("True") : QStringLiteral("False"));
    m_simpleView = simple;
    if (m_resizedOnce)
        ArrangeMainWindow();
}

void MainWindow::ArrangeMainWindow() {
    m_resizedOnce = true;
    const double dpi = logicalDpiY();
    const QSize client(PixelsToTwips(m_client->width(), dpi),
                       PixelsToTwips(m_client->height(), dpi));
    const MainLayout layout = ui::ArrangeMainWindow(OuterSizeTwips(client), m_simpleView);
    if (m_placed.isEmpty())
        for (auto it = layout.rects.cbegin(); it != layout.rects.cend(); ++it)
            m_placed.insert(it.key(), m_client->findChild<QWidget*>(it.key()));
    for (auto it = layout.rects.cbegin(); it != layout.rects.cend(); ++it)
        if (QWidget* w = m_placed.value(it.key()))
            w->setGeometry(TwipsToPixels(it.value(), dpi));

    // The queue list keeps its last pixels clear of the frame's bottom line, as a
    // list box that shows whole rows does.
    QListView* queue = m_websites->queueList();
    QRect shown = queue->geometry();
    shown.setHeight(qMax(0, shown.height() - TwipsToPixels(60, dpi)));
    queue->setGeometry(shown);
    m_statusBar->arrangePanels(layout.panelWidths, dpi);

    if (!m_columnsSized) {
        const auto size = [dpi](QTreeView* view, const QList<int>& widths) {
            for (int i = 0; i < widths.size(); ++i)
                view->header()->resizeSection(i, TwipsToPixels(widths[i], dpi));
        };
        size(m_websites->partnerList(), layout.list1Columns);
        size(m_results->resultList(), layout.list3Columns);
        m_results->keepResultColumns();
        size(m_results->errorList(), layout.lstErrColumns);
        m_columnsSized = true;
    }
}

void MainWindow::selectResultsTab(int tab) {
    m_results->selectTab(tab);
}

// ---- shutdown ----

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!m_closed && !m_projects->mayClose()) {
        event->ignore();
        return;
    }
    shutDown();
    QMainWindow::closeEvent(event);
}

void MainWindow::shutDown() {
    if (m_closed)
        return;
    m_closed = true;
    // A scan under way ends as Stop ends it, so the partners whose sites had
    // ended go into the history, but without the report or the finished cue;
    // ending the engine then closes its connections.
    if (m_session.run.scanRunning()) {
        m_cues->silence();
        m_engine->StopScan();
    }
    m_engine.reset();
    m_pacing->stop();
    m_windows->closeAll();
}

// Times every repaint of the window, so the scan's display knows what one costs.
bool MainWindow::event(QEvent* event) {
    if (event->type() != QEvent::UpdateRequest)
        return QMainWindow::event(event);
    QElapsedTimer clock;
    clock.start();
    const bool done = QMainWindow::event(event);
    m_pacing->recordRepaint(double(clock.nsecsElapsed()) / 1e6);
    return done;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_client && event->type() == QEvent::Resize)
        ArrangeMainWindow();
    return QMainWindow::eventFilter(watched, event);
}

} // namespace corvantis::ui
