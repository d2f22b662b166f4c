#include "fetch/page_fetcher.h"

#include "fetch/tls_setup.h"
#include "page/http_response.h"

#include <QSslConfiguration>
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
    QString sessionKey; // the host and where it is reached: its TLS session
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
    // Kept open: answers after which the server kept the connection, whether it
    // waits, idle, for the next request, whether the request under way went over
    // it after an earlier answer, and the bytes of that request's answer so far.
    int kept = 0;
    bool reusable = false;
    bool reused = false;
    qint64 arrived = 0;

    // Our own close must not look like the server ending the page.
    void close() {
        ++serial;
        kept = 0;
        reusable = false;
        if (!socket)
            return;
        socket->blockSignals(true);
        socket->abort();
        socket->blockSignals(false);
    }
    // Back to waiting for a request, the connection kept as it is.
    void idle() {
        ahead = requestSent = failed = false;
        received.clear();
        dropped = 0;
    }
    void forget() {
        close();
        idle();
        certificateProblem.clear();
        progress = {};
        complete = false;
    }
    // The next request, on this connection as it stands.
    void startRequest(const QString& toHost, const QString& toPath) {
        idle();
        host = toHost;
        path = toPath;
        progress = {};
        complete = reusable = false;
        arrived = 0;
    }
    bool idleFor(const QString& toHost, bool overTls) const {
        return reusable && !ahead && socket && socket->state() == QAbstractSocket::ConnectedState &&
               socket->bytesAvailable() == 0 && tls == overTls &&
               host.compare(toHost, Qt::CaseInsensitive) == 0;
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
        // TLS 1.3 hands the session over after the handshake.
        connect(c.secure, &QSslSocket::newSessionTicketReceived, this,
                [this, p] { keepSession(p); });
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

void PageFetcher::setKeepAlive(bool on) {
    m_keepAlive = on;
    if (on || m_active)
        return;
    for (Connection* c : {m_current.get(), m_ahead.get()})
        if (c && c->reusable)
            c->forget();
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
    c.arrived = 0;
    c.socket = socketFor(c, tls);
    if (tls) { // the certificate and the server name (SNI) are the host's, not the route's
        c.sessionKey = host.toLower() + QLatin1Char('@') + route.address + QLatin1Char(':') +
                       QString::number(route.port);
        prepareSession(c);
        c.secure->connectToHostEncrypted(route.address, route.port, host);
    } else {
        c.socket->connectToHost(route.address, route.port);
    }
    return true;
}

// With keep-alive a new connection resumes the host's session: no certificate to
// send and check (and with TLS 1.2 a round trip less); without it each connection
// makes a whole handshake.
void PageFetcher::prepareSession(Connection& c) {
    const bool resume = m_keepAlive && m_options.sessions;
    QSslConfiguration config = c.secure->sslConfiguration();
    config.setSslOption(QSsl::SslOptionDisableSessionPersistence, !resume);
    config.setSessionTicket(resume ? m_options.sessions->ticket(c.sessionKey) : QByteArray());
    c.secure->setSslConfiguration(config);
}

void PageFetcher::keepSession(Connection* c) {
    // A session whose certificate failed verification is not resumed: a resumed
    // one is not verified again, and the failure would go unsaid.
    if (!m_keepAlive || !m_options.sessions || !c->secure || !c->certificateProblem.isEmpty())
        return;
    const QByteArray ticket = c->secure->sslConfiguration().sessionTicket();
    if (!ticket.isEmpty())
        m_options.sessions->keep(c->sessionKey, ticket);
}

// A site keeps one connection: the one beside the connection about to be used
// (robots.txt's, once the first page came on another) closes unless it is busy.
void PageFetcher::dropSpare(Connection* spare) {
    if (spare && !spare->ahead && !(spare == m_current.get() && m_active))
        spare->forget();
}

// A connection that waits, idle, for the next request stays open; any other closes.
void PageFetcher::release(Connection& c) {
    if (c.reusable && c.complete)
        c.idle();
    else
        c.forget();
}

// The server spoke out of turn or ended an idle connection: it carries nothing more.
void PageFetcher::dropIdle(Connection* c) {
    c->reusable = false;
    // Out of the socket's own signal.
    QTimer::singleShot(0, this, [c, serial = c->serial] {
        if (c->serial == serial && !c->reusable)
            c->close();
    });
}

bool PageFetcher::failsBeforeAnswer(const Connection* c) const {
    return c->reused && c->arrived == 0;
}

// The request went over a connection the server had kept, and the server closed
// or reset it before answering (it may have closed it just as the request left):
// asked once more on a new connection, within the same time-outs.
void PageFetcher::retryOnNewConnection() {
    m_retriedOnNew = true;
    // Nothing more of the old connection reaches us; it is closed on the next
    // turn, out of its own signal, as the new one is made.
    m_current->reusable = false;
    m_current->socket->blockSignals(true);
    m_steps.later([this] {
        if (!connectTo(connection(m_current), m_host, m_path, m_tls))
            end(FetchOutcome::Refused);
    });
}

void PageFetcher::fetch(const QString& host, const QString& path, bool tls) {
    m_steps.abandon();
    m_active = true;
    m_host = host;
    m_path = path;
    m_tls = tls;
    m_announced = m_retriedOnNew = false;
    m_buffer.clear();
    m_headerDone = false;
    m_contentLength = 0;
    m_bytes = 0;
    m_dropped = 0;
    m_idleSeconds = 0;
    m_elapsedSeconds = 0;
    m_timer->start();
    if (m_current)
        release(*m_current);
    if (takeOverReadAhead(host, path, tls)) {
        dropSpare(m_ahead.get());
        return;
    }
    // A connection to the host that waits for a request: the last page's, or one
    // a read-ahead left.
    if (!(m_current && m_current->idleFor(host, tls)) && m_ahead && m_ahead->idleFor(host, tls))
        std::swap(m_current, m_ahead);
    dropSpare(m_ahead.get());
    Connection& c = connection(m_current);
    if (c.idleFor(host, tls)) {
        c.startRequest(host, path);
        sendRequest(&c);
        return;
    }
    if (!connectTo(c, host, path, tls)) {
        // Nothing to connect to: reported like a refused connection.
        m_steps.later([this] { end(FetchOutcome::Refused); });
    }
}

bool PageFetcher::prefetch(const QString& host, const QString& path, bool tls) {
    if (!m_options.readAhead)
        return false;
    cancelPrefetch();
    // The connection of the page just read carries the read-ahead, its answer being whole.
    if (m_current && m_current->idleFor(host, tls))
        std::swap(m_current, m_ahead);
    dropSpare(m_current.get());
    Connection& a = connection(m_ahead);
    if (a.idleFor(host, tls)) {
        a.startRequest(host, path);
        a.ahead = true;
        sendRequest(&a);
        return true;
    }
    a.forget();
    a.ahead = connectTo(a, host, path, tls);
    return a.ahead;
}

void PageFetcher::cancelPrefetch() {
    if (m_ahead)
        release(*m_ahead);
}

void PageFetcher::cancel() {
    m_active = false;
    m_timer->stop();
    m_steps.abandon();
    for (Connection* c : {m_current.get(), m_ahead.get()})
        if (c)
            c->forget();
}

bool PageFetcher::takeOverReadAhead(const QString& host, const QString& path, bool tls) {
    if (!m_ahead || !m_ahead->ahead)
        return false;
    const Connection& a = *m_ahead;
    if (a.host != host || a.path != path || a.tls != tls)
        return false; // another page comes first (robots.txt): it waits for its turn
    const QAbstractSocket::SocketState state = a.socket->state();
    const bool alive = a.complete || state == QAbstractSocket::ConnectedState ||
                       state == QAbstractSocket::ConnectingState;
    if (a.failed || !alive) {
        cancelPrefetch(); // this turn fetches the page afresh
        return false;
    }
    std::swap(m_current, m_ahead);
    Connection& c = *m_current;
    c.ahead = false;
    const QByteArray received = std::exchange(c.received, QByteArray());
    const qint64 dropped = std::exchange(c.dropped, 0);
    if (c.requestSent || c.complete) {
        m_announced = true;
        Q_EMIT requestSent();
    }
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
    keepSession(c); // TLS 1.2 has it now
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
    c->reused = c->kept > 0;
    c->arrived = 0;
    if (c == m_ahead.get() && c->ahead) {
        // Straight to the server, so it works on the page while the current one is
        // analysed; the page is counted when its turn comes.
        c->socket->write(BuildRequest(c->host, c->path, m_keepAlive));
        c->socket->flush();
        c->requestSent = true;
        return;
    }
    if (c != m_current.get() || !m_active)
        return;
    // Once a page, also when it is asked again on a new connection.
    if (!std::exchange(m_announced, true))
        Q_EMIT requestSent();
    if (m_active)
        c->socket->write(BuildRequest(m_host, m_path, m_keepAlive));
}

void PageFetcher::onReadyRead(Connection* c) {
    const bool ahead = c == m_ahead.get() && c->ahead;
    if (!ahead && (c != m_current.get() || !m_active)) {
        if (c->reusable) // a notice before it closes, say: no request goes after it
            dropIdle(c);
        return;
    }
    const QByteArray data = c->socket->readAll();
    c->arrived += data.size();
    if (c->complete) {
        // Past the end of the response: nothing of the page, and a server that
        // says more than it was asked is not asked again on this connection.
        c->reusable = c->reusable && data.isEmpty();
        return;
    }
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

void PageFetcher::responseComplete(Connection* c, bool serverClosed) {
    const bool ahead = c == m_ahead.get() && c->ahead;
    if (c->complete || (!ahead && (c != m_current.get() || !m_active)))
        return;
    c->complete = true;
    // Ended by its own framing, nothing after it, and the server keeps the
    // connection: the next request may go over it.
    c->reusable = m_keepAlive && !serverClosed && c->progress.complete() && c->progress.keepsOpen &&
                  c->progress.excess == 0 && c->socket->state() == QAbstractSocket::ConnectedState;
    if (c->reusable)
        ++c->kept;
    // This runs inside the socket's own signal: the socket is closed, and the
    // page handed on, from the next turn of the event loop.
    if (ahead) {
        if (c->reusable)
            return;
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
    c->reusable = false;
    if (c == m_ahead.get() && c->ahead) {
        if (failsBeforeAnswer(c))
            c->failed = true; // its turn asks again, on a new connection
        else
            c->complete = true;
    } else if (c == m_current.get() && m_active) {
        if (failsBeforeAnswer(c) && !m_retriedOnNew)
            retryOnNewConnection();
        else
            end(FetchOutcome::Complete);
    }
}

void PageFetcher::onSocketError(Connection* c) {
    const bool ahead = c == m_ahead.get() && c->ahead;
    if (!ahead && (c != m_current.get() || !m_active)) {
        if (c->reusable)
            dropIdle(c);
        return;
    }
    if (c->socket->bytesAvailable() > 0)
        onReadyRead(c);
    c->reusable = false;
    if (failsBeforeAnswer(c) && (ahead || !m_retriedOnNew)) {
        if (ahead)
            c->failed = true;
        else
            retryOnNewConnection();
        return;
    }
    const QAbstractSocket::SocketError error = c->socket->error();
    if (error == QAbstractSocket::RemoteHostClosedError) {
        // The server is done. Over TLS this is its close alert, and the connection
        // under it may stay open for seconds, or until we close it.
        responseComplete(c, true);
        return;
    }
    if (ahead) {
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
        release(*m_current);
    r.outcome = outcome;
    Q_EMIT finished(r);
}

} // namespace corvantis::scan
