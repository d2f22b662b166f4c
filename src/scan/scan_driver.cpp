// The driver of a scan: start, page steps, site changes and stop.
#include "scan/scan_engine.h"

#include "scan/page_downloader.h"
#include "util/app_folder.h"
#include "util/settings_store.h"
#include "util/text_utils.h"

#include <QTcpSocket>
#include <QTimer>

#include <limits>

namespace corvantis::scan {

using util::ContainsCI;
using util::IsBlank;
using util::ReplaceAllCI;
using util::ZeroFilled;

ScanEngine::ScanEngine(ScanSession& session, util::Messages& messages, util::SoundPlayer& sound,
                       const HostRouter& router, QObject* parent)
    : QObject(parent), m_session(session), m_state(session.state), m_messages(messages),
      m_sound(sound), m_router(router), m_downloader(new PageDownloader(router, this)) {
    for (int i = 0; i < kFetchSlots; ++i) {
        FetchSlot& s = m_slots[i];
        s.socket = new QTcpSocket(this);
        s.timer = new QTimer(this);
        s.timer->setInterval(1000);
        // A socket can change slots (a read-ahead is taken over by slot 0), so
        // its events go to whichever slot holds it at the time.
        QTcpSocket* socket = s.socket;
        connect(socket, &QTcpSocket::connected, this,
                [this, socket] { onConnected(slotOf(socket)); });
        connect(socket, &QTcpSocket::readyRead, this,
                [this, socket] { onReadyRead(slotOf(socket)); });
        connect(socket, &QTcpSocket::disconnected, this,
                [this, socket] { onDisconnected(slotOf(socket)); });
        connect(socket, &QTcpSocket::errorOccurred, this,
                [this, socket] { onSocketError(slotOf(socket)); });
        connect(s.timer, &QTimer::timeout, this, [this, i] { onTimerTick(i); });
    }
    m_captureTurn = new QTimer(this);
    m_captureTurn->setSingleShot(true);
    m_captureTurn->setInterval(0);
    connect(m_captureTurn, &QTimer::timeout, this, [this] { captureSteps(m_captureTurnToken); });
    m_state.scanRunning = false;
}

ScanEngine::~ScanEngine() {
    for (FetchSlot& s : m_slots) {
        s.socket->blockSignals(true);
        s.socket->abort();
    }
}

void ScanEngine::setControls(const ScanControls& controls) {
    if (controls == m_controls)
        return;
    m_controls = controls;
    Q_EMIT controlsChanged(m_controls);
}

void ScanEngine::setNextEnabled(bool on) {
    ScanControls c = m_controls;
    c.next = on;
    setControls(c);
}

void ScanEngine::playCue(const char* file, bool enabled) {
    if (enabled)
        m_sound.play(util::AppFilePath(QStringLiteral("sounds/") + QLatin1String(file)));
}

qint16 ScanEngine::readTimeout() const {
    // An empty or unreadable time-out means the default minute.
    return util::ToInt16(m_session.options.txtTimeout).value_or(60);
}

qint16 ScanEngine::readLinksExpected(int partnerRow) const {
    // A "#" that is not a 16-bit number (hand-edited or imported rows) means one link.
    return util::ToInt16(m_session.partners.at(partnerRow).linksExpected).value_or(1);
}

void ScanEngine::beginSite(int partnerRow) {
    m_state.currentSite = m_session.partners.at(partnerRow).address;
    m_state.linksExpected = readLinksExpected(partnerRow);
    m_known.clear();
    m_pendingQueue.clear();
    queueAddress(m_state.currentSite);
    flushQueued();
}

void ScanEngine::queueAddress(const QString& address) {
    m_known.add(address);
    m_pendingQueue.append(address);
}

void ScanEngine::flushQueued() {
    m_session.queue.append(m_pendingQueue);
    m_pendingQueue.clear();
}

void ScanEngine::StartScan() {
    ScanState& s = m_state;
    s.linkFoundForSite = false;
    s.bEmulate = false;
    s.totalLinksFound = 0;
    s.pagesFetched = 0;
    s.pagesQueued = 0;
    s.siteLinksFound = 0;
    s.linksExpected = 0;
    s.strCurUrl.clear();
    s.strCurDir.clear();

    m_session.queue.clear();
    m_session.results.clear();
    m_session.errors.clear();

    s.timeout = readTimeout();
    s.timeout2 = s.timeout;
    m_session.counters.runPagesScanned = 0;
    m_session.counters.runPagesFound = 0;
    m_session.counters.runLinksFound = 0;

    if (IsBlank(m_session.domain())) {
        m_messages.inform(QStringLiteral("Please enter the Domain you want to find links to."));
        Q_EMIT focusRequested(QStringLiteral("txtDomain"));
        return;
    }
    if (m_session.partners.count() == 0) {
        m_messages.inform(QStringLiteral("Please enter at least one website to search for links."));
        Q_EMIT focusRequested(QStringLiteral("Text1"));
        return;
    }

    QString domain = ReplaceAllCI(m_session.domain(), QStringLiteral("http://"), QString());
    domain = ReplaceAllCI(domain, QStringLiteral("https://"), QString());
    if (domain.size() > 4 && util::StartsWithCI(domain, QStringLiteral("www.")))
        domain.remove(0, 4);
    m_session.setDomain(domain);

    playCue("nextsearch.wav", m_session.options.chkAudioNext);
    setControls(ScanControls{false, true, false, false, false});

    // Forget whatever an earlier scan left half done.
    ++m_pageToken;
    m_analysing = false;
    m_nextPending = false;
    s.siteNote.clear();
    s.siteNoteUrl.clear();
    s.domainTextSeen = false;
    s.resultCount = 0;

    s.iCurrentSite = 1;
    beginSite(0);
    s.scanRunning = true;
    m_session.MarkProjectEdited();
    NextPage(0);
}

void ScanEngine::StartSite() {
    m_state.scanRunning = true;
    ScanControls c = m_controls;
    c.email = false;
    c.start = false;
    c.stop = true;
    setControls(c);
    m_state.totalLinksFound = 0;
    m_state.pagesFetched = 0;
    NextPage(0);
}

void ScanEngine::NextPage(int slot) {
    ScanState& s = m_state;
    if (!s.scanRunning)
        return;
    if (s.pagesFetched < std::numeric_limits<qint32>::max())
        s.pagesFetched += 1;
    if (siteEndsBefore(s.pagesFetched)) {
        s.pagesFetched = 0;
        SiteChange();
        return;
    }
    setNextEnabled(s.iCurrentSite < m_session.partners.count());
    Q_EMIT statusText(2, QStringLiteral("Page ") + QString::number(s.pagesFetched) +
                             QStringLiteral(" of ") + QString::number(qint64(s.pagesQueued) + 1));
    s.strURL = m_session.queue.takeHead();
    Q_EMIT statusText(3, QStringLiteral("Searching ") + s.currentSite);
    FetchPage(slot);
}

bool ScanEngine::siteEndsBefore(qint64 pageNumber) const {
    // The page limit, an empty queue, or the expected links found (when that ends a site).
    const ScanOptions& o = m_session.options;
    return (o.chkAuto && pageNumber > o.PageLimit) || m_session.queue.isEmpty() ||
           (o.chkAuto2 && m_state.siteLinksFound >= m_state.linksExpected);
}

bool ScanEngine::redirectRuleEndsSite() const {
    // The domain's text was seen on the site but no link to it: with redirect
    // links accepted, the site is done after the page under analysis.
    const ScanState& s = m_state;
    return s.domainTextSeen && !s.linkFoundForSite && m_session.options.chkRedirect;
}

std::optional<QString> ScanEngine::readAheadAddress(bool pageHasDomainTrace) const {
    // The address NextPage will take after the page now being analysed, when that
    // page cannot change it: with no trace of the user's domain it adds no result
    // (so neither the expected-links rule nor the redirect rule ends the site),
    // and it does not follow a redirect. Its links only join the end of the queue.
    const ScanState& s = m_state;
    if (!s.scanRunning || m_nextPending || s.bEmulate || m_pageHasMarker || pageHasDomainTrace ||
        redirectRuleEndsSite() || siteEndsBefore(qint64(s.pagesFetched) + 1))
        return std::nullopt;
    return m_session.queue.head();
}

void ScanEngine::NextSite() {
    if (!m_state.scanRunning)
        return;
    // A site change waits until the page under analysis has been dealt with.
    if (m_analysing) {
        m_nextPending = true;
        return;
    }
    SiteChange();
}

void ScanEngine::SiteChange() {
    ScanState& s = m_state;
    m_nextPending = false;
    s.timeout = readTimeout();
    s.timeout2 = s.timeout;
    const QString note =
        IsBlank(s.siteNote) ? QString() : QStringLiteral(" (") + s.siteNote + QLatin1Char(')');
    s.scanRunning = true;
    closeSlot(0);
    dropReadAhead();
    ++m_pageToken;

    if (s.linkFoundForSite) {
        if (s.siteLinksFound < s.linksExpected)
            m_session.results.append(ResultRow{
                s.currentSite,
                kMissingPrefix + ZeroFilled(qint64(s.linksExpected) - s.siteLinksFound),
                QStringLiteral("000"), s.strCurUrl, RowColour::Red, RowMarker::NotLinking});
    } else if (m_session.options.chkRedirect && s.domainTextSeen) {
        m_session.results.append(ResultRow{s.currentSite, kRedirectLink, QStringLiteral("001"),
                                           s.siteNoteUrl, RowColour::Blue, RowMarker::Linking});
        CountScanEvent(ScanEvent::ItemFound);
    } else {
        m_session.results.append(ResultRow{s.currentSite, kNoneFound + note, QStringLiteral("000"),
                                           s.currentSite, RowColour::Red, RowMarker::NotLinking});
    }

    s.siteLinksFound = 0;
    s.linksExpected = 0;
    s.linkFoundForSite = false;
    s.resultCount = 0;
    s.pagesQueued = 0;
    s.iCurrentSite += 1;
    m_session.queue.clear();
    m_known.clear();
    s.siteNote.clear();
    s.siteNoteUrl.clear();
    s.domainTextSeen = false;

    if (s.iCurrentSite > m_session.partners.count()) {
        StopScan();
        return;
    }
    beginSite(s.iCurrentSite - 1);
    playCue("nextsearch.wav", m_session.options.chkAudioNext);
    StartSite();
}

void ScanEngine::StopScan() {
    m_state.scanRunning = false;
    m_nextPending = false;
    m_analysing = false;
    ++m_pageToken;
    setControls(ScanControls{true, false, false, true, true});
    m_state.iCurrentSite = 0;
    for (int i = 0; i < kFetchSlots; ++i)
        closeSlot(i);
    dropReadAhead();
    Q_EMIT progressChanged(100);
    Q_EMIT statusText(1, QStringLiteral("Stopped"));
    Q_EMIT statusText(2, QString());
    Q_EMIT statusText(3, QString());
    Q_EMIT statusText(4, QString());
    disarmTimers(0);
    Q_EMIT reportRequested();
    playCue("finished.wav", m_session.options.chkAudioFinished);
    Q_EMIT scanStopped();
}

// ---- counters ----

void ScanEngine::LoadCounters() {
    ScanCounters& c = m_session.counters;
    c.lHistEmailFound =
        util::ToInt32(util::ReadSetting(QStringLiteral("lHistEmailFound"), QStringLiteral("0")))
            .value_or(0);
    c.lHistWebScanned =
        util::ToInt32(util::ReadSetting(QStringLiteral("lHistWebScanned"), QStringLiteral("0")))
            .value_or(0);
    Q_EMIT statisticsChanged(c);
}

void ScanEngine::CountScanEvent(ScanEvent kind) {
    // A counter at its 32-bit ceiling stays there.
    const auto bump = [](qint32& n) {
        if (n < std::numeric_limits<qint32>::max())
            ++n;
    };
    ScanCounters& c = m_session.counters;
    switch (kind) {
    case ScanEvent::PageScanned:
        bump(c.runPagesScanned);
        bump(c.lHistWebScanned);
        util::WriteSetting(QStringLiteral("lHistWebScanned"), QString::number(c.lHistWebScanned));
        break;
    case ScanEvent::PageQueued:
        bump(c.runPagesFound);
        break;
    case ScanEvent::ItemFound:
        bump(c.runLinksFound);
        bump(c.lHistEmailFound);
        util::WriteSetting(QStringLiteral("lHistEmailFound"), QString::number(c.lHistEmailFound));
        break;
    }
    Q_EMIT statisticsChanged(c);
}

// ---- partner list editing ----

void ScanEngine::updateNextForPartnerEdit() {
    setNextEnabled(m_state.scanRunning && m_session.partners.count() > 1);
}

bool ScanEngine::AddPartnerSite(PartnerEntry& f) {
    const QString expected = IsBlank(f.Text2) ? QStringLiteral("1") : f.Text2;
    f.Text1 = ReplaceAllCI(f.Text1, QStringLiteral("http://"), QString());
    f.Text1 = ReplaceAllCI(f.Text1, QStringLiteral("https://"), QString());
    if (IsBlank(f.Text1)) {
        m_messages.inform(QStringLiteral("Please enter the Website URL first."));
        Q_EMIT focusRequested(QStringLiteral("Text1"));
        return false;
    }
    m_session.partners.append(PartnerSite{f.Text1.trimmed(), expected, f.Text3, f.Text4, f.Text5});
    m_session.MarkProjectEdited();
    updateNextForPartnerEdit();
    f = PartnerEntry{};
    Q_EMIT focusRequested(QStringLiteral("Text1"));
    return true;
}

void ScanEngine::DeletePartnerSite(int selectedRow) {
    if (selectedRow < 0 || selectedRow >= m_session.partners.count()) {
        m_messages.inform(QStringLiteral("You must select a site to delete."));
    } else if (selectedRow == 0 && m_state.scanRunning) {
        m_messages.inform(
            QStringLiteral("You cannot delete the current site while the search is running."));
    } else {
        m_session.partners.removeAt(selectedRow);
        m_session.MarkProjectEdited();
    }
    updateNextForPartnerEdit();
}

QString ScanEngine::CheckLinksExpected(const QString& text) {
    if (text.isEmpty() || util::ToInt16(text))
        return text;
    m_messages.inform(QStringLiteral("You may only enter numbers in this field."));
    return QStringLiteral("1");
}

} // namespace corvantis::scan
