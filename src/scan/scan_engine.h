#pragma once

#include "scan/host_route.h"
#include "scan/line_cursor.h"
#include "scan/scan_session.h"
#include "scan/substring_index.h"
#include "scan/work_file.h"
#include "util/seams.h"
#include "util/text_utils.h"

#include <QObject>
#include <QString>

#include <array>
#include <memory>
#include <optional>

class QTcpSocket;
class QTimer;

namespace corvantis::scan {

class PageDownloader;

// The kinds of scan events the statistics count.
enum class ScanEvent : qint16 { PageScanned = 0, PageQueued = 1, ItemFound = 2 };

// Which of the window's buttons the scan wants enabled.
struct ScanControls {
    bool start = true;   // Command1
    bool stop = false;   // cmdStop
    bool next = false;   // cmdNextSearch
    bool project = true; // cmdNew, cmdOpen, cmdSave
    bool email = true;   // cmdViewDatabase, Command2, Command3
    bool operator==(const ScanControls&) const = default;
};

// The five entry fields of a new partner site.
struct PartnerEntry {
    QString Text1; // address
    QString Text2; // links expected
    QString Text3; // link URL
    QString Text4; // link text
    QString Text5; // description
};

// One page download: its connection, its two time-out counters and what has arrived.
struct FetchSlot {
    QString slotHost;
    QString slotPath;
    QString slotBuffer;
    qint32 slotBytes = 0;
    qint32 slotContentLength = 0;
    bool slotHeaderDone = false;
    qint16 slotIdleSeconds = 0;
    qint16 slotElapsedSeconds = 0;
    bool timersArmed = false;
    QTcpSocket* socket = nullptr;
    QTimer* timer = nullptr; // one tick a second drives the idle and the overall time-out
};

inline constexpr int kFetchSlots = 10;
// The slot that fetches the site's next page ahead of its turn (see ReadAhead).
inline constexpr int kReadAheadSlot = 1;

// The next queued page of the site, asked for while the current page is still
// being analysed, so the server prepares it in the meantime. It is started only
// when nothing on the current page can change which page comes next, and it is
// taken over by the ordinary fetch when that page's turn comes (everything the
// scan shows and counts for the page happens then); otherwise it is dropped.
struct ReadAhead {
    QString address;     // the queue entry it was started for
    QByteArray received; // the response so far, kept until its turn
    qint64 dropped = 0;  // bytes past the response ceiling, read and thrown away
    bool active = false;
    bool requestSent = false; // connected, and the request written
    bool complete = false;    // the server has closed the connection
    bool failed = false;      // refused or broken: its turn fetches the page afresh
};

// The reciprocal-link scan. It runs on the event loop of the thread that owns it:
// every step starts from an event and ends by starting the next one; there is
// no loop of its own and no nested event loop. Long work (a page with very many
// links) runs in bounded chunks through the event loop, and each chunk first
// looks at scanRunning. Everything a window shows leaves as a signal.
class ScanEngine : public QObject {
    Q_OBJECT
public:
    ScanEngine(ScanSession& session, util::Messages& messages, util::SoundPlayer& sound,
               const HostRouter& router, QObject* parent = nullptr);
    ~ScanEngine() override;

    ScanSession& session() { return m_session; }
    const FetchSlot& slot(int index) const { return m_slots.at(index); }
    const ScanControls& controls() const { return m_controls; }
    PageDownloader& downloader() { return *m_downloader; }

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

    void CountScanEvent(ScanEvent kind);
    // Loads the all-time counters from the settings store.
    void LoadCounters();

    // Chunk budget for long analysis steps, in milliseconds.
    static constexpr int kChunkBudgetMs = 8;
    // Pages longer than this are captured in steps through the event loop.
    static constexpr qsizetype kLargePageChars = 512 * 1024;
    // The piece of a large page one capture step takes.
    static constexpr qsizetype kCapturePieceChars = 1024 * 1024;

Q_SIGNALS:
    void statusText(int panel, const QString& text); // panels 1 to 4 of the status bar
    void progressChanged(int percent);               // the page progress bar, 0 to 100
    void controlsChanged(const ScanControls& controls);
    void focusRequested(const QString& controlName);
    void statisticsChanged(const ScanCounters& counters);
    void reportRequested(); // the scan has stopped: write and show the report now
    void scanStopped();     // after the report and the finished cue
    void pageFetched();     // a page's response is complete and its analysis begins

private:
    // driver
    void StartSite();
    void NextPage(int slot);
    void SiteChange();
    void setControls(const ScanControls& controls);
    void setNextEnabled(bool on);
    void updateNextForPartnerEdit();
    qint16 readTimeout() const;
    qint16 readLinksExpected(int partnerRow) const;
    void beginSite(int partnerRow);
    void queueAddress(const QString& address);
    void playCue(const char* file, bool enabled);

    bool siteEndsBefore(qint64 pageNumber) const;
    bool redirectRuleEndsSite() const;
    std::optional<QString> readAheadAddress(bool pageHasDomainTrace) const;

    // page fetch
    void FetchPage(int slot);
    void onConnected(int slot);
    void onReadyRead(int slot);
    void absorbResponse(int slot, const QByteArray& data, qint64 dropped = 0);
    int slotOf(const QTcpSocket* socket) const;
    bool startReadAhead(bool pageHasDomainTrace);
    bool takeReadAhead(int slot);
    void dropReadAhead();
    void onDisconnected(int slot);
    void onSocketError(int slot);
    void onTimerTick(int slot);
    void FinishPage(int slot);
    void closeSlot(int slot);
    void disarmTimers(int slot);
    void failFetchAsTimeout(int slot);

    // capture and extraction
    void CapturePage(const QString& page);
    bool hasDomainTrace(bool domainSeen) const;
    void captureSteps(quint64 token);
    void ExtractLinks();
    void extractChunk(quint64 token);
    bool processLine(QStringView line);
    void recordLink(const QString& status);
    void followRedirect(qsizetype markerLineStart);
    void endPageStep();
    void flushQueued();

    bool stale(quint64 token) const { return token != m_pageToken; }

    ScanSession& m_session;
    ScanState& m_state;
    util::Messages& m_messages;
    util::SoundPlayer& m_sound;
    const HostRouter& m_router;
    PageDownloader* m_downloader;
    std::array<FetchSlot, kFetchSlots> m_slots;
    ScanControls m_controls;
    ReadAhead m_ahead;

    // Every address queued for the current site, for the "already known" rule.
    SubstringIndex m_known;
    QStringList m_pendingQueue; // queued during the running chunk, shown at its end

    // The page under analysis.
    bool m_analysing = false;
    bool m_nextPending = false;
    quint64 m_pageToken = 0; // changes whenever a page step is abandoned or ends
    QString m_pageText;      // normalised page text being read
    LineCursor m_lines;      // where extraction has got in m_pageText
    bool m_pageIsResult = false;
    bool m_pageHasMarker = false;
    QString m_pageBody;     // the page as received, while it is captured
    QByteArray m_pageBytes; // the work files' bytes, between the two writes
    std::unique_ptr<util::CaseFoldedText> m_pageFolded; // its folded copy for searching
    int m_captureStage = 0;
    // Resumes a capture after one turn of the event loop, once the socket events
    // of that turn have been handled (a zero-time timer, not a posted call).
    QTimer* m_captureTurn = nullptr;
    quint64 m_captureTurnToken = 0;
    qsizetype m_capturePos = 0; // how far the running capture step has got
    WorkFile m_linkWorkFile;    // html0.txt: the page, one href to a line
    WorkFile m_mailWorkFile;    // html20.txt: the page on one line
};

} // namespace corvantis::scan
