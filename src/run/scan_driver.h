#pragma once

// The inside of the scan engine; windows include scan_engine.h instead.

#include "fetch/tls_setup.h"
#include "run/site_run.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <map>
#include <memory>
#include <vector>

namespace corvantis::util {
class Messages;
class SoundPlayer;
} // namespace corvantis::util

namespace corvantis::scan {

class HostRouter;

// What the scan tells whoever shows it; the engine turns each into its signal.
class ScanEvents {
public:
    virtual void statusText(StatusPanel panel, const QString& text) = 0;
    virtual void progressChanged(int percent) = 0;
    virtual void controlsChanged(const ScanControls& controls) = 0;
    virtual void focusRequested(EntryField field) = 0;
    virtual void pageFetched() = 0;
    virtual void scanEnded() = 0;
    virtual void scanStopped() = 0;

protected:
    ~ScanEvents() = default;
};

// The scan over the partner list: start, Next, Stop, the partner-list edits that
// depend on it, and up to "Sites at once" partner sites scanned at the same
// time, each by a SiteRun in its own fetch slot. Rows reach the lists in
// partner order whatever finishes first: the earliest site still running
// writes its rows at once, the later ones keep theirs until every earlier site
// has ended. It speaks to the window through its events; context owns its timers
// and connections.
class ScanDriver : private SiteRun::Scan {
public:
    ScanDriver(ScanEvents& events, QObject* context, ScanSession& session, util::Messages& messages,
               util::SoundPlayer& sound, const HostRouter& router, bool readAhead,
               PageRenderer* renderer = nullptr);
    ~ScanDriver();

    const ScanControls& controls() const { return m_controls; }
    bool readAheadEnabled() const { return m_readAhead; }
    const QList<PartnerVerdict>& verdicts() const { return m_verdicts; }

    void StartScan();
    void NextSite();
    void StopScan();

    bool AddPartnerSite(PartnerEntry& fields);
    void DeletePartnerSite(int selectedRow);
    QString CheckLinksExpected(const QString& text);

private:
    // A site started and not yet in the lists: its rows wait for the earlier sites.
    struct Waiting {
        QString site;
        int partnerRow = 0;
        QList<ResultRow> results{};
        QList<ErrorRow> errors{};
        bool ended = false;
        PartnerVerdict verdict{}; // once ended
    };

    bool startRefused();
    void startSites();
    bool hostBusy(const QString& partner) const;
    SiteRun* freeSlot();
    void flush(Waiting& w); // its rows so far into the lists
    void commitReady();
    void showQueueOf(SiteRun* run);
    void setControls(const ScanControls& controls);
    void setNextEnabled(bool on);
    void updateNextForPartnerEdit();
    bool partnerRunning(int row) const;
    void showProgress();
    bool isHead(const SiteRun& site) const { return site.sequence() == m_head; }

    // what a running site asks of the scan
    void status(StatusPanel panel, const QString& text) override;
    void playCue(const char* file, bool enabled) override;
    void pageProgress(int percent) override;
    void pageFetched() override;
    void pageStarted(const SiteRun& site) override;
    void addResult(const SiteRun& site, const ResultRow& row) override;
    void addError(const SiteRun& site, const ErrorRow& error) override;
    bool firstSaying(const QString& text) override;
    void siteEnded(SiteRun& site) override;

    ScanEvents& q;
    QObject* m_context;
    ScanSession& m_session;
    ScanProgress& m_progress; // what the window and the command line read of the scan
    util::Messages& m_messages;
    util::SoundPlayer& m_sound;
    const HostRouter& m_router;
    const bool m_readAhead;
    TlsSessions m_tlsSessions; // of the hosts this scan has talked to, for every slot
    PageRenderer* m_renderer;  // shared by the runs: a page of each site at a time
    ScanControls m_controls;

    // One run per fetch slot, made when first needed; slot 0 shows its queue
    // in the session's queue until another site starts.
    std::vector<std::unique_ptr<SiteRun>> m_slots;
    std::vector<std::unique_ptr<PageQueueModel>> m_slotQueues; // the queues not shown
    SiteRun* m_shownQueue = nullptr; // the run whose queue the session's queue is

    std::map<qint64, Waiting> m_waiting; // by sequence: started, not yet in the lists
    QSet<QString> m_said;                // what was said once in this scan
    qint64 m_nextSequence = 0;           // given to the next site started
    qint64 m_head = 0;                   // the earliest site not yet in the lists
    int m_nextPartner = 0;               // the partner row started next
    int m_sitesAtOnce = 1;               // for the scan under way
    int m_sitesDone = 0;
    bool m_startingSites = false; // startSites is under way
    QList<PartnerVerdict>
        m_verdicts; // the partners whose verdict the scan has written, in list order
};

} // namespace corvantis::scan
