// Partner sites on today's web: sites that live on https, redirects with a
// Location header, chunked pages and certificate problems, against a local plain
// server and a local TLS server whose certificate a test authority signed.
#include "fetch/host_route.h"
#include "scan/scan_engine.h"
#include "support/scan_fixture.h"
#include "support/test_env.h"
#include "support/test_http_server.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

using namespace corvantis;
using namespace corvantis::scan;
using corvantis::testing::HttpReply;

namespace {
const QString kTls = QStringLiteral(QT_TESTCASE_SOURCEDIR "/../support/tls/");
const QByteArray kLinkBack = "<a href=\"http://www.mysite.test/\">My site</a>";

QByteArray Page(const QByteArray& inner) {
    return "<html><body>\n" + inner + "\n</body></html>\n";
}

HttpReply MovedTo(const QByteArray& location, int code = 301) {
    return HttpReply::raw(HttpReply::response(
        code, "Moved Permanently", {"Location: " + location, "Connection: close"},
        "<html><head><title>301 Moved Permanently</title></head><body><center>"
        "<h1>301 Moved Permanently</h1></center><hr><center>nginx</center></body></html>"));
}

const QByteArray kStartPage = Page("<a href=\"a.html\">a</a> <a href=\"b.html\">b</a>");

HttpReply Chunked(const QByteArray& chunks) {
    return HttpReply::raw("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n"
                          "Connection: close\r\n\r\n" +
                          chunks);
}
} // namespace

class HttpsSitesTest : public QObject, protected testing::ScanFixture {
    Q_OBJECT

    std::unique_ptr<testing::TestHttpServer> m_plain;
    std::unique_ptr<testing::TestHttpServer> m_tls;
    std::unique_ptr<QProcess> m_lighttpd;

    void route(const QString& host) {
        m_router.add(host, 80, QStringLiteral("127.0.0.1"), m_plain->port());
        m_router.add(host, 443, QStringLiteral("127.0.0.1"), m_tls->port());
    }

    bool runScan(const QString& partner) {
        addPartner(partner);
        return ScanFixture::runScan();
    }

    static QStringList Keys(const testing::TestHttpServer& server) {
        QStringList out;
        for (const auto& r : server.requests())
            out.append(r.key());
        return out;
    }

    QStringList rows() const {
        QStringList out;
        for (const ResultRow& r : m_session->project.results.rows())
            out.append(r.status + QLatin1Char('|') + r.url);
        return out;
    }

    QStringList errors() const {
        QStringList out;
        for (const ErrorRow& e : m_session->run.errors.rows())
            out.append(e.error + QLatin1Char('|') + e.url);
        return out;
    }

private Q_SLOTS:
    void initTestCase() {
        // Read once, when the first connection is set up.
        qputenv("CORVANTIS_TEST_CA_FILE", QString(kTls + QStringLiteral("ca.pem")).toLocal8Bit());
    }

    void initTestCase_data() { ReadAheadOnAndOff(); }

    void init() {
        m_plain = std::make_unique<testing::TestHttpServer>();
        m_tls = std::make_unique<testing::TestHttpServer>();
        m_plain->setConnectionRule(ServerRule());
        m_tls->setConnectionRule(ServerRule());
        QVERIFY(m_plain->start());
        QVERIFY(m_tls->startTls(kTls + QStringLiteral("server.pem"),
                                kTls + QStringLiteral("server.key")));
        m_router = HostRouter();
        for (const char* host : {"partner.test", "www.partner.test", "other.test"})
            route(QLatin1String(host));
        makeEngine();
        m_options.chkAuto2 = false;
        m_session->project.setDomain(QStringLiteral("mysite.test"));
    }

    void cleanup() {
        if (m_lighttpd) {
            m_lighttpd->kill();
            m_lighttpd->waitForFinished(5000);
            m_lighttpd.reset();
        }
        dropEngine();
        m_plain.reset();
        m_tls.reset();
    }

    // Every plain page answers with a redirect to https, as most servers do now:
    // after the first one the site is crawled over TLS, each page asked for once.
    void siteMovesToHttps_data() {
        QTest::addColumn<QString>("partner");
        QTest::addColumn<QString>("tlsHost");
        QTest::addColumn<QStringList>("plainAsked");
        QTest::newRow("same host")
            << "partner.test/"
            << "partner.test" << QStringList{QStringLiteral("partner.test/")};
        QTest::newRow("the www twin")
            << "partner.test/"
            << "www.partner.test" << QStringList{QStringLiteral("partner.test/")};
        QTest::newRow("entered as https") << "https://partner.test/"
                                          << "partner.test" << QStringList();
    }
    void siteMovesToHttps() {
        QFETCH(QString, partner);
        QFETCH(QString, tlsHost);
        QFETCH(QStringList, plainAsked);
        const QByteArray host = tlsHost.toLatin1();
        for (const char* path : {"/", "/a.html", "/b.html"})
            m_plain->setReply(QStringLiteral("partner.test") + QLatin1String(path),
                              MovedTo("https://" + host + path));
        m_tls->setReply(
            tlsHost + QStringLiteral("/"),
            HttpReply::html(Page("<a href=\"a.html\">a</a> <a href=\"/b.html\">b</a>")));
        m_tls->setReply(tlsHost + QStringLiteral("/a.html"), HttpReply::html(Page("none")));
        m_tls->setReply(tlsHost + QStringLiteral("/b.html"), HttpReply::html(Page(kLinkBack)));
        QVERIFY(runScan(partner));
        QCOMPARE(Keys(*m_plain), plainAsked);
        QCOMPARE(Keys(*m_tls),
                 (QStringList{tlsHost + QStringLiteral("/"), tlsHost + QStringLiteral("/a.html"),
                              tlsHost + QStringLiteral("/b.html")}));
        QCOMPARE(rows(), QStringList{QStringLiteral("Direct Link|partner.test/b.html")});
        QCOMPARE(errors(), QStringList());
        QCOMPARE(m_session->run.counters().runPagesScanned, 3); // a page moved counts once
        // The TLS pages over one connection when both ends keep it.
        QFETCH_GLOBAL(bool, keepAlive);
        QFETCH_GLOBAL(bool, serverKeeps);
        QCOMPARE(m_tls->connectionCount(), keepAlive && serverKeeps ? 1 : 3);
    }

    // A redirect to another site is followed once, to the header's target.
    void redirectToAnotherSiteFollowedOnce() {
        m_plain->setReply(QStringLiteral("partner.test/"),
                          MovedTo("http://other.test/moved.html", 302));
        m_plain->setReply(QStringLiteral("other.test/moved.html"),
                          MovedTo("https://other.test/final.html", 302));
        m_tls->setReply(QStringLiteral("other.test/final.html"), HttpReply::html(Page(kLinkBack)));
        QVERIFY(runScan(QStringLiteral("partner.test/")));
        QCOMPARE(Keys(*m_plain), (QStringList{QStringLiteral("partner.test/"),
                                              QStringLiteral("other.test/moved.html")}));
        QCOMPARE(Keys(*m_tls), QStringList{QStringLiteral("other.test/final.html")});
        QCOMPARE(rows(), QStringList{QStringLiteral("Direct Link|partner.test")});
    }

    // A certificate no known authority signed: an error row and the site's note,
    // or, with invalid certificates accepted, the page read all the same.
    void certificateFromUnknownAuthority_data() {
        QTest::addColumn<bool>("accept");
        QTest::addColumn<QString>("row");
        QTest::newRow("refused") << false << "None Found (Certificate error: ";
        QTest::newRow("accepted") << true << "Direct Link|rogue.test";
    }
    void certificateFromUnknownAuthority() {
        QFETCH(bool, accept);
        QFETCH(QString, row);
        testing::TestHttpServer rogue;
        QVERIFY(
            rogue.startTls(kTls + QStringLiteral("rogue.pem"), kTls + QStringLiteral("rogue.key")));
        rogue.setReply(QStringLiteral("rogue.test/"), HttpReply::html(Page(kLinkBack)));
        m_router.add(QStringLiteral("rogue.test"), 443, QStringLiteral("127.0.0.1"), rogue.port());
        m_options.acceptInvalidCertificates = accept;
        QVERIFY(runScan(QStringLiteral("https://rogue.test/")));
        QCOMPARE(errors(), QStringList{QStringLiteral("Certificate error|rogue.test/")});
        QCOMPARE(rows().size(), 1);
        QVERIFY2(rows().first().startsWith(row), qPrintable(rows().first()));
        QCOMPARE(rogue.requestCount(), accept ? 1 : 0);
    }

    // No answer in the handshake, or no listener on port 443: the "Timeout" outcome,
    // by the idle time-out or at once.
    void tlsConnectionThatFails_data() {
        QTest::addColumn<bool>("stalls");
        QTest::newRow("handshake stalls") << true;
        QTest::newRow("port 443 refused") << false;
    }
    void tlsConnectionThatFails() {
        QFETCH(bool, stalls);
        QTcpServer silent; // accepts and never answers
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        const quint16 port = silent.serverPort();
        if (!stalls)
            silent.close();
        m_router.add(QStringLiteral("stall.test"), 443, QStringLiteral("127.0.0.1"), port);
        m_options.timeoutSeconds = 1;
        QElapsedTimer clock;
        clock.start();
        QVERIFY(runScan(QStringLiteral("https://stall.test/")));
        QVERIFY(stalls ? clock.elapsed() >= 900 : clock.elapsed() < 900);
        QCOMPARE(errors(), QStringList{QStringLiteral("Timeout|stall.test")});
        QCOMPARE(rows(), QStringList{QStringLiteral("None Found (Timeout)|https://stall.test/")});
    }

    // Chunked pages are decoded before capture, on plain and TLS connections; a
    // stream that breaks off or goes wrong keeps what came before the fault.
    void chunkedPages_data() {
        QTest::addColumn<bool>("tls");
        QTest::addColumn<QByteArray>("chunks");
        QTest::addColumn<QString>("row");
        const QByteArray link = Page(kLinkBack);
        const qsizetype cut = link.indexOf("mysite") + 3; // the boundary cuts the link back
        const QByteArray split = QByteArray::number(cut, 16) + "\r\n" + link.left(cut) + "\r\n" +
                                 QByteArray::number(link.size() - cut, 16) + "; ext=1\r\n" +
                                 link.mid(cut) + "\r\n0\r\nX-Trailer: 1\r\n\r\n";
        QTest::newRow("link back cut by a chunk boundary")
            << false << split << "Direct Link|partner.test";
        QTest::newRow("the same over TLS") << true << split << "Direct Link|partner.test";
        QTest::newRow("truncated: the link back never came")
            << false << split.left(split.indexOf("\r\n", 4) + 2 + cut / 2)
            << "None Found|partner.test/";
        QTest::newRow("malformed size line")
            << false << QByteArray("zz\r\n") + link << "None Found|partner.test/";
    }
    void chunkedPages() {
        QFETCH(bool, tls);
        QFETCH(QByteArray, chunks);
        QFETCH(QString, row);
        (tls ? m_tls : m_plain)->setReply(QStringLiteral("partner.test/"), Chunked(chunks));
        QVERIFY(runScan(tls ? QStringLiteral("https://partner.test/")
                            : QStringLiteral("partner.test/")));
        QCOMPARE(rows(), QStringList{row});
    }

    // A TLS server that ends with its close alert and then leaves the connection
    // open, waiting for ours; or one that keeps it open after a response of known
    // length. Either ends the page at once, and the fetch closes the connection.
    void tlsPageOnAConnectionLeftOpen_data() {
        QTest::addColumn<bool>("length");
        QTest::newRow("close alert, then waits") << false;
        QTest::newRow("Content-Length, kept open") << true;
    }
    void tlsPageOnAConnectionLeftOpen() {
        QFETCH(bool, length);
        testing::HoldingRelay relay;
        QVERIFY(relay.start(m_tls->port()));
        m_router.add(QStringLiteral("partner.test"), 443, QStringLiteral("127.0.0.1"),
                     relay.port());
        const auto reply = [length](const QByteArray& body) {
            // Without a length only the end of TLS tells where the page ends.
            return length ? HttpReply::raw(
                                HttpReply::response(200, "OK", {"Connection: keep-alive"}, body))
                          : HttpReply::html(body, false);
        };
        // The server keeps the connection after a page of known length, even when
        // asked to close it, and answers the next request on it.
        testing::ConnectionRule rule;
        rule.keepAlive = rule.ignoreClientClose = length;
        m_tls->setConnectionRule(rule);
        m_tls->setReply(QStringLiteral("partner.test/"), reply(kStartPage));
        // Long enough to read that the third page's answer is in before its turn.
        QByteArray links;
        for (int i = 0; i < 100000; ++i)
            links += "<a href=\"a.html\">again</a>\n";
        m_tls->setReply(QStringLiteral("partner.test/a.html"), reply(Page(links)));
        m_tls->setReply(QStringLiteral("partner.test/b.html"), reply(Page(kLinkBack)));
        QElapsedTimer clock;
        clock.start();
        QVERIFY(runScan(QStringLiteral("https://partner.test/")));
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(rows(), QStringList{QStringLiteral("Direct Link|partner.test/b.html")});
        QCOMPARE(errors(), QStringList());
        QCOMPARE(m_tls->requestCount(), 3);
        QFETCH_GLOBAL(bool, keepAlive);
        QCOMPARE(m_tls->connectionCount(), keepAlive && length ? 1 : 3);
        QTRY_COMPARE(relay.openClientCount(), 0); // the relay never closes them itself
    }

    // Debian's lighttpd over TLS sends its close alert after the response and closes
    // the connection only seconds later.
    void lighttpdSiteOverTls() {
        const QString lighttpd = QStringLiteral("/usr/sbin/lighttpd");
        if (!QFileInfo::exists(lighttpd))
            QSKIP("/usr/sbin/lighttpd is missing (Debian package lighttpd)");
        if (!QFileInfo::exists(QStringLiteral("/usr/lib/lighttpd/mod_openssl.so")))
            QSKIP("lighttpd has no TLS module (Debian package lighttpd-mod-openssl)");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QDir root(dir.path());
        QVERIFY(root.mkdir(QStringLiteral("site")));
        QVERIFY(testing::WriteBytes(root.filePath(QStringLiteral("site/index.html")), kStartPage));
        QVERIFY(testing::WriteBytes(root.filePath(QStringLiteral("site/a.html")), Page("none")));
        QVERIFY(testing::WriteBytes(root.filePath(QStringLiteral("site/b.html")), Page(kLinkBack)));
        quint16 port = 0;
        {
            QTcpServer probe; // a free port, given up for lighttpd just before it starts
            QVERIFY(probe.listen(QHostAddress::LocalHost));
            port = probe.serverPort();
        }
        const QByteArray conf = "server.modules += (\"mod_openssl\")\n"
                                "server.document-root = \"" +
                                root.filePath(QStringLiteral("site")).toUtf8() +
                                "\"\n"
                                "server.bind = \"127.0.0.1\"\n"
                                "server.port = " +
                                QByteArray::number(port) +
                                "\n"
                                "server.pid-file = \"" +
                                root.filePath(QStringLiteral("lighttpd.pid")).toUtf8() +
                                "\"\n"
                                "server.errorlog = \"" +
                                root.filePath(QStringLiteral("error.log")).toUtf8() +
                                "\"\n"
                                "index-file.names = (\"index.html\")\n"
                                "mimetype.assign = (\".html\" => \"text/html\")\n"
                                "ssl.engine = \"enable\"\n"
                                "ssl.pemfile = \"" +
                                (kTls + QStringLiteral("server.pem")).toUtf8() +
                                "\"\n"
                                "ssl.privkey = \"" +
                                (kTls + QStringLiteral("server.key")).toUtf8() + "\"\n";
        const QString confPath = root.filePath(QStringLiteral("lighttpd.conf"));
        QVERIFY(testing::WriteBytes(confPath, conf));
        m_lighttpd = std::make_unique<QProcess>();
        m_lighttpd->setProcessChannelMode(QProcess::MergedChannels);
        m_lighttpd->start(lighttpd, {QStringLiteral("-D"), QStringLiteral("-f"), confPath});
        QVERIFY(m_lighttpd->waitForStarted(5000));
        bool listening = false;
        for (int i = 0; i < 50 && !listening && m_lighttpd->state() == QProcess::Running; ++i) {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, port);
            listening = probe.waitForConnected(100);
            if (!listening)
                QTest::qWait(100);
        }
        const QByteArray log =
            m_lighttpd->readAll() + testing::ReadBytes(root.filePath(QStringLiteral("error.log")));
        QVERIFY2(listening, log.constData());
        m_router.add(QStringLiteral("partner.test"), 443, QStringLiteral("127.0.0.1"), port);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(runScan(QStringLiteral("https://partner.test/")));
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(rows(), QStringList{QStringLiteral("Direct Link|partner.test/b.html")});
        QCOMPARE(errors(), QStringList());
        QCOMPARE(m_session->run.counters().runPagesScanned, 3);
    }
};

CORVANTIS_TEST_MAIN(HttpsSitesTest)
#include "tst_https_sites.moc"
