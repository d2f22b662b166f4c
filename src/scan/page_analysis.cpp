// Page capture, link extraction and the crawl: what the scan does with a page
// once its response is complete.
#include "scan/scan_engine.h"

#include "scan/link_parsing.h"
#include "scan/page_downloader.h"
#include "scan/url_rules.h"
#include "util/app_folder.h"
#include "util/text_utils.h"

#include <QElapsedTimer>
#include <QTimer>

#include <limits>

namespace corvantis::scan {

using util::ContainsCI;

void ScanEngine::CapturePage(const QString& body) {
    closeSlot(0);
    if (!m_state.scanRunning) {
        m_analysing = false;
        return;
    }
    m_pageBody = body;
    m_captureStage = 0;
    const quint64 token = m_pageToken;
    if (m_pageBody.size() >
        kLargePageChars) // after the work of receiving it, a turn for the window
        QTimer::singleShot(0, this, [this, token] { captureSteps(token); });
    else
        captureSteps(token);
}

void ScanEngine::captureSteps(quint64 token) {
    if (stale(token))
        return;
    // A large page is captured a piece at a time, one event-loop turn apart, so
    // the window stays responsive and a Stop is seen between the pieces.
    const qsizetype size = m_captureStage < 2 ? m_pageBody.size() : m_pageText.size();
    const bool large = size > kLargePageChars;
    while (m_captureStage < 4) {
        if (!m_state.scanRunning) {
            m_analysing = false;
            m_pageBody.clear();
            m_pageFolded.reset();
            return;
        }
        switch (m_captureStage) {
        case 0: {
            // One folded copy of the page serves every case-insensitive search in it.
            m_pageFolded = std::make_unique<util::CaseFoldedText>(m_pageBody);
            const Screening screen = ScreenPage(*m_pageFolded, m_session.domain());
            if (screen.domainSeen) {
                m_state.domainTextSeen = true;
                m_state.siteNoteUrl = m_state.strCurUrl;
            }
            if (!screen.note.isEmpty())
                m_state.siteNote = screen.note;
            // The markers hold no "href=", so the split below cannot make or break one.
            m_pageHasMarker = HasRedirectMarker(*m_pageFolded);
            m_pageText.clear();
            m_pageText.reserve(m_pageBody.size() + m_pageBody.size() / 32 + 16);
            m_capturePos = 0;
            m_captureStage = 1;
            if (startReadAhead(hasDomainTrace(screen.domainSeen))) {
                // The analysis goes on one turn of the event loop later, after that
                // turn's socket events, so the new connection's request is out
                // first: the posted call starts a zero-time timer at the beginning
                // of the next turn, and timers come after the sockets in a turn.
                m_captureTurnToken = token;
                QTimer::singleShot(0, this, [this] { m_captureTurn->start(); });
                return;
            }
            break;
        }
        case 1: {
            const qsizetype next = HrefSafeSplit(m_pageBody, m_capturePos + kCapturePieceChars);
            AppendNormalisedHrefs(m_pageText, m_pageBody, *m_pageFolded, m_capturePos, next);
            m_capturePos = next;
            if (m_capturePos < m_pageBody.size())
                break;
            m_pageFolded.reset();
            m_pageBody.clear();
            Q_EMIT statusText(2, QStringLiteral("Saving to HTML"));
            m_capturePos = 0;
            m_captureStage = 2;
            break;
        }
        case 2:
        case 3: {
            // The link work file, then the mail work file (the same text on one line).
            const bool link = m_captureStage == 2;
            WorkFile& file = link ? m_linkWorkFile : m_mailWorkFile;
            const QString path = util::AppFilePath(link ? QStringLiteral("html0.txt")
                                                        : QStringLiteral("html20.txt"));
            if (!large) {
                // The usual page, each file in one go; the mail file's bytes are
                // the link file's with the line ends squeezed out.
                if (link)
                    m_pageBytes = m_pageText.toLatin1();
                else
                    m_pageBytes = MailWorkBytes(std::move(m_pageBytes));
                file.write(path, m_pageBytes);
                if (!link)
                    m_pageBytes.clear();
            } else {
                const QStringView piece =
                    QStringView(m_pageText).mid(m_capturePos, kCapturePieceChars * 4);
                if (m_capturePos == 0)
                    file.begin(path);
                file.append(link ? piece.toLatin1() : MailWorkBytes(piece));
                m_capturePos += piece.size();
                if (m_capturePos < m_pageText.size())
                    break;
                file.finish();
            }
            m_capturePos = 0;
            if (++m_captureStage == 4)
                m_pageText += QStringLiteral("\r\n"); // the link work file's final line end
            break;
        }
        }
        if (large && m_captureStage < 4) {
            QTimer::singleShot(0, this, [this, token] { captureSteps(token); });
            return;
        }
    }
    ExtractLinks();
}

bool ScanEngine::hasDomainTrace(bool domainSeen) const {
    // Every result needs the domain's host name in the link, so a page without it
    // (and on a site whose own address lacks it) cannot give one.
    if (domainSeen)
        return true;
    const QString& domain = m_session.domain();
    const QString host = HostPart(domain);
    if (host.isEmpty())
        return true;
    return (host.size() != domain.size() && m_pageFolded->contains(host)) ||
           ContainsCI(m_state.strCurDir, host) || ContainsCI(m_slots[0].slotHost, host);
}

void ScanEngine::ExtractLinks() {
    if (!m_state.scanRunning) {
        m_analysing = false;
        return;
    }
    Q_EMIT statusText(2, QStringLiteral("Getting Links"));
    m_lines.reset(m_pageText);
    m_pageIsResult = m_session.results.anyUrlContains(StripForResultPage(m_state.strCurUrl));
    extractChunk(m_pageToken);
}

void ScanEngine::extractChunk(quint64 token) {
    if (stale(token))
        return;
    QElapsedTimer clock;
    clock.start();
    int lines = 0;
    while (m_state.scanRunning && !m_lines.atEnd()) {
        // Give the event loop its turn when this chunk has had its time.
        if (++lines % 64 == 0 && clock.elapsed() >= kChunkBudgetMs) {
            flushQueued();
            QTimer::singleShot(0, this, [this, token] { extractChunk(token); });
            return;
        }
        const qsizetype lineStart = m_lines.pos();
        const QStringView line = m_lines.next();
        if (!m_state.bEmulate && m_pageHasMarker && HasRedirectMarker(line)) {
            flushQueued();
            followRedirect(lineStart);
            return;
        }
        processLine(line);
    }
    flushQueued();
    m_pageText.clear();
    Q_EMIT statusText(2, QString());
    m_state.bEmulate = false;
    if (m_state.scanRunning)
        endPageStep();
    else
        m_analysing = false;
}

bool ScanEngine::processLine(QStringView lineView) {
    // Capture put every "href=" at the start of a line of its own, in lower case:
    // a line that does not start with it holds none.
    if (!lineView.startsWith(u"href="))
        return false;
    const std::optional<QString> value = LinkValue(lineView);
    if (!value)
        return false;
    ScanState& s = m_state;
    const QString L = StripForKnownUrl(ResolveLink(*value, m_slots[0].slotHost, s.strCurDir));

    // The crawl goes downward only, and never twice to an address it already knows.
    if (m_session.partners.count() > 0 && ContainsCI(L, s.strCurDir) &&
        !m_session.partners.isPartnerAddress(L) && !m_known.anyContains(L) &&
        s.pagesQueued < std::numeric_limits<qint32>::max()) {
        s.pagesQueued += 1;
        CountScanEvent(ScanEvent::PageQueued);
        queueAddress(L);
    }

    // A page gives at most one result row.
    if (m_pageIsResult)
        return true;
    if (IsDirectLink(L, m_session.domain()))
        recordLink(kDirectLink);
    else if (IsDomainLink(L, m_session.domain()))
        recordLink(kDomainLink);
    return true;
}

void ScanEngine::recordLink(const QString& status) {
    ScanState& s = m_state;
    if (s.siteLinksFound == std::numeric_limits<qint16>::max() ||
        s.resultCount == std::numeric_limits<qint32>::max())
        return; // the count cannot grow: this link is not recorded
    s.totalLinksFound += 1;
    s.siteLinksFound += 1;
    s.resultCount += 1;
    m_session.results.append(ResultRow{s.currentSite, status, util::ZeroFilled(s.resultCount),
                                       s.strCurUrl, RowColour::Blue, RowMarker::Linking});
    s.linkFoundForSite = true;
    playCue("foundemail.wav", m_session.options.chkAudioEmail);
    CountScanEvent(ScanEvent::ItemFound);
    if (s.pagesQueued < std::numeric_limits<qint32>::max())
        s.pagesQueued += 1;
    Q_EMIT statusText(3, QStringLiteral("Found ") + QString::number(s.totalLinksFound) +
                             QStringLiteral(" links"));
    m_pageIsResult = m_session.results.anyUrlContains(StripForResultPage(s.strCurUrl));
}

void ScanEngine::followRedirect(qsizetype markerLineStart) {
    // From the marker line on, the first line with an href names the target; without
    // one, the last line read does.
    LineCursor lines;
    lines.reset(m_pageText, markerLineStart);
    QString target;
    while (!lines.atEnd()) {
        target = lines.next().toString();
        if (ContainsCI(target, QStringLiteral("href=")))
            break;
    }
    if (ContainsCI(target, QStringLiteral("href=")))
        target = RedirectTarget(target);
    if (target.isEmpty())
        target = m_state.strCurUrl;
    else if (target.startsWith(QLatin1Char('/')) || target.startsWith(QStringLiteral("./")) ||
             target.startsWith(QStringLiteral("../")))
        target = ResolveLink(target, m_slots[0].slotHost, m_state.strCurDir); // a path on this site
    m_pageText.clear();

    const quint64 token = m_pageToken;
    m_downloader->DownloadPage(target, [this, token](const QString& body) {
        if (stale(token))
            return;
        m_state.bEmulate = true;
        CapturePage(body);
    });
}

void ScanEngine::endPageStep() {
    m_analysing = false;
    ++m_pageToken;
    if (m_nextPending || redirectRuleEndsSite())
        SiteChange();
    else
        NextPage(0);
}

} // namespace corvantis::scan
