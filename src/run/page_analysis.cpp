// Page capture and link extraction: what the scan does with a page once its
// response is complete.
#include "run/page_analysis.h"

#include "page/http_response.h"
#include "page/link_parsing.h"
#include "page/link_value.h"
#include "page/page_encoding.h"
#include "page/url_rules.h"
#include "util/app_folder.h"
#include "util/text_utils.h"

#include <QElapsedTimer>

#include <limits>

namespace corvantis::scan {

using util::ContainsCI;

PageAnalysis::PageAnalysis(Driver& driver, ScanSession& session, SiteState& state,
                           util::StepRunner& steps, int slot)
    : m_driver(driver), m_session(session), m_state(state), m_steps(steps),
      m_workSuffix(slot == 0 ? QString() : QLatin1Char('-') + QString::number(slot)) {}

void PageAnalysis::CapturePage(const QString& body, const QString& header, BodyForm form) {
    if (!m_state.running) {
        m_driver.setStep(PageStep::Finished);
        return;
    }
    m_driver.setStep(PageStep::Capturing);
    m_pageBody = body;
    m_pageSource = body; // shared, not copied
    m_pageHeader = header;
    m_pageForm = form;
    m_capture = CaptureStage::Screen;
    if (m_pageBody.size() >
        kLargePageChars) // after the work of receiving it, a turn for the window
        m_steps.later([this] { captureSteps(); });
    else
        captureSteps();
}

void PageAnalysis::captureSteps() {
    // A large page is captured a piece at a time, one event-loop turn apart, so
    // the window stays responsive and a Stop is seen between the pieces.
    const qsizetype size =
        m_capture < CaptureStage::LinkFile ? m_pageBody.size() : m_pageText.size();
    const bool large = size > kLargePageChars;
    while (m_capture != CaptureStage::Done) {
        if (!m_state.running) {
            m_driver.setStep(PageStep::Finished);
            m_pageBody.clear();
            m_pageFolded.reset();
            return;
        }
        switch (m_capture) {
        case CaptureStage::Screen:
            if (screenPage()) {
                // The analysis goes on after the next page's request is out.
                m_steps.laterAfterSockets([this] { captureSteps(); });
                return;
            }
            break;
        case CaptureStage::Normalise:
            normalisePiece();
            break;
        case CaptureStage::LinkFile:
        case CaptureStage::MailFile:
            writeWorkFile(large);
            break;
        case CaptureStage::Done:
            break;
        }
        if (large && m_capture != CaptureStage::Done) {
            m_steps.later([this] { captureSteps(); });
            return;
        }
    }
    ExtractLinks();
}

bool PageAnalysis::screenPage() {
    // One folded copy of the page serves every case-insensitive search in it.
    m_pageFolded = std::make_unique<util::CaseFoldedText>(m_pageBody);
    const Screening screen = ScreenPage(*m_pageFolded, m_session.project.domain());
    if (screen.domainSeen) {
        m_state.domainTextSeen = true;
        m_state.domainTextPage = m_state.pageUrl;
    }
    if (!screen.note.isEmpty())
        m_state.note = screen.note;
    // A redirect notice in the body ("302 Found", ...) stands for a redirect only
    // in a response that is one; in a page it is text. The markers hold no
    // "href", so the split below cannot make or break one.
    m_pageHasMarker = StatusCode(m_pageHeader) / 100 == 3 && HasRedirectMarker(*m_pageFolded);
    if (m_driver.mayRenderPage() && BrowserMayAddLinks(m_pageBody, *m_pageFolded))
        m_driver.pageMayChangeInBrowser();
    const std::optional<QString> baseHref = BaseHref(m_pageBody, *m_pageFolded);
    m_hasBase = baseHref.has_value();
    m_base = BaseOfPage(baseHref, m_state.pageHost, m_state.pageDir);
    m_pageText.clear();
    m_pageText.reserve(m_pageBody.size() + m_pageBody.size() / 32 + 16);
    m_capturePos = 0;
    m_capture = CaptureStage::Normalise;
    return m_driver.startReadAhead(m_pageHasMarker, hasDomainTrace(screen.domainSeen));
}

void PageAnalysis::normalisePiece() {
    const qsizetype next = HrefSafeSplit(m_pageBody, m_capturePos + kCapturePieceChars);
    AppendNormalisedHrefs(m_pageText, m_pageBody, *m_pageFolded, m_capturePos, next);
    m_capturePos = next;
    if (m_capturePos < m_pageBody.size())
        return;
    m_pageFolded.reset();
    m_pageBody.clear();
    m_driver.status(StatusPanel::Page, QStringLiteral("Saving to HTML"));
    m_capturePos = 0;
    m_capture = CaptureStage::LinkFile;
}

void PageAnalysis::writeWorkFile(bool large) {
    // The link work file, then the mail work file (the same text on one line).
    const bool link = m_capture == CaptureStage::LinkFile;
    WorkFile& file = link ? m_linkWorkFile : m_mailWorkFile;
    const QString path =
        util::AppFilePath((link ? QStringLiteral("html0") : QStringLiteral("html20")) +
                          m_workSuffix + QStringLiteral(".txt"));
    if (!large) {
        // The usual page, each file in one go; the mail file's bytes are the link
        // file's with the line ends squeezed out.
        m_pageBytes = link ? m_pageText.toLatin1() : MailWorkBytes(std::move(m_pageBytes));
        file.write(path, m_pageBytes);
        if (!link)
            m_pageBytes.clear();
    } else {
        const QStringView piece = QStringView(m_pageText).mid(m_capturePos, kCapturePieceChars * 4);
        if (m_capturePos == 0)
            file.begin(path);
        file.append(link ? piece.toLatin1() : MailWorkBytes(piece));
        m_capturePos += piece.size();
        if (m_capturePos < m_pageText.size())
            return;
        file.finish();
    }
    m_capturePos = 0;
    m_capture = link ? CaptureStage::MailFile : CaptureStage::Done;
    if (m_capture == CaptureStage::Done)
        m_pageText += QStringLiteral("\r\n"); // the link work file's final line end
}

bool PageAnalysis::hasDomainTrace(bool domainSeen) const {
    // Every result needs the domain's host name in the link, so a page without it
    // (and on a site whose own address lacks it) cannot give one.
    if (domainSeen)
        return true;
    const QString& domain = m_session.project.domain();
    const QString host = HostPart(domain);
    if (host.isEmpty())
        return true;
    return (host.size() != domain.size() && m_pageFolded->contains(host)) ||
           ContainsCI(m_state.pageDir, host) || ContainsCI(m_state.pageHost, host);
}

void PageAnalysis::ExtractLinks() {
    if (!m_state.running) {
        m_driver.setStep(PageStep::Finished);
        return;
    }
    m_driver.setStep(PageStep::Extracting);
    m_driver.status(StatusPanel::Page, QStringLiteral("Getting Links"));
    m_lines.reset(m_pageText);
    m_lastLine = {};
    m_pageIsResult = m_driver.resultUrlKnown(StripForResultPage(m_state.pageUrl));
    extractChunk();
}

void PageAnalysis::extractChunk() {
    QElapsedTimer clock;
    clock.start();
    int lines = 0;
    while (m_state.running && !m_lines.atEnd()) {
        // Give the event loop its turn when this chunk has had its time.
        if (++lines % 64 == 0 && clock.elapsed() >= kChunkBudgetMs) {
            m_driver.flushQueued();
            m_steps.later([this] { extractChunk(); });
            return;
        }
        const qsizetype lineStart = m_lines.pos();
        const QStringView line = m_lines.next();
        if (!m_state.followingRedirect && m_pageHasMarker && HasRedirectMarker(line)) {
            m_driver.flushQueued();
            followRedirect(lineStart);
            return;
        }
        processLine(line);
        m_lastLine = line;
    }
    m_driver.flushQueued();
    m_pageText.clear();
    m_pageSource.clear();
    m_pageHeader.clear();
    m_driver.status(StatusPanel::Page, QString());
    m_state.followingRedirect = false;
    if (m_state.running)
        m_driver.endPageStep();
    else
        m_driver.setStep(PageStep::Finished);
}

bool PageAnalysis::processLine(QStringView lineView) {
    // Capture put every "href=" at the start of a line of its own, in lower case:
    // a line that does not start with it holds none.
    if (!lineView.startsWith(u"href="))
        return false;
    // The base's own href names where links start, not a link.
    if (m_hasBase && InTagOf(m_lastLine, u"base"))
        return false;
    const std::optional<QString> value = LinkValue(lineView);
    if (!value)
        return false;
    const QString L = StripForKnownUrl(ResolveLink(*value, m_base.host, m_base.dir));
    m_driver.offerLink(L);

    // A page gives at most one result row.
    if (m_pageIsResult)
        return true;
    if (IsDirectLink(L, m_session.project.domain()))
        recordLink(VerdictKind::Direct);
    else if (IsDomainLink(L, m_session.project.domain()))
        recordLink(VerdictKind::Domain);
    return true;
}

void PageAnalysis::recordLink(VerdictKind kind) {
    SiteState& s = m_state;
    if (s.linksFound == std::numeric_limits<qint16>::max())
        return; // the count cannot grow: this link is not recorded
    s.linksFound += 1;
    FoundLink link{kind, s.pageUrl};
    if (m_session.options.checkLinkValue)
        valueLinkBack(link);
    m_driver.addLink(link);
    m_driver.playCue("foundemail.wav", m_session.options.chkAudioEmail);
    m_session.run.CountScanEvent(ScanEvent::ItemFound);
    if (s.pagesQueued < std::numeric_limits<qint32>::max())
        s.pagesQueued += 1;
    m_driver.status(StatusPanel::Site, QStringLiteral("Found ") + QString::number(s.linksFound) +
                                           QStringLiteral(" links"));
    m_pageIsResult = m_driver.resultUrlKnown(StripForResultPage(s.pageUrl));
}

// The value of the page's best link back and its anchor text, read from the
// page's tree in its own encoding: its links are resolved as the scan resolves links.
void PageAnalysis::valueLinkBack(FoundLink& link) const {
    const auto resolve = [this](const QString& href) {
        return StripForKnownUrl(ResolveLink(CleanHref(href), m_base.host, m_base.dir));
    };
    const QString domain = m_session.project.domain();
    const auto isLinkBack = [&domain](const QString& address) {
        return IsDirectLink(address, domain) || IsDomainLink(address, domain);
    };
    const QString text = m_pageForm == BodyForm::Text
                             ? m_pageSource
                             : DecodePage(m_pageSource.toLatin1(), m_pageHeader);
    LinkBackValue v = ValueOfLinksBack(text, m_pageHeader, StripForKnownUrl(m_state.pageUrl),
                                       resolve, isLinkBack, m_driver.robotsRule());
    link.reasons = std::move(v.reasons);
    link.anchor = std::move(v.anchor);
}

void PageAnalysis::followRedirect(qsizetype markerLineStart) {
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
        target = m_state.pageUrl;
    else if (target.startsWith(QLatin1Char('/')) || target.startsWith(QStringLiteral("./")) ||
             target.startsWith(QStringLiteral("../")))
        target = ResolveLink(target, m_state.pageHost, m_state.pageDir); // a path on this site
    m_pageText.clear();
    m_driver.downloadInPlace(target);
}

} // namespace corvantis::scan
