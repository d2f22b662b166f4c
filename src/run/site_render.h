#pragma once

// The inside of the scan engine; windows include scan_engine.h instead.

#include "run/page_step.h"
#include "run/site_state.h"
#include "session/run_state.h"
#include "session/scan_options.h"
#include "session/scan_types.h"
#include "util/step_runner.h"

#include <QSet>
#include <QString>
#include <QStringList>

namespace corvantis::scan {

class PageRenderer;

// A site's pages as a browser shows them. A site that ended with fewer links
// than expected, its pages read and its start page answered without an error,
// has at most two pages rendered, one after the other until the links are found:
// the page where its last link stood (from the history), then its start page,
// each only when the crawl saw in it what lets a browser show links its HTML
// does not hold. Other pages are shown as written and never rendered.
class SiteRender {
public:
    // What rendering asks of the site's run.
    class Run {
    public:
        virtual void setStep(PageStep step) = 0;
        virtual void status(StatusPanel panel, const QString& text) = 0;
        virtual void noteUnread(UnreadReason why) = 0; // the first reason is kept
        // True the first time in a scan a text is said.
        virtual bool firstSaying(const QString& text) = 0;
        virtual void addError(const ErrorRow& error) = 0;
        // The page's document as the browser shows it, to be read as the page at its address.
        virtual void rendered(const QString& page, const QString& html) = 0;
        // The page did not render: the site goes on to its next page to render, or its verdict.
        virtual void renderFailed() = 0;

    protected:
        ~Run() = default;
    };

    // renderer: none, never rendered.
    SiteRender(Run& run, const SiteState& state, const ScanOptions& options, const RunState& scan,
               util::StepRunner& steps, PageRenderer* renderer);

    // A new partner: the pages it would render, none yet seen to change in a browser.
    void begin(const QString& partner);
    // The page of this address would be rendered were the site short of links.
    bool mayRender(const QString& pageUrl) const;
    // It has what lets a browser show links its HTML does not hold.
    void mayChangeInBrowser(const QString& pageUrl);
    void startPageFailed(); // the start page answered with an error
    void skip();            // the user's Next: nothing more is rendered
    // The page under analysis is a rendered one: nothing is queued or read ahead.
    bool rendering() const { return m_rendering; }

    // At the site's end, once: which of its pages render (unread: why the site
    // was not read, if it was not); true the first time. A site whose links last
    // time were found only in a browser, short of links and with no browser
    // asked, is left unread.
    bool decide(UnreadReason unread);
    // Renders the next of them, while the links are short; true while one is
    // under way, which ends in rendered or renderFailed.
    bool next();

private:
    QStringList pagesToRender(UnreadReason unread) const;
    bool renderingMissed() const;
    void notRendered(const QString& page, const QString& why);

    Run& m_run;
    const SiteState& m_state;
    const ScanOptions& m_options;
    const RunState& m_scan;
    util::StepRunner& m_steps;
    PageRenderer* m_renderer;
    // The pages a short site would have rendered: where its last link stood,
    // then its start page; and those of them a browser may show more links on.
    QStringList m_candidates;
    QSet<QString> m_mayChange;      // lower case
    QStringList m_toRender;         // the site's pages still to render, once decided
    bool m_decided = false;         // which pages to render was decided at its end
    bool m_rendering = false;       // the page under analysis is a rendered one
    bool m_skip = false;            // the user's Next ended the site
    bool m_startPageFailed = false; // the start page answered with an error
};

} // namespace corvantis::scan
