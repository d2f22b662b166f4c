#include "fetch/page_fetcher.h"

#include "fetch/tls_setup.h"
#include "page/http_response.h"

#include <QSslSocket>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace corvantis::scan {

// A connection with what it has received while it is a read-ahead. The two
// connections swap roles when a read-ahead is taken over, so every socket event
// goes to whichever role its connection has at the time.
struct PageFetcher::Connection {
    // A plain page goes over a plain socket, which costs less per read than the
    // TLS socket in its plain mode; each is made when first needed.
    QTcpSocket* plain = nullptr;
    QSslSocket* secure = nullptr;
    QTcpSocket* socket = nullptr; // the one of the two in use
    QString host;
    QString path;
    bool tls = false;
    QString certificateProblem;
    ResponseProgress progress; // every byte received so far, in both roles
    // The response is whole: its end arrived, or the server closed the connection
    // or ended TLS.
    bool complete = false;
    // As a read-ahead: kept as it came until the page's turn.
    bool ahead = false;
    QByteArray received;
    qint64 dropped = 0; // bytes past the ceiling, read and thrown away
    bool requestSent = false;
    bool failed = false; // refused or broken: the turn fetches the page afresh
    // Changes with every close, so a close put off to a later turn cannot hit
    // the next connection made with the same socket.
    quint64 serial = 0;

    // Our own close must not look like the server ending the page.
    void close() {
        ++serial;
        if (!socket)
            return;
        socket->blockSignals(true);
        socket->abort();
        socket->blockSignals(false);
    }
    void forget() {
        close();
        certificateProblem.clear();
        progress = {};
        ahead = requestSent = complete = failed = false;
        received.clear();
        dropped = 0;
    }
};

PageFetcher::PageFetcher(const HostRouter& router, Options options, QObject* parent)
    : QObject(parent), m_router(router), m_options(options), m_timer(new QTimer(this)),
      m_steps(this) {
    UseTestCertificateAuthorities();
    // One tick a second drives the idle and the overall time-out.
    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, &PageFetcher::onTick);
}

PageFetcher::~PageFetcher() {
    for (Connection* c : {m_current.get(), m_ahead.get()})
        if (c && c->socket) {
            c->socket->blockSignals(true);
            c->socket->abort();
        }
}

PageFetcher::Connection& PageFetcher::connection(std::unique_ptr<Connection>& slot) {
    if (!slot)
        slot = std::make_unique<Connection>();
    return *slot;
}

QTcpSocket* PageFetcher::socketFor(Connection& c, bool tls) {
    if (QTcpSocket* existing = tls ? static_cast<QTcpSocket*>(c.secure) : c.plain)
        return existing;
    Connection* p = &c;
    QTcpSocket* s = nullptr;
    if (tls) {
        c.secure = new QSslSocket(this);
        connect(c.secure, &QSslSocket::encrypted, this, [this, p] { onSecured(p); });
        connect(c.secure, &QSslSocket::sslErrors, this,
                [this, p](const QList<QSslError>& errors) { onSslErrors(p, errors); });
        s = c.secure;
    } else {
        s = c.plain = new QTcpSocket(this);
    }
    connect(s, &QTcpSocket::connected, this, [this, p] { onConnected(p); });
    connect(s, &QTcpSocket::readyRead, this, [this, p] { onReadyRead(p); });
    connect(s, &QTcpSocket::disconnected, this, [this, p] { onDisconnected(p); });
    connect(s, &QTcpSocket::errorOccurred, this, [this, p] { onSocketError(p); });
    return s;
}

void PageFetcher::setTimeouts(qint16 idleSeconds, qint16 overallSeconds) {
    m_idleTimeout = idleSeconds;
    m_overallTimeout = overallSeconds;
}

bool PageFetcher::connectTo(Connection& c, const QString& host, const QString& path, bool tls) {
    const Route route = m_router.route(host, tls ? 443 : 80);
    if (route.address.isEmpty())
        return false;
    c.host = host;
    c.path = path;
    c.tls = tls;
    c.certificateProblem.clear();
    c.close();
    c.progress = {};
    c.complete = false;
    c.socket = socketFor(c, tls);
    if (tls) // the certificate and the server name (SNI) are the host's, not the route's
        c.secure->connectToHostEncrypted(route.address, route.port, host);
    else
        c.socket->connectToHost(route.address, route.port);
    return true;
}

void PageFetcher::fetch(const QString& host, const QString& path, bool tls) {
    m_steps.abandon();
    m_active = true;
    m_host = host;
    m_path = path;
    m_tls = tls;
    m_buffer.clear();
    m_headerDone = false;
    m_contentLength = 0;
    m_bytes = 0;
    m_dropped = 0;
    m_idleSeconds = 0;
    m_elapsedSeconds = 0;
    m_timer->start();
    if (m_current)
        m_current->close();
    if (takeOverReadAhead(host, path, tls))
        return;
    if (!connectTo(connection(m_current), host, path, tls)) {
        // Nothing to connect to: reported like a refused connection.
        m_steps.later([this] { end(FetchOutcome::Refused); });
    }
}

bool PageFetcher::prefetch(const QString& host, const QString& path, bool tls) {
    if (!m_options.readAhead)
        return false;
    Connection& a = connection(m_ahead);
    a.forget();
    a.ahead = connectTo(a, host, path, tls);
    return a.ahead;
}

void PageFetcher::cancelPrefetch() {
    if (m_ahead)
        m_ahead->forget();
}

void PageFetcher::cancel() {
    m_active = false;
    m_timer->stop();
    m_steps.abandon();
    if (m_current)
        m_current->close();
    cancelPrefetch();
}

bool PageFetcher::takeOverReadAhead(const QString& host, const QString& path, bool tls) {
    if (!m_ahead || !m_ahead->ahead)
        return false;
    const Connection& a = *m_ahead;
    const QAbstractSocket::SocketState state = a.socket->state();
    const bool alive = a.complete || state == QAbstractSocket::ConnectedState ||
                       state == QAbstractSocket::ConnectingState;
    if (a.host != host || a.path != path || a.tls != tls || a.failed || !alive) {
        cancelPrefetch(); // this turn fetches the page afresh
        return false;
    }
    std::swap(m_current, m_ahead);
    Connection& c = *m_current;
    c.ahead = false;
    const QByteArray received = std::exchange(c.received, QByteArray());
    const qint64 dropped = std::exchange(c.dropped, 0);
    if (c.requestSent || c.complete)
        Q_EMIT requestSent();
    // else still connecting: the connected handler asks and counts, as for any fetch
    if (m_active && (!received.isEmpty() || dropped > 0))
        absorb(received, dropped);
    if (m_active && c.complete) // finished on the next turn, as a fetch always is
        m_steps.later([this] { end(FetchOutcome::Complete); });
    return true;
}

void PageFetcher::onConnected(Connection* c) {
    if (!c->tls)
        sendRequest(c);
}

void PageFetcher::onSecured(Connection* c) {
    sendRequest(c);
}

void PageFetcher::onSslErrors(Connection* c, const QList<QSslError>& errors) {
    QStringList reasons;
    for (const QSslError& e : errors)
        reasons.append(e.errorString());
    c->certificateProblem = reasons.join(QStringLiteral("; "));
    if (m_acceptInvalid)
        c->secure->ignoreSslErrors();
}

void PageFetcher::sendRequest(Connection* c) {
    if (c == m_ahead.get() && c->ahead) {
        // Straight to the server, so it works on the page while the current one is
        // analysed; the page is counted when its turn comes.
        c->socket->write(BuildRequest(c->host, c->path));
        c->socket->flush();
        c->requestSent = true;
        return;
    }
    if (c != m_current.get() || !m_active)
        return;
    Q_EMIT requestSent();
    if (m_active)
        c->socket->write(BuildRequest(m_host, m_path));
}

void PageFetcher::onReadyRead(Connection* c) {
    const bool ahead = c == m_ahead.get() && c->ahead;
    if (!ahead && (c != m_current.get() || !m_active))
        return;
    const QByteArray data = c->socket->readAll();
    if (c->complete)
        return; // past the end of the response: nothing of the page
    c->progress = AdvanceResponse(std::move(c->progress), data);
    if (ahead) {
        // Past the ceiling, read and dropped.
        const qsizetype kept =
            std::clamp<qsizetype>(kMaxResponseBytes - c->received.size(), 0, data.size());
        c->received += QByteArrayView(data).first(kept);
        c->dropped += data.size() - kept;
    } else {
        absorb(data, 0);
    }
    if (c->progress.complete())
        responseComplete(c);
}

void PageFetcher::responseComplete(Connection* c) {
    const bool ahead = c == m_ahead.get() && c->ahead;
    if (c->complete || (!ahead && (c != m_current.get() || !m_active)))
        return;
    c->complete = true;
    // This runs inside the socket's own signal: the socket is closed, and the
    // page handed on, from the next turn of the event loop.
    if (ahead) {
        QTimer::singleShot(0, this, [c, serial = c->serial] {
            if (c->serial == serial)
                c->close();
        });
        return;
    }
    m_timer->stop(); // no time-out overtakes a page that is whole
    m_steps.later([this] { end(FetchOutcome::Complete); });
}

void PageFetcher::absorb(const QByteArray& data, qint64 dropped) {
    m_idleSeconds = 0;
    // Past the ceiling the rest of the response is read and dropped.
    const qsizetype room = std::max<qsizetype>(kMaxResponseBytes - m_buffer.size(), 0);
    const qsizetype kept = std::min(room, data.size());
    m_buffer.append(QLatin1String(data.constData(), kept));
    m_dropped += data.size() - kept + dropped;
    const qint64 arrived = data.size() + dropped;
    if (qint64(m_bytes) + arrived <= std::numeric_limits<qint32>::max())
        m_bytes += qint32(arrived);
    int percent = -1;
    if (m_contentLength >= 1) {
        const float share = std::fabs(float(m_bytes) / float(m_contentLength) * 100.0f);
        if (share <= 100.0f)
            percent = int(share);
    }
    Q_EMIT received(m_bytes, percent);
    if (!m_headerDone) {
        const HeaderScan h = ScanHeader(m_buffer);
        if (h.found) {
            m_headerDone = true;
            m_bytes -= qint32(h.bodyStart);
            m_contentLength = h.contentLength;
        }
    }
}

void PageFetcher::onDisconnected(Connection* c) {
    if (c->socket->bytesAvailable() > 0)
        onReadyRead(c);
    if (c == m_ahead.get() && c->ahead)
        c->complete = true;
    else if (c == m_current.get() && m_active)
        end(FetchOutcome::Complete);
}

void PageFetcher::onSocketError(Connection* c) {
    const QAbstractSocket::SocketError error = c->socket->error();
    if (error == QAbstractSocket::RemoteHostClosedError) {
        // The server is done. Over TLS this is its close alert, and the connection
        // under it may stay open for seconds, or until we close it.
        if (c->socket->bytesAvailable() > 0)
            onReadyRead(c);
        responseComplete(c);
        return;
    }
    if (c == m_ahead.get() && c->ahead) {
        c->failed = true;
        return;
    }
    if (c == m_current.get() && m_active && error == QAbstractSocket::SslHandshakeFailedError) {
        // A certificate refused, or no TLS spoken at all (then like a refused connection).
        const FetchOutcome outcome = c->certificateProblem.isEmpty()
                                         ? FetchOutcome::Refused
                                         : FetchOutcome::CertificateError;
        m_steps.later([this, outcome] { end(outcome); });
        return;
    }
    // A refused connection or an unknown host is known at once: the fetch ends
    // now, on the next turn (out of the socket's own signal), not at the time-out.
    if (c == m_current.get() && m_active &&
        (error == QAbstractSocket::ConnectionRefusedError ||
         error == QAbstractSocket::HostNotFoundError || error == QAbstractSocket::NetworkError) &&
        c->socket->state() != QAbstractSocket::ConnectedState)
        m_steps.later([this] { end(FetchOutcome::Refused); });
}

void PageFetcher::onTick() {
    if (!m_active)
        return;
    // The idle rule first; when it ends the fetch, the overall rule has nothing left to do.
    if (m_idleSeconds < std::numeric_limits<qint16>::max())
        m_idleSeconds += 1;
    Q_EMIT idleTick(m_idleSeconds);
    if (!m_active)
        return;
    if (m_idleSeconds >= m_idleTimeout) {
        end(FetchOutcome::TimedOut);
        return;
    }
    if (m_elapsedSeconds < std::numeric_limits<qint16>::max())
        m_elapsedSeconds += 1;
    if (m_elapsedSeconds >= m_overallTimeout)
        end(FetchOutcome::OverTime);
}

void PageFetcher::end(FetchOutcome outcome) {
    m_active = false;
    m_timer->stop();
    m_steps.abandon();
    FetchResult r;
    r.host = m_host;
    r.path = m_path;
    r.bytes = m_bytes;
    r.dropped = m_dropped;
    r.tls = m_tls;
    if (m_current)
        r.certificateProblem = m_current->certificateProblem;
    if (outcome == FetchOutcome::Complete) {
        SplitResponse split = SplitFinishedResponse(std::exchange(m_buffer, QString()));
        r.header = std::move(split.header);
        r.body = IsChunked(r.header) ? DecodeChunked(split.body) : std::move(split.body);
        if (m_dropped > 0)
            outcome = FetchOutcome::CutAtCeiling;
        using Stage = ResponseProgress::Stage;
        const Stage stage = m_current ? m_current->progress.stage : Stage::Complete;
        r.whole = stage == Stage::Complete || stage == Stage::UntilClose;
    }
    m_buffer.clear();
    if (m_current)
        m_current->close();
    r.outcome = outcome;
    Q_EMIT finished(r);
}

} // namespace corvantis::scan
