#pragma once

// The inside of the scan engine; windows include scan_engine.h instead.

#include "scan/line_cursor.h"
#include "scan/page_step.h"
#include "scan/scan_engine.h"
#include "scan/substring_index.h"
#include "scan/work_file.h"
#include "util/text_utils.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace corvantis::scan {

class PageDownloader;
class PageFetcher;
struct FetchResult;

// Where the capture of the page under analysis has got.
enum class CaptureStage { Screen, Normalise, LinkFile, MailFile, Done };

// Chunk budget for long analysis steps, in milliseconds.
inline constexpr int kChunkBudgetMs = 8;
// Pages longer than this are captured in steps through the event loop.
inline constexpr qsizetype kLargePageChars = 512 * 1024;
// The piece of a large page one capture step takes.
inline constexpr qsizetype kCapturePieceChars = 1024 * 1024;

// The driver (start, page steps, site changes, stop), what it does with each
// fetched page (capture and link extraction), and the partner-list edits that
// depend on the scan. It speaks to the window through the engine's signals.
class ScanDriver {
public:
    ScanDriver(ScanEngine& engine, ScanSession& session, util::Messages& messages,
               util::SoundPlayer& sound, const HostRouter& router, ScanEngine::Options options);
    ~ScanDriver();

    const ScanControls& controls() const { return m_controls; }
    bool readAheadEnabled() const;

    void StartScan();
    void NextSite();
    void StopScan();

    bool AddPartnerSite(PartnerEntry& fields);
    void DeletePartnerSite(int selectedRow);
    QString CheckLinksExpected(const QString& text);

private:
    // driver
    bool startRefused();
    void StartSite();
    void NextPage();
    void SiteChange();
    void writeSiteVerdict();
    void resetSite();
    void beginSite(int partnerRow);
    void queueAddress(const QString& address);
    void flushQueued();
    void setControls(const ScanControls& controls);
    void setNextEnabled(bool on);
    void updateNextForPartnerEdit();
    void applyOptions();
    void status(StatusPanel panel, const QString& text);
    void playCue(const char* file, bool enabled);
    bool siteEndsBefore(qint64 pageNumber) const;
    bool redirectRuleEndsSite() const;
    std::optional<QString> readAheadAddress(bool pageHasDomainTrace) const;

    // page fetch
    void FetchPage();
    QString fetchHost(const QString& queuedHost) const;
    bool fetchedOverTls(const QString& host) const;
    void fetch(const QString& host, const QString& path);
    void onRequestSent();
    void onReceived(qint32 bytes, int percent);
    void onFetchEnded(const FetchResult& result);
    void failFetch(const ErrorRow& error, const QString& note);
    void FinishPage(const FetchResult& result);
    bool moveSiteToHttps(const FetchResult& result, const QString& location);
    void noteCertificateProblem(const FetchResult& result);
    void followLocation(const FetchResult& result, const QString& location);

    // capture and extraction
    void CapturePage(const QString& body);
    void captureSteps();
    bool screenPage();
    void normalisePiece();
    void writeWorkFile(bool large);
    bool hasDomainTrace(bool domainSeen) const;
    bool startReadAhead(bool pageHasDomainTrace);
    void ExtractLinks();
    void extractChunk();
    bool processLine(QStringView line);
    void recordLink(const QString& kind);
    void followRedirect(qsizetype markerLineStart);
    void endPageStep();

    ScanEngine& q;
    ScanSession& m_session;
    ScanState& m_state;
    util::Messages& m_messages;
    util::SoundPlayer& m_sound;
    std::unique_ptr<PageFetcher> m_fetcher;
    std::unique_ptr<PageDownloader> m_downloader;
    ScanControls m_controls;
    StepRunner m_steps;

    // Every address queued for the current site, for the "already known" rule.
    SubstringIndex m_known;
    QStringList m_pendingQueue; // queued during the running chunk, shown at its end

    // The page under way.
    PageStep m_step = PageStep::Finished;
    bool m_nextPending = false; // Next was pressed while the page was analysed
    bool m_refetching = false;  // the page is asked for again where its site moved
    QString m_fetchHost;        // where the page is fetched from
    CaptureStage m_capture = CaptureStage::Done;
    qsizetype m_capturePos = 0; // how far the running capture step has got
    QString m_pageBody;         // the page as received, while it is captured
    std::unique_ptr<util::CaseFoldedText> m_pageFolded; // its folded copy for searching
    QString m_pageText;                                 // normalised page text being read
    QByteArray m_pageBytes;                             // the work files' bytes
    LineCursor m_lines;                                 // where extraction has got in m_pageText
    bool m_pageIsResult = false;
    bool m_pageHasMarker = false;
    WorkFile m_linkWorkFile; // html0.txt: the page, one href to a line
    WorkFile m_mailWorkFile; // html20.txt: the page on one line
};

} // namespace corvantis::scan
