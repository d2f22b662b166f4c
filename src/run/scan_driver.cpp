// The scan over the partner list: which sites run, and where their rows go.
#include "run/scan_driver.h"

#include "page/partner_address.h"
#include "session/page_renderer.h"
#include "util/app_folder.h"
#include "util/seams.h"
#include "util/text_utils.h"

#include <algorithm>

namespace corvantis::scan {

using util::IsBlank;

ScanDriver::ScanDriver(ScanEvents& events, QObject* context, ScanSession& session,
                       util::Messages& messages, util::SoundPlayer& sound, const HostRouter& router,
                       bool readAhead, PageRenderer* renderer)
    : q(events), m_context(context), m_session(session), m_progress(session.run.writableProgress()),
      m_messages(messages), m_sound(sound), m_router(router), m_readAhead(readAhead),
      m_renderer(renderer) {
    m_progress.running = false;
}

ScanDriver::~ScanDriver() = default;

void ScanDriver::status(StatusPanel panel, const QString& text) {
    // With several sites at once, the site panel says how far the list has got.
    if (panel == StatusPanel::Site && m_sitesAtOnce > 1 && !text.isEmpty())
        q.statusText(panel, QStringLiteral("Site ") + QString::number(m_sitesDone + 1) +
                                QStringLiteral(" of ") +
                                QString::number(m_session.project.partners.count()) +
                                QStringLiteral(": ") + text);
    else
        q.statusText(panel, text);
}

void ScanDriver::setControls(const ScanControls& controls) {
    if (controls == m_controls)
        return;
    m_controls = controls;
    q.controlsChanged(m_controls);
}

void ScanDriver::setNextEnabled(bool on) {
    ScanControls c = m_controls;
    c.next = on;
    setControls(c);
}

void ScanDriver::playCue(const char* file, bool enabled) {
    if (enabled)
        m_sound.play(util::AppFilePath(QStringLiteral("sounds/") + QLatin1String(file)));
}

bool ScanDriver::startRefused() {
    if (IsBlank(m_session.project.domain())) {
        m_messages.inform(QStringLiteral("Please enter the Domain you want to find links to."));
        q.focusRequested(EntryField::Domain);
        return true;
    }
    if (m_session.project.partners.count() == 0) {
        m_messages.inform(QStringLiteral("Please enter at least one website to search for links."));
        q.focusRequested(EntryField::Address);
        return true;
    }
    return false;
}

void ScanDriver::StartScan() {
    m_progress = ScanProgress{};
    m_session.run.queue.clear();
    m_session.project.results.clear();
    m_session.run.errors.clear();
    m_verdicts.clear();
    m_session.run.resetRunCounters();
    if (startRefused())
        return;

    m_session.project.setDomain(ScanProject::ScanDomain(m_session.project.domain()));

    playCue("nextsearch.wav", m_session.options.chkAudioNext);
    setControls(ScanControls{false, true, false, false, false});

    // Forget whatever an earlier scan left half done.
    for (const auto& run : m_slots)
        run->stop();
    m_tlsSessions.clear();
    m_waiting.clear();
    m_nextSequence = 0;
    m_head = 0;
    m_nextPartner = 0;
    m_sitesDone = 0;
    m_shownQueue = nullptr;
    m_sitesAtOnce = std::clamp(m_session.options.sitesAtOnce, 1, kMaxSitesAtOnce);
    m_said.clear();
    if (m_renderer)
        m_renderer->setPagesAtOnce(m_sitesAtOnce); // each site renders a page at a time

    m_progress.siteNumber = 1;
    m_progress.running = true;
    m_session.project.partners.setKeepPositions(true);
    m_session.project.MarkProjectEdited();
    startSites();
}

SiteRun* ScanDriver::freeSlot() {
    for (int i = 0; i < m_sitesAtOnce; ++i) {
        if (i == int(m_slots.size())) {
            SiteRun::Scan& scan = *this;
            m_slots.push_back(std::make_unique<SiteRun>(scan, m_session, m_router, m_readAhead,
                                                        &m_tlsSessions, i, m_context, m_renderer));
            m_slotQueues.push_back(std::make_unique<PageQueueModel>());
        }
        if (!m_slots[i]->running())
            return m_slots[i].get();
    }
    return nullptr;
}

bool ScanDriver::hostBusy(const QString& partner) const {
    // One partner host is never scanned by two runs at once; "www." is the same host.
    const auto bare = [](const QString& address) {
        return WithoutLeadingWww(AddressHost(address));
    };
    const QString host = bare(partner);
    return std::any_of(m_slots.begin(), m_slots.end(), [&](const auto& run) {
        return run->running() && bare(run->site()) == host;
    });
}

void ScanDriver::startSites() {
    // A site may end inside its own start (a "#" of 0): the loop below goes on
    // from there, and the scan ends here, once, when no site is left running.
    if (m_startingSites)
        return;
    m_startingSites = true;
    while (m_progress.running && m_nextPartner < m_session.project.partners.count()) {
        const PartnerSite& partner = m_session.project.partners.at(m_nextPartner);
        SiteRun* run = freeSlot();
        if (!run || hostBusy(partner.address))
            break; // the list's order holds: the next partner waits its turn
        const qint64 sequence = m_nextSequence++;
        if (sequence > 0)
            playCue("nextsearch.wav", m_session.options.chkAudioNext);
        m_waiting[sequence] = Waiting{partner.address, m_nextPartner};
        ++m_nextPartner;
        // A "#" that is not a 16-bit number (hand-edited or imported rows) means one link.
        const qint16 expected = util::ToInt16(partner.linksExpected).value_or(1);
        // The site started last shows its queue.
        if (m_shownQueue && m_shownQueue != run && m_shownQueue->running())
            showQueueOf(nullptr);
        m_shownQueue = run;
        run->begin(partner.address, expected, sequence, &m_session.run.queue);
        run->start();
    }
    m_startingSites = false;
    const bool anyRunning =
        std::any_of(m_slots.begin(), m_slots.end(), [](const auto& run) { return run->running(); });
    if (m_progress.running && !anyRunning)
        StopScan();
}

// The session's queue shows run's queue; with no run, the shown run's pages move
// back into a queue of their own.
void ScanDriver::showQueueOf(SiteRun* run) {
    if (m_shownQueue) {
        for (size_t i = 0; i < m_slots.size(); ++i)
            if (m_slots[i].get() == m_shownQueue)
                m_shownQueue->moveQueue(m_slotQueues[i].get());
    }
    m_shownQueue = run;
    if (run)
        run->moveQueue(&m_session.run.queue);
}

void ScanDriver::flush(Waiting& w) {
    for (const ResultRow& r : std::as_const(w.results))
        m_session.project.results.append(r);
    for (const ErrorRow& e : std::as_const(w.errors))
        m_session.run.errors.append(e);
    w.results.clear();
    w.errors.clear();
}

void ScanDriver::commitReady() {
    // The earliest site's rows join the lists; while it runs on, its rows go
    // there directly from now on.
    for (auto it = m_waiting.find(m_head); it != m_waiting.end(); it = m_waiting.find(m_head)) {
        Waiting& w = it->second;
        flush(w);
        if (!w.ended)
            break;
        m_verdicts.append(w.verdict);
        ++m_sitesDone;
        m_waiting.erase(it);
        ++m_head;
    }
    m_progress.siteNumber = m_sitesDone + 1;
}

void ScanDriver::addResult(const SiteRun& site, const ResultRow& row) {
    if (isHead(site))
        m_session.project.results.append(row);
    else
        m_waiting[site.sequence()].results.append(row);
}

void ScanDriver::addError(const SiteRun& site, const ErrorRow& error) {
    if (isHead(site))
        m_session.run.errors.append(error);
    else
        m_waiting[site.sequence()].errors.append(error);
}

bool ScanDriver::firstSaying(const QString& text) {
    if (m_said.contains(text))
        return false;
    m_said.insert(text);
    return true;
}

void ScanDriver::pageStarted(const SiteRun& site) {
    const auto head = m_waiting.find(m_head);
    setNextEnabled(head != m_waiting.end() &&
                   head->second.partnerRow + 1 < m_session.project.partners.count());
    m_progress.pageNumber = site.state().pageNumber;
    if (m_sitesAtOnce > 1)
        showProgress();
}

void ScanDriver::showProgress() {
    // Sites done, and the share of its pages each running site has asked for.
    double done = m_sitesDone;
    for (const auto& run : m_slots) {
        if (!run->running())
            continue;
        const SiteState& s = run->state();
        double pages = double(s.pagesQueued) + 1;
        if (m_session.options.chkAuto)
            pages = std::min(pages, double(m_session.options.PageLimit));
        done += std::min(1.0, double(s.pageNumber) / std::max(1.0, pages));
    }
    const int total = std::max(1, m_session.project.partners.count());
    q.progressChanged(std::clamp(int(100.0 * done / total), 0, 100));
}

void ScanDriver::pageProgress(int percent) {
    // One site at a time: the page's own progress, as it always was.
    if (m_sitesAtOnce == 1)
        q.progressChanged(percent);
}

void ScanDriver::pageFetched() {
    q.pageFetched();
}

void ScanDriver::NextSite() {
    if (!m_progress.running)
        return;
    // Next ends the site that started first.
    for (const auto& run : m_slots)
        if (run->running() && isHead(*run)) {
            run->next(true);
            return;
        }
}

void ScanDriver::siteEnded(SiteRun& site) {
    Waiting& w = m_waiting[site.sequence()];
    w.ended = true;
    w.verdict = site.verdict();
    commitReady();
    startSites();
    if (!m_progress.running || m_startingSites)
        return;
    // The newest running site shows its queue.
    if (!m_shownQueue || !m_shownQueue->running()) {
        SiteRun* newest = nullptr;
        for (const auto& run : m_slots)
            if (run->running() && (!newest || run->sequence() > newest->sequence()))
                newest = run.get();
        m_shownQueue = nullptr;
        showQueueOf(newest);
    }
}

void ScanDriver::StopScan() {
    // A scan ends once, however its last site ended.
    if (!m_progress.running)
        return;
    m_progress.running = false;
    for (const auto& run : m_slots)
        run->stop();
    // The rows of every site started join the lists in partner order; a site cut
    // short has no verdict row.
    for (auto& [sequence, w] : m_waiting) {
        flush(w);
        if (w.ended)
            m_verdicts.append(w.verdict);
    }
    m_waiting.clear();
    m_shownQueue = nullptr;
    m_session.project.partners.setKeepPositions(false);
    setControls(ScanControls{true, false, false, true, true});
    m_progress.siteNumber = 0;
    q.progressChanged(100);
    status(StatusPanel::Activity, QStringLiteral("Stopped"));
    status(StatusPanel::Page, QString());
    status(StatusPanel::Site, QString());
    status(StatusPanel::Timeout, QString());
    q.scanEnded();
    playCue("finished.wav", m_session.options.chkAudioFinished);
    q.scanStopped();
}

// ---- partner list editing ----

void ScanDriver::updateNextForPartnerEdit() {
    setNextEnabled(m_progress.running && m_session.project.partners.count() > 1);
}

bool ScanDriver::AddPartnerSite(PartnerEntry& f) {
    const QString expected = IsBlank(f.Text2) ? QStringLiteral("1") : f.Text2;
    f.Text1 = EnteredPartnerAddress(f.Text1);
    if (IsBlank(f.Text1)) {
        m_messages.inform(QStringLiteral("Please enter the Website URL first."));
        q.focusRequested(EntryField::Address);
        return false;
    }
    m_session.project.partners.append(
        PartnerSite{f.Text1.trimmed(), expected, f.Text3, f.Text4, f.Text5});
    m_session.project.MarkProjectEdited();
    updateNextForPartnerEdit();
    f = PartnerEntry{};
    q.focusRequested(EntryField::Address);
    // A free slot takes the new partner at once.
    if (m_progress.running)
        startSites();
    return true;
}

bool ScanDriver::partnerRunning(int row) const {
    return std::any_of(m_waiting.begin(), m_waiting.end(), [row](const auto& entry) {
        return entry.second.partnerRow == row && !entry.second.ended;
    });
}

void ScanDriver::DeletePartnerSite(int selectedRow) {
    if (selectedRow < 0 || selectedRow >= m_session.project.partners.count()) {
        m_messages.inform(QStringLiteral("You must select a site to delete."));
    } else if (m_progress.running && (selectedRow == 0 || partnerRunning(selectedRow))) {
        m_messages.inform(
            QStringLiteral("You cannot delete the current site while the search is running."));
    } else {
        m_session.project.partners.removeAt(selectedRow);
        m_session.project.MarkProjectEdited();
        // The rows after it move up: so do the places the scan keeps.
        if (selectedRow < m_nextPartner)
            --m_nextPartner;
        for (auto& [sequence, w] : m_waiting)
            if (w.partnerRow > selectedRow)
                --w.partnerRow;
    }
    updateNextForPartnerEdit();
}

QString ScanDriver::CheckLinksExpected(const QString& text) {
    if (text.isEmpty() || util::ToInt16(text))
        return text;
    m_messages.inform(QStringLiteral("You may only enter numbers in this field."));
    return QStringLiteral("1");
}

} // namespace corvantis::scan
