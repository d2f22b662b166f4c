#include "support/test_env.h"

#include "support/test_http_server.h"
#include "ui/windows/website_window.h"
#include <QApplication>

#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QToolButton>
#include <QWebEngineSettings>
#include <QWebEngineView>

using corvantis::testing::HttpReply;
using corvantis::testing::S;
using corvantis::testing::TestHttpServer;
using corvantis::ui::WebsiteWindow;

namespace {
constexpr int kLoadTimeoutMs = 30000;
}

// The browser engine is slow to start, so one window serves the whole test.
class WebsiteWindowTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_server.start());
        m_host = S("127.0.0.1:") + QString::number(m_server.port());
        m_server.setReply(m_host + S("/start"),
                          HttpReply::raw(HttpReply::response(
                              302, "Found", {"Location: /final", "Connection: close"}, "")));
        m_server.setReply(m_host + S("/final"),
                          HttpReply::html("<html><head><title>Final Page</title></head>"
                                          "<body><h1>Final</h1></body></html>"));
        m_server.setReply(m_host + S("/popup"),
                          HttpReply::html("<html><body style='margin:0'><a id='a' href='/target' "
                                          "target='_blank' style='display:block;height:100vh'>"
                                          "open</a></body></html>"));
        m_server.setReply(m_host + S("/target"),
                          HttpReply::html("<html><head><title>Target</title></head></html>"));
    }

    void opensMaximizedAndFollowsTheFinalAddress() {
        m_window.open(m_host + S("/start"));
        QCOMPARE(m_window.objectName(), S("frmWebsite"));
        QVERIFY(m_window.isOpen());
        QVERIFY(m_window.windowState() & Qt::WindowMaximized);
        // Above all windows only while it opens: an ordinary window before its page
        // has come, so a slow website does not keep it above everything.
        QCOMPARE(m_window.windowTitle(), m_host + S("/start"));
        QVERIFY(!(m_window.windowFlags() & Qt::WindowStaysOnTopHint));

        const QString final = S("http://") + m_host + S("/final");
        QTRY_COMPARE_WITH_TIMEOUT(panel(2)->text(), S("Completed ") + final, kLoadTimeoutMs);
        QCOMPARE(address()->text(), final);
        QCOMPARE(m_window.windowTitle(), S("Final Page"));

        // Partner pages are third-party content.
        QWebEngineSettings* settings = view()->settings();
        QVERIFY(!settings->testAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls));
        QVERIFY(!settings->testAttribute(QWebEngineSettings::PluginsEnabled));
    }

    void openingAgainDoesNotReload() {
        const int requests = pageRequests();
        m_window.open(m_host + S("/start"));
        QTest::qWait(500);
        QCOMPARE(pageRequests(), requests);
        QCOMPARE(address()->text(), S("http://") + m_host + S("/final"));
    }

    void enterNavigatesLikeGo() {
        QSignalSpy started(view(), &QWebEngineView::loadStarted);
        address()->setText(m_host + S("/popup"));
        QTest::keyClick(address(), Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(panel(2)->text(), S("Completed http://") + m_host + S("/popup"),
                                  kLoadTimeoutMs);
        QVERIFY(!started.isEmpty());
    }

    // A link into a new window opens in the same view.
    void popUpOpensInTheSameView() {
        QWidget* content = view()->focusProxy();
        QVERIFY(content);
        QTest::mouseClick(content, Qt::LeftButton, {}, QPoint(20, 20));
        QTRY_COMPARE_WITH_TIMEOUT(view()->url().toString(), S("http://") + m_host + S("/target"),
                                  kLoadTimeoutMs);
        QCOMPARE(QApplication::topLevelWidgets().count(), 1);
    }

    void closingSignalsAndUnloads() {
        QSignalSpy closed(&m_window, &WebsiteWindow::closed);
        QVERIFY(m_window.close());
        QCOMPARE(closed.count(), 1);
        QVERIFY(!m_window.isOpen());

        // The next open loads the window afresh.
        const int requests = pageRequests();
        m_window.open(m_host + S("/final"));
        QTRY_VERIFY_WITH_TIMEOUT(pageRequests() > requests, kLoadTimeoutMs);
        QVERIFY(m_window.isOpen());
    }

private:
    // Requests for pages; the engine asks for the site's icon when it likes.
    int pageRequests() const {
        int count = 0;
        for (const auto& request : m_server.requests())
            count += request.path != S("/favicon.ico");
        return count;
    }
    QLineEdit* address() { return m_window.findChild<QLineEdit*>(S("Text1")); }
    QLabel* panel(int n) {
        return m_window.findChild<QLabel*>(S("StatusBar1Panel") + QString::number(n));
    }
    QWebEngineView* view() { return m_window.findChild<QWebEngineView*>(S("WebBrowser1")); }

    TestHttpServer m_server;
    QString m_host;
    WebsiteWindow m_window;
};

CORVANTIS_GUI_TEST_MAIN(WebsiteWindowTest)
#include "tst_website_window.moc"
