#pragma once

// The inside of the scan engine; windows include scan_engine.h instead.

#include "page/substring_index.h"
#include "run/page_analysis.h"
#include "run/page_step.h"
#include "run/site_fetch.h"
#include "run/site_render.h"
#include "run/site_state.h"
#include "session/scan_session.h"
#include "session/scan_types.h"
#include "util/step_runner.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace corvantis::scan {

class HostRouter;
class PageRenderer;
class TlsSessions;

// One partner site being scanned in one fetch slot: its queue, its pages one
// after another (asked for by its SiteFetch), each fetched page judged and then
// read by its PageAnalysis, the pages its SiteRender has rendered when its links
// are short, its counters and its verdict. Rows and errors go to the scan that
// runs it, which decides where they show.
class SiteRun : private PageAnalysis::Driver, private SiteFetch::Run, private SiteRender::Run {
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

    bool running() const { return m_state.running; }
    qint64 sequence() const { return m_sequence; }
    const QString& site() const { return m_state.partner; }
    const SiteState& state() const { return m_state; }
    PageQueueModel* queue() const { return m_queue; }
    // What the site ended with, once its verdict is written.
    const PartnerVerdict& verdict() const { return m_verdict; }

private:
    void NextPage();
    void SiteChange();
    bool renderNext();
    void writeSiteVerdict();
    void queueAddress(const QString& address);
    void queueRememberedPages(const QString& start);
    bool isRememberedPage(const QString& address) const;
    void skipPage();
    bool siteEndsBefore(qint64 pageNumber) const;
    bool redirectRuleEndsSite() const;
    std::optional<QString> readAheadAddress(bool pageHasMarker, bool pageHasDomainTrace) const;

    // the page's answer
    PageAddress takePageAddress(const QString& address);
    void FetchPage();
    void failFetch(const ErrorRow& error, const QString& note, UnreadReason why);
    void FinishPage(const FetchResult& result);
    void noteCertificateProblem(const FetchResult& result);
    std::optional<QString> judgePage(const QString& header, const QString& body);
    void followLocation(const FetchResult& result, const QString& location);

    // what the page's analysis, the fetch and the rendering ask of the run
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
    void requestSent(bool newPage) override;
    void pageProgress(int percent) override;
    void fetchEnded(const FetchResult& result) override;
    void targetRead(const PageDownloader::Response& response) override;
    void noteUnread(UnreadReason why) override; // the first reason is kept
    bool firstSaying(const QString& text) override;
    void addError(const ErrorRow& error) override;
    void rendered(const QString& page, const QString& html) override;
    void renderFailed() override;

    Scan& m_scan;
    ScanSession& m_session;
    SiteState m_state;
    util::StepRunner m_steps;
    SiteFetch m_fetch;
    SiteRender m_render;
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
    PartnerVerdict m_verdict;   // built as the site runs; written at its end
    // The pages where the links stood last time, asked for before the start page
    // (as their PageAddress::url), and how many of them are still queued.
    QStringList m_remembered;
    qsizetype m_rememberedLeft = 0;

    // The page under way.
    PageStep m_step = PageStep::Finished;
    bool m_nextPending = false;    // Next was pressed while the page was analysed
    bool m_pageRemembered = false; // the page is one where a link stood last time
};

} // namespace corvantis::scan
