// One partner site under scan: its pages, its robots.txt and its verdict.
#include "run/site_run.h"

#include "fetch/page_downloader.h"
#include "fetch/page_fetcher.h"
#include "page/http_response.h"
#include "page/partner_address.h"
#include "page/site_signals.h"
#include "session/page_renderer.h"
#include "util/app_folder.h"
#include "util/text_utils.h"

#include <QUrl>

#include <limits>
#include <utility>

namespace corvantis::scan {

using util::IsBlank;
using util::ZeroFilled;

SiteRun::SiteRun(Scan& scan, ScanSession& session, const HostRouter& router, bool readAhead,
                 TlsSessions* sessions, int slot, QObject* context, PageRenderer* renderer)
    : m_renderer(renderer), m_scan(scan), m_session(session),
      m_fetcher(std::make_unique<PageFetcher>(router, PageFetcher::Options{readAhead, sessions},
                                              context)),
      m_downloader(std::make_unique<PageDownloader>(router)), m_steps(context),
      m_analysis(*this, session, m_state, m_steps, slot) {
    PageFetcher* f = m_fetcher.get();
    QObject::connect(f, &PageFetcher::requestSent, context, [this] { onRequestSent(); });
    QObject::connect(f, &PageFetcher::received, context,
                     [this](qint32 bytes, int percent) { onReceived(bytes, percent); });
    QObject::connect(f, &PageFetcher::idleTick, context, [this](qint16 seconds) {
        status(StatusPanel::Timeout, QString::number(seconds) + QStringLiteral(" of ") +
                                         QString::number(m_state.timeout) +
                                         QStringLiteral(" seconds"));
    });
    QObject::connect(f, &PageFetcher::finished, context,
                     [this](const FetchResult& r) { onFetchEnded(r); });
    m_retry.setSingleShot(true);
    m_retry.setTimerType(Qt::PreciseTimer); // never before the time the server asked for
    QObject::connect(&m_retry, &QTimer::timeout, context, [this] {
        m_refetching = true;
        fetch(m_retryAt.host, m_retryAt.path, m_retryAt.tls);
    });
    m_state.scanRunning = false;
}

SiteRun::~SiteRun() = default;

bool SiteRun::readAheadEnabled() const {
    return m_fetcher->readAheadEnabled();
}

void SiteRun::status(StatusPanel panel, const QString& text) {
    m_scan.status(panel, text);
}

void SiteRun::playCue(const char* file, bool enabled) {
    m_scan.playCue(file, enabled);
}

void SiteRun::addResult(const ResultRow& row) {
    m_resultUrls.add(row.url);
    m_scan.addResult(*this, row);
}

void SiteRun::addLink(const FoundLink& found) {
    m_verdict.links.append(found);
    const FoundLink& link = m_verdict.links.last();
    if (m_rendering && link.reasons)
        m_verdict.links.last().reasons->append(ValueReason::AfterJavaScript);
    addResult(ResultRow{m_state.currentSite, LinkKindText(link.kind),
                        ZeroFilled(m_state.resultCount), link.page, RowColour::Blue,
                        RowMarker::Linking, LinkValueText(link), link.anchor});
}

void SiteRun::noteUnread(UnreadReason why) {
    if (m_verdict.unread == UnreadReason::None)
        m_verdict.unread = why;
}

bool SiteRun::resultUrlKnown(const QString& text) const {
    return m_resultUrls.anyContains(text);
}

void SiteRun::begin(const QString& partner, qint16 linksExpected, qint64 sequence,
                    PageQueueModel* queue) {
    m_steps.abandon();
    m_fetcher->cancel();
    m_retry.stop();
    m_state = ScanState{};
    m_state.scanRunning = true;
    m_state.timeout = m_state.timeout2 = m_session.options.timeoutSeconds;
    m_fetcher->setTimeouts(m_state.timeout, m_state.timeout2);
    m_fetcher->setAcceptInvalidCertificates(m_session.options.acceptInvalidCertificates);
    m_fetcher->setKeepAlive(m_session.options.keepAlive);
    m_state.currentSite = partner;
    m_state.linksExpected = linksExpected;
    m_sequence = sequence;
    m_step = PageStep::Finished;
    m_nextPending = false;
    m_verdict = PartnerVerdict{partner};
    m_toRender.clear();
    m_renderDecided = m_rendering = m_skipRender = m_startPageFailed = false;
    m_mayChange.clear();
    m_renderCandidates.clear();
    const QStringList remembered = m_session.run.rememberedPages.value(partner);
    if (!remembered.isEmpty())
        m_renderCandidates << SplitPageAddress(remembered.first()).strCurUrl;
    const QString startPage = SplitPageAddress(SplitScheme(partner).rest).strCurUrl;
    if (!m_renderCandidates.contains(startPage, Qt::CaseInsensitive))
        m_renderCandidates << startPage;
    // A partner entered with "https://" is on https from its first page; the
    // queue itself stays scheme-less.
    const SchemeAndRest start = SplitScheme(partner);
    m_state.siteHost = m_state.siteTlsHost =
        start.https ? SplitPageAddress(start.rest).slotHost : QString();
    m_known.clear();
    m_resultUrls.clear();
    m_robots.clear();
    m_pendingQueue.clear();
    m_queue = queue;
    m_queue->clear();
    queueRememberedPages(start.rest);
    queueAddress(start.rest);
    flushQueued();
}

// The pages where the partner's links stood last time go before the start page,
// at most one per link expected, each only where the crawl could reach it: inside
// the start page's directory and no other partner's address. They are not added
// to the crawl's "known" addresses, whose rule also refuses every address that
// is part of a known one (the directories above them): the crawl may still need
// those when a link has moved.
void SiteRun::queueRememberedPages(const QString& start) {
    m_remembered.clear();
    m_rememberedLeft = 0;
    m_pageRemembered = false;
    if (!m_session.options.startFromHistory)
        return;
    const PageAddress startAddress = SplitPageAddress(start);
    for (const QString& page : m_session.run.rememberedPages.value(m_state.currentSite)) {
        if (m_remembered.size() >= m_state.linksExpected)
            break;
        const QString address = SplitPageAddress(page).strCurUrl;
        if (!util::StartsWithCI(address, startAddress.strCurDir) ||
            util::EqualsCI(address, startAddress.strCurUrl) || isRememberedPage(address) ||
            m_session.project.partners.isPartnerAddress(address))
            continue;
        m_remembered.append(address);
        m_state.pagesQueued += 1;
        m_session.run.CountScanEvent(ScanEvent::PageQueued);
        m_pendingQueue.append(address);
    }
    m_rememberedLeft = m_remembered.size();
}

bool SiteRun::isRememberedPage(const QString& address) const {
    return !m_remembered.isEmpty() &&
           m_remembered.contains(SplitPageAddress(address).strCurUrl, Qt::CaseInsensitive);
}

void SiteRun::start() {
    NextPage();
}

void SiteRun::moveQueue(PageQueueModel* queue) {
    if (queue == m_queue)
        return;
    queue->clear();
    queue->append(m_queue->items());
    m_queue->clear();
    m_queue = queue;
}

void SiteRun::queueAddress(const QString& address) {
    m_known.add(address);
    m_pendingQueue.append(address);
}

void SiteRun::flushQueued() {
    m_queue->append(m_pendingQueue);
    m_pendingQueue.clear();
}

void SiteRun::offerLink(const QString& address) {
    // The crawl goes downward only, and never twice to an address it already knows;
    // a rendered page is read for its links back only.
    ScanState& s = m_state;
    if (!m_rendering && m_session.project.partners.count() > 0 &&
        util::ContainsCI(address, s.strCurDir) &&
        !m_session.project.partners.isPartnerAddress(address) && !m_known.anyContains(address) &&
        s.pagesQueued < std::numeric_limits<qint32>::max()) {
        if (isRememberedPage(address)) { // asked for already: known from here on, as the crawl
            m_known.add(address);        // would have known it
            return;
        }
        s.pagesQueued += 1;
        m_session.run.CountScanEvent(ScanEvent::PageQueued);
        queueAddress(address);
    }
}

void SiteRun::NextPage() {
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
    m_scan.pageStarted(*this);
    status(StatusPanel::Page, QStringLiteral("Page ") + QString::number(s.pagesFetched) +
                                  QStringLiteral(" of ") +
                                  QString::number(qint64(s.pagesQueued) + 1));
    s.strURL = m_queue->takeHead();
    m_pageRemembered = m_rememberedLeft > 0; // they lead the queue
    if (m_pageRemembered)
        --m_rememberedLeft;
    status(StatusPanel::Site, QStringLiteral("Searching ") + s.currentSite);
    FetchPage();
}

bool SiteRun::siteEndsBefore(qint64 pageNumber) const {
    // The page limit, an empty queue, or the expected links found (when that ends a site).
    const ScanOptions& o = m_session.options;
    return (o.chkAuto && pageNumber > o.PageLimit) || m_queue->isEmpty() ||
           (o.chkAuto2 && m_state.siteLinksFound >= m_state.linksExpected);
}

bool SiteRun::redirectRuleEndsSite() const {
    // The domain's text was seen on the site but no link to it: with redirect
    // links accepted, the site is done after the page under analysis.
    const ScanState& s = m_state;
    return s.domainTextSeen && !s.linkFoundForSite && m_session.options.chkRedirect;
}

std::optional<QString> SiteRun::readAheadAddress(bool pageHasMarker,
                                                 bool pageHasDomainTrace) const {
    // The address NextPage will take after the page now being analysed, when that
    // page cannot change it: with no trace of the user's domain it adds no result
    // (so neither the expected-links rule nor the redirect rule ends the site),
    // and it does not follow a redirect. Its links only join the end of the queue.
    const ScanState& s = m_state;
    if (!s.scanRunning || m_nextPending || s.bEmulate || pageHasMarker || pageHasDomainTrace ||
        redirectRuleEndsSite() || siteEndsBefore(qint64(s.pagesFetched) + 1))
        return std::nullopt;
    return m_queue->head();
}

bool SiteRun::startReadAhead(bool pageHasMarker, bool pageHasDomainTrace) {
    if (m_rendering || !m_fetcher->readAheadEnabled())
        return false;
    const std::optional<QString> next = readAheadAddress(pageHasMarker, pageHasDomainTrace);
    if (!next)
        return false;
    const PageAddress a = SplitPageAddress(*next);
    const QString host = fetchHost(a.slotHost);
    return m_fetcher->prefetch(host, a.slotPath, fetchedOverTls(host));
}

void SiteRun::endPageStep() {
    m_step = PageStep::Finished;
    m_steps.abandon();
    if (m_nextPending || redirectRuleEndsSite())
        SiteChange();
    else
        NextPage();
}

void SiteRun::next(bool byUser) {
    if (!m_state.scanRunning)
        return;
    m_skipRender = m_skipRender || byUser;
    // A site change waits until the page under analysis has been dealt with.
    if (m_step != PageStep::Fetching && m_step != PageStep::Rendering &&
        m_step != PageStep::Finished) {
        m_nextPending = true;
        return;
    }
    SiteChange();
}

void SiteRun::SiteChange() {
    m_nextPending = false;
    m_fetcher->cancel();
    m_steps.abandon();
    m_retry.stop();
    if (renderNext())
        return;
    m_step = PageStep::Finished;
    writeSiteVerdict();
    m_state.scanRunning = false;
    m_queue->clear();
    m_known.clear();
    m_resultUrls.clear();
    // Last: the scan may begin the run again on its next partner from here.
    m_scan.siteEnded(*this);
}

// A site whose HTML did not show the links expected: at most two of its pages
// as a browser shows them, the page of its last link first (from the history),
// then its start page, one after the other through the page analysis, until
// the links are found. Each ends by coming back here; true while one is under way.
bool SiteRun::renderNext() {
    if (!m_renderDecided) {
        m_renderDecided = true;
        m_toRender = pagesToRender();
        m_queue->clear(); // the crawl is over
        if (renderingMissed())
            noteUnread(UnreadReason::NotRendered);
    }
    m_rendering = false;
    const ScanState& s = m_state;
    if (m_skipRender || m_toRender.isEmpty() || s.siteLinksFound >= s.linksExpected)
        return false;
    const QString page = m_toRender.takeFirst();
    if (const QString why = m_renderer->unavailableReason(); !why.isEmpty()) {
        m_toRender.clear(); // no page of any site can be rendered: nothing is asked
        notRendered(page, why);
        return false;
    }
    m_step = PageStep::Rendering;
    status(StatusPanel::Activity, QStringLiteral("Rendering: ") + page);
    const QString scheme =
        s.siteTlsHost.isEmpty() ? QStringLiteral("http://") : QStringLiteral("https://");
    m_renderer->render(scheme + page, int(s.timeout) * 1000,
                       m_steps.guarded([this, page](const PageRenderer::Result& r) {
                           if (!r.ok) {
                               notRendered(page, r.error);
                               SiteChange();
                               return;
                           }
                           // The analysis reads it as the page at its address, and queues nothing.
                           takePageAddress(page);
                           m_rendering = true;
                           m_analysis.CapturePage(r.html, {}, PageAnalysis::BodyForm::Text);
                       }));
    return true;
}

QStringList SiteRun::pagesToRender() const {
    // Pages that could not be read, or a start page that answered with an error,
    // would not render either; a page without scripts or frames shows what its
    // HTML holds.
    if (!m_renderer || !m_session.options.renderPages || m_skipRender ||
        m_verdict.unread != UnreadReason::None || m_startPageFailed)
        return {};
    QStringList pages = m_renderCandidates;
    pages.removeIf([this](const QString& page) { return !m_mayChange.contains(page.toLower()); });
    return pages;
}

bool SiteRun::renderingMissed() const {
    // A partner whose links last time were found only in a browser, with the
    // links short now and no browser asked: what it shows is not known.
    const ScanState& s = m_state;
    return !m_skipRender && s.siteLinksFound < s.linksExpected &&
           (!m_renderer || !m_session.options.renderPages) &&
           m_session.run.renderedLastTime.contains(s.currentSite);
}

void SiteRun::notRendered(const QString& page, const QString& why) {
    // What the browser would have shown is not known: the site is not read. Why
    // no page renders on this machine is said once, not for every partner.
    noteUnread(UnreadReason::NotRendered);
    const bool everywhere = why == m_renderer->unavailableReason();
    if (!everywhere || m_scan.firstSaying(why))
        m_scan.addError(*this, ErrorRow{QStringLiteral("Not rendered: ") + why, page});
}

bool SiteRun::mayRenderPage() const {
    // Only these pages are ever rendered: the others need no look for scripts.
    return m_renderer && m_session.options.renderPages &&
           m_renderCandidates.contains(m_state.strCurUrl, Qt::CaseInsensitive);
}

void SiteRun::pageMayChangeInBrowser() {
    m_mayChange.insert(m_state.strCurUrl.toLower());
}

void SiteRun::stop() {
    m_state.scanRunning = false;
    m_nextPending = false;
    m_step = PageStep::Finished;
    m_steps.abandon();
    m_retry.stop();
    m_fetcher->cancel();
}

void SiteRun::writeSiteVerdict() {
    const ScanState& s = m_state;
    PartnerVerdict& v = m_verdict;
    if (s.linkFoundForSite) {
        v.kind = v.links.last().kind;
        if (s.siteLinksFound < s.linksExpected) {
            v.kind = VerdictKind::Missing;
            v.missing = s.linksExpected - s.siteLinksFound;
            addResult(ResultRow{s.currentSite, VerdictText(v), QStringLiteral("000"), s.strCurUrl,
                                RowColour::Red, RowMarker::NotLinking});
        }
    } else if (m_session.options.chkRedirect && s.domainTextSeen) {
        v.kind = VerdictKind::Redirect;
        FoundLink& redirect = v.links.emplaceBack();
        redirect.kind = VerdictKind::Redirect;
        redirect.page = s.siteNoteUrl;
        addResult(ResultRow{s.currentSite, VerdictText(v), QStringLiteral("001"), s.siteNoteUrl,
                            RowColour::Blue, RowMarker::Linking});
        m_session.run.CountScanEvent(ScanEvent::ItemFound);
    } else {
        v.kind = VerdictKind::NoneFound;
        v.note = IsBlank(s.siteNote) ? QString() : s.siteNote;
        addResult(ResultRow{s.currentSite, VerdictText(v), QStringLiteral("000"), s.currentSite,
                            RowColour::Red, RowMarker::NotLinking});
    }
}

// ---- page fetch ----

// The page under way is the one at this queue address, from here on.
PageAddress SiteRun::takePageAddress(const QString& address) {
    const PageAddress a = SplitPageAddress(address);
    m_state.strURL = address;
    m_state.strCurUrl = a.strCurUrl;
    m_state.strCurDir = a.strCurDir;
    m_state.pageHost = a.slotHost;
    m_state.pagePath = a.slotPath;
    return a;
}

void SiteRun::FetchPage() {
    if (!m_state.scanRunning)
        return;
    const PageAddress a = takePageAddress(m_state.strURL);
    m_step = PageStep::Fetching;
    m_refetching = false;
    m_retried = false;
    const QString host = fetchHost(a.slotHost);
    // The site's robots.txt comes first: one request, not a page of the site.
    if (m_session.options.checkLinkValue && !m_robots.begun()) {
        fetchRobotsTxt(m_robots.begin(host, fetchedOverTls(host)));
        // With connections kept open, the page goes out beside it, on a connection
        // of its own, and waits there for robots.txt: what that says decides only
        // the value of the links, never which page is asked for.
        if (m_session.options.keepAlive && m_fetcher->readAheadEnabled())
            m_fetcher->prefetch(host, a.slotPath, fetchedOverTls(host));
    } else {
        fetch(host, a.slotPath, fetchedOverTls(host));
    }
}

void SiteRun::fetchRobotsTxt(const SiteRobots::Request& request) {
    fetch(request.host, request.path, request.tls);
}

void SiteRun::onRobotsTxt(const FetchResult& r) {
    if (const auto next = m_robots.take(r.complete() ? StatusCode(r.header) : 0, r.header, r.body))
        fetchRobotsTxt(*next);
    else
        FetchPage();
}

RobotsRule SiteRun::robotsRule() const {
    return m_robots.rule(m_state.pagePath);
}

QString SiteRun::fetchHost(const QString& queuedHost) const {
    // The pages of a site on https are fetched where it lives.
    const bool moved = !m_state.siteHost.isEmpty() && util::EqualsCI(queuedHost, m_state.siteHost);
    return moved ? m_state.siteTlsHost : queuedHost;
}

bool SiteRun::fetchedOverTls(const QString& host) const {
    return !m_state.siteTlsHost.isEmpty() && util::EqualsCI(host, m_state.siteTlsHost);
}

void SiteRun::fetch(const QString& host, const QString& path, bool tls) {
    m_fetchAddress = host + path;
    status(StatusPanel::Activity, QStringLiteral("Downloading: ") + m_fetchAddress);
    m_fetcher->fetch(host, path, tls);
}

void SiteRun::onRequestSent() {
    // A page asked for again (where its site moved, or after waiting) counts
    // once; robots.txt never.
    if (!std::exchange(m_refetching, false) && !m_robots.underWay())
        m_session.run.CountScanEvent(ScanEvent::PageScanned);
    m_scan.pageProgress(0);
}

void SiteRun::onReceived(qint32 bytes, int percent) {
    status(StatusPanel::Activity, QStringLiteral("Downloading: ") + m_fetchAddress +
                                      QStringLiteral(" (") + QString::number(bytes) +
                                      QLatin1Char(')'));
    if (percent >= 0)
        m_scan.pageProgress(percent);
}

void SiteRun::onFetchEnded(const FetchResult& result) {
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
        failFetch(ErrorRow{QStringLiteral("Timeout"), result.host}, QStringLiteral("Timeout"),
                  UnreadReason::NoAnswer);
        break;
    case FetchOutcome::CertificateError:
        failFetch(ErrorRow{QStringLiteral("Certificate error"), result.host + result.path},
                  QStringLiteral("Certificate error: ") + result.certificateProblem,
                  UnreadReason::Certificate);
        break;
    case FetchOutcome::OverTime:
        // The page is dropped without a word and the site goes on, unread.
        noteUnread(UnreadReason::OverTime);
        skipPage();
        break;
    }
}

void SiteRun::skipPage() {
    m_step = PageStep::Finished;
    m_steps.abandon();
    NextPage();
}

void SiteRun::failFetch(const ErrorRow& error, const QString& note, UnreadReason why) {
    noteUnread(why);
    m_scan.addError(*this, error);
    m_state.siteNote = note;
    m_step = PageStep::Finished;
    m_session.run.CountScanEvent(ScanEvent::PageScanned);
    next();
}

void SiteRun::FinishPage(const FetchResult& r) {
    if (waitToRetry(r))
        return;
    const std::optional<QString> location = RedirectLocation(r.header);
    if (location && moveSiteToHttps(r, *location))
        return;
    if (m_pageRemembered && (location || StatusCode(r.header) / 100 != 2)) {
        // Moved or gone since last time: no page of the site's, and the crawl
        // from the start page looks for the link.
        skipPage();
        return;
    }
    noteCertificateProblem(r);
    if (!r.whole)
        noteUnread(UnreadReason::CutOff); // what is missing may hold the link
    const QString address = r.host + r.path;
    if (const auto error = judgePage(r.header, r.body)) {
        m_scan.addError(*this, ErrorRow{*error, address});
        m_session.run.CountScanEvent(ScanEvent::PageScanned);
        // The start page comes after the remembered pages.
        m_startPageFailed = m_startPageFailed ||
                            (!m_pageRemembered && m_state.pagesFetched == m_remembered.size() + 1);
    }
    status(StatusPanel::Activity, QStringLiteral("Finished: ") + address);
    m_scan.pageFetched();
    if (location)
        followLocation(r, *location);
    else
        m_analysis.CapturePage(r.body, r.header);
}

// A server that is busy (429, 503) may say when to come back: within the page's
// time-out the page is asked for once more then; otherwise it is an error page.
bool SiteRun::waitToRetry(const FetchResult& r) {
    if (m_retried)
        return false;
    const std::optional<qint64> wait = RetryAfterSeconds(r.header, QDateTime::currentDateTimeUtc());
    if (!wait || *wait > m_state.timeout)
        return false;
    m_retried = true;
    status(StatusPanel::Activity, QStringLiteral("Waiting ") + QString::number(*wait) +
                                      QStringLiteral(" seconds: ") + r.host + r.path);
    m_retryAt = SiteRobots::Request{r.host, r.path, r.tls};
    m_retry.start(int(*wait) * 1000);
    return true;
}

// Why a page, where it finally arrived, is no page of the partner's own: a bot
// wall before the site, a parked domain's start page, or an HTTP error. The
// reason becomes the site's note (the caller writes its error row); a page whose
// content it hides leaves the site unread.
std::optional<QString> SiteRun::judgePage(const QString& header, const QString& body) {
    const int code = StatusCode(header);
    // The crawl's first page, or one of those asked for before it.
    const bool firstPage = m_state.pagesFetched <= m_remembered.size() + 1;
    std::optional<QString> problem;
    if (IsBotChallenge(code, header, body)) {
        problem = QString(kBlockedByBotProtection);
        noteUnread(UnreadReason::BotWall);
    } else if (firstPage && IsParkingPage(body)) {
        problem = QString(kParkedDomain);
        noteUnread(UnreadReason::Parked);
    } else if (StatusLeavesPageUnread(code)) {
        noteUnread(UnreadReason::HttpStatus);
    }
    if (!problem)
        problem = HttpErrorText(header);
    if (problem)
        m_state.siteNote = *problem;
    return problem;
}

bool SiteRun::moveSiteToHttps(const FetchResult& r, const QString& location) {
    // A plain page that redirects to the same host on https, or to its "www."
    // twin, moves the site: the page is asked for again there at once, and every
    // later page of the site is fetched there directly.
    if (r.tls)
        return false;
    const QUrl url(location, QUrl::TolerantMode);
    const QString to = url.host();
    if (url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) != 0 ||
        (url.port() != -1 && url.port() != 443) || !IsSameHost(to, r.host))
        return false;
    m_state.siteHost = m_state.pageHost;
    m_state.siteTlsHost = to;
    m_refetching = true;
    fetch(to, RequestTarget(url), true);
    return true;
}

void SiteRun::noteCertificateProblem(const FetchResult& r) {
    // Read all the same (the user accepts invalid certificates): said once a site.
    if (r.certificateProblem.isEmpty() || m_state.certificateNoted)
        return;
    m_state.certificateNoted = true;
    m_scan.addError(*this, ErrorRow{QStringLiteral("Certificate error"), r.host + r.path});
    m_state.siteNote = QStringLiteral("Certificate error: ") + r.certificateProblem;
}

void SiteRun::followLocation(const FetchResult& r, const QString& location) {
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

void SiteRun::downloadInPlace(QString target) {
    // The browser has followed a rendered page's scripts already.
    if (m_rendering) {
        endPageStep();
        return;
    }
    // What the target holds is analysed as this page, judged where it arrived
    // (parked domains redirect to their parking page); bEmulate keeps it from
    // redirecting again.
    m_step = PageStep::FollowingRedirect;
    m_downloader->DownloadResponse(
        target, m_steps.guarded([this](const PageDownloader::Response& r) {
            if (!r.whole)
                noteUnread(UnreadReason::CutOff); // what is missing may hold the link
            if (r.header.isEmpty()) {
                m_state.siteNote = QStringLiteral("Timeout");
                m_scan.addError(*this, ErrorRow{QStringLiteral("Timeout"), r.url.host()});
            } else if (const auto error = judgePage(r.header, r.body)) {
                m_scan.addError(*this, ErrorRow{*error, r.url.host() + RequestTarget(r.url)});
            }
            m_state.bEmulate = true;
            m_analysis.CapturePage(r.body, r.header);
        }));
}

} // namespace corvantis::scan
