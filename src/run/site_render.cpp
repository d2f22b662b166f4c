// Which of a short site's pages are rendered, and the page under way in the renderer.
#include "run/site_render.h"

#include "page/partner_address.h"
#include "page/url_rules.h"
#include "session/page_renderer.h"

namespace corvantis::scan {

SiteRender::SiteRender(Run& run, const SiteState& state, const ScanOptions& options,
                       const RunState& scan, util::StepRunner& steps, PageRenderer* renderer)
    : m_run(run), m_state(state), m_options(options), m_scan(scan), m_steps(steps),
      m_renderer(renderer) {}

void SiteRender::begin(const QString& partner) {
    m_toRender.clear();
    m_decided = m_rendering = m_skip = m_startPageFailed = false;
    m_mayChange.clear();
    m_candidates.clear();
    const QStringList remembered = m_scan.rememberedPages.value(partner);
    if (!remembered.isEmpty())
        m_candidates << SplitPageAddress(remembered.first()).url;
    const QString startPage = SplitPageAddress(SplitScheme(partner).rest).url;
    if (!m_candidates.contains(startPage, Qt::CaseInsensitive))
        m_candidates << startPage;
}

bool SiteRender::mayRender(const QString& pageUrl) const {
    // Only these pages are ever rendered: the others need no look for scripts.
    return m_renderer && m_options.renderPages &&
           m_candidates.contains(pageUrl, Qt::CaseInsensitive);
}

void SiteRender::mayChangeInBrowser(const QString& pageUrl) {
    m_mayChange.insert(pageUrl.toLower());
}

void SiteRender::startPageFailed() {
    m_startPageFailed = true;
}

void SiteRender::skip() {
    m_skip = true;
}

bool SiteRender::decide(UnreadReason unread) {
    if (m_decided)
        return false;
    m_decided = true;
    m_toRender = pagesToRender(unread);
    if (renderingMissed())
        m_run.noteUnread(UnreadReason::NotRendered);
    return true;
}

QStringList SiteRender::pagesToRender(UnreadReason unread) const {
    // Pages that could not be read, or a start page that answered with an error,
    // would not render either; a page without scripts or frames shows what its
    // HTML holds.
    if (!m_renderer || !m_options.renderPages || m_skip || unread != UnreadReason::None ||
        m_startPageFailed)
        return {};
    QStringList pages = m_candidates;
    pages.removeIf([this](const QString& page) { return !m_mayChange.contains(page.toLower()); });
    return pages;
}

bool SiteRender::renderingMissed() const {
    // A partner whose links last time were found only in a browser, with the
    // links short now and no browser asked: what it shows is not known.
    const SiteState& s = m_state;
    return !m_skip && s.linksFound < s.linksExpected && (!m_renderer || !m_options.renderPages) &&
           m_scan.renderedLastTime.contains(s.partner);
}

bool SiteRender::next() {
    m_rendering = false;
    const SiteState& s = m_state;
    if (m_skip || m_toRender.isEmpty() || s.linksFound >= s.linksExpected)
        return false;
    const QString page = m_toRender.takeFirst();
    if (const QString why = m_renderer->unavailableReason(); !why.isEmpty()) {
        m_toRender.clear(); // no page of any site can be rendered: nothing is asked
        notRendered(page, why);
        return false;
    }
    m_run.setStep(PageStep::Rendering);
    m_run.status(StatusPanel::Activity, QStringLiteral("Rendering: ") + page);
    const QString scheme =
        s.siteTlsHost.isEmpty() ? QStringLiteral("http://") : QStringLiteral("https://");
    m_renderer->render(scheme + page, int(s.timeoutSeconds) * 1000,
                       m_steps.guarded([this, page](const PageRenderer::Result& r) {
                           if (!r.ok) {
                               notRendered(page, r.error);
                               m_run.renderFailed();
                               return;
                           }
                           m_rendering = true;
                           m_run.rendered(page, r.html);
                       }));
    return true;
}

void SiteRender::notRendered(const QString& page, const QString& why) {
    // What the browser would have shown is not known: the site is not read. Why
    // no page renders on this machine is said once, not for every partner.
    m_run.noteUnread(UnreadReason::NotRendered);
    const bool everywhere = why == m_renderer->unavailableReason();
    if (!everywhere || m_run.firstSaying(why))
        m_run.addError(ErrorRow{QStringLiteral("Not rendered: ") + why, page});
}

} // namespace corvantis::scan
