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
};

// What the server read from one connection.
struct RecordedRequest {
    QByteArray raw;        // every byte the client sent on the connection, in order
    bool complete = false; // the blank line ending the request head arrived
    QString host;          // value of the Host header, as sent
    QString path;          // request target of the request line, as sent (query included)
    QString key() const { return host + path; }
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
    int addRecord() {
        m_requests.append(RecordedRequest());
        return m_requests.size() - 1;
    }

    TestTcpServer m_server;
    QTimer m_lifetime;
    int m_lifetimeMs = kDefaultLifetimeMs;
    quint16 m_port = 0;
    QHash<QString, HttpReply> m_replies;
    HttpReply m_defaultReply;
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
