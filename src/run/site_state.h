#pragma once

// The inside of the scan engine; windows include scan_engine.h instead.

#include <QString>

namespace corvantis::scan {

// One partner site as its run stands: the site, what has been found on it, and
// the page under way. The site's run, its fetch, its rendering and the page's
// analysis share it; it starts afresh with each partner, and nothing outside the
// engine's inside reads it (the window and corvantis-scan read RunState).
struct SiteState {
    // ---- the site ----
    bool running = false;     // the site is being scanned; every page step tests it first
    QString partner;          // the partner's address as the list holds it
    qint16 linksExpected = 0; // its "#": how many links back it should hold
    qint16 linksFound = 0;    // the links back found so far; numbers their rows
    qint32 pageNumber = 0;    // the number of the page under way, from 1
    // The pages queued after the first, and one for each link found: the page
    // count shows "pageNumber of pagesQueued + 1".
    qint32 pagesQueued = 0;
    qint16 timeoutSeconds = 60;    // a page's time-out, as the options said when it began
    bool domainTextSeen = false;   // the user's domain stood as text on one of its pages
    QString domainTextPage;        // the last page it stood on: the redirect verdict's page
    QString note;                  // its last error or screening note: the verdict's note
    bool certificateNoted = false; // its certificate problem has its error row
    // A site on https (entered so, or moved there by a redirect of its plain pages)
    // has both hosts: its queued addresses keep siteHost and are fetched from
    // siteTlsHost over TLS. Both are empty for a plain site.
    QString siteHost;
    QString siteTlsHost;

    // ---- the page under way ----
    QString queuedUrl; // as the queue held it
    QString pageUrl;   // its scheme-less address (PageAddress::url)
    QString pageDir;   // its directory, ending in "/": the crawl goes no higher
    QString pageHost;  // its host as queued, before any move to https
    QString pagePath;  // its path, from "/"
    // The page is a redirect's target read in its place: a redirect it holds is
    // not followed again.
    bool followingRedirect = false;
};

} // namespace corvantis::scan
