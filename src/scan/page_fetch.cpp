// The page fetch: one GET per page on a plain TCP connection, read until the
// server closes it, with an idle and an overall time-out.
#include "scan/scan_engine.h"

#include "scan/http_response.h"

#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <utility>

namespace corvantis::scan {

void ScanEngine::FetchPage(int slot) {
    if (!m_state.scanRunning)
        return;
    FetchSlot& s = m_slots.at(slot);
    const PageAddress a = SplitPageAddress(m_state.strURL);
    m_state.strCurUrl = a.strCurUrl;
    m_state.strCurDir = a.strCurDir;
    s.slotHost = a.slotHost;
    s.slotPath = a.slotPath;
    s.slotBuffer.clear();
    s.slotHeaderDone = false;
    s.slotContentLength = 0;
    s.slotBytes = 0;
    Q_EMIT statusText(1, QStringLiteral("Downloading: ") + s.slotHost + s.slotPath);

    s.slotIdleSeconds = 0;
    s.slotElapsedSeconds = 0;
    s.timersArmed = true;
    s.timer->start();

    closeSlot(slot);
    if (takeReadAhead(slot))
        return;
    const Route route = m_router.route(s.slotHost);
    if (route.address.isEmpty()) {
        // Nothing to connect to; the failure is reported like a refused connection.
        failFetchAsTimeout(slot);
        return;
    }
    s.socket->connectToHost(route.address, route.port);
}

int ScanEngine::slotOf(const QTcpSocket* socket) const {
    for (int i = 0; i < kFetchSlots; ++i) {
        if (m_slots[i].socket == socket)
            return i;
    }
    Q_UNREACHABLE();
}

void ScanEngine::onConnected(int slot) {
    FetchSlot& s = m_slots.at(slot);
    if (slot == kReadAheadSlot) {
        // Straight to the server, so it works on the page while the current one is
        // analysed; the page is counted when its turn comes.
        s.socket->write(BuildRequest(s.slotHost, s.slotPath));
        s.socket->flush();
        m_ahead.requestSent = true;
        return;
    }
    CountScanEvent(ScanEvent::PageScanned);
    Q_EMIT progressChanged(0);
    s.socket->write(BuildRequest(s.slotHost, s.slotPath));
}

void ScanEngine::onReadyRead(int slot) {
    FetchSlot& s = m_slots.at(slot);
    if (slot == kReadAheadSlot) {
        // Kept as it came until the page's turn; past the ceiling, read and dropped.
        const QByteArray data = s.socket->readAll();
        const qsizetype kept =
            std::clamp<qsizetype>(kMaxResponseBytes - m_ahead.received.size(), 0, data.size());
        m_ahead.received += QByteArrayView(data).first(kept);
        m_ahead.dropped += data.size() - kept;
        return;
    }
    if (!m_state.scanRunning)
        return;
    absorbResponse(slot, s.socket->readAll());
}

void ScanEngine::absorbResponse(int slot, const QByteArray& data, qint64 dropped) {
    FetchSlot& s = m_slots.at(slot);
    s.slotIdleSeconds = 0;
    // Past the ceiling the rest of the response is read and dropped.
    const qsizetype room = kMaxResponseBytes - s.slotBuffer.size();
    if (room > 0)
        s.slotBuffer.append(QLatin1String(data.constData(), std::min(room, data.size())));
    const qint64 arrived = data.size() + dropped;
    if (qint64(s.slotBytes) + arrived <= std::numeric_limits<qint32>::max())
        s.slotBytes += qint32(arrived);
    Q_EMIT statusText(1, QStringLiteral("Downloading: ") + s.slotHost + s.slotPath +
                             QStringLiteral(" (") + QString::number(s.slotBytes) +
                             QLatin1Char(')'));
    if (s.slotContentLength >= 1) {
        const float percent = std::fabs(float(s.slotBytes) / float(s.slotContentLength) * 100.0f);
        if (percent <= 100.0f)
            Q_EMIT progressChanged(int(percent));
    }
    if (!s.slotHeaderDone) {
        const HeaderScan h = ScanHeader(s.slotBuffer);
        if (h.found) {
            s.slotHeaderDone = true;
            s.slotBytes -= qint32(h.bodyStart);
            s.slotContentLength = h.contentLength;
        }
    }
}

void ScanEngine::onDisconnected(int slot) {
    FetchSlot& s = m_slots.at(slot);
    if (s.socket->bytesAvailable() > 0)
        onReadyRead(slot);
    if (slot == kReadAheadSlot)
        m_ahead.complete = true;
    else
        FinishPage(slot);
}

bool ScanEngine::startReadAhead(bool pageHasDomainTrace) {
    const std::optional<QString> next = readAheadAddress(pageHasDomainTrace);
    if (!next)
        return false;
    FetchSlot& s = m_slots[kReadAheadSlot];
    const PageAddress a = SplitPageAddress(*next);
    const Route route = m_router.route(a.slotHost);
    if (route.address.isEmpty())
        return false;
    closeSlot(kReadAheadSlot);
    s.slotHost = a.slotHost;
    s.slotPath = a.slotPath;
    m_ahead = ReadAhead{};
    m_ahead.address = *next;
    m_ahead.active = true;
    s.socket->connectToHost(route.address, route.port);
    return true;
}

bool ScanEngine::takeReadAhead(int slot) {
    if (!m_ahead.active || slot == kReadAheadSlot)
        return false;
    const QAbstractSocket::SocketState state = m_slots[kReadAheadSlot].socket->state();
    const bool alive = m_ahead.complete || state == QAbstractSocket::ConnectedState ||
                       state == QAbstractSocket::ConnectingState;
    if (m_ahead.address != m_state.strURL || m_ahead.failed || !alive) {
        dropReadAhead(); // this turn fetches the page afresh
        return false;
    }
    // The read-ahead's connection becomes this slot's: from here on its events
    // are this slot's, and what it has received so far arrives now.
    std::swap(m_slots[slot].socket, m_slots[kReadAheadSlot].socket);
    const ReadAhead ahead = std::exchange(m_ahead, ReadAhead{});
    if (ahead.requestSent || ahead.complete) {
        CountScanEvent(ScanEvent::PageScanned);
        Q_EMIT progressChanged(0);
    } // else still connecting: the slot's own connected handler counts it and asks
    if (!ahead.received.isEmpty() || ahead.dropped > 0)
        absorbResponse(slot, ahead.received, ahead.dropped);
    if (ahead.complete) {
        // Finished on the next turn of the event loop, as a fetch always is.
        const quint64 token = m_pageToken;
        QTimer::singleShot(0, this, [this, slot, token] {
            if (!stale(token))
                FinishPage(slot);
        });
    }
    return true;
}

void ScanEngine::dropReadAhead() {
    closeSlot(kReadAheadSlot);
    m_ahead = ReadAhead{};
}

void ScanEngine::onSocketError(int slot) {
    FetchSlot& s = m_slots.at(slot);
    const auto error = s.socket->error();
    if (slot == kReadAheadSlot) {
        if (error != QAbstractSocket::RemoteHostClosedError)
            m_ahead.failed = true;
        return;
    }
    // A refused connection or an unknown host is known at once: end the fetch now,
    // with the outcome the idle time-out would give it later.
    if (m_state.scanRunning && s.timersArmed &&
        (error == QAbstractSocket::ConnectionRefusedError ||
         error == QAbstractSocket::HostNotFoundError || error == QAbstractSocket::NetworkError) &&
        s.socket->state() != QAbstractSocket::ConnectedState) {
        const quint64 token = m_pageToken;
        // Leave the socket's own signal before the site changes under it.
        QTimer::singleShot(0, this, [this, slot, token] {
            if (!stale(token) && m_slots.at(slot).timersArmed)
                failFetchAsTimeout(slot);
        });
    }
}

void ScanEngine::failFetchAsTimeout(int slot) {
    FetchSlot& s = m_slots.at(slot);
    m_session.errors.append(ErrorRow{QStringLiteral("Timeout"), s.slotHost});
    m_state.siteNote = QStringLiteral("Timeout");
    disarmTimers(slot);
    closeSlot(slot);
    CountScanEvent(ScanEvent::PageScanned);
    NextSite();
}

void ScanEngine::onTimerTick(int slot) {
    FetchSlot& s = m_slots.at(slot);
    if (!s.timersArmed)
        return;
    // The idle rule first; when it ends the fetch, the overall rule has nothing left to do.
    if (s.slotIdleSeconds < std::numeric_limits<qint16>::max())
        s.slotIdleSeconds += 1;
    Q_EMIT statusText(4, QString::number(s.slotIdleSeconds) + QStringLiteral(" of ") +
                             QString::number(m_state.timeout) + QStringLiteral(" seconds"));
    if (s.slotIdleSeconds >= m_state.timeout) {
        failFetchAsTimeout(slot);
        return;
    }
    if (s.slotElapsedSeconds < std::numeric_limits<qint16>::max())
        s.slotElapsedSeconds += 1;
    if (s.slotElapsedSeconds >= m_state.timeout2) {
        disarmTimers(slot);
        closeSlot(slot);
        ++m_pageToken;
        NextPage(slot);
    }
}

void ScanEngine::disarmTimers(int slot) {
    FetchSlot& s = m_slots.at(slot);
    s.timersArmed = false;
    s.timer->stop();
}

void ScanEngine::closeSlot(int slot) {
    // Our own close must not look like the server ending the page.
    QTcpSocket* socket = m_slots.at(slot).socket;
    socket->blockSignals(true);
    socket->abort();
    socket->blockSignals(false);
}

void ScanEngine::FinishPage(int slot) {
    if (!m_state.scanRunning)
        return;
    FetchSlot& s = m_slots.at(slot);
    if (!s.timersArmed)
        return; // the fetch already ended by a time-out
    disarmTimers(slot);
    const SplitResponse r = SplitFinishedResponse(std::exchange(s.slotBuffer, QString()));
    const QString address = s.slotHost + s.slotPath;
    if (const auto error = HttpErrorText(r.header)) {
        m_state.siteNote = *error;
        m_session.errors.append(ErrorRow{*error, address});
        CountScanEvent(ScanEvent::PageScanned);
    }
    Q_EMIT statusText(1, QStringLiteral("Finished: ") + address);
    Q_EMIT pageFetched();
    m_analysing = true;
    CapturePage(r.body);
}

} // namespace corvantis::scan
