#pragma once

// The inside of the scan engine; windows include scan_engine.h instead.

#include "fetch/page_downloader.h"
#include "page/robots_txt.h"
#include "page/url_rules.h"
#include "run/site_state.h"
#include "session/scan_options.h"
#include "session/scan_types.h"
#include "util/step_runner.h"

#include <QString>
#include <QTimer>

#include <memory>

namespace corvantis::scan {

class HostRouter;
class PageFetcher;
class TlsSessions;
struct FetchResult;

// How one site's pages are asked for: on the site's own connection (kept open
// between pages when the option says so, the read-ahead's too), its robots.txt
// before its first page when link values are read, a page asked for once more
// after the wait a busy server asks for (Retry-After), every page of a plain
// site that moved to https asked for there, and a redirect's target read in its
// page's place. How each page's asking ends goes back to the site's run, which
// judges the answer.
class SiteFetch {
public:
    // What the fetch tells the site's run.
    class Run {
    public:
        virtual void status(StatusPanel panel, const QString& text) = 0;
        // A request went out; newPage: for a page not asked for before (not
        // robots.txt, not a page asked for again where its site moved or after
        // waiting).
        virtual void requestSent(bool newPage) = 0;
        virtual void pageProgress(int percent) = 0;
        // How asking for the page ended (robots.txt's answers stay here).
        virtual void fetchEnded(const FetchResult& result) = 0;
        // The answer of a redirect's target, where its own redirects ended.
        virtual void targetRead(const PageDownloader::Response& response) = 0;

    protected:
        ~Run() = default;
    };

    // steps: the run's, so that its Next and Stop drop a target's answer too.
    SiteFetch(Run& run, SiteState& state, const ScanOptions& options, util::StepRunner& steps,
              const HostRouter& router, bool readAhead, TlsSessions* sessions, QObject* context);
    ~SiteFetch();

    // A new site, on https from its first page when entered with "https://":
    // the options' time-out (the state's), certificates and keep-alive, and its
    // robots.txt not yet asked for.
    void begin(bool https, const QString& host);
    // Drops whatever is under way or waiting; nothing more is told of it.
    void cancel();

    // Asks for the page under way (the state's page host and path): robots.txt
    // first, once a site, when the link values are read.
    void fetchPage();
    // Asks for the page that comes next ahead of its turn, when reading ahead.
    bool readAhead(const PageAddress& next);
    bool readAheadEnabled() const;
    // What the site's robots.txt says of the page with this path.
    RobotsRule robotsRule(const QString& path) const;

    // A busy server's answer (429, 503) that asks to come back within the page's
    // time-out: the page is asked for once more then. False for any other, and
    // for the page's second answer.
    bool waitToRetry(const FetchResult& result);
    // A plain page redirected to the same host on https, or to its "www." twin:
    // the site moves there, the page is asked for again at once, and every later
    // page is fetched there. False for any other redirect.
    bool moveSiteToHttps(const FetchResult& result, const QString& location);
    // Where the Location of a redirect answer points.
    static QString LocationTarget(const FetchResult& result, const QString& location);
    // Reads the target (following its redirects) in the page's place; its answer
    // goes to targetRead.
    void readInPlace(QString target);

private:
    QString fetchHost(const QString& queuedHost) const;
    bool fetchedOverTls(const QString& host) const;
    void fetch(const QString& host, const QString& path, bool tls);
    void fetchRobotsTxt(const SiteRobots::Request& request);
    void onRobotsTxt(const FetchResult& result);
    void onRequestSent();
    void onReceived(qint32 bytes, int percent);
    void onFinished(const FetchResult& result);

    Run& m_run;
    SiteState& m_state;
    const ScanOptions& m_options;
    util::StepRunner& m_steps;
    std::unique_ptr<PageFetcher> m_fetcher;
    std::unique_ptr<PageDownloader> m_downloader;
    SiteRobots m_robots; // asked for before the site's first page, when link values are read
    QTimer m_retry; // a page asked to be asked for again later (Retry-After); stopped with the site
    SiteRobots::Request m_retryAt; // where that page is asked for again
    bool m_retried = false;        // the page under way was asked for again once already
    bool m_refetching = false;     // the page is asked for again where its site moved
    QString m_fetchAddress;        // what is being fetched, and where
};

} // namespace corvantis::scan
