#include "support/test_http_server.h"

#include <QFile>
#include <QPointer>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpSocket>

#include <sys/socket.h>

namespace corvantis::testing {

// ---- replies ---------------------------------------------------------------

QByteArray HttpReply::response(int code, const QByteArray& reason,
                               const QList<QByteArray>& headerLines, const QByteArray& body,
                               bool withContentLength) {
    QByteArray out = "HTTP/1.1 " + QByteArray::number(code) + ' ' + reason + "\r\n";
    for (const QByteArray& line : headerLines)
        out += line + "\r\n";
    if (withContentLength)
        out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    out += "\r\n";
    out += body;
    return out;
}

HttpReply HttpReply::html(const QByteArray& body, bool withContentLength) {
    return status(200, "OK", body, withContentLength);
}

HttpReply HttpReply::status(int code, const QByteArray& reason, const QByteArray& body,
                            bool withContentLength) {
    return raw(response(code, reason, {"Content-Type: text/html", "Connection: close"}, body,
                        withContentLength));
}

HttpReply HttpReply::raw(const QByteArray& bytes) {
    HttpReply reply;
    reply.bytes = bytes;
    return reply;
}

HttpReply HttpReply::delayed(int ms) const {
    HttpReply copy = *this;
    copy.firstByteDelayMs = ms;
    return copy;
}

HttpReply HttpReply::inChunks(int size, int delayMs) const {
    HttpReply copy = *this;
    copy.chunkSize = size;
    copy.chunkDelayMs = delayMs;
    return copy;
}

HttpReply HttpReply::keptOpen() const {
    HttpReply copy = *this;
    copy.keepOpen = true;
    return copy;
}

HttpReply HttpReply::closedAfter(qint64 byteCount) const {
    HttpReply copy = *this;
    copy.closeAfterBytes = byteCount;
    return copy;
}

HttpReply HttpReply::closingAfter() const {
    HttpReply copy = *this;
    copy.closing = true;
    return copy;
}

namespace {

const QByteArray kSaysClose = "\r\nConnection: close\r\n";
const QByteArray kSaysKeepAlive = "\r\nConnection: keep-alive\r\n";

// The header block of a reply, up to its blank line (all of it when there is none).
QByteArray HeadOf(const QByteArray& bytes) {
    const qsizetype end = bytes.indexOf("\r\n\r\n");
    return end < 0 ? bytes : bytes.left(end + 2);
}

// Whether the reply is whole by its own framing (its length, its last chunk, or
// no body), so that the connection can carry another request after it; a reply
// cut short is ended by the close, as a server that breaks off does.
bool EndsByItsFraming(const QByteArray& bytes) {
    const qsizetype end = bytes.indexOf("\r\n\r\n");
    if (end < 0)
        return false;
    const QByteArray head = bytes.left(end + 2).toLower();
    const QByteArray body = bytes.mid(end + 4);
    if (head.startsWith("http/1.1 204") || head.startsWith("http/1.1 304"))
        return true;
    if (head.contains("chunked"))
        return body.endsWith("\r\n\r\n") &&
               (body.startsWith("0\r\n") || body.contains("\r\n0\r\n"));
    const qsizetype at = head.indexOf("\r\ncontent-length:");
    if (at < 0)
        return false;
    const qsizetype lineEnd = head.indexOf("\r\n", at + 2);
    bool number = false;
    const qsizetype length = head.mid(at + 17, lineEnd - at - 17).trimmed().toLongLong(&number);
    return number && length == body.size();
}

} // namespace

// ---- one connection --------------------------------------------------------

// Reads one request head, then plays the scripted reply on its own timer, so
// a slow reply never holds up another connection or the test.
class TestHttpConnection : public QObject {
    Q_OBJECT
public:
    TestHttpConnection(TestHttpServer* server, QTcpSocket* socket, int number)
        : QObject(server), m_server(server), m_socket(socket), m_number(number),
          m_rule(server->connectionRule()) {
        m_socket->setParent(this);
        m_timer.setSingleShot(true);
        // Tests measure the delays; a coarse timer may fire 5% early.
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, &TestHttpConnection::sendNext);
        connect(m_socket, &QTcpSocket::readyRead, this, &TestHttpConnection::readRequest);
        connect(m_socket, &QTcpSocket::disconnected, this, &TestHttpConnection::closed);
        // Bytes may already be waiting when the connection is picked up.
        if (m_socket->bytesAvailable() > 0)
            QTimer::singleShot(0, this, &TestHttpConnection::readRequest);
    }

    bool isOpen() const { return !m_closed; }

    // Drops the connection at once (server stop); no further events.
    void drop() {
        if (m_closed)
            return;
        m_closed = true;
        m_timer.stop();
        m_socket->disconnect(this);
        m_socket->abort();
        deleteLater();
    }

private:
    void readRequest() {
        const QByteArray data = m_socket->readAll();
        if (data.isEmpty() || m_closed)
            return;
        if (m_record < 0)
            m_record = m_server->addRecord(m_number, ++m_requestCount);
        RecordedRequest& rec = m_server->record(m_record);
        rec.raw += data;
        if (m_headDone)
            return;
        const qsizetype end = rec.raw.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        m_headDone = true;
        rec.complete = true;
        parseHead(rec, rec.raw.left(end));
        const int index = m_record;
        if (m_requestCount == m_rule.drop) {
            drop(m_rule.reset);
            Q_EMIT m_server->requestReceived(index);
            return;
        }
        startReply(m_server->replyFor(rec.key()),
                   rec.raw.left(end + 2).toLower().contains("\r\nconnection: close\r\n"));
        // The test may stop the server from this signal; touch nothing after it.
        Q_EMIT m_server->requestReceived(index);
    }

    static void parseHead(RecordedRequest& rec, const QByteArray& head) {
        const QList<QByteArray> lines = head.split('\n');
        const QByteArray requestLine = lines.value(0).chopped(lines.value(0).endsWith('\r'));
        const qsizetype firstSpace = requestLine.indexOf(' ');
        if (firstSpace >= 0) {
            const qsizetype secondSpace = requestLine.indexOf(' ', firstSpace + 1);
            rec.path = QString::fromLatin1(requestLine.mid(
                firstSpace + 1, secondSpace < 0 ? -1 : secondSpace - firstSpace - 1));
        }
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon > 0 && line.left(colon).trimmed().compare("host", Qt::CaseInsensitive) == 0) {
                rec.host = QString::fromLatin1(line.mid(colon + 1).trimmed());
                break;
            }
        }
    }

    // The request gets no answer: the connection is closed, or reset.
    void drop(bool reset) {
        m_closed = true;
        m_timer.stop();
        if (reset) {
            const linger abortive{1, 0};
            ::setsockopt(int(m_socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abortive,
                         sizeof abortive);
            m_socket->abort();
        } else {
            m_socket->disconnectFromHost();
        }
        deleteLater();
    }

    void startReply(const HttpReply& reply, bool clientSaysClose) {
        m_reply = reply;
        m_pending = reply.bytes;
        m_sent = 0;
        m_keep = false;
        if (m_rule.keepAlive && !reply.keepOpen && reply.closeAfterBytes < 0 && !reply.closing &&
            EndsByItsFraming(reply.bytes) && (!clientSaysClose || m_rule.ignoreClientClose)) {
            const bool last = m_rule.answers > 0 && m_answered + 1 >= m_rule.answers;
            m_keep = !last;
            const QByteArray head = HeadOf(m_pending);
            if ((m_keep || !m_rule.announceClose) && head.contains(kSaysClose))
                m_pending.replace(head.indexOf(kSaysClose), kSaysClose.size(), kSaysKeepAlive);
        }
        if (reply.closeAfterBytes >= 0)
            m_pending.truncate(reply.closeAfterBytes);
        m_timer.start(qMax(0, reply.firstByteDelayMs));
    }

    // The answer is out and the connection stays: the next request may come.
    void awaitNextRequest() {
        ++m_answered;
        m_record = -1;
        m_headDone = false;
        if (m_socket->bytesAvailable() > 0)
            QTimer::singleShot(0, this, &TestHttpConnection::readRequest);
    }

    void sendNext() {
        if (m_closed)
            return;
        const qsizetype remaining = m_pending.size() - m_sent;
        if (remaining > 0) {
            const qsizetype n =
                m_reply.chunkSize > 0 ? qMin<qsizetype>(m_reply.chunkSize, remaining) : remaining;
            m_socket->write(m_pending.constData() + m_sent, n);
            m_sent += n;
            if (m_sent < m_pending.size()) {
                m_timer.start(qMax(0, m_reply.chunkDelayMs));
                return;
            }
        }
        if (m_reply.keepOpen && m_reply.closeAfterBytes < 0)
            return;
        if (m_keep) {
            awaitNextRequest();
            return;
        }
        // Graceful close: what was written still goes out before the FIN.
        m_socket->disconnectFromHost();
    }

    void closed() {
        m_closed = true;
        m_timer.stop();
        deleteLater();
    }

    TestHttpServer* m_server;
    QTcpSocket* m_socket;
    const int m_number;          // among the server's connections, from 1
    const ConnectionRule m_rule; // as it was when the connection came
    QTimer m_timer;
    HttpReply m_reply;
    QByteArray m_pending;
    qsizetype m_sent = 0;
    int m_record = -1;
    int m_requestCount = 0; // requests begun on this connection
    int m_answered = 0;     // answers sent whole, the connection kept after them
    bool m_keep = false;    // the answer under way leaves the connection open
    bool m_headDone = false;
    bool m_closed = false;
};

// ---- server ----------------------------------------------------------------

TestHttpServer::TestHttpServer(QObject* parent) : QObject(parent) {
    m_defaultReply = notFoundReply();
    m_lifetime.setSingleShot(true);
    connect(&m_lifetime, &QTimer::timeout, this, &TestHttpServer::stop);
    connect(&m_server, &QTcpServer::newConnection, this, &TestHttpServer::acceptPending);
}

TestHttpServer::~TestHttpServer() {
    stop();
}

bool TestHttpServer::start() {
    if (m_server.isListening())
        return true;
    if (!m_server.listen(QHostAddress(QHostAddress::LocalHost), 0))
        return false;
    m_port = m_server.serverPort();
    m_lifetime.start(m_lifetimeMs);
    return true;
}

bool TestHttpServer::startTls(const QString& certificatePem, const QString& keyPem) {
    return m_server.useTls(certificatePem, keyPem) && start();
}

bool TestTcpServer::useTls(const QString& certificatePem, const QString& keyPem) {
    QFile keyFile(keyPem);
    const QList<QSslCertificate> certs = QSslCertificate::fromPath(certificatePem);
    if (certs.isEmpty() || !keyFile.open(QIODevice::ReadOnly))
        return false;
    const QSslKey key(&keyFile, QSsl::Rsa);
    if (key.isNull())
        return false;
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setLocalCertificate(certs.first());
    config.setPrivateKey(key);
    config.setPeerVerifyMode(QSslSocket::VerifyNone);
    m_tls = config;
    return true;
}

void TestTcpServer::incomingConnection(qintptr handle) {
    if (!m_tls) {
        QTcpServer::incomingConnection(handle);
        return;
    }
    auto* socket = new QSslSocket(this);
    if (!socket->setSocketDescriptor(handle)) {
        delete socket;
        return;
    }
    socket->setSslConfiguration(*m_tls);
    socket->startServerEncryption();
    addPendingConnection(socket);
}

void TestHttpServer::stop() {
    const bool wasRunning = m_server.isListening() || openConnectionCount() > 0;
    m_lifetime.stop();
    m_server.close();
    const auto connections = findChildren<TestHttpConnection*>(Qt::FindDirectChildrenOnly);
    for (TestHttpConnection* connection : connections)
        connection->drop();
    if (wasRunning)
        Q_EMIT stopped();
}

void TestHttpServer::setMaxLifetime(int ms) {
    m_lifetimeMs = ms;
    if (m_server.isListening())
        m_lifetime.start(m_lifetimeMs);
}

void TestHttpServer::setReply(const QString& key, const HttpReply& reply) {
    m_replies.insert(key, reply);
}

void TestHttpServer::setDefaultReply(const HttpReply& reply) {
    m_defaultReply = reply;
}

HttpReply TestHttpServer::notFoundReply() {
    return HttpReply::status(404, "Not Found",
                             "<html><head><title>404 Not Found</title></head>"
                             "<body><h1>Not Found</h1></body></html>");
}

int TestHttpServer::openConnectionCount() const {
    int open = 0;
    const auto connections = findChildren<TestHttpConnection*>(Qt::FindDirectChildrenOnly);
    for (const TestHttpConnection* connection : connections)
        open += connection->isOpen() ? 1 : 0;
    return open;
}

HostRouteTable TestHttpServer::routes(const QStringList& hosts) const {
    HostRouteTable table;
    for (const QString& host : hosts)
        table.insert(host, HostRoute{address(), m_port});
    return table;
}

void TestHttpServer::acceptPending() {
    while (QTcpSocket* socket = m_server.nextPendingConnection())
        new TestHttpConnection(this, socket, ++m_connectionCount);
}

HttpReply TestHttpServer::replyFor(const QString& key) const {
    return m_replies.value(key, m_defaultReply);
}

// ---- relay -----------------------------------------------------------------

namespace {
// One client connection and the one it opened to the server behind the relay.
class RelayPair : public QObject {
public:
    RelayPair(QObject* parent, QTcpSocket* client, quint16 target)
        : QObject(parent), m_client(client) {
        m_client->setParent(this);
        // Written while still connecting, it goes out once connected.
        m_upstream.connectToHost(QHostAddress(QHostAddress::LocalHost), target);
        connect(m_client, &QTcpSocket::readyRead, this,
                [this] { m_upstream.write(m_client->readAll()); });
        connect(&m_upstream, &QTcpSocket::readyRead, this,
                [this] { m_client->write(m_upstream.readAll()); });
        connect(&m_upstream, &QTcpSocket::disconnected, this, [this] {
            m_client->write(m_upstream.readAll());
            m_client->flush(); // and the client's side stays open
        });
        connect(m_client, &QTcpSocket::disconnected, this, [this] {
            m_upstream.disconnect(this);
            m_upstream.abort();
            deleteLater();
        });
        if (m_client->bytesAvailable() > 0)
            m_upstream.write(m_client->readAll());
    }

    bool clientOpen() const { return m_client->state() == QAbstractSocket::ConnectedState; }

    void drop() {
        m_client->disconnect(this);
        m_upstream.disconnect(this);
        m_client->abort();
        m_upstream.abort();
        deleteLater();
    }

private:
    QTcpSocket* m_client;
    QTcpSocket m_upstream;
};
} // namespace

HoldingRelay::HoldingRelay(QObject* parent) : QObject(parent) {
    m_lifetime.setSingleShot(true);
    connect(&m_lifetime, &QTimer::timeout, this, &HoldingRelay::stop);
    connect(&m_server, &QTcpServer::newConnection, this, &HoldingRelay::acceptPending);
}

HoldingRelay::~HoldingRelay() {
    stop();
}

bool HoldingRelay::start(quint16 targetPort, int lifetimeMs) {
    m_target = targetPort;
    if (!m_server.listen(QHostAddress(QHostAddress::LocalHost), 0))
        return false;
    m_lifetime.start(lifetimeMs);
    return true;
}

void HoldingRelay::stop() {
    m_lifetime.stop();
    m_server.close();
    for (RelayPair* pair : findChildren<RelayPair*>(Qt::FindDirectChildrenOnly))
        pair->drop();
}

int HoldingRelay::openClientCount() const {
    int open = 0;
    for (const RelayPair* pair : findChildren<RelayPair*>(Qt::FindDirectChildrenOnly))
        open += pair->clientOpen() ? 1 : 0;
    return open;
}

void HoldingRelay::acceptPending() {
    while (QTcpSocket* socket = m_server.nextPendingConnection())
        new RelayPair(this, socket, m_target);
}

} // namespace corvantis::testing

#include "test_http_server.moc"
