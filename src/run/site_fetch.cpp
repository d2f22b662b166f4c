// How one site's pages are asked for: robots.txt, Retry-After, the move to
// https, and a redirect's target.
#include "run/site_fetch.h"

#include "fetch/page_fetcher.h"
#include "page/http_response.h"
#include "page/partner_address.h"
#include "util/text_utils.h"

#include <QDateTime>
#include <QUrl>

#include <utility>

namespace corvantis::scan {

SiteFetch::SiteFetch(Run& run, SiteState& state, const ScanOptions& options,
                     util::StepRunner& steps, const HostRouter& router, bool readAhead,
                     TlsSessions* sessions, QObject* context)
    : m_run(run), m_state(state), m_options(options), m_steps(steps),
      m_fetcher(std::make_unique<PageFetcher>(router, PageFetcher::Options{readAhead, sessions},
                                              context)),
      m_downloader(std::make_unique<PageDownloader>(router)) {
    PageFetcher* f = m_fetcher.get();
    QObject::connect(f, &PageFetcher::requestSent, context, [this] { onRequestSent(); });
    QObject::connect(f, &PageFetcher::received, context,
                     [this](qint32 bytes, int percent) { onReceived(bytes, percent); });
    QObject::connect(f, &PageFetcher::idleTick, context, [this](qint16 seconds) {
        m_run.status(StatusPanel::Timeout, QString::number(seconds) + QStringLiteral(" of ") +
                                               QString::number(m_state.timeoutSeconds) +
                                               QStringLiteral(" seconds"));
    });
    QObject::connect(f, &PageFetcher::finished, context,
                     [this](const FetchResult& r) { onFinished(r); });
    m_retry.setSingleShot(true);
    m_retry.setTimerType(Qt::PreciseTimer); // never before the time the server asked for
    QObject::connect(&m_retry, &QTimer::timeout, context, [this] {
        m_refetching = true;
        fetch(m_retryAt.host, m_retryAt.path, m_retryAt.tls);
    });
}

SiteFetch::~SiteFetch() = default;

void SiteFetch::begin(bool https, const QString& host) {
    m_fetcher->setTimeouts(m_state.timeoutSeconds, m_state.timeoutSeconds);
    m_fetcher->setAcceptInvalidCertificates(m_options.acceptInvalidCertificates);
    m_fetcher->setKeepAlive(m_options.keepAlive);
    // The queue itself stays scheme-less.
    m_state.siteHost = m_state.siteTlsHost = https ? host : QString();
    m_robots.clear();
}

void SiteFetch::cancel() {
    m_fetcher->cancel();
    m_retry.stop();
}

bool SiteFetch::readAheadEnabled() const {
    return m_fetcher->readAheadEnabled();
}

void SiteFetch::fetchPage() {
    m_refetching = false;
    m_retried = false;
    const QString host = fetchHost(m_state.pageHost);
    // The site's robots.txt comes first: one request, not a page of the site.
    if (m_options.checkLinkValue && !m_robots.begun()) {
        fetchRobotsTxt(m_robots.begin(host, fetchedOverTls(host)));
        // With connections kept open, the page goes out beside it, on a connection
        // of its own, and waits there for robots.txt: what that says decides only
        // the value of the links, never which page is asked for.
        if (m_options.keepAlive && m_fetcher->readAheadEnabled())
            m_fetcher->prefetch(host, m_state.pagePath, fetchedOverTls(host));
    } else {
        fetch(host, m_state.pagePath, fetchedOverTls(host));
    }
}

bool SiteFetch::readAhead(const PageAddress& next) {
    const QString host = fetchHost(next.host);
    return m_fetcher->prefetch(host, next.path, fetchedOverTls(host));
}

void SiteFetch::fetchRobotsTxt(const SiteRobots::Request& request) {
    fetch(request.host, request.path, request.tls);
}

void SiteFetch::onRobotsTxt(const FetchResult& r) {
    if (const auto next = m_robots.take(r.complete() ? StatusCode(r.header) : 0, r.header, r.body))
        fetchRobotsTxt(*next);
    else
        fetchPage();
}

RobotsRule SiteFetch::robotsRule(const QString& path) const {
    return m_robots.rule(path);
}

QString SiteFetch::fetchHost(const QString& queuedHost) const {
    // The pages of a site on https are fetched where it lives.
    const bool moved = !m_state.siteHost.isEmpty() && util::EqualsCI(queuedHost, m_state.siteHost);
    return moved ? m_state.siteTlsHost : queuedHost;
}

bool SiteFetch::fetchedOverTls(const QString& host) const {
    return !m_state.siteTlsHost.isEmpty() && util::EqualsCI(host, m_state.siteTlsHost);
}

void SiteFetch::fetch(const QString& host, const QString& path, bool tls) {
    m_fetchAddress = host + path;
    m_run.status(StatusPanel::Activity, QStringLiteral("Downloading: ") + m_fetchAddress);
    m_fetcher->fetch(host, path, tls);
}

void SiteFetch::onRequestSent() {
    // A page asked for again (where its site moved, or after waiting) counts
    // once; robots.txt never.
    m_run.requestSent(!std::exchange(m_refetching, false) && !m_robots.underWay());
}

void SiteFetch::onReceived(qint32 bytes, int percent) {
    m_run.status(StatusPanel::Activity, QStringLiteral("Downloading: ") + m_fetchAddress +
                                            QStringLiteral(" (") + QString::number(bytes) +
                                            QLatin1Char(')'));
    if (percent >= 0)
        m_run.pageProgress(percent);
}

void SiteFetch::onFinished(const FetchResult& result) {
    if (!m_state.running)
        return;
    if (m_robots.underWay())
        onRobotsTxt(result);
    else
        m_run.fetchEnded(result);
}

bool SiteFetch::waitToRetry(const FetchResult& r) {
    if (m_retried)
        return false;
    const std::optional<qint64> wait = RetryAfterSeconds(r.header, QDateTime::currentDateTimeUtc());
    if (!wait || *wait > m_state.timeoutSeconds)
        return false;
    m_retried = true;
    m_run.status(StatusPanel::Activity, QStringLiteral("Waiting ") + QString::number(*wait) +
                                            QStringLiteral(" seconds: ") + r.host + r.path);
    m_retryAt = SiteRobots::Request{r.host, r.path, r.tls};
    m_retry.start(int(*wait) * 1000);
    return true;
}

bool SiteFetch::moveSiteToHttps(const FetchResult& r, const QString& location) {
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

QString SiteFetch::LocationTarget(const FetchResult& r, const QString& location) {
    const QUrl base((r.tls ? QStringLiteral("https://") : QStringLiteral("http://")) + r.host +
                    r.path);
    return base.resolved(QUrl(location, QUrl::TolerantMode)).toString();
}

void SiteFetch::readInPlace(QString target) {
    m_downloader->DownloadResponse(
        target,
        m_steps.guarded([this](const PageDownloader::Response& r) { m_run.targetRead(r); }));
}

} // namespace corvantis::scan
