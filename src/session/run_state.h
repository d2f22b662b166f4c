#pragma once

#include "session/scan_model.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

namespace corvantis::scan {

// The kinds of scan events the statistics count.
enum class ScanEvent : qint16 { PageScanned = 0, PageQueued = 1, ItemFound = 2 };

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

// What a scan leaves beside the project: its state, the page queue and the error
// list it fills, and the statistics. None of it goes into a project file.
class RunState : public QObject {
    Q_OBJECT
public:
    explicit RunState(QObject* parent = nullptr);

    PageQueueModel queue;
    ErrorListModel errors;

    // Whether the history held a scan of the domain before the last scan was
    // recorded: only then is a partner without records news.
    bool domainInHistory = false;

    // Where each partner's links stood in its last read scan, in the order found:
    // set before a scan from the history, asked for first when the option says so.
    QHash<QString, QStringList> rememberedPages;
    // The partners whose links in that scan were found only once their pages'
    // scripts had run ("after JavaScript").
    QSet<QString> renderedLastTime;

    const ScanState& state() const { return m_state; }
    ScanState& writableState() { return m_state; } // for the scan engine
    bool scanRunning() const { return m_state.scanRunning; }

    // The statistics. Every counted event is one call, which also keeps the
    // all-time counters in the settings store.
    const ScanCounters& counters() const { return m_counters; }
    void CountScanEvent(ScanEvent kind);
    void LoadCounters(); // the all-time counters, from the settings store
    void resetRunCounters();
    void resetLinksFound(); // after the e-mail store was emptied

Q_SIGNALS:
    void statisticsChanged(const corvantis::scan::ScanCounters& counters);

private:
    ScanState m_state;
    ScanCounters m_counters;
};

} // namespace corvantis::scan
