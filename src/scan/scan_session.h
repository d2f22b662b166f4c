#pragma once

#include "scan/scan_model.h"

#include <QObject>
#include <QString>

namespace corvantis::scan {

// The options that steer a scan; the window keeps them in the settings store,
// the command-line scanner may override them for one run.
struct ScanOptions {
    bool chkAuto = true;  // skip to the next site after PageLimit pages
    bool chkAuto2 = true; // skip once the expected links are found
    qint32 PageLimit = 500;
    QString txtTimeout = QStringLiteral("60");
    bool chkRedirect = false;     // accept links through redirect scripts
    bool chkAudioEmail = true;    // cue on each link found
    bool chkAudioNext = true;     // cue on each next site
    bool chkAudioFinished = true; // cue when the scan stops

    // Reads every option from the settings store, with the program's defaults.
    static ScanOptions FromSettings();
};

// The page limits of the "When this many pages have been scanned:" list, by position.
qint32 PageLimitForPosition(int position, qint32 current);
const QStringList& PageLimitItems();

// State shared by the driver, the page fetch, capture and link extraction.
// None of it is persisted.
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
    QString strURL;
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
// counters. The windows are views of it; there is no second copy.
class ScanSession : public QObject {
    Q_OBJECT
public:
    explicit ScanSession(QObject* parent = nullptr);

    PartnerListModel partners;
    PageQueueModel queue;
    ResultListModel results;
    ErrorListModel errors;

    ScanOptions options;
    ScanState state;
    ScanCounters counters;

    // The page-builder texts.
    QString txtHTML1;
    QString txtHTML2;
    QString txtHTML3;

    // Project flags.
    bool projectSaved = true;
    bool ignoreNextDomainChange = false;
    QString projectPath; // file the project was last opened from or saved to

    const QString& domain() const { return m_domain; }
    // Changes the domain text; every change counts as an edit of the project,
    // except the one change a project load announced through ignoreNextDomainChange.
    void setDomain(const QString& domain);

    void MarkProjectEdited();

Q_SIGNALS:
    void domainChanged(const QString& domain);
    void projectEditedChanged(bool saved);

private:
    QString m_domain;
};

} // namespace corvantis::scan
