#pragma once

#include "scan/scan_session.h"

#include <QObject>
#include <QString>

#include <memory>

namespace corvantis::util {
class Messages;
class SoundPlayer;
} // namespace corvantis::util

namespace corvantis::scan {

class HostRouter;
class ScanDriver;

// Which of the window's buttons the scan wants enabled.
struct ScanControls {
    bool start = true;   // Command1
    bool stop = false;   // cmdStop
    bool next = false;   // cmdNextSearch
    bool project = true; // cmdNew, cmdOpen, cmdSave
    bool email = true;   // cmdViewDatabase, Command2, Command3
    bool operator==(const ScanControls&) const = default;
};

// The four panels of the status bar, by what they show.
enum class StatusPanel {
    Activity, // what the scan is doing: "Downloading: …", "Stopped"
    Page,     // "Page n of m", then the analysis step
    Site,     // "Searching …", "Found n links"
    Timeout,  // the idle seconds of the page being fetched
};

// The entry fields the scan may send the user back to.
enum class EntryField {
    Domain,  // txtDomain
    Address, // Text1, the partner address
};

// The five entry fields of a new partner site.
struct PartnerEntry {
    QString Text1; // address
    QString Text2; // links expected
    QString Text3; // link URL
    QString Text4; // link text
    QString Text5; // description
};

// A partner whose site ended in a scan, and whether its pages could be read:
// false when a page failed by time-out, connection, certificate, a server error
// (5xx), 429, 401, 403 or 407, a bot wall or parking. An unread site's missing
// link proves nothing.
struct EndedSite {
    QString site;
    bool pagesRead = true;
    bool operator==(const EndedSite&) const = default;
};

// The reciprocal-link scan over the session's partner list. It runs on the
// event loop of the thread that owns it: every step starts from an event and
// ends by starting the next one; there is no loop of its own and no nested event
// loop. Everything a window shows leaves as a signal or lives in the session's
// models.
class ScanEngine : public QObject {
    Q_OBJECT
public:
    struct Options {
        // Ask for a site's next page while the current one is analysed, when
        // nothing on the current page can change which page comes next.
        bool readAhead = true;
    };

    ScanEngine(ScanSession& session, util::Messages& messages, util::SoundPlayer& sound,
               const HostRouter& router, QObject* parent = nullptr);
    ScanEngine(ScanSession& session, util::Messages& messages, util::SoundPlayer& sound,
               const HostRouter& router, Options options, QObject* parent = nullptr);
    ~ScanEngine() override;

    const ScanSession& session() const { return m_session; }
    const ScanControls& controls() const;
    bool readAheadEnabled() const;
    // The partners whose sites ended in the last scan, in list order; a site
    // cut short by Stop is not among them.
    const QList<EndedSite>& endedSites() const;

    // The scan commands.
    void StartScan();
    void NextSite(); // the Next button; waits for a page under analysis to finish
    void StopScan();

    // Partner-list editing from the entry fields. AddPartnerSite writes the fields
    // back as the window must show them afterwards; it returns true when a row was added.
    bool AddPartnerSite(PartnerEntry& fields);
    // Removes the selected row (0-based; -1 when nothing is selected).
    void DeletePartnerSite(int selectedRow);
    // The links-expected field's check on every change: returns the text the field keeps.
    QString CheckLinksExpected(const QString& text);

Q_SIGNALS:
    void statusText(corvantis::scan::StatusPanel panel, const QString& text);
    void progressChanged(int percent); // the page progress bar, 0 to 100
    void controlsChanged(const corvantis::scan::ScanControls& controls);
    void focusRequested(corvantis::scan::EntryField field);
    void scanEnded();   // the scan has stopped, its lists are final: wind it up now
    void scanStopped(); // after the report and the finished cue
    void pageFetched(); // a page's response is complete and its analysis begins

private:
    friend class ScanDriver;
    ScanSession& m_session;
    std::unique_ptr<ScanDriver> d;
};

} // namespace corvantis::scan
