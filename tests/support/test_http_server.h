#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QSslConfiguration>
#include <QString>
#include <QTcpServer>
#include <QTimer>

#include <optional>

namespace corvantis::testing {

// One scripted answer of the test server: the exact bytes to send and how to
// send them. The builders cover the usual shapes; tests that need a broken
// response write the bytes themselves.
struct HttpReply {
    QByteArray bytes;
    int firstByteDelayMs = 0;
    // 0 sends everything in one write; otherwise pieces of this many bytes,
    // chunkDelayMs apart, so the client sees the response arrive in parts.
    int chunkSize = 0;
    int chunkDelayMs = 0;
    // The connection stays open after the last byte (a server that never
    // closes); only the client, stop() or the lifetime limit ends it.
    bool keepOpen = false;
    // Close the connection after this many bytes of the reply; 0 closes it
    // right after the request without sending anything; -1 sends everything.
    qint64 closeAfterBytes = -1;
    // The reply says "Connection: close" and the server closes after it, also
    // on a server that keeps connections open.
    bool closing = false;

    // A status line, the given header lines, optionally a Content-Length line,
    // a blank line and the body.
    static QByteArray response(int code, const QByteArray& reason,
                               const QList<QByteArray>& headerLines, const QByteArray& body,
                               bool withContentLength = true);
    // 200 OK, text/html, Connection: close.
    static HttpReply html(const QByteArray& body, bool withContentLength = true);
    // Any status, text/html, Connection: close.
    static HttpReply status(int code, const QByteArray& reason, const QByteArray& body,
                            bool withContentLength = true);
    static HttpReply raw(const QByteArray& bytes);

    HttpReply delayed(int ms) const;
    HttpReply inChunks(int size, int delayMs) const;
    HttpReply keptOpen() const;
    HttpReply closedAfter(qint64 byteCount) const;
    HttpReply closingAfter() const;
};

// What the server read of one request.
struct RecordedRequest {
    // Every byte the client sent for it, in order: on a connection kept open, up
    // to the end of its answer; otherwise up to the close.
    QByteArray raw;
    bool complete = false; // the blank line ending the request head arrived
    QString host;          // value of the Host header, as sent
    QString path;          // request target of the request line, as sent (query included)
    int connection = 0;    // the connection it came on: 1 for the first the server accepted
    int onConnection = 0;  // its place among that connection's requests, from 1
    QString key() const { return host + path; }
};

// How long the server keeps a connection. Without keepAlive, as the replies say:
// each builder's "Connection: close", and the server closes after the answer.
// With it, the server answers further requests on the connection, up to
// `answers` of them (0: no limit), and says "Connection: keep-alive" in place of
// the builders' "Connection: close" while it keeps the connection; the last
// answer says "Connection: close" unless announceClose is off (then it closes
// without a word). A request that says "Connection: close" is the last one unless
// ignoreClientClose; an answer whose body only the close ends, one kept open or
// cut (keptOpen, closedAfter) or closingAfter() ends the connection as before.
// The connection's request number `drop` (from 1; 0: none) gets no answer: the
// server closes the connection, or resets it with `reset`.
struct ConnectionRule {
    bool keepAlive = false;
    int answers = 0;
    bool announceClose = true;
    bool ignoreClientClose = false;
    int drop = 0;
    bool reset = false;
};

// Where a host name's connections should go instead of port 80 of the host.
struct HostRoute {
    QHostAddress address;
    quint16 port = 0;
};
using HostRouteTable = QHash<QString, HostRoute>;

// Accepts connections speaking TLS once given a certificate and key, plain ones otherwise.
class TestTcpServer : public QTcpServer {
public:
    using QTcpServer::QTcpServer;
    // False when the files could not be read.
    bool useTls(const QString& certificatePem, const QString& keyPem);

protected:
    void incomingConnection(qintptr handle) override;

private:
    std::optional<QSslConfiguration> m_tls;
};

// An HTTP server inside the test process, on 127.0.0.1 and a port the system
// picks. It answers each request with the reply scripted for "host + path"
// (the Host header value followed by the request target, for example
// "partner.test/links/page.html"), or with the default reply (404). All work
// runs on timers of the caller's event loop; the server never blocks. It stops
// by itself after its lifetime (120 s unless set) and when destroyed.
class TestHttpServer : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultLifetimeMs = 120000;

    explicit TestHttpServer(QObject* parent = nullptr);
    ~TestHttpServer() override;

    // Starts listening; false when the port could not be opened.
    bool start();
    // The same over TLS with the certificate and key of the PEM files given.
    bool startTls(const QString& certificatePem, const QString& keyPem);
    // Closes the listener and every connection. Safe to call twice.
    void stop();
    bool isListening() const { return m_server.isListening(); }

    QHostAddress address() const { return QHostAddress(QHostAddress::LocalHost); }
    quint16 port() const { return m_port; }

    // Takes effect from the next start(); an already running server keeps its
    // deadline unless changed while running, which re-arms it from now.
    void setMaxLifetime(int ms);
    int maxLifetime() const { return m_lifetimeMs; }

    void setReply(const QString& key, const HttpReply& reply);
    void setDefaultReply(const HttpReply& reply);
    // For the connections accepted from now on.
    void setConnectionRule(const ConnectionRule& rule) { m_rule = rule; }
    const ConnectionRule& connectionRule() const { return m_rule; }
    static HttpReply notFoundReply();

    const QList<RecordedRequest>& requests() const { return m_requests; }
    int requestCount() const { return m_requests.size(); }
    // Connections accepted so far, including those that sent nothing.
    int connectionCount() const { return m_connectionCount; }
    int openConnectionCount() const;

    // Every host given, routed to this server.
    HostRouteTable routes(const QStringList& hosts) const;

Q_SIGNALS:
    // A request head arrived completely; the index points into requests().
    void requestReceived(int index);
    // The server stopped (stop(), lifetime or destruction).
    void stopped();

private:
    friend class TestHttpConnection;

    void acceptPending();
    HttpReply replyFor(const QString& key) const;
    RecordedRequest& record(int index) { return m_requests[index]; }
    int addRecord(int connection, int onConnection) {
        RecordedRequest r;
        r.connection = connection;
        r.onConnection = onConnection;
        m_requests.append(r);
        return m_requests.size() - 1;
    }

    TestTcpServer m_server;
    QTimer m_lifetime;
    int m_lifetimeMs = kDefaultLifetimeMs;
    quint16 m_port = 0;
    QHash<QString, HttpReply> m_replies;
    HttpReply m_defaultReply;
    ConnectionRule m_rule;
    QList<RecordedRequest> m_requests;
    int m_connectionCount = 0;
};

// Passes TCP connections on to a port of 127.0.0.1, but when that server closes
// its side, keeps the client's side open until the client closes it: in front of
// a TLS server it makes one that sends its close alert and then waits for the
// client. Stops by itself after its lifetime (120 s unless set) and when destroyed.
class HoldingRelay : public QObject {
    Q_OBJECT
public:
    explicit HoldingRelay(QObject* parent = nullptr);
    ~HoldingRelay() override;

    bool start(quint16 targetPort, int lifetimeMs = TestHttpServer::kDefaultLifetimeMs);
    void stop();
    quint16 port() const { return m_server.serverPort(); }
    // Client connections the client has not closed yet.
    int openClientCount() const;

private:
    void acceptPending();

    QTcpServer m_server;
    QTimer m_lifetime;
    quint16 m_target = 0;
};

} // namespace corvantis::testing
