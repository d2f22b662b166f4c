#pragma once

#include "session/page_renderer.h"
#include "session/scan_session.h"
#include "session/scan_types.h"

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
        // Where a site short of links has its pages rendered; none: the page
        // renderer process beside this program, started when first needed.
        PageRenderer* renderer = nullptr;
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
    const QList<PartnerVerdict>& verdicts() const;

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
    class Events; // the driver's events as this object's signals
    ScanSession& m_session;
    std::unique_ptr<Events> m_events;
    std::unique_ptr<PageRenderer> m_ownRenderer; // outlives the driver's runs
    std::unique_ptr<ScanDriver> d;
};

} // namespace corvantis::scan
