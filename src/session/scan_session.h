#pragma once

#include "session/scan_model.h"

#include <QObject>
#include <QString>

namespace corvantis::scan {

// The kinds of scan events the statistics count.
enum class ScanEvent : qint16 { PageScanned = 0, PageQueued = 1, ItemFound = 2 };

// The options that steer a scan; the window keeps them in the settings store,
// the command-line scanner may override them for one run.
struct ScanOptions {
    bool chkAuto = true;  // skip to the next site after PageLimit pages
    bool chkAuto2 = true; // skip once the expected links are found
    qint32 PageLimit = 500;
    qint16 timeoutSeconds = 60;             // idle and overall time-out of a page
    bool chkRedirect = false;               // accept links through redirect scripts
    bool chkAudioEmail = true;              // cue on each link found
    bool chkAudioNext = true;               // cue on each next site
    bool chkAudioFinished = true;           // cue when the scan stops
    bool acceptInvalidCertificates = false; // read pages whose certificate fails verification
    bool checkLinkValue = true;             // whether a link back passes its value
    int lostAfter = 1;   // read scans in a row without a link before it is called lost
    int sitesAtOnce = 4; // partner sites scanned at the same time, 1 to kMaxSitesAtOnce

    // Reads every option from the settings store, with the program's defaults.
    static ScanOptions FromSettings();

    bool operator==(const ScanOptions&) const = default;
};

// The time-out entry's text as seconds: an empty or unreadable text means the
// default minute.
qint16 TimeoutFromText(const QString& text);

// The fetch slots: at most this many partner sites are scanned at once.
constexpr int kMaxSitesAtOnce = 10;
// "Sites at once": a whole number from 1 to kMaxSitesAtOnce; anything else means 4.
int SitesAtOnceFromText(const QString& text);

// "Call a link lost after this many scans in a row": a whole number from 1 to
// kMaxLostAfter; anything else means 1.
constexpr int kMaxLostAfter = 1000;
int LostAfterFromText(const QString& text);

// The page limits of the "When this many pages have been scanned:" list, by position.
qint32 PageLimitForPosition(int position, qint32 current);
constexpr int kPageLimitDefaultPosition = 4; // 500 pages
const QStringList& PageLimitItems();

// The state of the scan under way, written by the scan engine alone. None of it
// is persisted.
struct ScanState {
    bool scanRunning = false;
    qint32 iCurrentSite = 0;
    QString currentSite;
    qint16 linksExpected = 0;
    qint16 siteLinksFound = 0;
    qint32 resultCount = 0;
    qint32 totalLinksFound = 0;
    bool linkFoundForSite = false;
    bool domainTextSeen = false;
    QString siteNoteUrl;
    QString siteNote;
    qint32 pagesFetched = 0;
    qint32 pagesQueued = 0;
    qint16 timeout = 60;
    qint16 timeout2 = 60;
    QString strURL;   // the queue entry being fetched
    QString pageHost; // its host and path, as queued
    QString pagePath;
    // A site on https (entered so, or moved there by a redirect of its plain pages)
    // has both hosts: its queued addresses keep siteHost and are fetched from
    // siteTlsHost over TLS. Both are empty for a plain site.
    QString siteHost;
    QString siteTlsHost;
    bool certificateNoted = false; // the site's certificate problem has its error row
    QString strCurUrl;
    QString strCurDir;
    bool bEmulate = false;
};

// Run and all-time counters of the statistics display.
struct ScanCounters {
    qint32 runPagesScanned = 0;
    qint32 runPagesFound = 0;
    qint32 runLinksFound = 0;
    qint32 lHistWebScanned = 0;
    qint32 lHistEmailFound = 0;
};

// Everything that lives as long as the main window: the domain, the four lists,
// the page-builder texts, the project flags, the options, the scan state and the
// counters. The windows are views of it; there is no second copy. The lists are
// edited through their models; everything else through the operations below.
class ScanSession : public QObject {
    Q_OBJECT
public:
    explicit ScanSession(QObject* parent = nullptr);

    PartnerListModel partners;
    PageQueueModel queue;
    ResultListModel results;
    ErrorListModel errors;

    // The page-builder texts.
    QString txtHTML1;
    QString txtHTML2;
    QString txtHTML3;

    // Whether the history held a scan of the domain before the last scan was
    // recorded: only then is a partner without records news.
    bool domainInHistory = false;

    const ScanOptions& options() const { return m_options; }
    void setOptions(const ScanOptions& options) { m_options = options; }

    const ScanState& state() const { return m_state; }
    bool scanRunning() const { return m_state.scanRunning; }

    // The statistics. Every counted event is one call, which also keeps the
    // all-time counters in the settings store.
    const ScanCounters& counters() const { return m_counters; }
    void CountScanEvent(ScanEvent kind);
    void LoadCounters(); // the all-time counters, from the settings store
    void resetRunCounters();
    void resetLinksFound(); // after the e-mail store was emptied

    const QString& domain() const { return m_domain; }
    // Changes the domain text; every change counts as an edit of the project,
    // except the one change a project load announced through IgnoreNextDomainChange.
    void setDomain(const QString& domain);

    // Project flags.
    bool projectSaved() const { return m_projectSaved; }
    bool ignoreNextDomainChange() const { return m_ignoreNextDomainChange; }
    const QString& projectPath() const { return m_projectPath; } // last opened or saved
    void MarkProjectEdited();
    void MarkProjectSaved();
    void IgnoreNextDomainChange() { m_ignoreNextDomainChange = true; }
    void setProjectPath(const QString& path) { m_projectPath = path; }

Q_SIGNALS:
    void domainChanged(const QString& domain);
    void projectEditedChanged(bool saved);
    void statisticsChanged(const corvantis::scan::ScanCounters& counters);

private:
    friend class ScanDriver; // the one writer of the scan state, with its page analysis
    ScanState m_state;
    ScanOptions m_options;
    ScanCounters m_counters;
    QString m_domain;
    bool m_projectSaved = true;
    bool m_ignoreNextDomainChange = false;
    QString m_projectPath;
};

} // namespace corvantis::scan
