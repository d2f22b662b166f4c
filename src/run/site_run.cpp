// One partner site under scan: its queue, its pages' answers judged, and its verdict.
#include "run/site_run.h"

#include "fetch/page_fetcher.h"
#include "page/http_response.h"
#include "page/partner_address.h"
#include "page/site_signals.h"
#include "util/text_utils.h"

#include <limits>
#include <utility>

namespace corvantis::scan {

using util::IsBlank;
using util::ZeroFilled;

SiteRun::SiteRun(Scan& scan, ScanSession& session, const HostRouter& router, bool readAhead,
                 TlsSessions* sessions, int slot, QObject* context, PageRenderer* renderer)
    : m_scan(scan), m_session(session), m_steps(context),
      m_fetch(*this, m_state, session.options, m_steps, router, readAhead, sessions, context),
      m_render(*this, m_state, session.options, session.run, m_steps, renderer),
      m_analysis(*this, session, m_state, m_steps, slot) {}

SiteRun::~SiteRun() = default;

void SiteRun::status(StatusPanel panel, const QString& text) {
    m_scan.status(panel, text);
}

void SiteRun::playCue(const char* file, bool enabled) {
    m_scan.playCue(file, enabled);
}

bool SiteRun::firstSaying(const QString& text) {
    return m_scan.firstSaying(text);
}

void SiteRun::addError(const ErrorRow& error) {
    m_scan.addError(*this, error);
}

void SiteRun::addResult(const ResultRow& row) {
    m_resultUrls.add(row.url);
    m_scan.addResult(*this, row);
}

void SiteRun::addLink(const FoundLink& found) {
    m_verdict.links.append(found);
    const FoundLink& link = m_verdict.links.last();
    if (m_render.rendering() && link.reasons)
        m_verdict.links.last().reasons->append(ValueReason::AfterJavaScript);
    addResult(ResultRow{m_state.partner, LinkKindText(link.kind), ZeroFilled(m_state.linksFound),
                        link.page, RowColour::Blue, RowMarker::Linking, LinkValueText(link),
                        link.anchor});
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
    m_fetch.cancel();
    m_state = SiteState{};
    m_state.running = true;
    m_state.timeoutSeconds = m_session.options.timeoutSeconds;
    m_state.partner = partner;
    m_state.linksExpected = linksExpected;
    m_sequence = sequence;
    m_step = PageStep::Finished;
    m_nextPending = false;
    m_verdict = PartnerVerdict{partner};
    m_render.begin(partner);
    // A partner entered with "https://" is on https from its first page.
    const SchemeAndRest start = SplitScheme(partner);
    m_fetch.begin(start.https, SplitPageAddress(start.rest).host);
    m_known.clear();
    m_resultUrls.clear();
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
    for (const QString& page : m_session.run.rememberedPages.value(m_state.partner)) {
        if (m_remembered.size() >= m_state.linksExpected)
            break;
        const QString address = SplitPageAddress(page).url;
        if (!util::StartsWithCI(address, startAddress.dir) ||
            util::EqualsCI(address, startAddress.url) || isRememberedPage(address) ||
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
           m_remembered.contains(SplitPageAddress(address).url, Qt::CaseInsensitive);
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
    SiteState& s = m_state;
    if (!m_render.rendering() && m_session.project.partners.count() > 0 &&
        util::ContainsCI(address, s.pageDir) &&
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
    SiteState& s = m_state;
    if (!s.running)
        return;
    if (s.pageNumber < std::numeric_limits<qint32>::max())
        s.pageNumber += 1;
    if (siteEndsBefore(s.pageNumber)) {
        s.pageNumber = 0;
        SiteChange();
        return;
    }
    m_scan.pageStarted(*this);
    status(StatusPanel::Page, QStringLiteral("Page ") + QString::number(s.pageNumber) +
                                  QStringLiteral(" of ") +
                                  QString::number(qint64(s.pagesQueued) + 1));
    s.queuedUrl = m_queue->takeHead();
    m_pageRemembered = m_rememberedLeft > 0; // they lead the queue
    if (m_pageRemembered)
        --m_rememberedLeft;
    status(StatusPanel::Site, QStringLiteral("Searching ") + s.partner);
    FetchPage();
}

bool SiteRun::siteEndsBefore(qint64 pageNumber) const {
    // The page limit, an empty queue, or the expected links found (when that ends a site).
    const ScanOptions& o = m_session.options;
    return (o.chkAuto && pageNumber > o.PageLimit) || m_queue->isEmpty() ||
           (o.chkAuto2 && m_state.linksFound >= m_state.linksExpected);
}

bool SiteRun::redirectRuleEndsSite() const {
    // The domain's text was seen on the site but no link to it: with redirect
    // links accepted, the site is done after the page under analysis.
    const SiteState& s = m_state;
    return s.domainTextSeen && s.linksFound == 0 && m_session.options.chkRedirect;
}

std::optional<QString> SiteRun::readAheadAddress(bool pageHasMarker,
                                                 bool pageHasDomainTrace) const {
    // The address NextPage will take after the page now being analysed, when that
    // page cannot change it: with no trace of the user's domain it adds no result
    // (so neither the expected-links rule nor the redirect rule ends the site),
    // and it does not follow a redirect. Its links only join the end of the queue.
    const SiteState& s = m_state;
    if (!s.running || m_nextPending || s.followingRedirect || pageHasMarker || pageHasDomainTrace ||
        redirectRuleEndsSite() || siteEndsBefore(qint64(s.pageNumber) + 1))
        return std::nullopt;
    return m_queue->head();
}

bool SiteRun::startReadAhead(bool pageHasMarker, bool pageHasDomainTrace) {
    if (m_render.rendering() || !m_fetch.readAheadEnabled())
        return false;
    const std::optional<QString> next = readAheadAddress(pageHasMarker, pageHasDomainTrace);
    if (!next)
        return false;
    return m_fetch.readAhead(SplitPageAddress(*next));
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
    if (!m_state.running)
        return;
    if (byUser)
        m_render.skip();
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
    m_fetch.cancel();
    m_steps.abandon();
    if (renderNext())
        return;
    m_step = PageStep::Finished;
    writeSiteVerdict();
    m_state.running = false;
    m_queue->clear();
    m_known.clear();
    m_resultUrls.clear();
    // Last: the scan may begin the run again on its next partner from here.
    m_scan.siteEnded(*this);
}

// A site whose HTML did not show the links expected has pages rendered (SiteRender),
// each through the page analysis; each ends by coming back here. True while one
// is under way.
bool SiteRun::renderNext() {
    if (m_render.decide(m_verdict.unread))
        m_queue->clear(); // the crawl is over
    return m_render.next();
}

void SiteRun::rendered(const QString& page, const QString& html) {
    // The analysis reads it as the page at its address, and queues nothing.
    takePageAddress(page);
    m_analysis.CapturePage(html, {}, PageAnalysis::BodyForm::Text);
}

void SiteRun::renderFailed() {
    SiteChange();
}

bool SiteRun::mayRenderPage() const {
    return m_render.mayRender(m_state.pageUrl);
}

void SiteRun::pageMayChangeInBrowser() {
    m_render.mayChangeInBrowser(m_state.pageUrl);
}

void SiteRun::stop() {
    m_state.running = false;
    m_nextPending = false;
    m_step = PageStep::Finished;
    m_steps.abandon();
    m_fetch.cancel();
}

void SiteRun::writeSiteVerdict() {
    const SiteState& s = m_state;
    PartnerVerdict& v = m_verdict;
    if (s.linksFound > 0) {
        v.kind = v.links.last().kind;
        if (s.linksFound < s.linksExpected) {
            v.kind = VerdictKind::Missing;
            v.missing = s.linksExpected - s.linksFound;
            addResult(ResultRow{s.partner, VerdictText(v), QStringLiteral("000"), s.pageUrl,
                                RowColour::Red, RowMarker::NotLinking});
        }
    } else if (m_session.options.chkRedirect && s.domainTextSeen) {
        v.kind = VerdictKind::Redirect;
        FoundLink& redirect = v.links.emplaceBack();
        redirect.kind = VerdictKind::Redirect;
        redirect.page = s.domainTextPage;
        addResult(ResultRow{s.partner, VerdictText(v), QStringLiteral("001"), s.domainTextPage,
                            RowColour::Blue, RowMarker::Linking});
        m_session.run.CountScanEvent(ScanEvent::ItemFound);
    } else {
        v.kind = VerdictKind::NoneFound;
        v.note = IsBlank(s.note) ? QString() : s.note;
        addResult(ResultRow{s.partner, VerdictText(v), QStringLiteral("000"), s.partner,
                            RowColour::Red, RowMarker::NotLinking});
    }
}

// ---- the page's answer ----

// The page under way is the one at this queue address, from here on.
PageAddress SiteRun::takePageAddress(const QString& address) {
    const PageAddress a = SplitPageAddress(address);
    m_state.queuedUrl = address;
    m_state.pageUrl = a.url;
    m_state.pageDir = a.dir;
    m_state.pageHost = a.host;
    m_state.pagePath = a.path;
    return a;
}

void SiteRun::FetchPage() {
    if (!m_state.running)
        return;
    takePageAddress(m_state.queuedUrl);
    m_step = PageStep::Fetching;
    m_fetch.fetchPage();
}

RobotsRule SiteRun::robotsRule() const {
    return m_fetch.robotsRule(m_state.pagePath);
}

void SiteRun::requestSent(bool newPage) {
    if (newPage)
        m_session.run.CountScanEvent(ScanEvent::PageScanned);
    m_scan.pageProgress(0);
}

void SiteRun::pageProgress(int percent) {
    m_scan.pageProgress(percent);
}

void SiteRun::fetchEnded(const FetchResult& result) {
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
    addError(error);
    m_state.note = note;
    m_step = PageStep::Finished;
    m_session.run.CountScanEvent(ScanEvent::PageScanned);
    next();
}

void SiteRun::FinishPage(const FetchResult& r) {
    if (m_fetch.waitToRetry(r))
        return;
    const std::optional<QString> location = RedirectLocation(r.header);
    if (location && m_fetch.moveSiteToHttps(r, *location))
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
        addError(ErrorRow{*error, address});
        m_session.run.CountScanEvent(ScanEvent::PageScanned);
        // The start page comes after the remembered pages.
        if (!m_pageRemembered && m_state.pageNumber == m_remembered.size() + 1)
            m_render.startPageFailed();
    }
    status(StatusPanel::Activity, QStringLiteral("Finished: ") + address);
    m_scan.pageFetched();
    if (location)
        followLocation(r, *location);
    else
        m_analysis.CapturePage(r.body, r.header);
}

// Why a page, where it finally arrived, is no page of the partner's own: a bot
// wall before the site, a parked domain's start page, or an HTTP error. The
// reason becomes the site's note (the caller writes its error row); a page whose
// content it hides leaves the site unread.
std::optional<QString> SiteRun::judgePage(const QString& header, const QString& body) {
    const int code = StatusCode(header);
    // The crawl's first page, or one of those asked for before it.
    const bool firstPage = m_state.pageNumber <= m_remembered.size() + 1;
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
        m_state.note = *problem;
    return problem;
}

void SiteRun::noteCertificateProblem(const FetchResult& r) {
    // Read all the same (the user accepts invalid certificates): said once a site.
    if (r.certificateProblem.isEmpty() || m_state.certificateNoted)
        return;
    m_state.certificateNoted = true;
    addError(ErrorRow{QStringLiteral("Certificate error"), r.host + r.path});
    m_state.note = QStringLiteral("Certificate error: ") + r.certificateProblem;
}

void SiteRun::followLocation(const FetchResult& r, const QString& location) {
    // The redirect names its target in the header: that page is read in its
    // place, once (a redirect met while following one is read as a page).
    if (m_state.followingRedirect) {
        m_analysis.CapturePage(r.body, r.header);
        return;
    }
    downloadInPlace(SiteFetch::LocationTarget(r, location));
}

void SiteRun::downloadInPlace(QString target) {
    // The browser has followed a rendered page's scripts already.
    if (m_render.rendering()) {
        endPageStep();
        return;
    }
    // What the target holds is analysed as this page, judged where it arrived
    // (parked domains redirect to their parking page); followingRedirect keeps it
    // from redirecting again.
    m_step = PageStep::FollowingRedirect;
    m_fetch.readInPlace(std::move(target));
}

void SiteRun::targetRead(const PageDownloader::Response& r) {
    if (!r.whole)
        noteUnread(UnreadReason::CutOff); // what is missing may hold the link
    if (r.header.isEmpty()) {
        m_state.note = QStringLiteral("Timeout");
        addError(ErrorRow{QStringLiteral("Timeout"), r.url.host()});
    } else if (const auto error = judgePage(r.header, r.body)) {
        addError(ErrorRow{*error, r.url.host() + RequestTarget(r.url)});
    }
    m_state.followingRedirect = true;
    m_analysis.CapturePage(r.body, r.header);
}

} // namespace corvantis::scan
