// The main window driven by its controls' names: the defaults of a first start,
// the scan through its buttons against a local server, the layout on screen,
// the view modes, the list actions and the shutdown.
#include "fetch/host_route.h"
#include "history/history_store.h"
#include "mailstore/email_store.h"
#include "main_window_fixture.h"
#include "output/scan_report.h"
#include "support/fakes.h"
#include "support/store_fixture.h"
#include "support/test_env.h"
#include "support/test_http_server.h"
#include "ui/common/branding.h"
#include "ui/main/main_window.h"
#include "ui/windows/splash_window.h"
#include "util/settings_store.h"
#include "util/sqlite_connection.h"
#include "util/text_utils.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDialog>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTabWidget>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

using namespace corvantis;
using testing::HttpReply;
using testing::S;

namespace {

QString Stored(const char* key) {
    return util::ReadSetting(QLatin1String(key), S("<none>"));
}

} // namespace

// Stands in for the desktop's browser.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public Q_SLOTS:
    void open(const QUrl& url) { opened.append(url); }
};

class MainWindowTest : public QObject, protected testing::MainWindowFixture {
    Q_OBJECT

    static QString panel(QWidget* w, int n) {
        return find<QLabel>(w, qPrintable(S("StatusBar1Panel%1").arg(n)))->text();
    }
    static QStringList statistics(QWidget* w) {
        QStringList out;
        for (int i = 0; i < 5; ++i)
            out << find<QLabel>(w, qPrintable(S("lblStats_%1").arg(i)))->text();
        return out;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(startSite()); }
    void init() {
        testing::ClearSettingsStore();
        m_messages = {};
        m_sound.played.clear();
    }

    // The splash opens the main window on the 75th tick of its 2 ms timer, hides
    // itself and stays loaded until the main window unloads it.
    void splashOpensTheMainWindow() {
        std::unique_ptr<ui::MainWindow> main;
        int opened = 0;
        ui::SplashWindow splash([&](ui::SplashWindow* s) {
            ++opened;
            QCOMPARE(s->tickCount(), ui::SplashWindow::kStartUpCount);
            main = open();
            main->adoptSplash(s);
        });
        splash.show();
        QTRY_VERIFY(main != nullptr);
        QVERIFY(splash.isHidden());
        QTest::qWait(20);
        QCOMPARE(opened, 1);
        QCOMPARE(splash.tickCount(), 150);
        QCOMPARE(main->windowIcon().cacheKey(), splash.windowIcon().cacheKey());
        QVERIFY(main->secondaryWindows().windows().contains(&splash));
    }

    void firstStartShowsTheDefaults() {
        auto w = open();
        QVERIFY(w);
        QCOMPARE(w->windowTitle(), S("Corvantis by Corvantis Labs"));
        QCOMPARE(find<QPushButton>(w.get(), "cmdWebsite")->text(), S("Visit corvantis.example"));
        QCOMPARE(w->centralWidget()->size(), QSize(1056, 777));
        QCOMPARE(find<QComboBox>(w.get(), "Combo1")->currentIndex(), -1);
        QCOMPARE(find<QComboBox>(w.get(), "Combo2")->currentIndex(), -1);
        QCOMPARE(find<QLineEdit>(w.get(), "txtTimeout")->text(), S("60"));
        QCOMPARE(find<QComboBox>(w.get(), "cmbAdvance")->currentText(), S("500"));
        QCOMPARE(find<QComboBox>(w.get(), "cmbLastSearch")->currentText(), S("Stop Immediately"));
        for (const char* on : {"chkAuto", "chkAuto2", "chkAudioEmail", "chkAudioNext",
                               "chkAudioFinished", "chkNewWin"})
            QVERIFY2(find<QCheckBox>(w.get(), on)->isChecked(), on);
        for (const char* off : {"chkRedirect", "chkBullet"})
            QVERIFY2(!find<QCheckBox>(w.get(), off)->isChecked(), off);
        QVERIFY(find<QPlainTextEdit>(w.get(), "txtHTML2")
                    ->toPlainText()
                    .startsWith(S("Your link HTML will be generated here.")));
        QCOMPARE(statistics(w.get()), QStringList(5, S("0")));
        QCOMPARE(w->session().options.PageLimit, 500);
        QCOMPARE(w->session().options.timeoutSeconds, 60);
        QVERIFY(!w->simpleView() && find(w.get(), "Text5")->isVisible());
        QVERIFY(find(w.get(), "Command1")->isEnabled());
        for (const char* off : {"cmdStop", "cmdNextSearch", "cmdResume", "Command4"})
            QVERIFY2(!find(w.get(), off)->isEnabled(), off);
        // The help window opens at the first start.
        QTRY_VERIFY(w->findChild<QWidget*>(S("Form8")) &&
                    w->findChild<QWidget*>(S("Form8"))->isVisible());

        // Every control can be found as a user sees it.
        const QList<QWidget*> controls = w->centralWidget()->findChildren<QWidget*>();
        for (QWidget* c : controls)
            if (!c->objectName().isEmpty() && !c->objectName().startsWith(S("qt_")) &&
                c->parentWidget() != find(w.get(), "TabStrip1"))
                QVERIFY2(!c->accessibleName().isEmpty(), qPrintable(c->objectName()));
    }

    void handEditedStoreStartsWithTheDefaults() {
        const char* edits[][2] = {{"txtTimeout", "abc"},      {"chkAuto", "yes"},
                                  {"chkAuto2", "-1"},         {"chkRedirect", "7"},
                                  {"chkAudioNext", "no"},     {"chkAcceptInvalidCerts", "on"},
                                  {"cmbAdvance", "x4"},       {"Combo1", "9"},
                                  {"cmbLastSearch", "-1"},    {"SimpleView", "sure"},
                                  {"lHistWebScanned", "lots"}};
        for (const auto& e : edits)
            util::WriteSetting(QLatin1String(e[0]), QLatin1String(e[1]));
        auto w = open();
        QVERIFY(w);
        QCOMPARE(find<QLineEdit>(w.get(), "txtTimeout")->text(), S("60"));
        QVERIFY(find<QCheckBox>(w.get(), "chkAuto")->isChecked());
        QVERIFY(!find<QCheckBox>(w.get(), "chkRedirect")->isChecked());
        QCOMPARE(find<QComboBox>(w.get(), "cmbAdvance")->currentIndex(), 4);
        QCOMPARE(w->session().options.PageLimit, 500);
        QCOMPARE(find<QComboBox>(w.get(), "Combo1")->currentIndex(), -1);
        QCOMPARE(find<QComboBox>(w.get(), "cmbLastSearch")->currentIndex(), 0);
        QVERIFY(!w->simpleView());
        QCOMPARE(statistics(w.get())[3], S("0"));
        // The command-line scanner reads the same store by the same rule.
        QVERIFY(w->session().options == scan::ScanOptions());
        QVERIFY(scan::ScanOptions::FromSettings() == scan::ScanOptions());
    }

    void startRefusals_data() {
        QTest::addColumn<QString>("domain");
        QTest::addColumn<bool>("withPartner");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        QTest::newRow("no domain")
            << QString() << true << S("Please enter the Domain you want to find links to.")
            << S("txtDomain");
        QTest::newRow("a space") << S(" ") << false
                                 << S("Please enter the Domain you want to find links to.")
                                 << S("txtDomain");
        QTest::newRow("no partner")
            << S("mysite.test") << false
            << S("Please enter at least one website to search for links.") << S("Text1");
    }
    void startRefusals() {
        QFETCH(QString, domain);
        QFETCH(bool, withPartner);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        auto w = open();
        QVERIFY(w);
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        find<QLineEdit>(w.get(), "txtDomain")->setText(domain);
        if (withPartner)
            w->session().project.partners.append({S("partner.test"), S("1"), {}, {}, {}});
        QTest::mouseClick(find(w.get(), "Command1"), Qt::LeftButton);
        QCOMPARE(m_messages.informed, QStringList{message});
        QVERIFY(find(w.get(), "Command1")->isEnabled());
        QVERIFY(!find(w.get(), "cmdStop")->isEnabled());
        // The field the user is sent back to says in the status bar what it is for.
        auto* field = find<QLineEdit>(w.get(), qPrintable(focus));
        QTRY_VERIFY(field->hasFocus());
        QCOMPARE(panel(w.get(), 1), field->toolTip());
    }

    void fullScanThroughTheButtons() {
        auto w = open();
        QVERIFY(w);
        const QString historyBefore = statistics(w.get())[3];
        find<QLineEdit>(w.get(), "txtDomain")->setText(S("http://www.mysite.test"));
        w->session().project.partners.append({S("partner.test"), S("1"), {}, {}, {}});
        w->session().project.partners.append({S("other.test"), S("1"), {}, {}, {}});
        auto* start = find<QPushButton>(w.get(), "Command1");
        QTest::mouseClick(start, Qt::LeftButton);
        // While it runs: Stop on, Start and the project commands off.
        QVERIFY(!start->isEnabled() && find(w.get(), "cmdStop")->isEnabled());
        QVERIFY(!find(w.get(), "cmdNew")->isEnabled());
        QVERIFY(!w->findChild<QAction*>(S("mnuFileItem_0"))->isEnabled());
        QVERIFY(!w->findChild<QAction*>(S("mnuFileItem_1"))->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(start->isEnabled(), 20000);

        // partner.test: two pages, one link; other.test: a 404 counts twice.
        QCOMPARE(statistics(w.get()).mid(0, 3), (QStringList{S("4"), S("1"), S("1")}));
        QCOMPARE(statistics(w.get())[3], QString::number(historyBefore.toInt() + 4));
        QCOMPARE(panel(w.get(), 1), S("Stopped"));
        for (int n = 2; n <= 4; ++n)
            QCOMPARE(panel(w.get(), n), QString());
        QCOMPARE(find<QProgressBar>(w.get(), "pb1")->value(), 100);
        QCOMPARE(find<QLineEdit>(w.get(), "txtDomain")->text(), S("mysite.test"));
        QCOMPARE(w->session().project.results.count(), 2);
        // The lists show the final rows and paint again as usual.
        QCOMPARE(find<QAbstractItemView>(w.get(), "List3")->model()->rowCount(), 2);
        QCOMPARE(find<QAbstractItemView>(w.get(), "List2")->model()->rowCount(),
                 w->session().run.queue.count());
        for (const char* list : {"List2", "List3", "lstErr"})
            QVERIFY2(find(w.get(), list)->updatesEnabled(), list);
        QVERIFY(find(w.get(), "cmdNew")->isEnabled());
        QVERIFY(w->findChild<QAction*>(S("mnuFileItem_0"))->isEnabled());
        QVERIFY(!find(w.get(), "cmdStop")->isEnabled());

        // "Delete All Emails": Cancel leaves everything; OK empties the store, the
        // result list and the run's "Links Found".
        const QString store = mailstore::EmailStorePath();
        QCOMPARE(testing::MakeEmailStore(store, {S("a@x.test"), S("b@x.test")}), QString());
        m_messages.answers = {util::Answer::Cancel, util::Answer::Ok};
        QTest::mouseClick(find(w.get(), "Command3"), Qt::LeftButton);
        QCOMPARE(w->session().project.results.count(), 2);
        QCOMPARE(mailstore::ReadAllEmails(store).emails.size(), 2);
        QTest::mouseClick(find(w.get(), "Command3"), Qt::LeftButton);
        QCOMPARE(m_messages.asked.last().title, S("Confirm"));
        QCOMPARE(w->session().project.results.count(), 0);
        QVERIFY(mailstore::ReadAllEmails(store).ok);
        QCOMPARE(mailstore::ReadAllEmails(store).emails, QStringList());
        QTRY_COMPARE(statistics(w.get())[2], S("0"));
    }

    void nothingClippedOrOverlapping() {
        auto w = open();
        QVERIFY(w);
        // The browser holds no page until "Web" is first shown (then the website).
        auto* browser = find<QWebEngineView>(w.get(), "WebBrowser1");
        QVERIFY(browser->page()->requestedUrl().isEmpty());
        QList<QWidget*> containers{w->centralWidget()};
        for (const char* name : {"Frame1", "Frame2", "Frame3", "Frame4", "Frame5", "StatusBar1"})
            containers << find(w.get(), name);
        QStringList byDesign{S("StatusBar1|pb1"), S("Frame3|Frame4")};
        for (const char* view :
             {"List3", "lstErr", "lblErr", "WebBrowser1", "cmdBack", "cmdForward", "cmdWebStop",
              "cmdRefresh", "cmdGo", "txtURL", "Frame5", "WebBrowser2", "Command8"})
            byDesign << S("TabStrip1|") + QLatin1String(view);
        for (bool simple : {false, true}) {
            w->ApplyViewMode(simple);
            for (int tab = 1; tab <= 4; ++tab) {
                w->selectResultsTab(tab);
                const QStringList problems = testing::LayoutProblems(containers, byDesign);
                QVERIFY2(problems.isEmpty(), qPrintable(problems.join(S("; "))));
            }
        }
        // "Links" never shows the browser; "Web" hides the lists.
        w->selectResultsTab(1);
        QVERIFY(find(w.get(), "List3")->isVisible() && !find(w.get(), "WebBrowser1")->isVisible());
        w->selectResultsTab(2);
        QVERIFY(!find(w.get(), "List3")->isVisible() && !find(w.get(), "lblErr")->isVisible());
        QVERIFY(find(w.get(), "WebBrowser1")->isVisible() && find(w.get(), "txtURL")->isVisible());
        QCOMPARE(browser->page()->requestedUrl().host(),
                 QUrl::fromUserInput(ui::BrandingRecord().websiteAddress).host());
    }

    void viewModeFromTheMenuIsRemembered() {
        int detailedListTop = 0;
        {
            auto w = open();
            QVERIFY(w);
            detailedListTop = find(w.get(), "List1")->y();
            w->findChild<QAction*>(S("mnuViewItem_1"))->trigger();
            QCOMPARE(Stored("SimpleView"), S("True"));
            for (const char* hidden : {"Text2", "Text3", "Text4", "Text5", "Label17"})
                QVERIFY2(!find(w.get(), hidden)->isVisible(), hidden);
            QWidget* text1 = find(w.get(), "Text1");
            QCOMPARE(find(w.get(), "cmdAdd")->y(), text1->geometry().bottom() + 1 + 4);
            QVERIFY(find(w.get(), "List1")->y() < detailedListTop);
        }
        auto w = open();
        QVERIFY(w);
        QVERIFY(w->simpleView() && !find(w.get(), "Text5")->isVisible());
        w->findChild<QAction*>(S("mnuViewItem_0"))->trigger();
        QCOMPARE(Stored("SimpleView"), S("False"));
        QVERIFY(find(w.get(), "Text5")->isVisible());
        QCOMPARE(find(w.get(), "List1")->y(), detailedListTop);
    }

    // The result list's menu on the selected row, browsing it in the "Web" tab
    // (redirect followed, the address box at the final address), Enter like Go,
    // and an error row's double click handed to the desktop's browser.
    void resultAndErrorListActions() {
        auto w = open();
        QVERIFY(w);
        const QString host = S("127.0.0.1:%1").arg(m_server.port());
        m_server.setReply(host + S("/old.html"),
                          HttpReply::raw(HttpReply::response(
                              302, "Found", {"Location: /new.html", "Connection: close"}, "")));
        m_server.setReply(host + S("/new.html"), HttpReply::html("<p>new</p>"));
        const scan::ResultRow missing{
            S("partner.test"),     S("Missing 002"),     S("000"),
            host + S("/old.html"), scan::RowColour::Red, scan::RowMarker::NotLinking};
        w->session().project.results.setRows({missing});
        w->session().project.MarkProjectSaved();
        auto* list = find<QAbstractItemView>(w.get(), "List3");
        list->setCurrentIndex(list->model()->index(0, 0));
        const auto popup = [&](int i) {
            w->findChild<QAction*>(S("mnuPopup2Item_%1").arg(i))->trigger();
        };
        popup(1);
        QCOMPARE(QGuiApplication::clipboard()->text(), missing.site);
        popup(2);
        QCOMPARE(QGuiApplication::clipboard()->text(), missing.url);
        popup(3); // only the verdict changes, and the project counts as edited
        scan::ResultRow found = missing;
        found.status = S("Direct Link");
        found.colour = scan::RowColour::Blue;
        found.marker = scan::RowMarker::Linking;
        QCOMPARE(w->session().project.results.at(0), found);
        QVERIFY(!w->session().project.projectSaved());

        popup(0);
        QCOMPARE(find<QTabWidget>(w.get(), "TabStrip1")->currentIndex(), 1);
        QVERIFY(!list->isVisible());
        auto* address = find<QLineEdit>(w.get(), "txtURL");
        QTRY_COMPARE_WITH_TIMEOUT(address->text(), S("http://") + host + S("/new.html"), 15000);
        const auto asked = [&] {
            int n = 0;
            for (const auto& r : m_server.requests())
                n += r.key() == host + S("/old.html");
            return n;
        };
        const int before = asked();
        address->setText(host + S("/old.html"));
        QTest::keyClick(address, Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(asked(), before + 1, 15000);
    }

    // Real clicks on the error list of the active window: a plain click only
    // selects, also on the only row, the one the list's focus falls on; a second,
    // slow click on the row already selected browses it in the "Web" tab; a double
    // click hands it to the desktop's browser alone, whether the row was selected
    // or not.
    void errorListClicks_data() {
        QTest::addColumn<int>("rows"); // the last one is clicked
        QTest::addColumn<bool>("selectedBefore");
        QTest::addColumn<bool>("doubleClick");
        QTest::addColumn<bool>("toWebTab");
        QTest::newRow("click") << 2 << false << false << false;
        QTest::newRow("click, the only row") << 1 << false << false << false;
        QTest::newRow("second click") << 2 << true << false << true;
        QTest::newRow("double click") << 2 << false << true << false;
        QTest::newRow("double click, selected") << 2 << true << true << false;
    }
    void errorListClicks() {
        QFETCH(int, rows);
        QFETCH(bool, selectedBefore);
        QFETCH(bool, doubleClick);
        QFETCH(bool, toWebTab);
        auto w = open();
        QVERIFY(w);
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        if (rows > 1)
            w->session().run.errors.append({S("404 Not found"), S("partner.test/z.html")});
        w->session().run.errors.append({S("404 Not found"), S("partner.test/a b.html")});
        auto* errors = find<QAbstractItemView>(w.get(), "lstErr");
        const QModelIndex clicked = errors->model()->index(rows - 1, 0);
        if (selectedBefore)
            errors->setCurrentIndex(clicked);
        else
            errors->setFocus(Qt::TabFocusReason);
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler(S("http"), &catcher, "open");
        const QPoint at = errors->visualRect(clicked).center();
        // What a desktop sends for a double click: press, release, double click, release.
        QTest::mousePress(errors->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(errors->viewport(), Qt::LeftButton, {}, at, 12);
        if (doubleClick) {
            QTest::mouseDClick(errors->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseRelease(errors->viewport(), Qt::LeftButton, {}, at);
        }
        // The "Web" tab waits out the double-click interval; give it time to come.
        QTest::qWait(1000);
        QDesktopServices::unsetUrlHandler(S("http"));
        QCOMPARE(errors->currentIndex().row(), rows - 1);
        QCOMPARE(catcher.opened, doubleClick
                                     ? QList<QUrl>{QUrl(S("http://partner.test/a%20b.html"))}
                                     : QList<QUrl>{});
        QCOMPARE(find<QTabWidget>(w.get(), "TabStrip1")->currentIndex(), toWebTab ? 1 : 0);
        QCOMPARE(errors->isVisible(), !toWebTab);
        if (toWebTab)
            QCOMPARE(find<QLineEdit>(w.get(), "txtURL")->text(),
                     QUrl(S("http://partner.test/a%20b.html")).toString());
    }

    // "About this software": caption, name, major.minor version, owner and website,
    // loaded once; the website link asks for the website window.
    void aboutWindow() {
        auto w = open();
        QVERIFY(w);
        QAction* about = w->findChild<QAction*>(S("mnuAboutItem_0"));
        about->trigger();
        auto* window = w->findChild<QDialog*>(S("frmAbout"));
        QVERIFY(window && window->isVisible());
        const ui::Branding& b = ui::BrandingRecord();
        QCOMPARE(window->windowTitle(), S("About ") + b.productName);
        QCOMPARE(find<QLabel>(window, "Label1")->text(), b.productName);
        QCOMPARE(find<QLabel>(window, "lblVersion")->text(),
                 QString::number(b.versionMajor) + S(".") + QString::number(b.versionMinor));
        QCOMPARE(find<QLabel>(window, "lblCompany")->text(), b.companyName);
        QVERIFY(find<QLabel>(window, "lblWebsite")->text().contains(b.websiteAddress));
        QSignalSpy website(window, SIGNAL(websiteRequested()));
        Q_EMIT find<QLabel>(window, "lblWebsite")->linkActivated(S("#"));
        QCOMPARE(website.count(), 1);
        window->close();
        about->trigger();
        QCOMPARE(w->findChildren<QDialog*>(S("frmAbout")).size(), 1);
        QVERIFY(window->isVisible());
    }

    // Exit ends the scan without its report, closes its connections and every
    // secondary window, after the exit question. As a Stop would, it records the
    // partners whose sites had ended, once: here the second site, which ended
    // while the first still runs.
    void exitStopsTheScanAndClosesTheOtherWindows() {
        QFile::remove(history::HistoryStore::DefaultPath());
        QFile::remove(output::ReportFilePath());
        auto w = open();
        QVERIFY(w);
        QTest::mouseClick(find(w.get(), "Command7"), Qt::LeftButton);
        QTest::mouseClick(find(w.get(), "Command2"), Qt::LeftButton);
        const QList<QWidget*> others = w->secondaryWindows().windows();
        QCOMPARE(others.size(), 3); // help, automation, export
        QList<QPointer<QWidget>> watched(others.cbegin(), others.cend());
        find<QLineEdit>(w.get(), "txtDomain")->setText(S("mysite.test"));
        w->session().project.partners.append({S("silent.test"), S("1"), {}, {}, {}});
        w->session().project.partners.append({S("partner.test"), S("1"), {}, {}, {}});
        QTest::mouseClick(find(w.get(), "Command1"), Qt::LeftButton);
        QTRY_COMPARE(panel(w.get(), 3), S("Site 1 of 2: Found 1 links"));
        QVERIFY(m_server.openConnectionCount() > 0);
        m_messages.answers = {util::Answer::No};

        w->findChild<QAction*>(S("mnuFileItem_3"))->trigger();
        QVERIFY(!w->isVisible());
        QCOMPARE(m_messages.asked.size(), 1);
        QCOMPARE(m_messages.asked[0].title, S("Save Project?"));
        QTRY_COMPARE(m_server.openConnectionCount(), 0);
        for (const QPointer<QWidget>& other : watched)
            QVERIFY(!other || !other->isVisible());
        QVERIFY(!m_sound.played.contains(S("finished.wav")));
        QVERIFY(!QFile::exists(output::ReportFilePath()));
        QVERIFY(!ui::MainWindow::endWithBrowser());
        w->close();
        w.reset();
        const history::HistoryStore store(history::HistoryStore::DefaultPath(),
                                          util::kWindowBusyTimeout);
        QString error;
        const QList<history::PartnerRecord> ended =
            store.partnerHistory(S("mysite.test"), S("partner.test"), error);
        QCOMPARE(error, QString());
        QCOMPARE(ended.size(), 1);
        QCOMPARE(ended[0].links, 1);
        QVERIFY(store.partnerHistory(S("mysite.test"), S("silent.test"), error).isEmpty());
    }

    // Closing the main window while the website window is open leaves the program
    // running until that window closes.
    void websiteWindowOutlivesTheMainWindow() {
        auto w = open();
        QVERIFY(w);
        QTest::mouseClick(find(w.get(), "cmdWebsite"), Qt::LeftButton);
        QPointer<QWidget> site;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->objectName() == S("frmWebsite"))
                site = top;
        QVERIFY(site && site->isVisible());
        w->close();
        QVERIFY(ui::MainWindow::endWithBrowser());
        w.reset();
        QVERIFY(site && site->isVisible());
        site->close();
        QTRY_VERIFY(!site);
    }
};

CORVANTIS_GUI_TEST_MAIN(MainWindowTest)
#include "tst_main_window.moc"
