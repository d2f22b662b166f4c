#pragma once

#include "fetch/host_route.h"
#include "fetch/tls_setup.h"
#include "util/step_runner.h"

#include <QObject>
#include <QString>

#include <memory>

class QSslError;
class QTcpSocket;
class QTimer;

namespace corvantis::scan {

// How a page's fetch ended.
enum class FetchOutcome {
    Complete,         // the response is whole, or the server closed the connection or TLS
    CutAtCeiling,     // complete, but what came past the response ceiling was dropped
    TimedOut,         // nothing arrived for the idle time-out
    Refused,          // no connection: refused, unknown host, no network or no address
    OverTime,         // the overall time-out passed while data still arrived
    CertificateError, // the server's certificate failed verification
};

struct FetchResult {
    FetchOutcome outcome = FetchOutcome::Complete;
    QString host;
    QString path;
    QString header;   // the header block, up to and including the blank line
    QString body;     // one character per byte received, chunked bodies decoded
    qint32 bytes = 0; // body bytes received, as the progress counted them
    qint64 dropped = 0;
    bool tls = false;
    QString certificateProblem; // why the certificate failed, also when it was accepted
    // The response ended where its own framing says (its length, its last chunk,
    // or a close when nothing else tells), not cut off by a close or reset.
    bool whole = true;

    bool complete() const {
        return outcome == FetchOutcome::Complete || outcome == FetchOutcome::CutAtCeiling;
    }
};

// One GET per page on a plain TCP or a TLS connection, read until the response is
// whole (its length or last chunk reached) or the server closes it or ends TLS,
// with an idle and an overall time-out of whole seconds, per page, and a ceiling
// on what is kept. One page is fetched at a time. Beside it, the next page may be
// asked for ahead of its turn (prefetch): its response is kept until fetch() asks
// for the same page, which then goes on with that connection in whatever state it
// has reached, so the server prepares the page while the current one is analysed;
// a fetch of another page meanwhile leaves it be.
//
// With keep-alive, a connection whose answer ended by its own framing, from a
// server that keeps it open, carries the next request to the same host, the
// read-ahead's too; one request at a time. A request that fails on such a
// connection before any byte of its answer came is sent once more on a new one.
// A new TLS connection resumes the session kept for its host. Without it, every
// page has a connection and a whole handshake of its own ("Connection: close").
class PageFetcher : public QObject {
    Q_OBJECT
public:
    struct Options {
        bool readAhead = true;
        // Where TLS sessions are kept for the connections to come; none: never resumed.
        TlsSessions* sessions = nullptr;
    };

    PageFetcher(const HostRouter& router, Options options, QObject* parent = nullptr);
    ~PageFetcher() override;

    bool readAheadEnabled() const { return m_options.readAhead; }

    // Whether connections stay open between pages, for the fetches started from
    // now on; off closes an idle one.
    void setKeepAlive(bool on);

    // The two time-outs in seconds, for the fetches started from now on.
    void setTimeouts(qint16 idleSeconds, qint16 overallSeconds);

    // Whether pages whose certificate fails verification are read all the same.
    void setAcceptInvalidCertificates(bool on) { m_acceptInvalid = on; }

    // Starts fetching a page, over TLS on port 443 or plain on port 80; a fetch
    // under way is dropped first. The outcome always arrives through finished(),
    // never before fetch() has returned.
    void fetch(const QString& host, const QString& path, bool tls = false);
    // Asks for a page ahead of its turn; false when that is not possible (switched
    // off, or no address to connect to). Replaces an earlier read-ahead.
    bool prefetch(const QString& host, const QString& path, bool tls = false);
    void cancelPrefetch();
    // Drops the fetch under way and the read-ahead and closes every connection;
    // nothing more is signalled for them.
    void cancel();

Q_SIGNALS:
    // The request of the page being fetched went out (or was out already, when a
    // read-ahead is taken over): the page counts as scanned from here.
    void requestSent();
    // More of the response arrived: bytes so far, and the share of the announced
    // length in percent (-1 when no length is known or it is exceeded).
    void received(qint32 bytes, int percent);
    // One second passed without a response; the idle seconds so far.
    void idleTick(qint16 seconds);
    void finished(const corvantis::scan::FetchResult& result);

private:
    struct Connection;

    Connection& connection(std::unique_ptr<Connection>& slot);
    QTcpSocket* socketFor(Connection& c, bool tls);
    bool connectTo(Connection& c, const QString& host, const QString& path, bool tls);
    void prepareSession(Connection& c);
    void keepSession(Connection* c);
    bool takeOverReadAhead(const QString& host, const QString& path, bool tls);
    void release(Connection& c);
    void dropSpare(Connection* spare);
    void dropIdle(Connection* c);
    bool failsBeforeAnswer(const Connection* c) const;
    void retryOnNewConnection();
    void onConnected(Connection* c);
    void onSecured(Connection* c);
    void sendRequest(Connection* c);
    void onSslErrors(Connection* c, const QList<QSslError>& errors);
    void onReadyRead(Connection* c);
    void responseComplete(Connection* c, bool serverClosed = false);
    void onDisconnected(Connection* c);
    void onSocketError(Connection* c);
    void absorb(const QByteArray& data, qint64 dropped);
    void onTick();
    void end(FetchOutcome outcome);

    const HostRouter& m_router;
    const Options m_options;
    bool m_acceptInvalid = false;
    bool m_keepAlive = false;
    std::unique_ptr<Connection> m_current;
    std::unique_ptr<Connection> m_ahead;
    QTimer* m_timer;
    util::StepRunner m_steps;

    // The fetch under way.
    bool m_active = false;
    QString m_host;
    QString m_path;
    bool m_tls = false;
    bool m_announced = false;    // requestSent() went out for the page
    bool m_retriedOnNew = false; // the request was sent again on a new connection
    QString m_buffer;
    qint32 m_bytes = 0;
    qint64 m_dropped = 0;
    qint32 m_contentLength = 0;
    bool m_headerDone = false;
    qint16 m_idleTimeout = 60;
    qint16 m_overallTimeout = 60;
    qint16 m_idleSeconds = 0;
    qint16 m_elapsedSeconds = 0;
};

} // namespace corvantis::scan
