#pragma once

// The inside of the scan engine; windows include scan_engine.h instead.

#include "scan/page_analysis.h"
#include "scan/page_step.h"
#include "scan/robots_txt.h"
#include "scan/scan_engine.h"
#include "scan/substring_index.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace corvantis::scan {

class PageDownloader;
class PageFetcher;
struct FetchResult;

// The driver (start, page steps, site changes, stop), the site's queue, the
// fetch of each page, and the partner-list edits that depend on the scan. Each
// fetched page goes to its PageAnalysis. It speaks to the window through the
// engine's signals.
class ScanDriver : private PageAnalysis::Driver {
public:
    ScanDriver(ScanEngine& engine, ScanSession& session, util::Messages& messages,
               util::SoundPlayer& sound, const HostRouter& router, ScanEngine::Options options);
    ~ScanDriver();

    const ScanControls& controls() const { return m_controls; }
    bool readAheadEnabled() const;
    const QStringList& endedSites() const { return m_endedSites; }

    void StartScan();
    void NextSite();
    void StopScan();

    bool AddPartnerSite(PartnerEntry& fields);
    void DeletePartnerSite(int selectedRow);
    QString CheckLinksExpected(const QString& text);

private:
    // driver
    bool startRefused();
    void StartSite();
    void NextPage();
    void SiteChange();
    void writeSiteVerdict();
    void resetSite();
    void beginSite(int partnerRow);
    void queueAddress(const QString& address);
    void setControls(const ScanControls& controls);
    void setNextEnabled(bool on);
    void updateNextForPartnerEdit();
    void applyOptions();
    bool siteEndsBefore(qint64 pageNumber) const;
    bool redirectRuleEndsSite() const;
    std::optional<QString> readAheadAddress(bool pageHasMarker, bool pageHasDomainTrace) const;

    // page fetch
    void FetchPage();
    QString fetchHost(const QString& queuedHost) const;
    bool fetchedOverTls(const QString& host) const;
    void fetch(const QString& host, const QString& path, bool tls);
    void fetchRobotsTxt(const SiteRobots::Request& request);
    void onRobotsTxt(const FetchResult& result);
    void onRequestSent();
    void onReceived(qint32 bytes, int percent);
    void onFetchEnded(const FetchResult& result);
    void failFetch(const ErrorRow& error, const QString& note);
    void FinishPage(const FetchResult& result);
    bool moveSiteToHttps(const FetchResult& result, const QString& location);
    void noteCertificateProblem(const FetchResult& result);
    std::optional<QString> pageProblem(const FetchResult& result) const;
    void followLocation(const FetchResult& result, const QString& location);

    // what the page's analysis asks of the driver
    void setStep(PageStep step) override { m_step = step; }
    void status(StatusPanel panel, const QString& text) override;
    void playCue(const char* file, bool enabled) override;
    bool startReadAhead(bool pageHasMarker, bool pageHasDomainTrace) override;
    void offerLink(const QString& address) override;
    void flushQueued() override;
    void downloadInPlace(QString target) override;
    void endPageStep() override;
    RobotsRule robotsRule() const override;

    ScanEngine& q;
    ScanSession& m_session;
    ScanState& m_state;
    util::Messages& m_messages;
    util::SoundPlayer& m_sound;
    std::unique_ptr<PageFetcher> m_fetcher;
    std::unique_ptr<PageDownloader> m_downloader;
    ScanControls m_controls;
    StepRunner m_steps;
    PageAnalysis m_analysis; // the page under way, once its response is complete

    // Every address queued for the current site, for the "already known" rule.
    SubstringIndex m_known;
    SiteRobots m_robots;        // asked for before the site's first page, when link values are read
    QStringList m_pendingQueue; // queued during the running chunk, shown at its end
    QStringList m_endedSites;   // the partners whose verdict the scan has written

    // The page under way.
    PageStep m_step = PageStep::Finished;
    bool m_nextPending = false; // Next was pressed while the page was analysed
    bool m_refetching = false;  // the page is asked for again where its site moved
    QString m_fetchAddress;     // what is being fetched, and where
};

} // namespace corvantis::scan
