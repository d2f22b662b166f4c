#pragma once

// The inside of the scan engine; windows include scan_engine.h instead.

#include "page/line_cursor.h"
#include "page/link_parsing.h"
#include "page/link_value.h"
#include "page/work_file.h"
#include "run/page_step.h"
#include "run/site_state.h"
#include "session/scan_session.h"
#include "session/scan_types.h"
#include "util/step_runner.h"
#include "util/text_utils.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <memory>

namespace corvantis::scan {

// Chunk budget for long analysis steps, in milliseconds.
inline constexpr int kChunkBudgetMs = 8;
// Pages longer than this are captured in steps through the event loop.
inline constexpr qsizetype kLargePageChars = 512 * 1024;
// The piece of a large page one capture step takes.
inline constexpr qsizetype kCapturePieceChars = 1024 * 1024;

// What the scan does with one page once its response is complete: capture (the
// screening, every href on a line of its own, the work files), then link
// extraction. Long work goes in bounded steps through the event loop, each
// starting by testing that the site still runs. The site, its queue and the
// page steps belong to the driver; the analysis keeps only what it has read of
// the page.
class PageAnalysis {
public:
    // What the analysis asks of the scan that drives it.
    class Driver {
    public:
        virtual void setStep(PageStep step) = 0;
        virtual void status(StatusPanel panel, const QString& text) = 0;
        virtual void playCue(const char* file, bool enabled) = 0;
        // The next page may be asked for now when this one cannot change which it is.
        virtual bool startReadAhead(bool pageHasMarker, bool pageHasDomainTrace) = 0;
        // A link of the page, for the site's queue; queued ones are shown at flushQueued.
        virtual void offerLink(const QString& address) = 0;
        virtual void flushQueued() = 0;
        // Reads the target in the page's stead.
        virtual void downloadInPlace(QString target) = 0;
        virtual void endPageStep() = 0;
        // Whether the page would be rendered were the site's links short; and
        // that it has what lets a browser show links its HTML does not hold.
        virtual bool mayRenderPage() const = 0;
        virtual void pageMayChangeInBrowser() = 0;
        // What the site's robots.txt says of the page.
        virtual RobotsRule robotsRule() const = 0;
        // A link back of the site (its result row), and whether one of the site's
        // own result rows holds the text in its address (a page gives one row).
        virtual void addLink(const FoundLink& link) = 0;
        virtual bool resultUrlKnown(const QString& text) const = 0;

    protected:
        ~Driver() = default;
    };

    // slot numbers the work files: 0 writes html0.txt and html20.txt, slot k
    // html0-k.txt and html20-k.txt, so that sites scanned at once keep apart.
    PageAnalysis(Driver& driver, ScanSession& session, SiteState& state, util::StepRunner& steps,
                 int slot = 0);

    // How a page's body reaches the analysis: as received, one character per
    // byte, or as text already (a rendered page's document).
    enum class BodyForm { Bytes, Text };

    // The page's body, and its header block when it came with one (its status
    // decides whether redirect notices are followed, its charset decodes the
    // page for the link value, which reads the X-Robots-Tag headers too).
    void CapturePage(const QString& body, const QString& header = {},
                     BodyForm form = BodyForm::Bytes);

private:
    // Where the capture of the page has got.
    enum class CaptureStage { Screen, Normalise, LinkFile, MailFile, Done };

    void captureSteps();
    bool screenPage();
    void normalisePiece();
    void writeWorkFile(bool large);
    bool hasDomainTrace(bool domainSeen) const;
    void ExtractLinks();
    void extractChunk();
    bool processLine(QStringView line);
    void recordLink(VerdictKind kind);
    void valueLinkBack(FoundLink& link) const;
    void followRedirect(qsizetype markerLineStart);

    Driver& m_driver;
    ScanSession& m_session;
    SiteState& m_state;
    util::StepRunner& m_steps;

    CaptureStage m_capture = CaptureStage::Done;
    qsizetype m_capturePos = 0; // how far the running capture step has got
    QString m_pageBody;         // the page as received, while it is captured
    QString m_pageSource;       // the same until the page is done, for the link value
    QString m_pageHeader;
    std::unique_ptr<util::CaseFoldedText> m_pageFolded; // its folded copy for searching
    QString m_pageText;                                 // normalised page text being read
    QByteArray m_pageBytes;                             // the work files' bytes
    LineCursor m_lines;                                 // where extraction has got in m_pageText
    BodyForm m_pageForm = BodyForm::Bytes;
    LinkBase m_base;        // where the page's relative links start
    bool m_hasBase = false; // the page names its base with <base href>
    QStringView m_lastLine; // the line read before, for the element an href stands in
    bool m_pageIsResult = false;
    bool m_pageHasMarker = false;
    WorkFile m_linkWorkFile; // html0.txt: the page, one href to a line
    WorkFile m_mailWorkFile; // html20.txt: the page on one line
    QString m_workSuffix;    // after "html0" and "html20": empty for slot 0
};

} // namespace corvantis::scan
