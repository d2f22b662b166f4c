// Whole-page downloads through Qt's HTTP client, routed to the local server.
#include "fetch/page_downloader.h"
#include "support/test_env.h"
#include "support/test_http_server.h"

#include <QDeadlineTimer>
#include <QTcpServer>

using namespace corvantis::scan;
using corvantis::testing::HttpReply;
using corvantis::testing::TestHttpServer;

class PageDownloaderTest : public QObject {
    Q_OBJECT
    TestHttpServer m_server;
    HostRouter m_router;

    // Downloads and waits (through the event loop) for the body.
    QString download(QString& address) {
        PageDownloader d(m_router);
        d.setTransferTimeout(5000);
        QString body = QStringLiteral("<not called>");
        bool done = false;
        d.DownloadPage(address, [&](const QString& b) {
            body = b;
            done = true;
        });
        QDeadlineTimer deadline(10000);
        while (!done && !deadline.hasExpired())
            QTest::qWait(10);
        return body;
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_server.start());
        for (const char* host : {"partner.test", "other.test"})
            m_router.add(QLatin1String(host), QStringLiteral("127.0.0.1"), m_server.port());
        m_server.setReply(QStringLiteral("partner.test/page.html"), HttpReply::html("hello \xe9"));
        m_server.setReply(QStringLiteral("partner.test/missing.html"),
                          HttpReply::status(404, "Not Found", "custom not-found page"));
        m_server.setReply(
            QStringLiteral("partner.test/jump"),
            HttpReply::raw(
                "HTTP/1.1 301 Moved Permanently\r\nLocation: http://other.test/landing?x=1\r\n"
                "Content-Length: 0\r\nConnection: close\r\n\r\n"));
        m_server.setReply(QStringLiteral("other.test/landing?x=1"), HttpReply::html("landed"));
        m_server.setReply(
            QStringLiteral("partner.test/loop"),
            HttpReply::raw("HTTP/1.1 302 Found\r\nLocation: /loop\r\nContent-Length: 0\r\n\r\n"));
    }

    void bodies_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("requested");
        QTest::addColumn<QString>("body");
        QTest::newRow("scheme put in front")
            << "partner.test/page.html"
            << "http://partner.test/page.html" << QStringLiteral("hello \u00e9");
        QTest::newRow("error status keeps its body") << "http://partner.test/missing.html"
                                                     << "http://partner.test/missing.html"
                                                     << "custom not-found page";
        QTest::newRow("redirect to another host") << "http://partner.test/jump"
                                                  << "http://partner.test/jump"
                                                  << "landed";
        QTest::newRow("endless redirect gives up") << "http://partner.test/loop"
                                                   << "http://partner.test/loop"
                                                   << "";
        QTest::newRow("not an address") << "http://"
                                        << "http://"
                                        << "";
    }
    void bodies() {
        QFETCH(QString, address);
        QFETCH(QString, requested);
        QFETCH(QString, body);
        QCOMPARE(download(address), body);
        QCOMPARE(address, requested);
    }

    void requestKeepsTheHostNameAndAgent() {
        const int before = m_server.requestCount();
        QString address = QStringLiteral("partner.test/page.html");
        download(address);
        QCOMPARE(m_server.requestCount(), before + 1);
        const auto& r = m_server.requests().last();
        QCOMPARE(r.host, QStringLiteral("partner.test"));
        QVERIFY2(r.raw.contains("\r\nUser-Agent: Mozilla\r\n"), r.raw.constData());
        QVERIFY(r.raw.toLower().contains("no-cache"));
    }

    void refusedConnectionGivesEmptyText() {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        m_router.add(QStringLiteral("dead.test"), QStringLiteral("127.0.0.1"), port);
        QString address = QStringLiteral("dead.test/x.html");
        QCOMPARE(download(address), QString());
    }
};

CORVANTIS_TEST_MAIN(PageDownloaderTest)
#include "tst_page_downloader.moc"
