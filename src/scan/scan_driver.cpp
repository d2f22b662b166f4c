// The driver of a scan: start, page steps, site changes and stop.
#include "scan/scan_driver.h"

#include "scan/http_response.h"
#include "scan/page_downloader.h"
#include "scan/page_fetcher.h"
#include "scan/site_signals.h"
#include "util/app_folder.h"
#include "util/seams.h"
#include "util/text_utils.h"

#include <QUrl>

#include <limits>
#include <utility>

namespace corvantis::scan {

using util::IsBlank;
using util::ZeroFilled;

ScanDriver::ScanDriver(ScanEngine& engine, ScanSession& session, util::Messages& messages,
                       util::SoundPlayer& sound, const HostRouter& router,
                       ScanEngine::Options options)
    : q(engine), m_session(session), m_state(session.m_state), m_messages(messages), m_sound(sound),
      m_fetcher(
          std::make_unique<PageFetcher>(router, PageFetcher::Options{options.readAhead}, &engine)),
      m_downloader(std::make_unique<PageDownloader>(router)), m_steps(&engine),
      m_analysis(*this, session, m_state, m_steps) {
    PageFetcher* f = m_fetcher.get();
    QObject::connect(f, &PageFetcher::requestSent, &q, [this] { onRequestSent(); });
    QObject::connect(f, &PageFetcher::received, &q,
                     [this](qint32 bytes, int percent) { onReceived(bytes, percent); });
    QObject::connect(f, &PageFetcher::idleTick, &q, [this](qint16 seconds) {
        status(StatusPanel::Timeout, QString::number(seconds) + QStringLiteral(" of ") +
                                         QString::number(m_state.timeout) +
                                         QStringLiteral(" seconds"));
    });
    QObject::connect(f, &PageFetcher::finished, &q,
                     [this](const FetchResult& r) { onFetchEnded(r); });
    m_state.scanRunning = false;
}

ScanDriver::~ScanDriver() = default;

bool ScanDriver::readAheadEnabled() const {
    return m_fetcher->readAheadEnabled();
}

void ScanDriver::status(StatusPanel panel, const QString& text) {
    Q_EMIT q.statusText(panel, text);
}

void ScanDriver::setControls(const ScanControls& controls) {
    if (controls == m_controls)
        return;
    m_controls = controls;
    Q_EMIT q.controlsChanged(m_controls);
}

void ScanDriver::setNextEnabled(bool on) {
    ScanControls c = m_controls;
    c.next = on;
    setControls(c);
}

void ScanDriver::playCue(const char* file, bool enabled) {
    if (enabled)
        m_sound.play(util::AppFilePath(QStringLiteral("sounds/") + QLatin1String(file)));
}

void ScanDriver::applyOptions() {
    m_state.timeout = m_session.options().timeoutSeconds;
    m_state.timeout2 = m_state.timeout;
    m_fetcher->setTimeouts(m_state.timeout, m_state.timeout2);
    m_fetcher->setAcceptInvalidCertificates(m_session.options().acceptInvalidCertificates);
}

void ScanDriver::beginSite(int partnerRow) {
    const PartnerSite& partner = m_session.partners.at(partnerRow);
    m_state.currentSite = partner.address;
    // A "#" that is not a 16-bit number (hand-edited or imported rows) means one link.
    m_state.linksExpected = util::ToInt16(partner.linksExpected).value_or(1);
    // A partner entered with "https://" is on https from its first page; the
    // queue itself stays scheme-less.
    const bool https = util::StartsWithCI(partner.address, QStringLiteral("https://"));
    const QString start = https ? partner.address.mid(8) : partner.address;
    m_state.siteHost = m_state.siteTlsHost = https ? SplitPageAddress(start).slotHost : QString();
    m_known.clear();
    m_robots.clear();
    m_pendingQueue.clear();
    queueAddress(start);
    flushQueued();
}

void ScanDriver::queueAddress(const QString& address) {
    m_known.add(address);
    m_pendingQueue.append(address);
}

void ScanDriver::flushQueued() {
    m_session.queue.append(m_pendingQueue);
    m_pendingQueue.clear();
}

void ScanDriver::offerLink(const QString& address) {
    // The crawl goes downward only, and never twice to an address it already knows.
    ScanState& s = m_state;
    if (m_session.partners.count() > 0 && util::ContainsCI(address, s.strCurDir) &&
        !m_session.partners.isPartnerAddress(address) && !m_known.anyContains(address) &&
        s.pagesQueued < std::numeric_limits<qint32>::max()) {
        s.pagesQueued += 1;
        m_session.CountScanEvent(ScanEvent::PageQueued);
        queueAddress(address);
    }
}

bool ScanDriver::startRefused() {
    if (IsBlank(m_session.domain())) {
        m_messages.inform(QStringLiteral("Please enter the Domain you want to find links to."));
        Q_EMIT q.focusRequested(EntryField::Domain);
        return true;
    }
    if (m_session.partners.count() == 0) {
        m_messages.inform(QStringLiteral("Please enter at least one website to search for links."));
        Q_EMIT q.focusRequested(EntryField::Address);
        return true;
    }
    return false;
}

void ScanDriver::StartScan() {
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
    m_endedSites.clear();
    applyOptions();
    m_session.resetRunCounters();
    if (startRefused())
        return;

    QString domain = util::StripSchemes(m_session.domain());
    if (domain.size() > 4 && util::StartsWithCI(domain, QStringLiteral("www.")))
        domain.remove(0, 4);
    m_session.setDomain(domain);

    playCue("nextsearch.wav", m_session.options().chkAudioNext);
    setControls(ScanControls{false, true, false, false, false});

    // Forget whatever an earlier scan left half done.
    m_steps.abandon();
    m_step = PageStep::Finished;
    m_nextPending = false;
    s.siteNote.clear();
    s.siteNoteUrl.clear();
    s.domainTextSeen = false;
    s.resultCount = 0;

    s.iCurrentSite = 1;
    beginSite(0);
    s.scanRunning = true;
    m_session.partners.setKeepPositions(true);
    m_session.MarkProjectEdited();
    NextPage();
}

void ScanDriver::StartSite() {
    m_state.scanRunning = true;
    ScanControls c = m_controls;
    c.email = false;
    c.start = false;
    c.stop = true;
    setControls(c);
    m_state.totalLinksFound = 0;
    m_state.pagesFetched = 0;
    NextPage();
}

void ScanDriver::NextPage() {
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
    status(StatusPanel::Page, QStringLiteral("Page ") + QString::number(s.pagesFetched) +
                                  QStringLiteral(" of ") +
                                  QString::number(qint64(s.pagesQueued) + 1));
    s.strURL = m_session.queue.takeHead();
    status(StatusPanel::Site, QStringLiteral("Searching ") + s.currentSite);
    FetchPage();
}

bool ScanDriver::siteEndsBefore(qint64 pageNumber) const {
    // The page limit, an empty queue, or the expected links found (when that ends a site).
    const ScanOptions& o = m_session.options();
    return (o.chkAuto && pageNumber > o.PageLimit) || m_session.queue.isEmpty() ||
           (o.chkAuto2 && m_state.siteLinksFound >= m_state.linksExpected);
}

bool ScanDriver::redirectRuleEndsSite() const {
    // The domain's text was seen on the site but no link to it: with redirect
    // links accepted, the site is done after the page under analysis.
    const ScanState& s = m_state;
    return s.domainTextSeen && !s.linkFoundForSite && m_session.options().chkRedirect;
}

std::optional<QString> ScanDriver::readAheadAddress(bool pageHasMarker,
                                                    bool pageHasDomainTrace) const {
    // The address NextPage will take after the page now being analysed, when that
    // page cannot change it: with no trace of the user's domain it adds no result
    // (so neither the expected-links rule nor the redirect rule ends the site),
    // and it does not follow a redirect. Its links only join the end of the queue.
    const ScanState& s = m_state;
    if (!s.scanRunning || m_nextPending || s.bEmulate || pageHasMarker || pageHasDomainTrace ||
        redirectRuleEndsSite() || siteEndsBefore(qint64(s.pagesFetched) + 1))
        return std::nullopt;
    return m_session.queue.head();
}

bool ScanDriver::startReadAhead(bool pageHasMarker, bool pageHasDomainTrace) {
    if (!m_fetcher->readAheadEnabled())
        return false;
    const std::optional<QString> next = readAheadAddress(pageHasMarker, pageHasDomainTrace);
    if (!next)
        return false;
    const PageAddress a = SplitPageAddress(*next);
    const QString host = fetchHost(a.slotHost);
    return m_fetcher->prefetch(host, a.slotPath, fetchedOverTls(host));
}

void ScanDriver::endPageStep() {
    m_step = PageStep::Finished;
    m_steps.abandon();
    if (m_nextPending || redirectRuleEndsSite())
        SiteChange();
    else
        NextPage();
}

void ScanDriver::NextSite() {
    if (!m_state.scanRunning)
        return;
    // A site change waits until the page under analysis has been dealt with.
    if (m_step != PageStep::Fetching && m_step != PageStep::Finished) {
        m_nextPending = true;
        return;
    }
    SiteChange();
}

void ScanDriver::SiteChange() {
    ScanState& s = m_state;
    m_nextPending = false;
    applyOptions();
    s.scanRunning = true;
    m_fetcher->cancel();
    m_steps.abandon();
    m_step = PageStep::Finished;
    writeSiteVerdict();
    m_endedSites.append(s.currentSite);
    resetSite();
    s.iCurrentSite += 1;
    if (s.iCurrentSite > m_session.partners.count()) {
        StopScan();
        return;
    }
    beginSite(s.iCurrentSite - 1);
    playCue("nextsearch.wav", m_session.options().chkAudioNext);
    StartSite();
}

void ScanDriver::writeSiteVerdict() {
    const ScanState& s = m_state;
    if (s.linkFoundForSite) {
        if (s.siteLinksFound < s.linksExpected)
            m_session.results.append(ResultRow{
                s.currentSite,
                kMissingPrefix + ZeroFilled(qint64(s.linksExpected) - s.siteLinksFound),
                QStringLiteral("000"), s.strCurUrl, RowColour::Red, RowMarker::NotLinking});
    } else if (m_session.options().chkRedirect && s.domainTextSeen) {
        m_session.results.append(ResultRow{s.currentSite, kRedirectLink, QStringLiteral("001"),
                                           s.siteNoteUrl, RowColour::Blue, RowMarker::Linking});
        m_session.CountScanEvent(ScanEvent::ItemFound);
    } else {
        const QString note =
            IsBlank(s.siteNote) ? QString() : QStringLiteral(" (") + s.siteNote + QLatin1Char(')');
        m_session.results.append(ResultRow{s.currentSite, kNoneFound + note, QStringLiteral("000"),
                                           s.currentSite, RowColour::Red, RowMarker::NotLinking});
    }
}

void ScanDriver::resetSite() {
    ScanState& s = m_state;
    s.siteLinksFound = 0;
    s.linksExpected = 0;
    s.linkFoundForSite = false;
    s.resultCount = 0;
    s.pagesQueued = 0;
    m_session.queue.clear();
    m_known.clear();
    s.siteNote.clear();
    s.siteNoteUrl.clear();
    s.domainTextSeen = false;
    s.siteHost.clear();
    s.siteTlsHost.clear();
    s.certificateNoted = false;
}

void ScanDriver::StopScan() {
    m_state.scanRunning = false;
    m_session.partners.setKeepPositions(false);
    m_nextPending = false;
    m_step = PageStep::Finished;
    m_steps.abandon();
    setControls(ScanControls{true, false, false, true, true});
    m_state.iCurrentSite = 0;
    m_fetcher->cancel();
    Q_EMIT q.progressChanged(100);
    status(StatusPanel::Activity, QStringLiteral("Stopped"));
    status(StatusPanel::Page, QString());
    status(StatusPanel::Site, QString());
    status(StatusPanel::Timeout, QString());
    Q_EMIT q.scanEnded();
    Q_EMIT q.reportRequested();
    playCue("finished.wav", m_session.options().chkAudioFinished);
    Q_EMIT q.scanStopped();
}

// ---- page fetch ----

void ScanDriver::FetchPage() {
    if (!m_state.scanRunning)
        return;
    const PageAddress a = SplitPageAddress(m_state.strURL);
    m_state.strCurUrl = a.strCurUrl;
    m_state.strCurDir = a.strCurDir;
    m_state.pageHost = a.slotHost;
    m_state.pagePath = a.slotPath;
    m_step = PageStep::Fetching;
    m_refetching = false;
    const QString host = fetchHost(a.slotHost);
    // The site's robots.txt comes first: one request, not a page of the site.
    if (m_session.options().checkLinkValue && !m_robots.begun())
        fetchRobotsTxt(m_robots.begin(host, fetchedOverTls(host)));
    else
        fetch(host, a.slotPath, fetchedOverTls(host));
}

void ScanDriver::fetchRobotsTxt(const SiteRobots::Request& request) {
    fetch(request.host, request.path, request.tls);
}

void ScanDriver::onRobotsTxt(const FetchResult& r) {
    if (const auto next = m_robots.take(r.complete() ? StatusCode(r.header) : 0, r.header, r.body))
        fetchRobotsTxt(*next);
    else
        FetchPage();
}

RobotsRule ScanDriver::robotsRule() const {
    return m_robots.rule(m_state.pagePath);
}

QString ScanDriver::fetchHost(const QString& queuedHost) const {
    // The pages of a site on https are fetched where it lives.
    const bool moved = !m_state.siteHost.isEmpty() && util::EqualsCI(queuedHost, m_state.siteHost);
    return moved ? m_state.siteTlsHost : queuedHost;
}

bool ScanDriver::fetchedOverTls(const QString& host) const {
    return !m_state.siteTlsHost.isEmpty() && util::EqualsCI(host, m_state.siteTlsHost);
}

void ScanDriver::fetch(const QString& host, const QString& path, bool tls) {
    m_fetchAddress = host + path;
    status(StatusPanel::Activity, QStringLiteral("Downloading: ") + m_fetchAddress);
    m_fetcher->fetch(host, path, tls);
}

void ScanDriver::onRequestSent() {
    // A page asked for again where its site moved counts once; robots.txt never.
    if (!std::exchange(m_refetching, false) && !m_robots.underWay())
        m_session.CountScanEvent(ScanEvent::PageScanned);
    Q_EMIT q.progressChanged(0);
}

void ScanDriver::onReceived(qint32 bytes, int percent) {
    status(StatusPanel::Activity, QStringLiteral("Downloading: ") + m_fetchAddress +
                                      QStringLiteral(" (") + QString::number(bytes) +
                                      QLatin1Char(')'));
    if (percent >= 0)
        Q_EMIT q.progressChanged(percent);
}

void ScanDriver::onFetchEnded(const FetchResult& result) {
    if (!m_state.scanRunning)
        return;
    if (m_robots.underWay()) {
        onRobotsTxt(result);
        return;
    }
    switch (result.outcome) {
    case FetchOutcome::Complete:
    case FetchOutcome::CutAtCeiling:
        FinishPage(result);
        break;
    case FetchOutcome::TimedOut:
    case FetchOutcome::Refused:
        failFetch(ErrorRow{QStringLiteral("Timeout"), result.host}, QStringLiteral("Timeout"));
        break;
    case FetchOutcome::CertificateError:
        failFetch(ErrorRow{QStringLiteral("Certificate error"), result.host + result.path},
                  QStringLiteral("Certificate error: ") + result.certificateProblem);
        break;
    case FetchOutcome::OverTime:
        // The page is dropped without a word and the site goes on.
        m_step = PageStep::Finished;
        m_steps.abandon();
        NextPage();
        break;
    }
}

void ScanDriver::failFetch(const ErrorRow& error, const QString& note) {
    m_session.errors.append(error);
    m_state.siteNote = note;
    m_step = PageStep::Finished;
    m_session.CountScanEvent(ScanEvent::PageScanned);
    NextSite();
}

void ScanDriver::FinishPage(const FetchResult& r) {
    const std::optional<QString> location = RedirectLocation(r.header);
    if (location && moveSiteToHttps(r, *location))
        return;
    noteCertificateProblem(r);
    const QString address = r.host + r.path;
    if (const auto error = pageProblem(r)) {
        m_state.siteNote = *error;
        m_session.errors.append(ErrorRow{*error, address});
        m_session.CountScanEvent(ScanEvent::PageScanned);
    }
    status(StatusPanel::Activity, QStringLiteral("Finished: ") + address);
    Q_EMIT q.pageFetched();
    if (location)
        followLocation(r, *location);
    else
        m_analysis.CapturePage(r.body, r.header);
}

// Why a page is no page of the partner's own: a bot wall before the site, a parked
// domain's start page, or an HTTP error. The reason is an error row and the site's note.
std::optional<QString> ScanDriver::pageProblem(const FetchResult& r) const {
    if (IsBotChallenge(StatusCode(r.header), r.header, r.body))
        return QString(kBlockedByBotProtection);
    if (m_state.pagesFetched == 1 && IsParkingPage(r.body))
        return QString(kParkedDomain);
    return HttpErrorText(r.header);
}

bool ScanDriver::moveSiteToHttps(const FetchResult& r, const QString& location) {
    // A plain page that redirects to the same host on https, or to its "www."
    // twin, moves the site: the page is asked for again there at once, and every
    // later page of the site is fetched there directly.
    if (r.tls)
        return false;
    const QUrl url(location, QUrl::TolerantMode);
    const QString to = url.host();
    const QString www = QStringLiteral("www.");
    if (url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) != 0 ||
        (url.port() != -1 && url.port() != 443) ||
        !(util::EqualsCI(to, r.host) || util::EqualsCI(to, QString(www + r.host)) ||
          util::EqualsCI(QString(www + to), r.host)))
        return false;
    m_state.siteHost = m_state.pageHost;
    m_state.siteTlsHost = to;
    QString path = url.path(QUrl::FullyEncoded);
    if (path.isEmpty())
        path = QStringLiteral("/");
    if (url.hasQuery())
        path += QLatin1Char('?') + url.query(QUrl::FullyEncoded);
    m_refetching = true;
    fetch(to, path, true);
    return true;
}

void ScanDriver::noteCertificateProblem(const FetchResult& r) {
    // Read all the same (the user accepts invalid certificates): said once a site.
    if (r.certificateProblem.isEmpty() || m_state.certificateNoted)
        return;
    m_state.certificateNoted = true;
    m_session.errors.append(ErrorRow{QStringLiteral("Certificate error"), r.host + r.path});
    m_state.siteNote = QStringLiteral("Certificate error: ") + r.certificateProblem;
}

void ScanDriver::followLocation(const FetchResult& r, const QString& location) {
    // The redirect names its target in the header: that page is read in its
    // place, once (a redirect met while following one is read as a page).
    if (m_state.bEmulate) {
        m_analysis.CapturePage(r.body, r.header);
        return;
    }
    const QUrl base((r.tls ? QStringLiteral("https://") : QStringLiteral("http://")) + r.host +
                    r.path);
    downloadInPlace(base.resolved(QUrl(location, QUrl::TolerantMode)).toString());
}

void ScanDriver::downloadInPlace(QString target) {
    // What the target holds is analysed as this page; bEmulate keeps it from redirecting again.
    m_step = PageStep::FollowingRedirect;
    m_downloader->DownloadPage(target, m_steps.guarded([this](const QString& body) {
        m_state.bEmulate = true;
        m_analysis.CapturePage(body);
    }));
}

// ---- partner list editing ----

void ScanDriver::updateNextForPartnerEdit() {
    setNextEnabled(m_state.scanRunning && m_session.partners.count() > 1);
}

bool ScanDriver::AddPartnerSite(PartnerEntry& f) {
    const QString expected = IsBlank(f.Text2) ? QStringLiteral("1") : f.Text2;
    // Schemes are taken out, but a leading "https://" stays: the site is on https.
    const bool https = util::StartsWithCI(f.Text1.trimmed(), QStringLiteral("https://"));
    f.Text1 = util::StripSchemes(f.Text1);
    if (https && !IsBlank(f.Text1))
        f.Text1 = QStringLiteral("https://") + f.Text1.trimmed();
    if (IsBlank(f.Text1)) {
        m_messages.inform(QStringLiteral("Please enter the Website URL first."));
        Q_EMIT q.focusRequested(EntryField::Address);
        return false;
    }
    m_session.partners.append(PartnerSite{f.Text1.trimmed(), expected, f.Text3, f.Text4, f.Text5});
    m_session.MarkProjectEdited();
    updateNextForPartnerEdit();
    f = PartnerEntry{};
    Q_EMIT q.focusRequested(EntryField::Address);
    return true;
}

void ScanDriver::DeletePartnerSite(int selectedRow) {
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

QString ScanDriver::CheckLinksExpected(const QString& text) {
    if (text.isEmpty() || util::ToInt16(text))
        return text;
    m_messages.inform(QStringLiteral("You may only enter numbers in this field."));
    return QStringLiteral("1");
}

} // namespace corvantis::scan
