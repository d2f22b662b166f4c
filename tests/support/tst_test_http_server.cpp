#include "support/test_env.h"
#include "support/test_http_server.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

using corvantis::testing::ConnectionRule;
using corvantis::testing::HoldingRelay;
using corvantis::testing::HttpReply;
using corvantis::testing::TestHttpServer;

Q_DECLARE_METATYPE(corvantis::testing::HttpReply)
Q_DECLARE_METATYPE(corvantis::testing::ConnectionRule)

namespace {

// The request the scan engine sends for a page.
QByteArray engineRequest(const QByteArray& host, const QByteArray& path) {
    return "GET " + path + " HTTP/1.1\r\nHost: " + host +
           "\r\nConnection: close\r\nAccept: */*\r\n"
           "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1)\r\n\r\n";
}

// A plain socket client that notes what arrived, when, and whether the server
// closed the connection.
class Client : public QObject {
public:
    explicit Client(const TestHttpServer& server, const QString& host = QStringLiteral("a.test")) {
        connect(&m_socket, &QTcpSocket::readyRead, this, [this] {
            const QByteArray data = m_socket.readAll();
            arrivals.append(data.size());
            if (received.isEmpty() && !data.isEmpty())
                firstByteMs = m_clock.elapsed();
            received += data;
        });
        connect(&m_socket, &QTcpSocket::disconnected, this, [this] {
            closedByPeer = true;
            closedMs = m_clock.elapsed();
        });
        // Goes through the route table, as the engine will.
        const auto route = server.routes({host}).value(host);
        m_socket.connectToHost(route.address, route.port);
    }

    bool waitConnected() { return m_socket.waitForConnected(5000); }

    void send(const QByteArray& bytes) {
        if (m_clock.isValid() == false)
            m_clock.start();
        m_socket.write(bytes);
        m_socket.flush();
    }

    void close() { m_socket.abort(); }
    bool connected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }

    QByteArray received;
    QList<qsizetype> arrivals;
    bool closedByPeer = false;
    qint64 firstByteMs = -1;
    qint64 closedMs = -1;

private:
    QTcpSocket m_socket;
    QElapsedTimer m_clock;
};

} // namespace

class TestHttpServerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void recordsRequest_data();
    void recordsRequest();
    void incompleteRequestIsRecorded();
    void replyShapes_data();
    void replyShapes();
    void firstByteDelay();
    void partialWritesArriveApart();
    void slowReplyDoesNotBlockOthers();
    void keptOpenUntilStopped();
    void unknownKeyGetsDefaultReply();
    void lifetimeStopsServer();
    void destructorClosesConnections();
    void relayHoldsTheServersClose();
    void connectionRules_data();
    void connectionRules();
};

void TestHttpServerTest::recordsRequest_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("splitAt"); // 0: one write
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("path");

    const QByteArray engine = engineRequest("partner.test", "/links/page.html");
    QTest::newRow("engine request")
        << engine << 0 << QStringLiteral("partner.test") << QStringLiteral("/links/page.html");
    QTest::newRow("written in two parts")
        << engine << 9 << QStringLiteral("partner.test") << QStringLiteral("/links/page.html");
    QTest::newRow("blank line split across writes")
        << engine << int(engine.size() - 2) << QStringLiteral("partner.test")
        << QStringLiteral("/links/page.html");
    QTest::newRow("query and case kept")
        << engineRequest("Partner.Test", "/a.php?id=1&q=%20x") << 0
        << QStringLiteral("Partner.Test") << QStringLiteral("/a.php?id=1&q=%20x");
    QTest::newRow("host header in other case with spaces")
        << QByteArray("GET /x.html HTTP/1.1\r\nAccept: */*\r\nhOsT:   b.test  \r\n\r\n") << 0
        << QStringLiteral("b.test") << QStringLiteral("/x.html");
    QTest::newRow("no host header")
        << QByteArray("GET /only HTTP/1.1\r\n\r\n") << 0 << QString() << QStringLiteral("/only");
    QTest::newRow("path repeating a host")
        << engineRequest("partner.test", "/go?to=partner.test/x") << 0
        << QStringLiteral("partner.test") << QStringLiteral("/go?to=partner.test/x");
}

void TestHttpServerTest::recordsRequest() {
    QFETCH(QByteArray, request);
    QFETCH(int, splitAt);
    QFETCH(QString, host);
    QFETCH(QString, path);

    TestHttpServer server;
    QVERIFY(server.start());
    const QByteArray body = "<p>page for " + (host + path).toLatin1() + "</p>";
    server.setReply(host + path, HttpReply::html(body));
    QSignalSpy received(&server, &TestHttpServer::requestReceived);

    Client client(server);
    QVERIFY(client.waitConnected());
    if (splitAt > 0) {
        client.send(request.left(splitAt));
        QTest::qWait(50);
        QCOMPARE(received.count(), 0);
        client.send(request.mid(splitAt));
    } else {
        client.send(request);
    }
    QTRY_VERIFY(client.closedByPeer);

    QCOMPARE(received.count(), 1);
    QCOMPARE(received.at(0).at(0).toInt(), 0);
    QCOMPARE(server.requestCount(), 1);
    const auto& rec = server.requests().at(0);
    QCOMPARE(rec.raw, request);
    QVERIFY(rec.complete);
    QCOMPARE(rec.host, host);
    QCOMPARE(rec.path, path);
    QVERIFY(client.received.endsWith(body));
}

void TestHttpServerTest::incompleteRequestIsRecorded() {
    TestHttpServer server;
    QVERIFY(server.start());
    QSignalSpy received(&server, &TestHttpServer::requestReceived);
    {
        Client client(server);
        QVERIFY(client.waitConnected());
        client.send("GET /half HTTP/1.1\r\nHost: a.test\r\n");
        QTRY_COMPARE(server.requestCount(), 1);
        QTest::qWait(50);
        QVERIFY(client.received.isEmpty());
        client.close();
    }
    QTRY_COMPARE(server.openConnectionCount(), 0);
    QCOMPARE(received.count(), 0);
    QCOMPARE(server.connectionCount(), 1);
    const auto& rec = server.requests().at(0);
    QVERIFY(!rec.complete);
    QCOMPARE(rec.raw, QByteArray("GET /half HTTP/1.1\r\nHost: a.test\r\n"));
}

void TestHttpServerTest::replyShapes_data() {
    QTest::addColumn<HttpReply>("reply");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("page with Content-Length")
        << HttpReply::html("<p>hi</p>")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n"
                      "Content-Length: 9\r\n\r\n<p>hi</p>");
    QTest::newRow("page without Content-Length")
        << HttpReply::html("<p>hi</p>", false)
        << QByteArray(
               "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n<p>hi</p>");
    QTest::newRow("any status and headers")
        << HttpReply::raw(HttpReply::response(302, "Found", {"Location: http://b.test/"}, "moved"))
        << QByteArray(
               "HTTP/1.1 302 Found\r\nLocation: http://b.test/\r\nContent-Length: 5\r\n\r\nmoved");
    QTest::newRow("raw bytes") << HttpReply::raw("no header at all\n")
                               << QByteArray("no header at all\n");
    const QByteArray big(5000, 'x');
    QTest::newRow("partial writes") << HttpReply::raw(big).inChunks(700, 5) << big;
    QTest::newRow("closed after K bytes")
        << HttpReply::raw("HTTP/1.1 200 OK\r\n\r\nbody").closedAfter(12)
        << QByteArray("HTTP/1.1 200");
    QTest::newRow("closed after K bytes in parts")
        << HttpReply::raw(big).inChunks(300, 5).closedAfter(1000) << QByteArray(1000, 'x');
    QTest::newRow("closed without reply")
        << HttpReply::html("never sent").closedAfter(0) << QByteArray();
}

void TestHttpServerTest::replyShapes() {
    QFETCH(HttpReply, reply);
    QFETCH(QByteArray, expected);

    TestHttpServer server;
    QVERIFY(server.start());
    server.setReply(QStringLiteral("a.test/p.html"), reply);
    Client client(server);
    QVERIFY(client.waitConnected());
    client.send(engineRequest("a.test", "/p.html"));
    QTRY_VERIFY(client.closedByPeer);
    QCOMPARE(client.received, expected);
    QTRY_COMPARE(server.openConnectionCount(), 0);
}

void TestHttpServerTest::firstByteDelay() {
    TestHttpServer server;
    QVERIFY(server.start());
    server.setReply(QStringLiteral("a.test/slow"), HttpReply::html("late").delayed(300));
    Client client(server);
    QVERIFY(client.waitConnected());
    client.send(engineRequest("a.test", "/slow"));
    // The request is in well before the reply starts.
    QTRY_COMPARE(server.requestCount(), 1);
    QVERIFY(client.received.isEmpty());
    QTRY_VERIFY(client.closedByPeer);
    QVERIFY2(client.firstByteMs >= 300, qPrintable(QString::number(client.firstByteMs)));
    QVERIFY(client.received.endsWith("late"));
}

void TestHttpServerTest::partialWritesArriveApart() {
    TestHttpServer server;
    QVERIFY(server.start());
    const QByteArray bytes(500, 'y');
    server.setReply(QStringLiteral("a.test/parts"), HttpReply::raw(bytes).inChunks(100, 100));
    Client client(server);
    QVERIFY(client.waitConnected());
    client.send(engineRequest("a.test", "/parts"));
    QTRY_VERIFY_WITH_TIMEOUT(client.closedByPeer, 10000);
    QCOMPARE(client.received, bytes);
    // Five pieces 100 ms apart: the first read holds one piece, the whole takes 400 ms.
    QVERIFY(client.arrivals.size() >= 2);
    QCOMPARE(client.arrivals.first(), qsizetype(100));
    QVERIFY2(client.closedMs - client.firstByteMs >= 400,
             qPrintable(QString::number(client.closedMs - client.firstByteMs)));
}

void TestHttpServerTest::slowReplyDoesNotBlockOthers() {
    TestHttpServer server;
    QVERIFY(server.start());
    server.setReply(QStringLiteral("a.test/slow"), HttpReply::html("slow").delayed(1000));
    server.setReply(QStringLiteral("a.test/fast"), HttpReply::html("fast"));
    Client slow(server);
    Client fast(server);
    QVERIFY(slow.waitConnected());
    QVERIFY(fast.waitConnected());
    slow.send(engineRequest("a.test", "/slow"));
    QTRY_COMPARE(server.requestCount(), 1);
    fast.send(engineRequest("a.test", "/fast"));
    QTRY_VERIFY(fast.closedByPeer);
    QVERIFY(!slow.closedByPeer);
    QVERIFY(fast.received.endsWith("fast"));
    QTRY_VERIFY(slow.closedByPeer);
    QVERIFY(slow.received.endsWith("slow"));
    // Recorded in the order the requests came in.
    QCOMPARE(server.requests().at(0).path, QStringLiteral("/slow"));
    QCOMPARE(server.requests().at(1).path, QStringLiteral("/fast"));
}

void TestHttpServerTest::keptOpenUntilStopped() {
    TestHttpServer server;
    QVERIFY(server.start());
    server.setReply(QStringLiteral("a.test/open"), HttpReply::html("stays").keptOpen());
    QSignalSpy stopped(&server, &TestHttpServer::stopped);
    Client client(server);
    QVERIFY(client.waitConnected());
    client.send(engineRequest("a.test", "/open"));
    QTRY_VERIFY(client.received.endsWith("stays"));
    QTest::qWait(300);
    QVERIFY(!client.closedByPeer);
    QCOMPARE(server.openConnectionCount(), 1);

    server.stop();
    QTRY_VERIFY(client.closedByPeer);
    QVERIFY(!server.isListening());
    QCOMPARE(server.openConnectionCount(), 0);
    QCOMPARE(stopped.count(), 1);
    server.stop();
    QCOMPARE(stopped.count(), 1);
}

void TestHttpServerTest::unknownKeyGetsDefaultReply() {
    TestHttpServer server;
    QVERIFY(server.start());
    // Scripted for another host: the key is host + path, not the path alone.
    server.setReply(QStringLiteral("b.test/page.html"), HttpReply::html("b"));
    {
        Client client(server);
        QVERIFY(client.waitConnected());
        client.send(engineRequest("a.test", "/page.html"));
        QTRY_VERIFY(client.closedByPeer);
        QCOMPARE(client.received, TestHttpServer::notFoundReply().bytes);
        QVERIFY(client.received.startsWith("HTTP/1.1 404 Not Found\r\n"));
    }
    server.setDefaultReply(HttpReply::raw("other"));
    Client client(server);
    QVERIFY(client.waitConnected());
    client.send(engineRequest("a.test", "/page.html"));
    QTRY_VERIFY(client.closedByPeer);
    QCOMPARE(client.received, QByteArray("other"));
}

void TestHttpServerTest::lifetimeStopsServer() {
    TestHttpServer server;
    server.setMaxLifetime(400);
    QVERIFY(server.start());
    QSignalSpy stopped(&server, &TestHttpServer::stopped);
    server.setReply(QStringLiteral("a.test/open"), HttpReply::html("x").keptOpen());
    Client client(server);
    QVERIFY(client.waitConnected());
    client.send(engineRequest("a.test", "/open"));
    QTRY_VERIFY(client.received.endsWith("x"));
    QTRY_VERIFY_WITH_TIMEOUT(client.closedByPeer, 5000);
    QVERIFY(!server.isListening());
    QCOMPARE(stopped.count(), 1);

    Client late(server);
    QVERIFY(!late.waitConnected());
}

void TestHttpServerTest::destructorClosesConnections() {
    auto* server = new TestHttpServer;
    QVERIFY(server->start());
    server->setReply(QStringLiteral("a.test/open"), HttpReply::html("x").keptOpen());
    Client client(*server);
    QVERIFY(client.waitConnected());
    client.send(engineRequest("a.test", "/open"));
    QTRY_VERIFY(client.received.endsWith("x"));
    delete server;
    QTRY_VERIFY(client.closedByPeer);
}

// Bytes pass both ways; the server's close never reaches the client, whose side
// stays open until the relay's lifetime ends.
void TestHttpServerTest::relayHoldsTheServersClose() {
    TestHttpServer server;
    QVERIFY(server.start());
    server.setReply(QStringLiteral("a.test/"), HttpReply::html("hi"));
    HoldingRelay relay;
    QVERIFY(relay.start(server.port(), 1500));
    QTcpSocket socket;
    bool closed = false;
    connect(&socket, &QTcpSocket::disconnected, this, [&] { closed = true; });
    socket.connectToHost(QHostAddress::LocalHost, relay.port());
    QVERIFY(socket.waitForConnected(5000));
    socket.write(engineRequest("a.test", "/"));
    QByteArray received;
    connect(&socket, &QTcpSocket::readyRead, this, [&] { received += socket.readAll(); });
    QTRY_COMPARE(received, HttpReply::html("hi").bytes);
    QTRY_COMPARE(server.openConnectionCount(), 0); // the server has closed its side
    QCOMPARE(relay.openClientCount(), 1);
    QVERIFY(!closed);
    QTRY_VERIFY_WITH_TIMEOUT(closed, 5000);
    QCOMPARE(relay.openClientCount(), 0);
}

CORVANTIS_TEST_MAIN(TestHttpServerTest)
#include "tst_test_http_server.moc"

// Requests one after another on one connection, each once the last is answered:
// what each answer says of the connection, and whether the server then closed it.
void TestHttpServerTest::connectionRules_data() {
    QTest::addColumn<ConnectionRule>("rule");
    QTest::addColumn<QStringList>("asked"); // paths; "!" in front: the request says close
    QTest::addColumn<QString>("answers");   // "keep-alive", "close" or "none" each; then "open"
                                            // or "closed"
    ConnectionRule keeps;
    keeps.keepAlive = true;
    const QStringList three{QStringLiteral("/a"), QStringLiteral("/a"), QStringLiteral("/a")};
    QTest::newRow("no rule: as each answer says") << ConnectionRule() << three << "close closed";
    QTest::newRow("kept: every request answered")
        << keeps << three << "keep-alive keep-alive keep-alive open";
    ConnectionRule two = keeps;
    two.answers = 2;
    QTest::newRow("two answers") << two << three << "keep-alive close closed";
    two.announceClose = false;
    QTest::newRow("two answers, the close unsaid")
        << two << three << "keep-alive keep-alive closed";
    QTest::newRow("the client says close")
        << keeps << QStringList{QStringLiteral("/a"), QStringLiteral("!/a")}
        << "keep-alive close closed";
    ConnectionRule deaf = keeps;
    deaf.ignoreClientClose = true;
    QTest::newRow("the client's close ignored")
        << deaf << QStringList{QStringLiteral("!/a"), QStringLiteral("!/a")}
        << "keep-alive keep-alive open";
    QTest::newRow("an answer that closes")
        << keeps << QStringList{QStringLiteral("/a"), QStringLiteral("/closing")}
        << "keep-alive close closed";
    QTest::newRow("an answer the close ends")
        << keeps << QStringList{QStringLiteral("/a"), QStringLiteral("/unframed")}
        << "keep-alive close closed";
    ConnectionRule drops = keeps;
    drops.drop = 2;
    QTest::newRow("the second request dropped") << drops << three << "keep-alive none closed";
}

void TestHttpServerTest::connectionRules() {
    QFETCH(ConnectionRule, rule);
    QFETCH(QStringList, asked);
    QFETCH(QString, answers);
    TestHttpServer server;
    server.setConnectionRule(rule);
    QVERIFY(server.start());
    server.setReply(QStringLiteral("a.test/a"), HttpReply::html("<p>a</p>"));
    server.setReply(QStringLiteral("a.test/closing"), HttpReply::html("<p>a</p>").closingAfter());
    server.setReply(QStringLiteral("a.test/unframed"), HttpReply::html("<p>a</p>", false));
    Client client(server);
    QVERIFY(client.waitConnected());
    QStringList said;
    for (const QString& path : asked) {
        if (client.closedByPeer)
            break;
        const qsizetype before = client.received.size();
        QByteArray request = engineRequest("a.test", path.toLatin1().replace("!", ""));
        if (!path.startsWith(u'!'))
            request.replace("Connection: close", "Connection: keep-alive");
        client.send(request);
        QTRY_VERIFY((client.received.size() > before && client.received.endsWith("<p>a</p>")) ||
                    client.closedByPeer);
        const QByteArray answer = client.received.mid(before);
        said << (answer.contains("\r\nConnection: keep-alive\r\n") ? QStringLiteral("keep-alive")
                 : answer.contains("\r\nConnection: close\r\n")    ? QStringLiteral("close")
                                                                   : QStringLiteral("none"));
        QTest::qWait(20); // time for a close to arrive
    }
    said << (client.closedByPeer ? QStringLiteral("closed") : QStringLiteral("open"));
    QCOMPARE(said.join(u' '), answers);
    // Every request came on the one connection, numbered in order.
    QCOMPARE(server.connectionCount(), 1);
    for (int i = 0; i < server.requestCount(); ++i) {
        QCOMPARE(server.requests().at(i).connection, 1);
        QCOMPARE(server.requests().at(i).onConnection, i + 1);
    }
}
