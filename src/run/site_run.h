#pragma once

// The inside of the scan engine; windows include scan_engine.h instead.

#include "page/http_response.h"
#include "page/robots_txt.h"
#include "page/substring_index.h"
#include "run/page_analysis.h"
#include "run/page_step.h"
#include "session/scan_session.h"
#include "session/scan_types.h"
#include "util/step_runner.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>
#include <optional>

namespace corvantis::scan {

class HostRouter;
class PageDownloader;
class PageRenderer;
class PageFetcher;
class TlsSessions;
struct FetchResult;

// One partner site being scanned in one fetch slot: its queue, its pages one
// after another on its own connection (kept open between pages when the option
// says so, the read-ahead's too), its robots.txt, its counters and its verdict.
// Each fetched page goes to its PageAnalysis.
// Rows and errors go to the scan that runs it, which decides where they show.
class SiteRun : private PageAnalysis::Driver {
public:
    // What a running site asks of the scan that runs it.
    class Scan {
    public:
        virtual void status(StatusPanel panel, const QString& text) = 0;
        virtual void playCue(const char* file, bool enabled) = 0;
        virtual void pageProgress(int percent) = 0;
        virtual void pageFetched() = 0;
        virtual void pageStarted(const SiteRun& site) = 0;
        virtual void addResult(const SiteRun& site, const ResultRow& row) = 0;
        virtual void addError(const SiteRun& site, const ErrorRow& error) = 0;
        // True the first time in a scan a text is said: what holds for every site is said once.
        virtual bool firstSaying(const QString& text) = 0;
        // The site's verdict is written; the run may be begun again from here.
        virtual void siteEnded(SiteRun& site) = 0;

    protected:
        ~Scan() = default;
    };

    // slot numbers the run's work files: slot 0 writes html0.txt and html20.txt.
    // sessions: the TLS sessions the scan's connections share (none: never resumed).
    // renderer: where a site short of links has its pages rendered; none: never.
    SiteRun(Scan& scan, ScanSession& session, const HostRouter& router, bool readAhead,
            TlsSessions* sessions, int slot, QObject* context, PageRenderer* renderer = nullptr);
    ~SiteRun();

    // Takes up a partner: its first page queued in queue (shown or not).
    void begin(const QString& partner, qint16 linksExpected, qint64 sequence,
               PageQueueModel* queue);
    void start();
    // Next: ends the site with its verdict, once a page under analysis is done;
    // the user's Next also skips the rendering of its pages.
    void next(bool byUser = false);
    // Stop: drops the site without a verdict; nothing more is signalled.
    void stop();
    // The queue the run keeps its pages in from now on, taking over what the old one held.
    void moveQueue(PageQueueModel* queue);

    bool running() const { return m_state.scanRunning; }
    qint64 sequence() const { return m_sequence; }
    const QString& site() const { return m_state.currentSite; }
    const ScanState& state() const { return m_state; }
    PageQueueModel* queue() const { return m_queue; }
    bool readAheadEnabled() const;
    // What the site ended with, once its verdict is written.
    const PartnerVerdict& verdict() const { return m_verdict; }

private:
    void NextPage();
    void SiteChange();
    void writeSiteVerdict();
    bool renderNext();
    QStringList pagesToRender() const;
    bool renderingMissed() const;
    void notRendered(const QString& page, const QString& why);
    void queueAddress(const QString& address);
    void queueRememberedPages(const QString& start);
    bool isRememberedPage(const QString& address) const;
    void skipPage();
    bool siteEndsBefore(qint64 pageNumber) const;
    bool redirectRuleEndsSite() const;
    std::optional<QString> readAheadAddress(bool pageHasMarker, bool pageHasDomainTrace) const;

    // page fetch
    PageAddress takePageAddress(const QString& address);
    void FetchPage();
    QString fetchHost(const QString& queuedHost) const;
    bool fetchedOverTls(const QString& host) const;
    void fetch(const QString& host, const QString& path, bool tls);
    void fetchRobotsTxt(const SiteRobots::Request& request);
    void onRobotsTxt(const FetchResult& result);
    void onRequestSent();
    void onReceived(qint32 bytes, int percent);
    void onFetchEnded(const FetchResult& result);
    void failFetch(const ErrorRow& error, const QString& note, UnreadReason why);
    void noteUnread(UnreadReason why); // the first reason is kept
    void FinishPage(const FetchResult& result);
    bool waitToRetry(const FetchResult& result);
    bool moveSiteToHttps(const FetchResult& result, const QString& location);
    void noteCertificateProblem(const FetchResult& result);
    std::optional<QString> judgePage(const QString& header, const QString& body);
    void followLocation(const FetchResult& result, const QString& location);

    // what the page's analysis asks of the run
    void setStep(PageStep step) override { m_step = step; }
    void status(StatusPanel panel, const QString& text) override;
    void playCue(const char* file, bool enabled) override;
    bool startReadAhead(bool pageHasMarker, bool pageHasDomainTrace) override;
    void offerLink(const QString& address) override;
    void flushQueued() override;
    void downloadInPlace(QString target) override;
    void endPageStep() override;
    bool mayRenderPage() const override;
    void pageMayChangeInBrowser() override;
    RobotsRule robotsRule() const override;
    void addResult(const ResultRow& row);
    void addLink(const FoundLink& link) override;
    bool resultUrlKnown(const QString& text) const override;

    PageRenderer* m_renderer;
    QStringList m_toRender;       // the site's pages still to render, once decided
    bool m_renderDecided = false; // which pages to render was decided at its end
    bool m_rendering = false;     // the page under analysis is a rendered one
    bool m_skipRender = false;    // the user's Next ended the site
    // The pages a short site would have rendered: where its last link stood,
    // then its start page; and those of them a browser may show more links on.
    QStringList m_renderCandidates;
    QSet<QString> m_mayChange;      // lower case
    bool m_startPageFailed = false; // the start page answered with an error
    Scan& m_scan;
    ScanSession& m_session;
    ScanState m_state;
    std::unique_ptr<PageFetcher> m_fetcher;
    std::unique_ptr<PageDownloader> m_downloader;
    util::StepRunner m_steps;
    PageAnalysis m_analysis; // the page under way, once its response is complete
    PageQueueModel* m_queue = nullptr;
    qint64 m_sequence = -1;

    // Every address queued for the site, for the "already known" rule.
    SubstringIndex m_known;
    // The addresses of the site's own result rows: a page gives one row. Another
    // partner's rows do not count, or a partner named inside another's address
    // would lose its link to it.
    SubstringIndex m_resultUrls;
    QStringList m_pendingQueue; // queued during the running chunk, shown at its end
    SiteRobots m_robots;        // asked for before the site's first page, when link values are read
    QTimer m_retry; // a page asked to be asked for again later (Retry-After); stopped with the site
    SiteRobots::Request m_retryAt; // where that page is asked for again
    bool m_retried = false;        // the page under way was asked for again once already
    PartnerVerdict m_verdict;      // built as the site runs; written at its end
    // The pages where the links stood last time, asked for before the start page
    // (as the page address strCurUrl gives), and how many of them are still queued.
    QStringList m_remembered;
    qsizetype m_rememberedLeft = 0;

    // The page under way.
    PageStep m_step = PageStep::Finished;
    bool m_nextPending = false;    // Next was pressed while the page was analysed
    bool m_refetching = false;     // the page is asked for again where its site moved
    bool m_pageRemembered = false; // the page is one where a link stood last time
    QString m_fetchAddress;        // what is being fetched, and where
};

} // namespace corvantis::scan
