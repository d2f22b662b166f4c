#include "ui/main/results_frame.h"

#include "output/scan_report.h"
#include "session/scan_session.h"
#include "ui/common/browser_controls.h"
#include "ui/common/browser_view.h"
#include "ui/common/list_view_helpers.h"
#include "ui/common/widgets.h"
#include "ui/main/display_pacing.h"
#include "ui/main/page_builder.h"
#include "ui/main/result_actions.h"
#include "util/settings_store.h"

#include <QColor>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeView>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <utility>

namespace corvantis::ui {

namespace {

// Where the result list's column widths and order are kept, as the header's own
// saved state in base64.
const QString kResultColumnsKey = QStringLiteral("ResultColumns");

// The result list's colour and marker leave the model as numbers; the view shows
// them as the row's text colour and the icon before its first column.
class ResultRowLook : public QIdentityProxyModel {
public:
    explicit ResultRowLook(QObject* parent)
        : QIdentityProxyModel(parent), m_linking(QStringLiteral(":/images/marker_linking.png")),
          m_notLinking(QStringLiteral(":/images/marker_notlinking.png")) {}
    QVariant data(const QModelIndex& index, int role) const override {
        if (role == Qt::ForegroundRole)
            return colour(scan::RowColour(source(index, scan::kColourRole)));
        if (role == Qt::DecorationRole && index.column() == 0)
            return marker(scan::RowMarker(source(index, scan::kMarkerRole)));
        return QIdentityProxyModel::data(index, role);
    }

private:
    int source(const QModelIndex& index, int role) const {
        return QIdentityProxyModel::data(index, role).toInt();
    }
    static QVariant colour(scan::RowColour c) {
        switch (c) {
        case scan::RowColour::Blue:
            return QColor(0, 0, 255);
        case scan::RowColour::Red:
            return QColor(255, 0, 0);
        case scan::RowColour::Warning:
            return QColor(176, 96, 0);
        case scan::RowColour::Default:
            break;
        }
        return {};
    }
    QVariant marker(scan::RowMarker m) const {
        switch (m) {
        case scan::RowMarker::Linking:
            return m_linking;
        case scan::RowMarker::NotLinking:
            return m_notLinking;
        case scan::RowMarker::None:
            break;
        }
        return {};
    }

    QIcon m_linking;
    QIcon m_notLinking;
};

// The report shows local content only: no scripts, no remote requests from the
// page; a followed link opens in the "Web" tab (web addresses only).
class ReportPage : public QWebEnginePage {
public:
    using Follow = std::function<void(const QUrl&)>;
    ReportPage(Follow follow, QObject* parent)
        : QWebEnginePage(parent), m_follow(std::move(follow)) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
        if (type == NavigationTypeLinkClicked) {
            m_follow(url);
            return false;
        }
        Q_UNUSED(isMainFrame);
        return url.isLocalFile() || url.scheme() == QLatin1String("about");
    }

private:
    Follow m_follow;
};

} // namespace

ResultsFrame::ResultsFrame(QWidget* client, scan::ScanSession& session, util::Messages& messages,
                           util::FileDialogs& dialogs, DisplayPacing& pacing)
    : QGroupBox(QStringLiteral("Link Results"), client), m_session(session), m_messages(messages),
      m_dialogs(dialogs) {
    Named(this, QStringLiteral("Frame2"), title());
    m_tabs = Named(new QTabWidget(this), QStringLiteral("TabStrip1"), title());
    m_tabs->setIconSize(QSize(16, 16));
    const char* tabs[4][2] = {{"Links", ":/images/tab_links.png"},
                              {"Web", ":/images/tab_web.png"},
                              {"Pages", ":/images/tab_pages.png"},
                              {"Reports", ":/images/tab_reports.png"}};
    // The tabs only switch; the views stand over the tab strip in the frame.
    for (const auto& tab : tabs)
        m_tabs->addTab(new QWidget, QIcon(QLatin1String(tab[1])), QLatin1String(tab[0]));

    buildLists(pacing);
    buildBrowserControls();
    m_pageBuilder = new PageBuilder(this, m_session.project, m_messages, m_dialogs);
    m_shownByTab[2] = {m_pageBuilder};
    buildReport();
    for (QTreeView* list : {m_results, m_errors})
        SortOnHeaderClicks(list);
    connect(m_tabs, &QTabWidget::currentChanged, this, &ResultsFrame::showCurrentTab);
}

void ResultsFrame::buildLists(DisplayPacing& pacing) {
    m_results = Named(ListView(this, QStringLiteral("Link Results:")), QStringLiteral("List3"));
    m_results->header()->setSectionsMovable(true);
    m_results->header()->setFirstSectionMovable(true);
    pacing.bindList(m_results, &m_session.project.results, new ResultRowLook(this));
    auto* errorLabel =
        Named(Caption(this, QStringLiteral("Errors/Warnings:")), QStringLiteral("lblErr"));
    m_errors = Named(Labelled(ListView(this, {}), errorLabel), QStringLiteral("lstErr"));
    pacing.bindList(m_errors, &m_session.run.errors);
    m_shownByTab[0] = {m_results, m_errors, errorLabel};
}

void ResultsFrame::buildBrowserControls() {
    const auto nav = [this](const char* name, const char* picture, const char* toolTip) {
        auto* b = NavigationButton(this, QLatin1String(name), QIcon(QLatin1String(picture)),
                                   QLatin1String(toolTip));
        b->setIconSize(QSize(20, 20));
        return b;
    };
    auto* back = nav("cmdBack", ":/images/nav_back.png", "back");
    auto* forward = nav("cmdForward", ":/images/nav_forward.png", "forward");
    auto* stop = nav("cmdWebStop", ":/images/nav_stop.png", "stop");
    auto* refresh = nav("cmdRefresh", ":/images/nav_refresh.png", "refresh");
    auto* go = nav("cmdGo", ":/images/nav_go.png", "browse the entered url");
    auto* address = Named(new QLineEdit(this), QStringLiteral("txtURL"), QStringLiteral("URL:"));
    m_browser =
        Named(new QWebEngineView(this), QStringLiteral("WebBrowser1"), QStringLiteral("Web"));
    ConfigureBrowserView(m_browser);
    const auto status = [this](const QString& text) { Q_EMIT this->status(text); };
    m_webTab =
        new BrowserControls({m_browser, address, go, back, forward, stop, refresh}, status, this);
    auto* actions = new ResultActions(
        m_session.project, m_results, m_errors, [this](const QString& url) { browse(url); }, status,
        window());
    connect(actions, &ResultActions::historyRequested, this, &ResultsFrame::historyRequested);
    m_shownByTab[1] = {m_browser, back, forward, stop, refresh, go, address};
}

void ResultsFrame::buildReport() {
    m_report =
        Named(new QWebEngineView(this), QStringLiteral("WebBrowser2"), QStringLiteral("Reports"));
    m_report->setPage(
        new ReportPage([this](const QUrl& url) { browse(url.toString()); }, m_report));
    QWebEngineSettings* settings = m_report->settings();
    settings->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    connect(
        m_report->page(), &QWebEnginePage::newWindowRequested, this,
        [this](QWebEngineNewWindowRequest& request) { browse(request.requestedUrl().toString()); });
    auto* save = Named(Button(this, QStringLiteral("Save Report As")), QStringLiteral("Command8"));
    connect(save, &QPushButton::clicked, this,
            [this] { output::SaveReportAs(m_messages, m_dialogs); });
    m_shownByTab[3] = {m_report, save};
}

void ResultsFrame::keepResultColumns() {
    QHeaderView* header = m_results->header();
    const QByteArray stored =
        QByteArray::fromBase64(util::ReadSetting(kResultColumnsKey, {}).toLatin1());
    // The state holds a sort arrow too; the rows of a new window are not sorted.
    if (!stored.isEmpty() && header->restoreState(stored))
        header->setSortIndicatorShown(false);
    const auto keep = [header] {
        util::WriteSetting(kResultColumnsKey, QString::fromLatin1(header->saveState().toBase64()));
    };
    connect(header, &QHeaderView::sectionResized, this, keep);
    connect(header, &QHeaderView::sectionMoved, this, keep);
}

void ResultsFrame::browse(const QString& address) {
    m_webToLoad.clear();
    selectTab(2);
    m_webTab->browse(address);
}

void ResultsFrame::selectTab(int tab) {
    if (tab >= 1 && tab <= 4)
        m_tabs->setCurrentIndex(tab - 1);
}

void ResultsFrame::showCurrentTab() {
    const int tab = m_tabs->currentIndex() + 1;
    if (tab < 1 || tab > 4)
        return;
    for (const QList<QWidget*>& views : m_shownByTab)
        for (QWidget* w : views)
            w->setVisible(m_shownByTab[tab - 1].contains(w));
    if (tab == 4)
        for (QWidget* w : m_shownByTab[3])
            w->raise();
    if (tab == 2 && !m_webToLoad.isEmpty())
        m_browser->load(std::exchange(m_webToLoad, {}));
    if (tab == 4 && !m_reportToLoad.isEmpty())
        m_report->load(std::exchange(m_reportToLoad, {}));
}

// A web view holding a page makes the whole window compose every repaint through
// OpenGL, which each display tick of a scan pays for where OpenGL is software
// (Xvfb, virtual machines): a view is given its page when its tab is shown.
void ResultsFrame::showStartPages(const QString& websiteAddress) {
    m_webToLoad = QUrl::fromUserInput(websiteAddress);
    showCurrentTab();
}

void ResultsFrame::showReport(const output::ReportBuild& report) {
    if (!report.ok()) {
        m_messages.inform(report.error);
        return;
    }
    m_reportToLoad = QUrl::fromLocalFile(report.path);
    showCurrentTab();
}

} // namespace corvantis::ui
