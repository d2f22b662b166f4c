#pragma once

#include <QString>
#include <QStringList>

namespace corvantis::scan {

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
    int lostAfter = 1;            // read scans in a row without a link before it is called lost
    int sitesAtOnce = 4;          // partner sites scanned at the same time, 1 to kMaxSitesAtOnce
    bool startFromHistory = true; // ask first for the pages where the links stood last time
    bool renderPages = true;      // a site short of links: its pages as a browser shows them
    bool keepAlive = true;        // a site's pages over one open connection, TLS sessions resumed

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

} // namespace corvantis::scan
