// The Advanced Link Automation window, driven by its controls' names.
#include "fetch/host_route.h"
#include "session/scan_project.h"
#include "support/fakes.h"
#include "support/test_env.h"
#include "support/test_http_server.h"
#include "ui/windows/automation_window.h"
#include "util/settings_store.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTreeView>

using namespace corvantis;
using testing::HttpReply;
using testing::S;

class AutomationWindowTest : public QObject {
    Q_OBJECT
    testing::TestHttpServer m_server;
    scan::HostRouter m_router;
    scan::ScanProject m_project;
    testing::FakeMessages m_messages;
    testing::FakeFileDialogs m_dialogs;
    QPointer<ui::AutomationWindow> m_w;

    template <typename T> T* child(const char* name) {
        T* c = m_w->findChild<T*>(QLatin1String(name));
        if (!c)
            qFatal("no control %s", name);
        return c;
    }
    QString status() { return child<QStatusBar>("StatusBar1")->currentMessage(); }
    void open() {
        m_w = new ui::AutomationWindow(m_project, m_messages, m_dialogs, m_router);
        m_w->setTransferTimeout(5000);
        m_w->show();
    }
    void addResult(const char* site, const char* status) {
        m_project.results.append({S(site), S(status), S("001"), S(site) + u"/links.html", {}, {}});
    }
    // Requests the server got since `from`, by path.
    QStringList pathsSince(int from) {
        QStringList paths;
        for (int i = from; i < m_server.requestCount(); ++i)
            paths << m_server.requests().at(i).path;
        return paths;
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_server.start());
        for (const char* host : {"mysite.test", "script.test"})
            m_router.add(S(host), QStringLiteral("127.0.0.1"), m_server.port());
        m_server.setReply(QStringLiteral("mysite.test/links.htm"),
                          HttpReply::html("<a href='http://a.example.com'>A</a><a href=me.html>"
                                          "<a href='http://b.example.net/x.html'>B</a>")
                              .delayed(150));
        m_server.setDefaultReply(HttpReply::html("ok"));
    }
    void init() {
        m_messages = {};
        m_project.results.clear();
        m_project.partners.clear();
        m_project.MarkProjectSaved();
        open();
    }
    void cleanup() { delete m_w; }

    void settingsWrittenAtOnceAndReadAtLoad() {
        child<QRadioButton>("Option1_1")->click();
        child<QLineEdit>("Text1")->setText(QStringLiteral("http://mysite.test/links.htm"));
        child<QLineEdit>("Text3")->setText(QStringLiteral("script.test/in.php?u=$domain"));
        child<QComboBox>("Combo1")->setCurrentIndex(2);
        QCOMPARE(util::ReadSetting(QStringLiteral("getUrlOption"), {}), QStringLiteral("1"));
        QCOMPARE(util::ReadSetting(QStringLiteral("getURL3"), {}),
                 QStringLiteral("script.test/in.php?u=$domain"));
        QCOMPARE(util::ReadSetting(QStringLiteral("getURLCombo"), {}), QStringLiteral("2"));
        m_w->close();
        QTRY_VERIFY(!m_w); // closing unloads the window
        open();
        QVERIFY(child<QRadioButton>("Option1_1")->isChecked());
        QCOMPARE(child<QLineEdit>("Text1")->text(), QStringLiteral("http://mysite.test/links.htm"));
        QCOMPARE(child<QLineEdit>("Text2")->text(), QStringLiteral("http://"));
        QCOMPARE(child<QComboBox>("Combo1")->currentText(), QStringLiteral("Comma"));
        // Typed text over a chosen item is no item.
        child<QComboBox>("Combo1")->setEditText(QStringLiteral("::"));
        QCOMPARE(util::ReadSetting(QStringLiteral("getURLCombo"), {}), QStringLiteral("-1"));
        child<QRadioButton>("Option1_0")->click();
    }

    void tabsShowTheirFrames() {
        auto* tabs = child<QTabBar>("TabStrip1");
        QCOMPARE(tabs->tabText(1), QStringLiteral("Post Links"));
        tabs->setCurrentIndex(1);
        QVERIFY(child<QGroupBox>("Frame3")->isVisible());
        QVERIFY(!child<QGroupBox>("Frame1")->isVisible() &&
                !child<QGroupBox>("Frame2")->isVisible());
        tabs->setCurrentIndex(0);
        QVERIFY(child<QGroupBox>("Frame1")->isVisible() &&
                !child<QGroupBox>("Frame3")->isVisible());
    }

    void advancedWithoutDelimiterRefused_data() {
        QTest::addColumn<QString>("typed");
        QTest::newRow("prompt left") << QStringLiteral("Select or Type a Delimiter");
        QTest::newRow("typed empty") << QString();
    }
    void advancedWithoutDelimiterRefused() {
        QFETCH(QString, typed);
        child<QRadioButton>("Option1_1")->click();
        child<QLineEdit>("Text2")->setText(QStringLiteral("http://mysite.test/list.php"));
        child<QComboBox>("Combo1")->setCurrentIndex(-1);
        child<QComboBox>("Combo1")->setEditText(typed);
        const int before = m_server.requestCount();
        child<QPushButton>("Command1")->click();
        QCOMPARE(m_messages.informed,
                 QStringList{QStringLiteral("You must select a delimiter first")});
        QTest::qWait(50);
        QCOMPARE(m_server.requestCount(), before);
        child<QRadioButton>("Option1_0")->click();
    }

    void getLinksThenAddEveryRow() {
        child<QLineEdit>("Text1")->setText(QStringLiteral("mysite.test/links.htm"));
        auto* getLinks = child<QPushButton>("Command1");
        const int before = m_server.requestCount();
        getLinks->click();
        QCOMPARE(status(), QStringLiteral("Conecting to mysite.test/links.htm"));
        QVERIFY(!getLinks->isEnabled()); // a second Get Links waits for this one
        QTRY_COMPARE(status(), QStringLiteral("Finished Downloading - 3 links found."));
        QVERIFY(getLinks->isEnabled());
        QCOMPARE(m_server.requestCount() - before, 1);

        auto* list = child<QTreeView>("ListView1");
        QCOMPARE(list->model()->headerData(0, Qt::Horizontal).toString(),
                 QStringLiteral("Link URL"));
        QTest::mouseClick(list->viewport(), Qt::RightButton, {}, QPoint(5, 5));
        QCOMPARE(list->selectionModel()->selectedRows().size(), 3);
        child<QPushButton>("cmdAdd")->click();
        QCOMPARE(m_project.partners.rows(),
                 (QList<scan::PartnerSite>{{S("a.example.com/"), S("1"), {}, {}, {}},
                                           {S("b.example.net/x.html"), S("1"), {}, {}, {}}}));
        QVERIFY(!m_project.projectSaved());
    }

    void importFile() {
        const QString path = QDir::temp().filePath(
            QStringLiteral("corvantis-import-%1.txt").arg(QCoreApplication::applicationPid()));
        QVERIFY(testing::WriteBytes(path, "partner.example|3\r\n \r\nplain.example\r\n"));
        m_dialogs.paths = {QString(), path}; // cancelled first
        child<QPushButton>("Command4")->click();
        QCOMPARE(m_project.partners.count(), 0);
        QVERIFY(m_project.projectSaved());
        child<QPushButton>("Command4")->click();
        QFile::remove(path);
        QCOMPARE(m_dialogs.shown.last().filter, QStringLiteral("Text Files (*.txt)"));
        QVERIFY(m_dialogs.shown.last().startPath.endsWith(u"/Project Files"));
        QCOMPARE(m_project.partners.rows(),
                 (QList<scan::PartnerSite>{{S("partner.example"), S("3"), {}, {}, {}},
                                           {S("plain.example"), S("1"), {}, {}, {}}}));
        QTRY_COMPARE(status(), QStringLiteral("Added 2 link(s)"));
        QVERIFY(!m_project.projectSaved());
    }

    void postingWorksOnItsSnapshot() {
        child<QLineEdit>("Text3")->setText(
            QStringLiteral("http://script.test/p?u=$domain&s=$status"));
        auto* post = child<QPushButton>("Command2");
        post->click();
        QCOMPARE(status(), QStringLiteral("You must perform a scan for reciprocal links first"));

        m_server.setReply(QStringLiteral("script.test/p?u=a.example&s=True"),
                          HttpReply::html("one").delayed(200));
        addResult("a.example", "Direct Link");
        addResult("b.example", "Missing 001");
        addResult("c.example", "None Found (Possible Redirected URL)");
        const int before = m_server.requestCount();
        post->click();
        QVERIFY(!post->isEnabled());
        // A new scan empties the list and fills it anew while the run goes on.
        m_project.results.clear();
        addResult("z.example", "Direct Link");
        QTRY_VERIFY(post->isEnabled());
        QCOMPARE(pathsSince(before), QStringList({QStringLiteral("/p?u=a.example&s=True"),
                                                  QStringLiteral("/p?u=c.example&s=False")}));
        QTRY_COMPARE(status(), QStringLiteral("Sending Site 3: c.example"));
        QCOMPARE(
            child<QPlainTextEdit>("Text4")->toPlainText(),
            QStringLiteral("\nURL: http://script.test/p?u=a.example&s=True\n\nReturned: one\n"
                           "\nURL: http://script.test/p?u=c.example&s=False\n\nReturned: ok\n"));
    }

    void windowClosedDuringPosting() {
        m_server.setReply(QStringLiteral("script.test/slow"), HttpReply::html("late").delayed(300));
        child<QLineEdit>("Text3")->setText(QStringLiteral("http://script.test/slow"));
        addResult("a.example", "Direct Link");
        addResult("b.example", "Direct Link");
        const int before = m_server.requestCount();
        child<QPushButton>("Command2")->click();
        QTRY_COMPARE(m_server.requestCount() - before, 1);
        m_w->close();
        QTRY_VERIFY(!m_w);
        QTest::qWait(500); // the late answer arrives for nobody
        QCOMPARE(m_server.requestCount() - before, 1);
    }

    void logKeepsItsLastMiB() {
        const QByteArray big(700 * 1024, 'x');
        m_server.setReply(QStringLiteral("script.test/big?n=1"), HttpReply::html("first" + big));
        m_server.setReply(QStringLiteral("script.test/big?n=2"), HttpReply::html(big + "last"));
        child<QLineEdit>("Text3")->setText(QStringLiteral("http://script.test/big?n=$domain"));
        addResult("1", "Direct Link");
        addResult("2", "Direct Link");
        child<QPushButton>("Command2")->click();
        QTRY_VERIFY(child<QPushButton>("Command2")->isEnabled());
        const QString log = child<QPlainTextEdit>("Text4")->toPlainText();
        QCOMPARE(log.size(), 1024 * 1024);
        QVERIFY(!log.contains(u"first"));
        QVERIFY(log.endsWith(u"last\n"));
    }

    void urlHelp() {
        child<QPushButton>("Command3")->click();
        QCOMPARE(m_messages.informTitles.last(), QStringLiteral("URL Variables"));
        QVERIFY(m_messages.informed.last().endsWith(
            u"$domain2 - Inserts the Domain/URL of the page a reciprocal link was found on\n\n"));
        child<QLineEdit>("Text3")->setText(QStringLiteral("http://"));
        child<QPushButton>("Command5")->click();
        QVERIFY(m_messages.informed.last().endsWith(
            u"\nEnter a test URL and click this button again to see it's variables replaced."));
        child<QLineEdit>("Text3")->setText(QStringLiteral("s.example/in?d=$DOMAIN2&s=$status"));
        child<QPushButton>("Command5")->click();
        QCOMPARE(m_messages.informTitles.last(), QStringLiteral("URL Example"));
        QVERIFY(m_messages.informed.last().endsWith(
            u"would become\ns.example/in?d=www.partnersite.example/links.htm&s=True\n\n"
            u"After replacing all variables in your URL."));
    }
};

int main(int argc, char** argv) {
    corvantis::testing::TestEnvironment env;
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Corvantis"));
    QCoreApplication::setApplicationName(QStringLiteral("Corvantis"));
    AutomationWindowTest tc;
    return QTest::qExec(&tc, argc, argv);
}
#include "tst_automation_window.moc"
