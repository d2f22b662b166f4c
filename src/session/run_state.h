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

// Where the scan under way has got: what the window and corvantis-scan read of
// it, written by the scan engine alone. None of it is persisted.
struct ScanProgress {
    bool running = false;  // a scan is under way
    qint32 siteNumber = 0; // the first partner not yet done, from 1; 0 when no scan runs
    qint32 pageNumber = 0; // the page the site that last started one is on, from 1
};

// Run and all-time counters of the statistics display.
struct ScanCounters {
    qint32 runPagesScanned = 0;
    qint32 runPagesFound = 0;
    qint32 runLinksFound = 0;
    qint32 lHistWebScanned = 0;
    qint32 lHistEmailFound = 0;
};

// What a scan leaves beside the project: how far it has got, the page queue and
// the error list it fills, and the statistics. None of it goes into a project file.
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

    const ScanProgress& progress() const { return m_progress; }
    ScanProgress& writableProgress() { return m_progress; } // for the scan engine
    bool scanRunning() const { return m_progress.running; }

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
    ScanProgress m_progress;
    ScanCounters m_counters;
};

} // namespace corvantis::scan
