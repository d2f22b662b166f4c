#include "ui/windows/automation_window.h"

#include "ui/common/pacer.h"
#include "ui/common/widgets.h"

#include "automation/import_list_model.h"
#include "automation/link_import.h"
#include "automation/link_importer.h"
#include "automation/result_posting.h"
#include "session/scan_project.h"
#include "util/app_folder.h"
#include "util/settings_store.h"
#include "util/text_utils.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabBar>
#include <QTextCursor>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace corvantis::ui {

namespace {

// The log keeps this many characters of its newest text.
constexpr qsizetype kLogLimit = 1024 * 1024;
constexpr int kStatusIntervalMs = 33;
constexpr int kFeedStepMs = 15;

// Example hosts of the help texts: a partner site and the user's own site.
const QString kExamplePartner = QStringLiteral("www.partnersite.example");
const QString kExampleOwnSite = QStringLiteral("www.mysite.example");

const QString kUrlDefault = QStringLiteral("http://");

} // namespace

AutomationWindow::AutomationWindow(scan::ScanProject& project, util::Messages& messages,
                                   util::FileDialogs& dialogs, const scan::HostRouter& router,
                                   QWidget* parent)
    : QWidget(parent, Qt::Window), m_project(project), m_messages(messages), m_dialogs(dialogs),
      m_list(new automation::ImportListModel(this)),
      m_importer(new automation::LinkImporter(router, *m_list, this)),
      m_poster(new automation::ResultPoster(router, this)),
      m_statusPacer(new Pacer([] { return kStatusIntervalMs; }, this)) {
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Advanced Link Automation"));
    setAttribute(Qt::WA_DeleteOnClose);

    m_tabs = new QTabBar;
    m_tabs->setObjectName(QStringLiteral("TabStrip1"));
    m_tabs->setAccessibleName(QStringLiteral("Advanced Link Automation"));
    m_tabs->addTab(QStringLiteral("Get Links"));
    m_tabs->addTab(QStringLiteral("Post Links"));
    m_tabs->setExpanding(false);

    buildGetLinksFrames();
    buildPostFrame();

    m_statusBar = new QStatusBar;
    m_statusBar->setObjectName(QStringLiteral("StatusBar1"));
    m_statusBar->setAccessibleName(QStringLiteral("Status"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 0);
    layout->addWidget(m_tabs);
    layout->addWidget(m_frameWebsite, 1);
    layout->addWidget(m_frameFile);
    layout->addWidget(m_framePost, 1);
    layout->addWidget(m_statusBar);

    connect(m_statusPacer, &Pacer::tick, this,
            [this] { m_statusBar->showMessage(m_pendingStatus); });

    connect(m_tabs, &QTabBar::currentChanged, this, &AutomationWindow::showTab);
    connect(m_importer, &automation::LinkImporter::status, this, &AutomationWindow::setStatus);
    connect(m_importer, &automation::LinkImporter::finished, this,
            [this] { m_command1->setEnabled(true); });
    connect(m_poster, &automation::ResultPoster::status, this, &AutomationWindow::setStatus);
    connect(m_poster, &automation::ResultPoster::logged, this, &AutomationWindow::appendLog);
    connect(m_poster, &automation::ResultPoster::finished, this,
            [this] { m_command2->setEnabled(true); });

    loadSettings();
    connectSettings();
    showTab(0);
    resize(760, 640);
}

AutomationWindow::~AutomationWindow() = default;

void AutomationWindow::setTransferTimeout(int ms) {
    m_importer->setTransferTimeout(ms);
    m_poster->setTransferTimeout(ms);
}

void AutomationWindow::buildGetLinksFrames() {
    m_frameWebsite = new QGroupBox(QStringLiteral("Get links from my website"));
    m_frameWebsite->setObjectName(QStringLiteral("Frame1"));
    buildSourceFields();
    buildWebsiteFrame();
    buildFileFrame();
}

// The two ways to get the user's partners from his website, each with its address.
void AutomationWindow::buildSourceFields() {
    const QString captions[2] = {
        QStringLiteral(
            "Simple - Spider my link page at the following URL and add my links to be scanned:"),
        QStringLiteral("Advanced - Get links to scan directly from my database.  I have created a "
                       "script at the following URL that outputs all domains separated by a "
                       "delimiter.  For example: partnerone.example, partnertwo.example, "
                       "partnerthree.example, partnerfour.example (no HTML)")};
    auto* options = new QButtonGroup(this);
    for (int i = 0; i < 2; ++i) {
        // The caption sits in a wrapping label beside the button; a click on it
        // chooses the option like a click on the button.
        m_option[i] = new QRadioButton;
        m_option[i]->setObjectName(QStringLiteral("Option1_%1").arg(i));
        m_option[i]->setAccessibleName(captions[i]);
        options->addButton(m_option[i], i);
        m_optionLabel[i] =
            Named(WrappedCaption(nullptr, captions[i]), QStringLiteral("lblOption1_%1").arg(i));
        ClickThroughLabel(m_optionLabel[i], m_option[i]);
    }

    m_text1 = new QLineEdit;
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text2 = new QLineEdit;
    m_text2->setObjectName(QStringLiteral("Text2"));
    m_combo1 = new QComboBox;
    m_combo1->setObjectName(QStringLiteral("Combo1"));
    m_combo1->setEditable(true);
    m_combo1->setInsertPolicy(QComboBox::NoInsert);
    m_combo1->addItems(automation::DelimiterItems());
    m_combo1->setCurrentIndex(-1);
    m_combo1->setEditText(automation::kDelimiterPrompt);
    m_combo1->setMinimumContentsLength(24);

    m_command1 = Named(Button(nullptr, QStringLiteral("Get Links")), QStringLiteral("Command1"));
    connect(m_command1, &QPushButton::clicked, this, &AutomationWindow::GetLinks);
}

void AutomationWindow::buildWebsiteFrame() {
    m_listView1 = new QTreeView;
    m_listView1->setObjectName(QStringLiteral("ListView1"));
    m_listView1->setModel(m_list);
    m_listView1->setRootIsDecorated(false);
    m_listView1->setUniformRowHeights(true);
    m_listView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_listView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_listView1->header()->setStretchLastSection(true);
    m_listView1->viewport()->installEventFilter(this);
    auto* resultsLabel = Named(
        WrappedCaption(nullptr, QStringLiteral("Results (Control + Click or Shift + Click to "
                                               "Select Multiple, Right Click to Select All):")),
        QStringLiteral("Label3"));
    resultsLabel->setBuddy(m_listView1);
    m_listView1->setAccessibleName(resultsLabel->text());

    auto* cmdAdd = Named(Button(nullptr, QStringLiteral("Add Selected Links to My Link List"),
                                QStringLiteral("Add the site you have entered above")),
                         QStringLiteral("cmdAdd"));
    connect(cmdAdd, &QPushButton::clicked, this, &AutomationWindow::AddSelectedLinks);

    auto* grid = new QGridLayout(m_frameWebsite);
    grid->setColumnStretch(2, 1);
    grid->addWidget(m_option[0], 0, 0, Qt::AlignTop);
    grid->addWidget(m_optionLabel[0], 0, 1, 1, 4);
    grid->addWidget(Named(LabelFor(m_text1, QStringLiteral("URL:")), QStringLiteral("Label1")), 1,
                    1);
    grid->addWidget(m_text1, 1, 2, 1, 3);
    grid->addWidget(m_option[1], 2, 0, Qt::AlignTop);
    grid->addWidget(m_optionLabel[1], 2, 1, 1, 4);
    grid->addWidget(Named(LabelFor(m_text2, QStringLiteral("URL:")), QStringLiteral("Label2")), 3,
                    1);
    grid->addWidget(m_text2, 3, 2);
    grid->addWidget(
        Named(LabelFor(m_combo1, QStringLiteral("Delimiter:")), QStringLiteral("Label4")), 3, 3);
    grid->addWidget(m_combo1, 3, 4);
    grid->addWidget(m_command1, 4, 4, Qt::AlignRight);
    grid->addWidget(resultsLabel, 5, 0, 1, 5);
    grid->addWidget(m_listView1, 6, 0, 1, 5);
    grid->setRowStretch(6, 1);
    grid->addWidget(cmdAdd, 7, 0, 1, 5, Qt::AlignRight);
}

void AutomationWindow::buildFileFrame() {
    m_frameFile = new QGroupBox(QStringLiteral("Get links from a file"));
    m_frameFile->setObjectName(QStringLiteral("Frame2"));
    auto* fileText =
        Named(WrappedCaption(
                  nullptr,
                  QStringLiteral(
                      "You can import sites from a text (.txt) file by entering one URL per line. "
                      " Each site you enter will default to 1 link expected.  If you expect more "
                      "links than one, put a | character at the end of the URL, immediately "
                      "followed by the number of links you expect.  For example: ") +
                      kExamplePartner + QStringLiteral("|14")),
              QStringLiteral("Label5"));
    auto* command4 = Named(
        Button(nullptr, QStringLiteral("Import"), QStringLiteral("Import websites from a file")),
        QStringLiteral("Command4"));
    connect(command4, &QPushButton::clicked, this, &AutomationWindow::ImportLinksFile);
    auto* fileLayout = new QHBoxLayout(m_frameFile);
    fileLayout->addWidget(fileText, 1);
    fileLayout->addWidget(command4, 0, Qt::AlignBottom);
}

void AutomationWindow::buildPostFrame() {
    m_framePost = new QGroupBox(QStringLiteral("Post links to my website:"));
    m_framePost->setObjectName(QStringLiteral("Frame3"));
    auto* explanation = Named(
        WrappedCaption(
            nullptr, QStringLiteral(
                         "I have created a script on my website that can accept values from a "
                         "querystring.  Hit this page once for each site in my results list, "
                         "replacing variables in the following URL with the actual results from my "
                         "results list.")),
        QStringLiteral("Label6"));
    m_text3 = new QLineEdit;
    m_text3->setObjectName(QStringLiteral("Text3"));
    auto* command5 = Named(Button(nullptr, QStringLiteral("View Example URL/Test Above URL")),
                           QStringLiteral("Command5"));
    auto* command3 =
        Named(Button(nullptr, QStringLiteral("View URL Variables")), QStringLiteral("Command3"));
    m_command2 =
        Named(Button(nullptr, QStringLiteral("Post Links to My Site")), QStringLiteral("Command2"));
    connect(command5, &QPushButton::clicked, this, &AutomationWindow::ShowUrlExample);
    connect(command3, &QPushButton::clicked, this, &AutomationWindow::ShowUrlVariables);
    connect(m_command2, &QPushButton::clicked, this, &AutomationWindow::PostResults);
    m_text4 = new QPlainTextEdit;
    m_text4->setObjectName(QStringLiteral("Text4"));
    m_text4->setReadOnly(true);
    m_text4->setLineWrapMode(QPlainTextEdit::NoWrap);

    auto* grid = new QGridLayout(m_framePost);
    grid->setColumnStretch(1, 1);
    grid->addWidget(explanation, 0, 0, 1, 2);
    grid->addWidget(
        Named(LabelFor(m_text3, QStringLiteral("My Script Page:")), QStringLiteral("Label7")), 1,
        0);
    grid->addWidget(m_text3, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(command5);
    buttons->addWidget(command3);
    buttons->addWidget(m_command2);
    grid->addLayout(buttons, 2, 0, 1, 2);
    grid->addWidget(Named(LabelFor(m_text4, QStringLiteral("Results:")), QStringLiteral("Label8")),
                    3, 0, 1, 2);
    grid->addWidget(m_text4, 4, 0, 1, 2);
    grid->setRowStretch(4, 1);
}

void AutomationWindow::loadSettings() {
    const int option =
        util::ReadSetting(QStringLiteral("getUrlOption"), QStringLiteral("0")) == u"1" ? 1 : 0;
    m_option[option]->setChecked(true);
    m_text1->setText(util::ReadSetting(QStringLiteral("getURL1"), kUrlDefault));
    m_text2->setText(util::ReadSetting(QStringLiteral("getURL2"), kUrlDefault));
    m_text3->setText(util::ReadSetting(QStringLiteral("getURL3"), kUrlDefault));
    const auto combo =
        util::ToInt32(util::ReadSetting(QStringLiteral("getURLCombo"), QStringLiteral("-1")));
    if (combo && *combo >= 0 && *combo < m_combo1->count())
        m_combo1->setCurrentIndex(*combo);
}

void AutomationWindow::connectSettings() {
    for (int i = 0; i < 2; ++i) {
        connect(m_option[i], &QRadioButton::toggled, this, [i](bool on) {
            if (on)
                util::WriteSetting(QStringLiteral("getUrlOption"), QString::number(i));
        });
    }
    const auto keep = [this](QLineEdit* edit, const QString& key) {
        connect(edit, &QLineEdit::textChanged, this,
                [key](const QString& text) { util::WriteSetting(key, text); });
    };
    keep(m_text1, QStringLiteral("getURL1"));
    keep(m_text2, QStringLiteral("getURL2"));
    keep(m_text3, QStringLiteral("getURL3"));
    const auto writeCombo = [this] {
        util::WriteSetting(QStringLiteral("getURLCombo"), QString::number(delimiterIndex()));
    };
    connect(m_combo1, &QComboBox::currentIndexChanged, this, writeCombo);
    connect(m_combo1, &QComboBox::editTextChanged, this, writeCombo);
    connect(m_combo1, &QComboBox::activated, this, writeCombo);
}

void AutomationWindow::showTab(int index) {
    m_frameWebsite->setVisible(index == 0);
    m_frameFile->setVisible(index == 0);
    m_framePost->setVisible(index == 1);
}

int AutomationWindow::delimiterIndex() const {
    // Text typed over a chosen item counts as typed, not as the item.
    const int index = m_combo1->currentIndex();
    if (index >= 0 && m_combo1->currentText() == m_combo1->itemText(index))
        return index;
    return -1;
}

// The importer and the poster report many times a second; the status bar shows
// the latest text at most about 30 times a second.
void AutomationWindow::setStatus(const QString& text) {
    m_pendingStatus = text;
    m_statusPacer->request(true);
}

void AutomationWindow::GetLinks() {
    if (m_importer->isRunning())
        return;
    m_list->clear();
    if (m_option[0]->isChecked()) {
        m_importer->GetLinksSimple(m_text1->text());
    } else {
        const auto delimiter =
            automation::ChosenDelimiter(delimiterIndex(), m_combo1->currentText());
        if (!delimiter) {
            m_messages.inform(QStringLiteral("You must select a delimiter first"));
            return;
        }
        m_importer->GetLinksAdvanced(m_text2->text(), *delimiter);
    }
    m_command1->setEnabled(!m_importer->isRunning());
}

void AutomationWindow::AddSelectedLinks() {
    QModelIndexList selected = m_listView1->selectionModel()->selectedRows();
    std::sort(selected.begin(), selected.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QList<scan::PartnerSite> sites;
    for (const QModelIndex& index : selected) {
        const QString& text = m_list->rows().at(index.row());
        if (!util::IsBlank(text))
            sites.append({text, QStringLiteral("1"), {}, {}, {}});
    }
    addPartners(sites);
}

void AutomationWindow::ImportLinksFile() {
    const QString path = m_dialogs.openFile(QStringLiteral("Import"),
                                            util::AppFilePath(QStringLiteral("Project Files")),
                                            QStringLiteral("Text Files (*.txt)"));
    if (path.isEmpty())
        return;
    const automation::ImportFile file = automation::ReadImportFile(path);
    if (!file.ok) {
        m_messages.inform(file.error, QStringLiteral("Import"));
        return;
    }
    addPartners(file.sites);
    setStatus(QStringLiteral("Added %1 link(s)").arg(file.sites.size()));
}

void AutomationWindow::addPartners(const QList<scan::PartnerSite>& sites) {
    if (sites.isEmpty())
        return;
    m_project.MarkProjectEdited();
    const bool idle = m_partnerPos >= m_partnerQueue.size();
    m_partnerQueue.append(sites);
    if (idle)
        feedPartners();
}

void AutomationWindow::feedPartners() {
    // A long file goes into the partner list a share at a time, in its order.
    const QDeadlineTimer deadline(kFeedStepMs);
    while (m_partnerPos < m_partnerQueue.size()) {
        m_project.partners.append(m_partnerQueue.at(m_partnerPos++));
        if ((m_partnerPos & 255) == 0 && deadline.hasExpired()) {
            QTimer::singleShot(0, this, &AutomationWindow::feedPartners);
            return;
        }
    }
    m_partnerQueue.clear();
    m_partnerPos = 0;
}

void AutomationWindow::ShowUrlVariables() {
    m_messages.inform(
        QStringLiteral(
            "Where ever you place the following variables in your link, the software will replace "
            "them with the actual results of your scan, and hit the resulting url once, for each "
            "item in your results list.\n\n"
            "$domain - Inserts the Domain/URL from your Remote Site List\n"
            "$status - Inserts 'True' if a reciprocal link was found, otherwise inserts 'False'\n"
            "$domain2 - Inserts the Domain/URL of the page a reciprocal link was found on\n\n"),
        QStringLiteral("URL Variables"));
}

void AutomationWindow::ShowUrlExample() {
    const QString& e = kExamplePartner;
    const QString& s = kExampleOwnSite;
    QStringList lines = {
        QStringLiteral("Each place there is a variable (starting with a $) in your script URL it "
                       "will be replaced by actual information from your results list.  The "
                       "software will modify and hit your URL once for each item in your results "
                       "list, triggering your script for each item."),
        QString(),
        QStringLiteral("For example, if your results list contained the following three items:"),
        QStringLiteral("Linking Site: ") + e,
        QStringLiteral("Status: Direct Link"),
        QStringLiteral("Actual Link URL: ") + e + QStringLiteral("/links.htm"),
        QString(),
        QStringLiteral("http://") + s +
            QStringLiteral("/getlinks.asp?myURL=$domain&&myStatus=$status&&myLinkPage=$domain2"),
        QStringLiteral("would become"),
        QStringLiteral("http://") + s + QStringLiteral("/getlinks.asp?myURL=") + e +
            QStringLiteral("&&myStatus=True&&myLinkPage=") + e + QStringLiteral("/links.htm"),
        QString()};
    const QString test = m_text3->text();
    if (test.isEmpty() || test == kUrlDefault) {
        lines << QStringLiteral(
            "Enter a test URL and click this button again to see it's variables replaced.");
    } else {
        lines << QStringLiteral(
                     "If the same site existed in your results list, the URL you entered")
              << QString() << test << QStringLiteral("would become")
              << automation::ExpandScriptUrl(test, e, e + QStringLiteral("/links.htm"), true)
              << QString() << QStringLiteral("After replacing all variables in your URL.");
    }
    m_messages.inform(lines.join(u'\n'), QStringLiteral("URL Example"));
}

void AutomationWindow::PostResults() {
    if (m_poster->isRunning())
        return;
    if (m_project.results.count() == 0) {
        setStatus(QStringLiteral("You must perform a scan for reciprocal links first"));
        return;
    }
    m_poster->PostResults(m_text3->text(), m_project.results.rows());
    m_command2->setEnabled(!m_poster->isRunning());
}

void AutomationWindow::appendLog(const QString& text) {
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(u'\r', u'\n');
    if (t.size() > kLogLimit)
        t = t.right(kLogLimit);
    QTextCursor cursor(m_text4->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(t);
    // The final paragraph separator is no text of the log.
    const qsizetype excess = m_text4->document()->characterCount() - 1 - kLogLimit;
    if (excess > 0) {
        cursor.setPosition(0);
        cursor.setPosition(int(excess), QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
    m_text4->moveCursor(QTextCursor::End);
    m_text4->ensureCursorVisible();
}

bool AutomationWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (watched == m_listView1->viewport() && mouse->button() == Qt::RightButton) {
            m_listView1->selectAll();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void AutomationWindow::closeEvent(QCloseEvent* event) {
    // Partner rows of an import still being added go in now rather than being lost.
    while (m_partnerPos < m_partnerQueue.size())
        m_project.partners.append(m_partnerQueue.at(m_partnerPos++));
    m_partnerQueue.clear();
    m_partnerPos = 0;
    QWidget::closeEvent(event);
}

} // namespace corvantis::ui
