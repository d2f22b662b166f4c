#include "ui/main/main_window.h"

#include "output/links_page.h"
#include "output/project_commands.h"
#include "output/scan_report.h"
#include "scan/host_route.h"
#include "ui/windows/about_window.h"
#include "ui/windows/automation_window.h"
#include "ui/common/branding.h"
#include "ui/common/browser_view.h"
#include "ui/main/email_commands.h"
#include "ui/windows/export_window.h"
#include "ui/windows/help_window.h"
#include "ui/common/list_view_helpers.h"
#include "ui/main/main_layout.h"
#include "ui/main/queue_snapshot.h"
#include "ui/main/result_actions.h"
#include "ui/windows/site_editor_dialog.h"
#include "ui/common/sound_player.h"
#include "ui/windows/splash_window.h"
#include "ui/common/standard_dialogs.h"
#include "ui/main/web_tab.h"
#include "ui/windows/website_window.h"
#include "util/browse_address.h"
#include "util/settings_store.h"
#include "util/text_utils.h"

#include <QActionGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QColor>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextDocument>
#include <QToolButton>
#include <QTreeView>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace corvantis::ui {

using util::ReadCheckSetting;
using util::ReadPositionSetting;
using util::ReadSetting;
using util::WriteSetting;

namespace {

// The scan's figures and lists are repainted at most about 30 times a second, and
// less often when a repaint is dear: with the browser views in it the whole window
// is composed on every repaint, which takes milliseconds on a software-rendered
// display. Repaints then take about a 25th of the time, at least 4 a second.
constexpr int kDisplayIntervalMs = 33;
constexpr int kSlowestDisplayIntervalMs = 250;
constexpr int kDisplayCostShare = 25;
bool s_endWithBrowser = false;

const QString kTimeoutDefault = QStringLiteral("60");
const QString kPageRuleHelp =
    QStringLiteral("If the specified number of pages have been scaned the search will "
                   "automatically skip to the next site.");

struct HtmlText {
    const char* key;
    const char* label;
    const char* toolTip;
    const char* byDefault;
};
constexpr HtmlText kHtmlTexts[3] = {
    {"txtHTML1", "Pre-Links HTML", "All HTML on your page that comes before your links goes here.",
     "Paste all the HTML that you want to come before the links on your page here.  This will be "
     "the first part of your generated webpage."},
    {"txtHTML2", "Generated Links",
     "Links will be generated here based on your Links List.  You can edit it afterwards if you "
     "wish.",
     "Your link HTML will be generated here.  This will be the second part of your generated "
     "webpage."},
    {"txtHTML3", "Post-Links HTML", "All HTML on your page that comes after your links goes here.",
     "Paste all the HTML that you want to come after the links on your page here.  This will be "
     "the third part of your generated webpage."},
};

QString Text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// Multi-line texts are kept with CR LF line ends; the text boxes use LF.
QString WithLf(QString text) {
    return text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
}
// What the user typed in a page-builder box, with CR LF line breaks. The raw text
// keeps no-break spaces and U+2028, which the box's plain text would turn into a
// space and a line break; its paragraph separators are the line breaks.
QString TypedText(const QPlainTextEdit* box) {
    return box->document()->toRawText().replace(QChar::ParagraphSeparator, QLatin1String("\r\n"));
}

QLabel* Caption(QWidget* parent, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setAccessibleName(text);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QPushButton* Button(QWidget* parent, const QString& caption, const QString& toolTip = {}) {
    auto* button = new QPushButton(caption, parent);
    button->setAccessibleName(caption);
    button->setToolTip(toolTip);
    return button;
}

// An input named by the label beside it; the label's mnemonic-free buddy.
template <typename W> W* Labelled(W* field, QLabel* label, const QString& toolTip = {}) {
    field->setAccessibleName(label->text());
    field->setToolTip(toolTip);
    label->setBuddy(field);
    return field;
}

QTreeView* ListView(QWidget* parent, const QString& accessible) {
    auto* view = new QTreeView(parent);
    view->setAccessibleName(accessible);
    view->setRootIsDecorated(false);
    view->setUniformRowHeights(true);
    view->setItemsExpandable(false);
    view->setAllColumnsShowFocus(true);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->header()->setStretchLastSection(false);
    return view;
}

// The result list's colour and marker leave the model as numbers; the view shows
// them as the row's text colour and the icon before its first column.
class ResultRowLook : public QIdentityProxyModel {
public:
    explicit ResultRowLook(QObject* parent)
        : QIdentityProxyModel(parent), m_linking(QStringLiteral(":/images/marker_linking.png")),
          m_notLinking(QStringLiteral(":/images/marker_notlinking.png")) {}
    QVariant data(const QModelIndex& index, int role) const override {
        if (role == Qt::ForegroundRole) {
            switch (scan::RowColour(QIdentityProxyModel::data(index, scan::kColourRole).toInt())) {
            case scan::RowColour::Blue:
                return QColor(0, 0, 255);
            case scan::RowColour::Red:
                return QColor(255, 0, 0);
            case scan::RowColour::Default:
                return {};
            }
            return {};
        }
        if (role == Qt::DecorationRole && index.column() == 0) {
            switch (scan::RowMarker(QIdentityProxyModel::data(index, scan::kMarkerRole).toInt())) {
            case scan::RowMarker::Linking:
                return m_linking;
            case scan::RowMarker::NotLinking:
                return m_notLinking;
            case scan::RowMarker::None:
                return {};
            }
            return {};
        }
        return QIdentityProxyModel::data(index, role);
    }

private:
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

struct MainWindow::OwnSeams {
    MessageBoxes messages;
    FileDialogBoxes dialogs;
    SoundEffectPlayer sound;
    scan::HostRouter router;
    Seams seams() { return {&messages, &dialogs, &sound, &router}; }
};

MainWindow::MainWindow(QWidget* parent) : MainWindow(std::make_unique<OwnSeams>(), {}, parent) {}

MainWindow::MainWindow(const Seams& seams, QWidget* parent) : MainWindow(nullptr, seams, parent) {}

MainWindow::MainWindow(std::unique_ptr<OwnSeams> own, const Seams& seams, QWidget* parent)
    : QMainWindow(parent), m_own(std::move(own)),
      m_messages(m_own ? m_own->messages : *seams.messages),
      m_dialogs(m_own ? m_own->dialogs : *seams.dialogs),
      m_sound(m_own ? m_own->sound : *seams.sound), m_router(m_own ? m_own->router : *seams.router),
      m_engine(std::make_unique<scan::ScanEngine>(m_session, m_messages, m_sound, m_router)),
      m_client(new QWidget(this)) {
    if (m_own) {
        m_own->messages.setParentWindow(this);
        m_own->dialogs.setParentWindow(this);
    }
    setObjectName(QStringLiteral("Form1"));
    m_client->setObjectName(QStringLiteral("client"));
    setCentralWidget(m_client);
    m_client->installEventFilter(this);

    buildMenus();
    buildTopRow();
    buildWebsitesFrame();
    buildResultsFrame();
    buildOptionsFrame();
    buildStatisticsFrame();
    buildStatusBar();
    connectEngine();

    m_displayTimer.setSingleShot(true);
    connect(&m_displayTimer, &QTimer::timeout, this, &MainWindow::showDisplay);

    load();
}

MainWindow::~MainWindow() {
    // The secondary windows hold the session and the seams; they go first.
    delete m_automation;
    delete m_export;
    delete m_help;
    delete m_websiteWindow;
    m_engine.reset();
}

bool MainWindow::endWithBrowser() {
    return s_endWithBrowser;
}

template <typename W> W* MainWindow::place(W* widget, const QString& name) {
    widget->setObjectName(name);
    m_placed.insert(name, widget);
    return widget;
}

// ---- building ----

void MainWindow::buildMenus() {
    QMenuBar* bar = menuBar();
    auto menu = [bar](const char* name, const char* title) {
        QMenu* m = bar->addMenu(Text(title));
        m->setObjectName(Text(name));
        m->menuAction()->setObjectName(Text(name));
        return m;
    };
    auto item = [](QMenu* m, const QString& name, const char* caption) {
        QAction* a = m->addAction(Text(caption));
        a->setObjectName(name);
        return a;
    };

    // New, Open and Save act on projects; they do their work with the project commands.
    QMenu* file = menu("mnuFile", "File");
    m_newProject = item(file, QStringLiteral("mnuFileItem_0"), "New Project");
    m_openProject = item(file, QStringLiteral("mnuFileItem_1"), "Open Project");
    m_saveProject = item(file, QStringLiteral("mnuFileItem_2"), "Save Project");
    connect(m_newProject, &QAction::triggered, this, &MainWindow::newProject);
    connect(m_openProject, &QAction::triggered, this, &MainWindow::openProject);
    connect(m_saveProject, &QAction::triggered, this, &MainWindow::saveProject);
    connect(item(file, QStringLiteral("mnuFileItem_3"), "Exit"), &QAction::triggered, this,
            &QWidget::close);

    QMenu* view = menu("mnuView", "View");
    auto* modes = new QActionGroup(this);
    m_detailedView = item(view, QStringLiteral("mnuViewItem_0"), "Detailed Website Entry Form");
    m_simpleViewAction = item(view, QStringLiteral("mnuViewItem_1"), "Simple Website Entry Form");
    for (QAction* a : {m_detailedView, m_simpleViewAction}) {
        a->setCheckable(true);
        modes->addAction(a);
    }
    connect(m_detailedView, &QAction::triggered, this, [this] { ApplyViewMode(false); });
    connect(m_simpleViewAction, &QAction::triggered, this, [this] { ApplyViewMode(true); });

    QMenu* help = menu("mnuHelp", "Help");
    connect(item(help, QStringLiteral("mnuHelpItem_0"), "View Help File"), &QAction::triggered,
            this, &MainWindow::openHelp);

    QMenu* about = menu("mnuAbout", "About");
    connect(item(about, QStringLiteral("mnuAboutItem_0"), "About this software"),
            &QAction::triggered, this, &MainWindow::openAbout);
}

void MainWindow::buildTopRow() {
    QWidget* c = m_client;
    auto* newButton = place(Button(c, Text("New"), Text("Clear all data and create a new project")),
                            QStringLiteral("cmdNew"));
    auto* open =
        place(Button(c, Text("Open"), Text("Open an existing project")), QStringLiteral("cmdOpen"));
    auto* save = place(Button(c, Text("Save"),
                              Text("Save this project to a file so that you can run it any time")),
                       QStringLiteral("cmdSave"));
    m_projectButtons = {newButton, open, save};
    connect(newButton, &QPushButton::clicked, this, &MainWindow::newProject);
    connect(open, &QPushButton::clicked, this, &MainWindow::openProject);
    connect(save, &QPushButton::clicked, this, &MainWindow::saveProject);

    auto* automation = place(Button(c, Text("Automation")), QStringLiteral("Command7"));
    connect(automation, &QPushButton::clicked, this, &MainWindow::openAutomation);

    m_start = place(Button(c, Text("Start"), Text("Begin searching for links")),
                    QStringLiteral("Command1"));
    m_stop =
        place(Button(c, Text("Stop"), Text("Stop scanning for links")), QStringLiteral("cmdStop"));
    // No action of its own: a scan goes on with Start.
    auto* resume = place(Button(c, Text("Resume")), QStringLiteral("cmdResume"));
    resume->setEnabled(false);
    m_next = place(
        Button(c, Text("Next"), Text("Skip to the next website in your list of sites to check")),
        QStringLiteral("cmdNextSearch"));
    connect(m_start, &QPushButton::clicked, this, [this] {
        if (m_engine)
            m_engine->StartScan();
    });
    connect(m_stop, &QPushButton::clicked, this, [this] {
        if (m_engine)
            m_engine->StopScan();
    });
    connect(m_next, &QPushButton::clicked, this, [this] {
        if (m_engine)
            m_engine->NextSite();
    });

    // Stored and restored only; nothing else reads them.
    m_combo1 = place(new QComboBox(c), QStringLiteral("Combo1"));
    m_combo1->addItems({Text("Google Search"), Text("Yahoo Search")});
    m_combo1->setPlaceholderText(Text("Which Search Type?"));
    m_combo2 = place(new QComboBox(c), QStringLiteral("Combo2"));
    m_combo2->addItems({Text("~100 Domains"), Text("~200 Domains"), Text("~500 Domains"),
                        Text("~1000 Domains"), Text("~5000 Domains"), Text("~10000 Domains")});
    m_combo2->setPlaceholderText(Text("How Many Search Results?"));
    for (QComboBox* box : {m_combo1, m_combo2}) {
        box->setAccessibleName(box->placeholderText());
        box->setCurrentIndex(-1);
    }

    m_website = place(Button(c, QString()), QStringLiteral("cmdWebsite"));
    connect(m_website, &QPushButton::clicked, this, &MainWindow::openWebsite);
}

void MainWindow::buildWebsitesFrame() {
    auto* frame = place(new QGroupBox(Text("Websites"), m_client), QStringLiteral("Frame1"));
    frame->setAccessibleName(frame->title());

    auto* domainLabel =
        place(Caption(frame, Text("Find links to this website:")), QStringLiteral("Label1"));
    m_domain = place(Labelled(new QLineEdit(frame), domainLabel,
                              Text("Enter the website you want to find links to from remote "
                                   "sites")),
                     QStringLiteral("txtDomain"));

    struct Entry {
        const char* field;
        const char* label;
        const char* caption;
        const char* toolTip;
    };
    static constexpr Entry kEntries[5] = {
        {"Text1", "Label2",
         "Website URL:", "Enter the URL of the website/page you want to search for links."},
        {"Text2", "Label3", "Links expected:",
         "Optional - Enter the number of links you expect to be on this site.  Default is 1."},
        {"Text3", "Label15", "Link URL:",
         "Optional - Enter the URL you would to use for this site in your generated HTML pages."},
        {"Text4", "Label16", "Link Text:",
         "Optional - Enter the link text you would to use for this site in your generated HTML "
         "pages."},
        {"Text5", "Label17", "Description:",
         "Optional - Enter a description of this website to appear on your generated HTML "
         "pages."},
    };
    for (int i = 0; i < 5; ++i) {
        auto* label = place(Caption(frame, Text(kEntries[i].caption)), Text(kEntries[i].label));
        m_entry[i] = place(Labelled(new QLineEdit(frame), label, Text(kEntries[i].toolTip)),
                           Text(kEntries[i].field));
        if (i > 0)
            m_detailedOnly << label << m_entry[i];
    }
    // The entry fields tell what they are for in the status bar when they take the focus.
    for (QLineEdit* field : {m_domain, m_entry[0], m_entry[1], m_entry[2], m_entry[3], m_entry[4]})
        field->installEventFilter(this);

    auto* add = place(Button(frame, Text("Add"), Text("Add the site you have entered above")),
                      QStringLiteral("cmdAdd"));
    auto* del = place(Button(frame, Text("Delete"), Text("Delete the selected site")),
                      QStringLiteral("cmbDel"));
    auto* edit = place(Button(frame, Text("Edit"), Text("Edit the selected site")),
                       QStringLiteral("cmdEdit"));
    connect(add, &QPushButton::clicked, this, [this] { addPartner(false); });
    for (QLineEdit* field : {m_entry[0], m_entry[1]})
        connect(field, &QLineEdit::returnPressed, this, [this] { addPartner(true); });
    connect(m_entry[1], &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!m_engine)
            return;
        const QString kept = m_engine->CheckLinksExpected(text);
        if (kept != text)
            m_entry[1]->setText(kept);
    });
    const auto deletePartner = [this] {
        if (m_engine)
            m_engine->DeletePartnerSite(selectedPartner());
    };
    connect(del, &QPushButton::clicked, this, deletePartner);
    connect(edit, &QPushButton::clicked, this, &MainWindow::EditPartnerSite);
    // No action of its own: partners are imported in "Automation".
    place(Button(frame, Text("Import")), QStringLiteral("Command4"))->setEnabled(false);

    m_partners =
        place(ListView(frame, Text("Check these sites for links:")), QStringLiteral("List1"));
    m_partners->setModel(&m_session.partners);
    m_popup1 = new QMenu(this);
    m_popup1->setObjectName(QStringLiteral("Popup1"));
    QAction* deleteSite = m_popup1->addAction(Text("Delete Site"));
    deleteSite->setObjectName(QStringLiteral("mnuPopup1Item_0"));
    connect(deleteSite, &QAction::triggered, this, deletePartner);
    m_partners->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_partners, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { m_popup1->popup(m_partners->viewport()->mapToGlobal(at)); });

    auto* queuedLabel = place(Caption(frame, Text("Webpages Queued:")), QStringLiteral("Label4"));
    m_queue = place(new QListView(frame), QStringLiteral("List2"));
    m_queueShown = new QueueSnapshot(m_session.queue, this);
    m_queue->setModel(m_queueShown);
    m_queue->setUniformItemSizes(true);
    // Outside a scan the list follows the queue at once; during one, with the figures.
    connect(m_queueShown, &QueueSnapshot::queueChanged, this, [this] {
        if (m_scanShown)
            scheduleDisplay();
        else
            m_queueShown->refresh();
    });
    m_queue->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Labelled(m_queue, queuedLabel,
             Text("These webpages are queued about to be scanned for links to your Main Site"));

    // The domain field is the session's domain; a scan writes it back normalised.
    connect(m_domain, &QLineEdit::textChanged, &m_session, &scan::ScanSession::setDomain);
    connect(&m_session, &scan::ScanSession::domainChanged, this, [this](const QString& domain) {
        if (m_domain->text() != domain)
            m_domain->setText(domain);
    });
}

void MainWindow::buildResultsFrame() {
    auto* frame = place(new QGroupBox(Text("Link Results"), m_client), QStringLiteral("Frame2"));
    frame->setAccessibleName(frame->title());

    m_tabs = place(new QTabWidget(frame), QStringLiteral("TabStrip1"));
    m_tabs->setAccessibleName(frame->title());
    m_tabs->setIconSize(QSize(16, 16));
    const char* tabs[4][2] = {{"Links", ":/images/tab_links.png"},
                              {"Web", ":/images/tab_web.png"},
                              {"Pages", ":/images/tab_pages.png"},
                              {"Reports", ":/images/tab_reports.png"}};
    // The tabs only switch; the views stand over the tab strip in the frame.
    for (const auto& tab : tabs)
        m_tabs->addTab(new QWidget, QIcon(Text(tab[1])), Text(tab[0]));

    m_results = place(ListView(frame, Text("Link Results:")), QStringLiteral("List3"));
    bindScanList(m_results, &m_session.results, new ResultRowLook(this));
    auto* errorLabel = place(Caption(frame, Text("Errors/Warnings:")), QStringLiteral("lblErr"));
    m_errors = place(Labelled(ListView(frame, {}), errorLabel), QStringLiteral("lstErr"));
    bindScanList(m_errors, &m_session.errors);

    auto nav = [this, frame](const char* name, const char* picture, const char* toolTip) {
        auto* b = place(new QToolButton(frame), Text(name));
        b->setIcon(QIcon(Text(picture)));
        b->setIconSize(QSize(20, 20));
        b->setToolTip(Text(toolTip));
        b->setAccessibleName(Text(toolTip));
        return b;
    };
    auto* back = nav("cmdBack", ":/images/nav_back.png", "back");
    auto* forward = nav("cmdForward", ":/images/nav_forward.png", "forward");
    auto* stop = nav("cmdWebStop", ":/images/nav_stop.png", "stop");
    auto* refresh = nav("cmdRefresh", ":/images/nav_refresh.png", "refresh");
    auto* go = nav("cmdGo", ":/images/nav_go.png", "browse the entered url");
    auto* address = place(new QLineEdit(frame), QStringLiteral("txtURL"));
    address->setAccessibleName(Text("URL:"));
    QWidget* web[] = {back, forward, stop, refresh, go, address};
    m_browser = place(new QWebEngineView(frame), QStringLiteral("WebBrowser1"));
    m_browser->setAccessibleName(Text("Web"));
    ConfigureBrowserView(m_browser);
    const auto statusPanel1 = [this](const QString& text) { showStatusNow(0, text); };
    m_webTab =
        new WebTab({m_browser, address, go, back, forward, stop, refresh}, statusPanel1, this);
    new ResultActions(
        m_session, m_results, m_errors,
        [this](const QString& url) {
            selectResultsTab(2);
            m_webTab->browse(url);
        },
        statusPanel1, this);

    buildPageBuilder(frame);
    QWidget* pageBuilder = m_placed.value(QStringLiteral("Frame5"));

    m_report = place(new QWebEngineView(frame), QStringLiteral("WebBrowser2"));
    m_report->setAccessibleName(Text("Reports"));
    const auto followLink = [this](const QUrl& url) {
        selectResultsTab(2);
        m_webTab->browse(url.toString());
    };
    m_report->setPage(new ReportPage(followLink, m_report));
    QWebEngineSettings* reportSettings = m_report->settings();
    reportSettings->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    reportSettings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    reportSettings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    reportSettings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    connect(
        m_report->page(), &QWebEnginePage::newWindowRequested, this,
        [followLink](QWebEngineNewWindowRequest& request) { followLink(request.requestedUrl()); });
    auto* saveReport = place(Button(frame, Text("Save Report As")), QStringLiteral("Command8"));
    connect(saveReport, &QPushButton::clicked, this,
            [this] { output::SaveReportAs(m_messages, m_dialogs); });

    for (QTreeView* list : {m_partners, m_results, m_errors}) {
        list->header()->setSectionsClickable(true);
        connect(list->header(), &QHeaderView::sectionClicked, this,
                [this, list](int column) { sortColumnClicked(list, column); });
    }

    m_shownByTab[0] = {m_results, m_errors, errorLabel};
    m_shownByTab[1] = {m_browser};
    for (QWidget* w : web)
        m_shownByTab[1] << w;
    m_shownByTab[2] = {pageBuilder};
    m_shownByTab[3] = {m_report, saveReport};
    for (const QList<QWidget*>& shown : m_shownByTab)
        m_tabViews << shown;

    connect(m_tabs, &QTabWidget::currentChanged, this, &MainWindow::SelectResultsTab);
}

void MainWindow::buildPageBuilder(QWidget* frame2) {
    auto* frame = place(new QGroupBox(Text("Page Builder"), frame2), QStringLiteral("Frame5"));
    frame->setAccessibleName(frame->title());
    // Generating and saving the page are the page builder's own commands.
    auto* generate = place(Button(frame, Text("Generate Links")), QStringLiteral("Command5"));
    auto* saveWebpage = place(Button(frame, Text("Save Webpage")), QStringLiteral("Command6"));
    connect(generate, &QPushButton::clicked, this, [this] {
        if (output::GenerateLinksHtml(m_session, m_messages, m_bullet->isChecked(),
                                      m_newWindow->isChecked()))
            showHtmlTexts();
    });
    connect(saveWebpage, &QPushButton::clicked, this,
            [this] { output::SaveWebpage(m_session, m_messages, m_dialogs); });
    place(Caption(frame, Text("Options")), QStringLiteral("Label18"));
    m_bullet = place(new QCheckBox(Text("Bulleted List"), frame), QStringLiteral("chkBullet"));
    m_newWindow =
        place(new QCheckBox(Text("Links open in new window"), frame), QStringLiteral("chkNewWin"));
    for (QCheckBox* box : {m_bullet, m_newWindow})
        box->setAccessibleName(box->text());

    const char* labels[3] = {"Label12", "Label13", "Label14"};
    for (int i = 0; i < 3; ++i) {
        auto* label = place(Caption(frame, Text(kHtmlTexts[i].label)), Text(labels[i]));
        m_html[i] = place(Labelled(new QPlainTextEdit(frame), label, Text(kHtmlTexts[i].toolTip)),
                          Text(kHtmlTexts[i].key));
    }
}

void MainWindow::buildOptionsFrame() {
    auto* frame = place(new QGroupBox(Text("Options"), m_client), QStringLiteral("Frame4"));
    frame->setAccessibleName(frame->title());

    // A long caption wraps in a label beside its box; a click on it ticks the box.
    auto wrappedCheck = [this, frame](const char* name, const char* labelName, const char* caption,
                                      const QString& toolTip) {
        auto* box = place(new QCheckBox(frame), Text(name));
        box->setAccessibleName(Text(caption));
        box->setToolTip(toolTip);
        auto* label = place(Caption(frame, Text(caption)), Text(labelName));
        label->setWordWrap(true);
        label->setToolTip(toolTip);
        label->setBuddy(box);
        label->installEventFilter(this);
        m_checkLabels << label;
        return box;
    };
    auto check = [this, frame](const char* name, const char* caption, const QString& toolTip) {
        auto* box = place(new QCheckBox(Text(caption), frame), Text(name));
        box->setAccessibleName(Text(caption));
        box->setToolTip(toolTip);
        return box;
    };

    place(Caption(frame, Text("Go to the next site:")), QStringLiteral("Label5"));
    m_auto2 =
        wrappedCheck("chkAuto2", "lblAuto2", "When the expected number of links has been found",
                     Text("Skipping to the next site as soon as the expected number of "
                          "links are found will increase the speed of your searches "
                          "significantly"));
    m_auto = wrappedCheck("chkAuto", "lblAuto",
                          "When this many pages have been scanned:", kPageRuleHelp);
    m_advance = place(new QComboBox(frame), QStringLiteral("cmbAdvance"));
    m_advance->addItems(scan::PageLimitItems());
    m_advance->setAccessibleName(Text("When this many pages have been scanned:"));
    m_advance->setToolTip(kPageRuleHelp);

    auto* timeoutLabel = place(Caption(frame, Text("Timeout:")), QStringLiteral("Label7"));
    place(Caption(frame, Text("After")), QStringLiteral("Label8"));
    m_timeout = place(Labelled(new QLineEdit(frame), timeoutLabel, kPageRuleHelp),
                      QStringLiteral("txtTimeout"));
    place(Caption(frame, Text("seconds")), QStringLiteral("Label9"));

    m_redirect = check("chkRedirect", "Redirected Links:",
                       Text("Attempt to find links that go through a redirect script, and treat "
                            "them as valid."));
    m_insecure = check("chkAcceptInvalidCerts", "Accept invalid certificates",
                       Text("Read pages of https sites whose certificate fails verification. "
                            "They are still listed as errors."));

    auto* lastLabel = place(Caption(frame, Text("When finished scanning the last website:")),
                            QStringLiteral("Label10"));
    lastLabel->setWordWrap(true);
    m_lastSearch =
        place(Labelled(new QComboBox(frame), lastLabel), QStringLiteral("cmbLastSearch"));
    m_lastSearch->addItems({Text("Stop Immediately"), Text("Continue Until Stopped")});

    place(Caption(frame, Text("Audio:")), QStringLiteral("Label11"));
    m_audioEmail = check("chkAudioEmail", "On Link Found", {});
    m_audioNext = check("chkAudioNext", "On Next Website", {});
    m_audioFinished = check("chkAudioFinished", "On Finished", {});
}

void MainWindow::buildStatisticsFrame() {
    auto* frame = place(new QGroupBox(Text("Statistics"), m_client), QStringLiteral("Frame3"));
    frame->setAccessibleName(frame->title());

    struct Row {
        const char* label;
        const char* heading;
        const char* caption;
    };
    static constexpr Row kRows[5] = {{"Label20", "This Scan", "Pages Scanned:"},
                                     {"Label21", "This Scan", "Pages Found:"},
                                     {"Label22", "This Scan", "Links Found:"},
                                     {"Label24", "Historically", "Pages Scanned:"},
                                     {"Label25", "Historically", "Links Found:"}};
    for (const auto& [name, text] :
         {std::pair{"Label19", "This Scan"}, std::pair{"Label23", "Historically"}}) {
        auto* heading = place(Caption(frame, Text(text)), Text(name));
        QFont bold = heading->font();
        bold.setBold(true);
        heading->setFont(bold);
    }
    for (int i = 0; i < 5; ++i) {
        place(Caption(frame, Text(kRows[i].caption)), Text(kRows[i].label));
        m_stats[i] =
            place(Caption(frame, QStringLiteral("0")), QStringLiteral("lblStats_%1").arg(i));
        m_stats[i]->setAlignment(Qt::AlignRight | Qt::AlignTop);
        m_stats[i]->setAccessibleName(Text(kRows[i].heading) + QLatin1Char(' ') +
                                      Text(kRows[i].caption));
    }

    auto* view = place(Button(frame, Text("View Database"),
                              Text("Spider.mdb stores all the emails you have found")),
                       QStringLiteral("cmdViewDatabase"));
    auto* exportButton =
        place(Button(frame, Text("Export Emails"), Text("Export all the emails you have found")),
              QStringLiteral("Command2"));
    auto* deleteButton =
        place(Button(frame, Text("Delete All Emails"), Text("Delete all saved emails")),
              QStringLiteral("Command3"));
    m_emailButtons = {view, exportButton, deleteButton};
    // A file manager that cannot be started is not reported.
    connect(view, &QPushButton::clicked, this, [] { ViewDatabase(); });
    connect(exportButton, &QPushButton::clicked, this, &MainWindow::openExport);
    connect(deleteButton, &QPushButton::clicked, this, &MainWindow::deleteAllEmails);
}

void MainWindow::buildStatusBar() {
    // Placed by the arrangement like every other control, at the foot of the client area.
    m_statusBar = place(new QStatusBar(m_client), QStringLiteral("StatusBar1"));
    m_statusBar->setSizeGripEnabled(false);
    m_statusBar->setAccessibleName(Text("Status"));
    const char* names[4] = {"Status", "Page", "Site", "Timeout"};
    for (int i = 0; i < 4; ++i) {
        m_panels[i] = new QLabel(m_statusBar);
        m_panels[i]->setObjectName(QStringLiteral("StatusBar1Panel%1").arg(i + 1));
        m_panels[i]->setAccessibleName(Text(names[i]));
        m_panels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        m_panels[i]->setIndent(3);
    }
    m_progress = place(new QProgressBar(m_client), QStringLiteral("pb1"));
    m_progress->setAccessibleName(Text("Page progress"));
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
}

// ---- the load step and the options ----

void MainWindow::load() {
    m_resizedOnce = false;
    ApplyViewMode(
        util::EqualsCI(ReadSetting(QStringLiteral("SimpleView"), Text("False")), u"true"));
    LoadOptions();
    m_session.LoadCounters();
    showDisplay();

    const Branding& brand = BrandingRecord();
    setWindowIcon(QIcon(QStringLiteral(":/images/corvantis.png")));
    showProjectName();
    m_website->setText(Text("Visit ") + brand.websiteAddress);
    m_website->setAccessibleName(m_website->text());

    if (HelpWindow::showAtStartup())
        openHelp();

    m_browser->load(QUrl::fromUserInput(brand.websiteAddress));
    m_report->setUrl(QUrl(QStringLiteral("about:blank")));
    SelectResultsTab();

    // The window opens at its first client size, arranged by the resize that brings.
    resize(TwipsToPixels(kFirstClientTwips.width(), logicalDpiX()),
           TwipsToPixels(kFirstClientTwips.height(), logicalDpiY()) +
               menuBar()->sizeHint().height());
    layout()->activate();
    ArrangeMainWindow();
}

void MainWindow::LoadOptions() {
    m_columnsSized = false;
    m_session.resetRunCounters();

    // The scan's own options by the rule the command-line scanner reads them with.
    const scan::ScanOptions o = scan::ScanOptions::FromSettings();
    m_combo1->setCurrentIndex(ReadPositionSetting(QStringLiteral("Combo1"), -1, m_combo1->count()));
    const QString timeout = ReadSetting(QStringLiteral("txtTimeout"), kTimeoutDefault);
    m_timeout->setText(util::ToInt16(timeout) ? timeout : kTimeoutDefault);
    m_redirect->setChecked(o.chkRedirect);
    m_insecure->setChecked(o.acceptInvalidCertificates);
    m_combo2->setCurrentIndex(ReadPositionSetting(QStringLiteral("Combo2"), -1, m_combo2->count()));
    m_auto->setChecked(o.chkAuto);
    m_auto2->setChecked(o.chkAuto2);
    m_audioEmail->setChecked(o.chkAudioEmail);
    m_audioNext->setChecked(o.chkAudioNext);
    m_audioFinished->setChecked(o.chkAudioFinished);
    m_newWindow->setChecked(ReadCheckSetting(QStringLiteral("chkNewWin"), true));
    m_bullet->setChecked(ReadCheckSetting(QStringLiteral("chkBullet"), false));
    for (int i = 0; i < 3; ++i)
        output::PageBuilderText(m_session, i) =
            ReadSetting(Text(kHtmlTexts[i].key), Text(kHtmlTexts[i].byDefault));
    showHtmlTexts();
    m_advance->setCurrentIndex(ReadPositionSetting(
        QStringLiteral("cmbAdvance"), scan::kPageLimitDefaultPosition, m_advance->count()));
    m_pageLimit = o.PageLimit;
    m_lastSearch->setCurrentIndex(
        ReadPositionSetting(QStringLiteral("cmbLastSearch"), 0, m_lastSearch->count()));
    pushOptions();
    connectOptions();
}

// Each option is stored the moment its control changes.
void MainWindow::connectOptions() {
    for (QCheckBox* box : {m_redirect, m_insecure, m_auto, m_auto2, m_audioEmail, m_audioNext,
                           m_audioFinished, m_newWindow, m_bullet})
        connect(box, &QCheckBox::toggled, this, [this, box](bool on) {
            WriteSetting(box->objectName(), on ? QStringLiteral("1") : QStringLiteral("0"));
            pushOptions();
        });
    for (QComboBox* box : {m_combo1, m_combo2, m_lastSearch})
        connect(box, &QComboBox::currentIndexChanged, this, [box](int position) {
            WriteSetting(box->objectName(), QString::number(position));
        });
    connect(m_advance, &QComboBox::currentIndexChanged, this, [this](int position) {
        WriteSetting(m_advance->objectName(), QString::number(position));
        m_pageLimit = scan::PageLimitForPosition(position, m_pageLimit);
        pushOptions();
    });
    // An empty box stores nothing; a text that is not a 16-bit number becomes "60".
    connect(m_timeout, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!text.isEmpty()) {
            if (!util::ToInt16(text)) {
                m_timeout->setText(kTimeoutDefault);
                return;
            }
            WriteSetting(m_timeout->objectName(), text);
        }
        pushOptions();
    });
    for (int i = 0; i < 3; ++i)
        connect(m_html[i], &QPlainTextEdit::textChanged, this, [this, i] {
            if (m_showingHtml)
                return; // only the user's own edits change the text
            m_shownHtml[i] = TypedText(m_html[i]);
            output::SetPageBuilderText(m_session, i, m_shownHtml[i]);
        });
}

void MainWindow::pushOptions() {
    scan::ScanOptions o;
    o.chkAuto = m_auto->isChecked();
    o.chkAuto2 = m_auto2->isChecked();
    o.PageLimit = m_pageLimit;
    o.timeoutSeconds = scan::TimeoutFromText(m_timeout->text());
    o.chkRedirect = m_redirect->isChecked();
    o.acceptInvalidCertificates = m_insecure->isChecked();
    o.chkAudioEmail = m_audioEmail->isChecked();
    o.chkAudioNext = m_audioNext->isChecked();
    o.chkAudioFinished = m_audioFinished->isChecked();
    m_session.setOptions(o);
}

// ---- layout and view modes ----

void MainWindow::ApplyViewMode(bool simple) {
    for (QWidget* w : m_detailedOnly)
        w->setVisible(!simple);
    (simple ? m_simpleViewAction : m_detailedView)->setChecked(true);
    WriteSetting(QStringLiteral("SimpleView"), simple ? Text("True") : Text("False"));
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
    for (auto it = layout.rects.cbegin(); it != layout.rects.cend(); ++it)
        if (QWidget* w = m_placed.value(it.key()))
            w->setGeometry(TwipsToPixels(it.value(), dpi));

    // The queue list keeps its last pixels clear of the frame's bottom line, as a
    // list box that shows whole rows does.
    QRect queue = m_queue->geometry();
    queue.setHeight(qMax(0, queue.height() - TwipsToPixels(60, dpi)));
    m_queue->setGeometry(queue);

    int left = 0;
    for (int i = 0; i < 4; ++i) {
        const int right = left + layout.panelWidths[i];
        const int x = TwipsToPixels(left, dpi);
        m_panels[i]->setGeometry(x, 0, TwipsToPixels(right, dpi) - x, m_statusBar->height());
        left = right;
    }
    m_progress->raise();

    if (!m_columnsSized) {
        const auto size = [dpi](QTreeView* view, const QList<int>& widths) {
            for (int i = 0; i < widths.size(); ++i)
                view->header()->resizeSection(i, TwipsToPixels(widths[i], dpi));
        };
        size(m_partners, layout.list1Columns);
        size(m_results, layout.list3Columns);
        size(m_errors, layout.lstErrColumns);
        m_columnsSized = true;
    }
}

void MainWindow::selectResultsTab(int tab) {
    if (tab >= 1 && tab <= 4)
        m_tabs->setCurrentIndex(tab - 1);
}

void MainWindow::SelectResultsTab() {
    const int tab = m_tabs->currentIndex() + 1;
    if (tab < 1 || tab > 4)
        return;
    for (QWidget* w : m_tabViews)
        w->setVisible(m_shownByTab[tab - 1].contains(w));
    if (tab == 4)
        for (QWidget* w : m_shownByTab[3])
            w->raise();
}

// ---- the scan ----

// The lists a scan fills repaint with the figures, not on every row: while a scan
// runs, a change freezes the list's painting until the next display tick. The
// freeze comes first, so the view's own handling of the change paints nothing.
void MainWindow::bindScanList(QAbstractItemView* view, QAbstractItemModel* model,
                              QAbstractItemModel* shown) {
    const auto changed = [this, view] {
        if (!m_scanShown)
            return;
        if (view->updatesEnabled())
            view->setUpdatesEnabled(false);
        m_pendingLists = true;
        scheduleDisplay();
    };
    connect(model, &QAbstractItemModel::rowsAboutToBeInserted, this, changed);
    connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this, changed);
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, changed);
    connect(model, &QAbstractItemModel::layoutAboutToBeChanged, this, changed);
    connect(model, &QAbstractItemModel::dataChanged, this, changed);
    if (auto* proxy = qobject_cast<QAbstractProxyModel*>(shown))
        proxy->setSourceModel(model);
    view->setModel(shown ? shown : model);
    m_scanLists << view;
}

void MainWindow::thawScanLists() {
    if (m_queueShown->isStale())
        m_queueShown->refresh();
    for (QAbstractItemView* view : m_scanLists)
        if (!view->updatesEnabled())
            view->setUpdatesEnabled(true);
    m_pendingLists = false;
}

void MainWindow::connectEngine() {
    scan::ScanEngine* engine = m_engine.get();
    connect(engine, &scan::ScanEngine::controlsChanged, this, &MainWindow::applyControls);
    connect(engine, &scan::ScanEngine::focusRequested, this, [this](scan::EntryField field) {
        (field == scan::EntryField::Domain ? m_domain : m_entry[0])->setFocus();
    });
    connect(engine, &scan::ScanEngine::statusText, this,
            [this](scan::StatusPanel panel, const QString& text) {
                m_pendingPanels[size_t(panel)] = text;
                scheduleDisplay();
            });
    connect(engine, &scan::ScanEngine::progressChanged, this, [this](int percent) {
        m_pendingProgress = percent;
        scheduleDisplay();
    });
    // Every tick shows the latest counters.
    connect(&m_session, &scan::ScanSession::statisticsChanged, this, &MainWindow::scheduleDisplay);
    connect(engine, &scan::ScanEngine::reportRequested, this, &MainWindow::showReport);
    // The final figures of a scan are shown at once.
    connect(engine, &scan::ScanEngine::scanStopped, this, &MainWindow::showDisplay);
    applyControls(engine->controls());
}

void MainWindow::applyControls(const scan::ScanControls& controls) {
    // Stop is offered exactly while a scan runs.
    m_scanShown = controls.stop;
    if (!m_scanShown)
        thawScanLists();
    m_start->setEnabled(controls.start);
    m_stop->setEnabled(controls.stop);
    m_next->setEnabled(controls.next);
    for (QPushButton* b : m_projectButtons)
        b->setEnabled(controls.project);
    m_newProject->setEnabled(controls.project);
    m_openProject->setEnabled(controls.project);
    for (QPushButton* b : m_emailButtons)
        b->setEnabled(controls.email);
}

void MainWindow::showStatusNow(int panel, const QString& text) {
    m_pendingPanels[size_t(panel)].reset();
    m_panels[size_t(panel)]->setText(text);
}

void MainWindow::scheduleDisplay() {
    if (m_displayTimer.isActive())
        return;
    const int interval = qBound(kDisplayIntervalMs, int(m_repaintCostMs * kDisplayCostShare),
                                kSlowestDisplayIntervalMs);
    const qint64 since = m_sinceDisplay.isValid() ? m_sinceDisplay.elapsed() : interval;
    m_displayTimer.start(int(qMax<qint64>(0, interval - since)));
}

void MainWindow::showDisplay() {
    m_displayTimer.stop();
    for (size_t i = 0; i < m_pendingPanels.size(); ++i)
        if (m_pendingPanels[i]) {
            m_panels[i]->setText(*m_pendingPanels[i]);
            m_pendingPanels[i].reset();
        }
    if (m_pendingProgress) {
        m_progress->setValue(*m_pendingProgress);
        m_pendingProgress.reset();
    }
    const scan::ScanCounters& c = m_session.counters();
    const qint32 values[5] = {c.runPagesScanned, c.runPagesFound, c.runLinksFound,
                              c.lHistWebScanned, c.lHistEmailFound};
    for (int i = 0; i < 5; ++i)
        m_stats[i]->setText(QString::number(values[i]));
    if (m_pendingLists || m_queueShown->isStale())
        thawScanLists();
    m_sinceDisplay.restart();
}

// ---- the partner list ----

int MainWindow::selectedPartner() const {
    const QModelIndexList rows = m_partners->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void MainWindow::addPartner(bool fromEnter) {
    if (!m_engine)
        return;
    scan::PartnerEntry entry{m_entry[0]->text(), m_entry[1]->text(), m_entry[2]->text(),
                             m_entry[3]->text(), m_entry[4]->text()};
    m_engine->AddPartnerSite(entry);
    const QString written[5] = {entry.Text1, entry.Text2, entry.Text3, entry.Text4, entry.Text5};
    for (int i = 0; i < 5; ++i)
        if (m_entry[i]->text() != written[i])
            m_entry[i]->setText(written[i]);
    if (fromEnter)
        m_entry[0]->clear();
}

// The editor is not modal: a second Edit brings it forward on the newly chosen row.
void MainWindow::EditPartnerSite() {
    const int row = selectedPartner();
    if (row < 0)
        return;
    if (!m_siteEditor) {
        m_siteEditor = new SiteEditorDialog(m_session, this);
        m_siteEditor->setAttribute(Qt::WA_QuitOnClose, false);
        registerWindow(m_siteEditor);
    }
    m_siteEditor->editRow(row);
    m_siteEditor->show();
    m_siteEditor->raise();
    m_siteEditor->activateWindow();
}

// The scan finds partners by position, so the partner list keeps its order
// while a scan runs.
void MainWindow::sortColumnClicked(QTreeView* list, int column) {
    if (list == m_partners && m_session.scanRunning()) {
        m_messages.inform(Text("You cannot sort this column while a search is running."));
        return;
    }
    EnhListView_SortColumns(list, column + 1);
}

// ---- projects, the page builder and the report ----

void MainWindow::newProject() {
    output::NewProject(m_session);
    m_entry[0]->clear();
    m_entry[1]->clear();
    m_session.setProjectPath({});
    showHtmlTexts();
    showProjectName();
}

void MainWindow::openProject() {
    if (output::OpenProject(m_session, m_messages, m_dialogs)) {
        showHtmlTexts();
        showProjectName();
    }
}

void MainWindow::saveProject() {
    output::SaveProject(m_session, m_messages, m_dialogs);
    showProjectName();
}

// The caption names the project file last opened or saved.
void MainWindow::showProjectName() {
    const Branding& brand = BrandingRecord();
    QString title = brand.productName + Text(" by ") + brand.companyName;
    if (!m_session.projectPath().isEmpty())
        title += Text(" - ") + QFileInfo(m_session.projectPath()).fileName();
    setWindowTitle(title);
}

// The boxes follow the session's page-builder texts after a command changed them.
// The texts stay exactly as they came: showing one does not write it back.
void MainWindow::showHtmlTexts() {
    for (int i = 0; i < 3; ++i) {
        const QString& text = output::PageBuilderText(m_session, i);
        if (text == m_shownHtml[i])
            continue;
        m_shownHtml[i] = text;
        m_showingHtml = true;
        m_html[i]->setPlainText(WithLf(text));
        m_showingHtml = false;
    }
}

void MainWindow::showReport() {
    const output::ReportBuild report =
        output::BuildScanReport(m_session, m_session.counters(), m_clock);
    if (!report.ok()) {
        m_messages.inform(report.error);
        return;
    }
    m_report->load(QUrl::fromLocalFile(report.path));
}

// ---- secondary windows ----

void MainWindow::adoptSplash(SplashWindow* splash) {
    if (BrandingRecord().useSplashIcon)
        setWindowIcon(splash->windowIcon());
    registerWindow(splash);
}

void MainWindow::registerWindow(QWidget* window) {
    m_windows.add(window);
}

void MainWindow::openAutomation() {
    if (!m_automation) {
        m_automation = new AutomationWindow(m_session, m_messages, m_dialogs, m_router, this);
        registerWindow(m_automation);
    }
    m_automation->show();
    m_automation->raise();
    m_automation->activateWindow();
}

void MainWindow::openExport() {
    if (!m_export) {
        m_export = new ExportWindow(m_messages, m_dialogs, this);
        m_export->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_export, &ExportWindow::emailsDeleted, this, [this] {
            m_session.results.clear();
            m_session.resetLinksFound();
        });
        registerWindow(m_export);
    }
    m_export->show();
    m_export->raise();
    m_export->activateWindow();
}

void MainWindow::deleteAllEmails() {
    if (!ConfirmDeleteAllEmails(m_messages))
        return;
    m_session.results.clear();
    m_session.resetLinksFound();
}

void MainWindow::openHelp() {
    if (!m_help) {
        m_help = new HelpWindow(this);
        registerWindow(m_help);
    }
    m_help->openIfPresent();
}

void MainWindow::openAbout() {
    if (!m_about) {
        m_about = new AboutWindow(this);
        connect(m_about, &AboutWindow::websiteRequested, this, &MainWindow::openWebsite);
        registerWindow(m_about);
    }
    m_about->show();
    m_about->raise();
}

void MainWindow::openWebsite() {
    // Not a child: it may outlive this window (endWithBrowser).
    if (!m_websiteWindow)
        m_websiteWindow = new WebsiteWindow;
    m_websiteWindow->open(BrandingRecord().websiteAddress);
}

// ---- shutdown ----

bool MainWindow::runExitCheck() {
    const bool mayClose = output::RunExitCheck(m_session, m_messages, m_dialogs);
    showProjectName();
    return mayClose;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!m_closed && !runExitCheck()) {
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
    // Ending the engine ends the scan and closes its connections, without the
    // report or the finished cue of a Stop.
    m_engine.reset();
    m_displayTimer.stop();
    m_windows.closeAll();
    if (m_websiteWindow && m_websiteWindow->isOpen()) {
        s_endWithBrowser = true;
        WebsiteWindow* browser = m_websiteWindow;
        connect(browser, &WebsiteWindow::closed, browser, &QObject::deleteLater);
        m_websiteWindow = nullptr;
    }
}

// Times every repaint of the window, so the scan's display knows what one costs.
bool MainWindow::event(QEvent* event) {
    if (event->type() != QEvent::UpdateRequest)
        return QMainWindow::event(event);
    QElapsedTimer clock;
    clock.start();
    const bool done = QMainWindow::event(event);
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    m_repaintCostMs = m_repaintCostMs * 0.75 + ms * 0.25;
    return done;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_client && event->type() == QEvent::Resize) {
        ArrangeMainWindow();
    } else if (event->type() == QEvent::FocusIn) {
        if (auto* field = qobject_cast<QLineEdit*>(watched))
            showStatusNow(0, field->toolTip());
    } else if (event->type() == QEvent::MouseButtonRelease) {
        auto* label = qobject_cast<QLabel*>(watched);
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (label && m_checkLabels.contains(label) && mouse->button() == Qt::LeftButton)
            if (auto* box = qobject_cast<QCheckBox*>(label->buddy())) {
                box->setFocus(Qt::MouseFocusReason);
                box->toggle();
            }
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace corvantis::ui
