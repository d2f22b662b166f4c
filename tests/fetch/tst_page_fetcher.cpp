// The page fetcher's connections against the local servers: kept open from page
// to page or one a page, what ends them, a request asked again once, and TLS
// sessions resumed on a new connection.
#include "fetch/page_fetcher.h"
#include "fetch/tls_setup.h"
#include "support/test_env.h"
#include "support/test_http_server.h"
#include "support/test_tls_front.h"

#include <QDeadlineTimer>

using namespace corvantis::scan;
using corvantis::testing::ConnectionRule;
using corvantis::testing::HttpReply;
using corvantis::testing::TestHttpServer;

Q_DECLARE_METATYPE(corvantis::testing::ConnectionRule)

namespace {

const QString kTls = QStringLiteral(QT_TESTCASE_SOURCEDIR "/../support/tls/");

QString PathOf(int page) {
    return QStringLiteral("/p%1.html").arg(page);
}

QByteArray BodyOf(int page) {
    return "<p>page " + QByteArray::number(page) + "</p>" + QByteArray(page * 300, 'x');
}

// A page's answer: "length"; "slow" (the same after 1.5 s); "chunked"; "close"
// (its length and Connection: close, the connection left open); "until close"
// (no length: the close ends it); "endless" (keep-alive, no length, and the
// server never closes).
HttpReply Answer(const QString& shape, const QByteArray& body) {
    const QList<QByteArray> head{"Content-Type: text/html", "Connection: keep-alive"};
    if (shape == QLatin1String("chunked")) {
        const qsizetype half = body.size() / 2;
        return HttpReply::raw(
            HttpReply::response(200, "OK", head + QList<QByteArray>{"Transfer-Encoding: chunked"},
                                QByteArray::number(half, 16) + "\r\n" + body.left(half) + "\r\n" +
                                    QByteArray::number(body.size() - half, 16) + "\r\n" +
                                    body.mid(half) + "\r\n0\r\n\r\n",
                                false));
    }
    if (shape == QLatin1String("close")) // and the server is slow to close it
        return HttpReply::html(body).keptOpen();
    if (shape == QLatin1String("until close"))
        return HttpReply::html(body, false);
    if (shape == QLatin1String("slow"))
        return HttpReply::raw(HttpReply::response(200, "OK", head, body)).delayed(1500);
    if (shape == QLatin1String("endless"))
        return HttpReply::raw(HttpReply::response(200, "OK", head, body, false)).keptOpen();
    return HttpReply::raw(HttpReply::response(200, "OK", head, body));
}

QString OutcomeText(FetchOutcome outcome) {
    return outcome == FetchOutcome::Complete   ? QStringLiteral("ok")
           : outcome == FetchOutcome::TimedOut ? QStringLiteral("timeout")
                                               : QStringLiteral("other");
}

// One fetcher, its pages asked for one after another as the scan asks for them.
class Pages {
public:
    Pages(const HostRouter& router, bool keepAlive, TlsSessions* sessions = nullptr)
        : fetcher(router, PageFetcher::Options{true, sessions}) {
        fetcher.setKeepAlive(keepAlive);
        fetcher.setTimeouts(2, 2);
        QObject::connect(&fetcher, &PageFetcher::requestSent, [this] { ++announced; });
        QObject::connect(&fetcher, &PageFetcher::finished,
                         [this](const FetchResult& r) { results.append(r); });
    }

    // The page, once the last one has finished; false when it did not end in time.
    // With readAhead the page after it is asked for at once, as the scan does while
    // it analyses a page.
    bool fetch(const QString& host, int page, bool tls, bool readAhead = false) {
        const qsizetype before = results.size();
        fetcher.fetch(host, PathOf(page), tls);
        const bool ended = QTest::qWaitFor([&] { return results.size() > before; }, 8000);
        if (ended && readAhead)
            fetcher.prefetch(host, PathOf(page + 1), tls);
        return ended;
    }

    PageFetcher fetcher;
    QList<FetchResult> results;
    int announced = 0;
};

} // namespace

class PageFetcherTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        // Read once, when the first fetcher is made.
        qputenv("CORVANTIS_TEST_CA_FILE", QString(kTls + QStringLiteral("ca.pem")).toLocal8Bit());
    }

    // Pages one after another from one host: which connection each request
    // reached the server on ("page@connection", in the order the server read
    // them), and how each page ended.
    void connections_data() {
        QTest::addColumn<ConnectionRule>("rule");
        QTest::addColumn<bool>("keepAlive");
        QTest::addColumn<bool>("readAhead");
        QTest::addColumn<QStringList>("answers"); // each page's, see Answer()
        QTest::addColumn<QString>("requests");
        QTest::addColumn<QString>("outcomes");
        ConnectionRule keeps;
        keeps.keepAlive = true;
        const QStringList three{QStringLiteral("length"), QStringLiteral("length"),
                                QStringLiteral("length")};
        QTest::newRow("every page over one connection")
            << keeps << true << false << three << "1@1 2@1 3@1"
            << "ok ok ok";
        QTest::newRow("the read-ahead over the same connection")
            << keeps << true << true << three << "1@1 2@1 3@1"
            << "ok ok ok";
        QTest::newRow("the option off: a connection a page")
            << keeps << false << true << three << "1@1 2@2 3@3"
            << "ok ok ok";
        QTest::newRow("a server that closes after each answer")
            << ConnectionRule() << true << false << three << "1@1 2@2 3@3"
            << "ok ok ok";
        ConnectionRule silentOne = keeps;
        silentOne.answers = 1;
        silentOne.announceClose = false;
        QTest::newRow("one that closes after each, saying keep-alive")
            << silentOne << true << false << three << "1@1 2@2 3@3"
            << "ok ok ok";
        ConnectionRule two = keeps;
        two.answers = 2;
        const QStringList five = three + three.mid(1);
        QTest::newRow("one that closes after two answers")
            << two << true << false << five << "1@1 2@1 3@2 4@2 5@3"
            << "ok ok ok ok ok";
        two.announceClose = false;
        QTest::newRow("one that closes after two, saying keep-alive")
            << two << true << true << five << "1@1 2@1 3@2 4@2 5@3"
            << "ok ok ok ok ok";
        ConnectionRule drops = keeps;
        drops.drop = 2;
        QTest::newRow("a reused connection closed before the answer: asked again once")
            << drops << true << false << three << "1@1 2@1 2@2 3@2 3@3"
            << "ok ok ok";
        QTest::newRow("the same with the read-ahead")
            << drops << true << true << three << "1@1 2@1 2@2 3@2 3@3"
            << "ok ok ok";
        drops.reset = true;
        QTest::newRow("a reused connection reset before the answer")
            << drops << true << false << three << "1@1 2@1 2@2 3@2 3@3"
            << "ok ok ok";
        QTest::newRow("Connection: close in an answer")
            << keeps << true << true
            << QStringList{QStringLiteral("length"), QStringLiteral("close"),
                           QStringLiteral("length")}
            << "1@1 2@1 3@2"
            << "ok ok ok";
        QTest::newRow("chunked and length answers on one connection")
            << keeps << true << false
            << QStringList{QStringLiteral("chunked"), QStringLiteral("length"),
                           QStringLiteral("chunked")}
            << "1@1 2@1 3@1"
            << "ok ok ok";
        QTest::newRow("an answer the close ends")
            << keeps << true << true
            << QStringList{QStringLiteral("length"), QStringLiteral("until close"),
                           QStringLiteral("length")}
            << "1@1 2@1 3@2"
            << "ok ok ok";
        QTest::newRow("slow pages on one connection: the time-outs count per page")
            << keeps << true << false << QStringList{QStringLiteral("slow"), QStringLiteral("slow")}
            << "1@1 2@1"
            << "ok ok";
        QTest::newRow("a kept-open answer that never ends: the idle time-out")
            << keeps << true << false
            << QStringList{QStringLiteral("length"), QStringLiteral("endless")} << "1@1 2@1"
            << "ok timeout";
    }
    void connections() {
        QFETCH(ConnectionRule, rule);
        QFETCH(bool, keepAlive);
        QFETCH(bool, readAhead);
        QFETCH(QStringList, answers);
        QFETCH(QString, requests);
        QFETCH(QString, outcomes);
        TestHttpServer server;
        server.setConnectionRule(rule);
        QVERIFY(server.start());
        for (int page = 1; page <= answers.size(); ++page)
            server.setReply(QStringLiteral("partner.test") + PathOf(page),
                            Answer(answers[page - 1], BodyOf(page)));
        HostRouter router;
        router.add(QStringLiteral("partner.test"), QStringLiteral("127.0.0.1"), server.port());
        Pages pages(router, keepAlive);
        QStringList ended;
        for (int page = 1; page <= answers.size(); ++page) {
            QVERIFY(pages.fetch(QStringLiteral("partner.test"), page, false,
                                readAhead && page < answers.size()));
            const FetchResult& r = pages.results.last();
            ended << OutcomeText(r.outcome);
            if (r.outcome == FetchOutcome::Complete)
                QCOMPARE(r.body, QString::fromLatin1(BodyOf(page)));
        }
        QCOMPARE(ended.join(u' '), outcomes);
        QStringList seen;
        for (const auto& request : server.requests()) {
            seen << request.path.mid(2).chopped(5) + u'@' + QString::number(request.connection);
            QCOMPARE(request.raw.contains("\r\nConnection: keep-alive\r\n"), keepAlive);
        }
        QCOMPARE(seen.join(u' '), requests);
        QCOMPARE(pages.announced, answers.size()); // a page asked again counts once
        pages.fetcher.cancel();
        QTRY_COMPARE(server.openConnectionCount(), 0);
    }

    // Each page on a new connection to a TLS server whose connections share their
    // sessions; the third from another fetcher of the same scan. A new
    // connection resumes the session when connections are kept, never one whose
    // certificate was accepted though it failed verification.
    void tlsSessionsResumed_data() {
        QTest::addColumn<bool>("keepAlive");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("handshakes");
        QTest::newRow("a reconnect resumes the session") << true << "partner.test"
                                                         << "new resumed resumed";
        QTest::newRow("the option off: whole handshakes") << false << "partner.test"
                                                          << "new new new";
        QTest::newRow("a certificate accepted though invalid") << true << "rogue.test"
                                                               << "new new new";
    }
    void tlsSessionsResumed() {
        QFETCH(bool, keepAlive);
        QFETCH(QString, host);
        QFETCH(QString, handshakes);
        const bool rogue = host == QLatin1String("rogue.test");
        TestHttpServer server; // closes after each answer
        QVERIFY(server.start());
        for (int page = 1; page <= 3; ++page)
            server.setReply(host + PathOf(page), Answer(QStringLiteral("length"), BodyOf(page)));
        corvantis::testing::TlsFront front;
        const QString name = rogue ? QStringLiteral("rogue") : QStringLiteral("server");
        QVERIFY(front.start(kTls + name + QStringLiteral(".pem"),
                            kTls + name + QStringLiteral(".key"), server.port()));
        HostRouter router;
        router.add(host, 443, QStringLiteral("127.0.0.1"), front.port());
        TlsSessions sessions;
        Pages first(router, keepAlive, &sessions);
        Pages second(router, keepAlive, &sessions);
        for (Pages* pages : {&first, &second})
            pages->fetcher.setAcceptInvalidCertificates(true);
        QVERIFY(first.fetch(host, 1, true));
        QVERIFY(first.fetch(host, 2, true));
        QVERIFY(second.fetch(host, 3, true));
        for (const FetchResult& r : first.results + second.results) {
            QCOMPARE(r.outcome, FetchOutcome::Complete);
            // Said for every page of a certificate that failed, resumed or not.
            QCOMPARE(r.certificateProblem.isEmpty(), !rogue);
        }
        QStringList seen;
        for (const bool resumed : front.handshakes())
            seen << (resumed ? QStringLiteral("resumed") : QStringLiteral("new"));
        QCOMPARE(seen.join(u' '), handshakes);
        QCOMPARE(server.connectionCount(), 3);
    }
};

CORVANTIS_TEST_MAIN(PageFetcherTest)
#include "tst_page_fetcher.moc"
