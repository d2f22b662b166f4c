#include "render/page_render_host.h"

#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>

namespace corvantis::render {

namespace {

// The document is polled this often after the load; this many polls without a
// change are quiet enough, and this many at most are waited for.
constexpr int kPollMs = 250;
constexpr int kQuietPolls = 8;
constexpr int kMostPollsAfterLoad = 24;

// Images, media and fonts tell nothing about links.
class NoHeavyResources : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        switch (info.resourceType()) {
        case QWebEngineUrlRequestInfo::ResourceTypeImage:
        case QWebEngineUrlRequestInfo::ResourceTypeMedia:
        case QWebEngineUrlRequestInfo::ResourceTypeFontResource:
        case QWebEngineUrlRequestInfo::ResourceTypeFavicon:
            info.block(true);
            break;
        default:
            break;
        }
    }
};

const QString kDocument = QStringLiteral("document.documentElement.outerHTML");

// What the browser shows decides: each link it does not show (its computed
// style, or no box at all) gets the hidden attribute, after every hidden
// attribute and inline style is dropped.
const QString kMarkHiddenLinks = QStringLiteral(R"((function () {
  var links = document.querySelectorAll('a');
  var hidden = [];
  for (var i = 0; i < links.length; i++) {
    var s = getComputedStyle(links[i]);
    var box = links[i].getBoundingClientRect();
    hidden.push(s.display === 'none' || s.visibility === 'hidden' ||
                s.visibility === 'collapse' || links[i].getClientRects().length === 0 ||
                (box.width === 0 && box.height === 0));
  }
  var styled = document.querySelectorAll('[hidden], [style]');
  for (var j = 0; j < styled.length; j++) {
    styled[j].removeAttribute('hidden');
    styled[j].removeAttribute('style');
  }
  for (var k = 0; k < links.length; k++)
    if (hidden[k]) links[k].setAttribute('hidden', '');
  return document.documentElement.outerHTML;
})())");

} // namespace

PageRenderHost::PageRenderHost(QObject* parent)
    : QObject(parent), m_profile(std::make_unique<QWebEngineProfile>()) {
    m_profile->setUrlRequestInterceptor(new NoHeavyResources(m_profile.get()));
    m_profile->settings()->setAttribute(QWebEngineSettings::AutoLoadImages, false);
    m_profile->settings()->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    m_page = std::make_unique<QWebEnginePage>(m_profile.get());
    // A page without a view counts as hidden, and a hidden page's timers run late.
    m_page->setVisible(true);
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        m_page->triggerAction(QWebEnginePage::Stop);
        finish(RenderReply{false, {}, QStringLiteral("the page did not settle in time")});
    });
    m_poll.setInterval(kPollMs);
    connect(&m_poll, &QTimer::timeout, this, &PageRenderHost::pollDocument);
    connect(m_page.get(), &QWebEnginePage::loadFinished, this, [this](bool ok) {
        if (!m_done || m_loaded)
            return;
        if (!ok) {
            finish(RenderReply{false, {}, QStringLiteral("the page could not be loaded")});
            return;
        }
        m_loaded = true;
        m_poll.start();
    });
}

PageRenderHost::~PageRenderHost() {
    m_page.reset(); // before its profile
}

void PageRenderHost::render(const RenderRequest& request,
                            std::function<void(const RenderReply&)> done) {
    ++m_generation;
    m_done = std::move(done);
    m_loaded = false;
    m_quietPolls = 0;
    m_pollsAfterLoad = 0;
    m_lastDocument.clear();
    m_deadline.start(qMax(1000, request.timeoutMs));
    m_page->load(QUrl(request.url));
}

// The document after the load: once it stays the same for a while (scripts
// that write links after a timer have run), or after the most polls, its links
// are marked and it is handed over.
void PageRenderHost::pollDocument() {
    const quint64 generation = m_generation;
    m_page->runJavaScript(kDocument, [this, generation](const QVariant& result) {
        if (generation != m_generation || !m_done)
            return;
        const QString document = result.toString();
        m_quietPolls = document == m_lastDocument ? m_quietPolls + 1 : 0;
        m_lastDocument = document;
        if (m_quietPolls < kQuietPolls && ++m_pollsAfterLoad < kMostPollsAfterLoad)
            return;
        m_poll.stop();
        m_page->runJavaScript(kMarkHiddenLinks, [this, generation](const QVariant& marked) {
            if (generation == m_generation && m_done)
                finish(RenderReply{true, marked.toString(), {}});
        });
    });
}

void PageRenderHost::finish(const RenderReply& reply) {
    m_deadline.stop();
    m_poll.stop();
    ++m_generation;
    if (auto done = std::exchange(m_done, nullptr))
        done(reply);
}

} // namespace corvantis::render
