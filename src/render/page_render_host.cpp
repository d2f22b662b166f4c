#include "render/page_render_host.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTimer>
#include <QUrl>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>

#if defined(__SANITIZE_ADDRESS__)
// In the sanitizers' build: Qt WebEngine frees some of its own objects with a
// sized delete of another size when a page is closed, which is its matter, not
// ours, as are its leaks at the end. corvantis-render (the one program that
// links this) gets no ASAN_OPTIONS from the scan, so they are set here.
extern "C" const char* __asan_default_options() {
    return "new_delete_type_mismatch=0:detect_leaks=0";
}
#endif

namespace corvantis::render {

namespace {

// A page is settled once nothing is pending and its document has not changed
// for this long.
constexpr int kQuietMs = 300;
// Timers up to this long are waited for; longer ones are no part of the page's
// first look.
constexpr int kShortTimerMs = 1000;
// A timer set by a timer set by a timer... this deep is a loop (a ticker, a
// poll), not loading: not waited for.
constexpr int kTimerNesting = 5;
// A request or added script is waited for this long at most, so that a long
// poll does not hold the page until its time-out.
constexpr int kLongestWaitMs = 5000;
// The watcher is asked at most this far apart while something is pending.
constexpr int kPollMs = 100;
// A page whose watcher is missing (not HTML) answers this.
constexpr int kNoWatcher = -2;
// Chromium's net::ERR_ABORTED: a load given up for another (a script's
// redirect), not a failure.
constexpr int kLoadAborted = -3;

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

// Runs in the page's own world before its scripts, since it has to see their
// timers and requests: it counts fetches, XMLHttpRequests, scripts a script
// added, and pending timers of up to kShortTimerMs, and notes the last change
// of the document (a style attribute's change is an animation, not content).
// window[key]() answers -1 while something is pending or the document is still
// loading, else the milliseconds since the last change.
const QString kSettleWatcher = QStringLiteral(R"((function () {
  'use strict';
  var key = '%1', SHORT = %2, NESTING = %3, LONGEST = %4;
  if (Object.prototype.hasOwnProperty.call(window, key)) return;
  var clock = performance.now.bind(performance);
  var lastChange = clock();
  var changed = function () { lastChange = clock(); };
  var busy = new Map(), nextToken = 1;
  var begin = function () { var t = nextToken++; busy.set(t, clock()); return t; };
  var end = function (t) { if (busy.delete(t)) changed(); };

  var timers = new Set(), depth = 0;
  var setT = window.setTimeout, clearT = window.clearTimeout;
  window.setTimeout = function (fn, ms) {
    if (typeof fn !== 'function') return setT.apply(window, arguments);
    var args = Array.prototype.slice.call(arguments, 2);
    var counted = !(Number(ms) > SHORT) && depth < NESTING;
    var inner = depth + 1;
    var id = setT.call(window, function () {
      timers.delete(id);
      var outer = depth;
      depth = inner;
      try { return fn.apply(window, args); } finally { depth = outer; }
    }, ms);
    if (counted) timers.add(id);
    return id;
  };
  window.clearTimeout = function (id) {
    timers.delete(id);
    return clearT.apply(window, arguments);
  };

  if (typeof window.fetch === 'function') {
    var fetchOf = window.fetch;
    window.fetch = function () {
      var t = begin(), p;
      try { p = fetchOf.apply(this, arguments); } catch (e) { end(t); throw e; }
      p.then(function () { end(t); }, function () { end(t); });
      return p;
    };
  }
  if (window.XMLHttpRequest) {
    var send = XMLHttpRequest.prototype.send;
    XMLHttpRequest.prototype.send = function () {
      var t = begin();
      this.addEventListener('loadend', function () { end(t); });
      try { return send.apply(this, arguments); } catch (e) { end(t); throw e; }
    };
  }

  // Only a script made by createElement loads when added; one that came in
  // with innerHTML never does, and would never end.
  var made = new WeakSet(), createOf = document.createElement;
  document.createElement = function () {
    var e = createOf.apply(this, arguments);
    if (e.nodeName === 'SCRIPT') made.add(e);
    return e;
  };
  var watch = function (node) {
    if (!made.has(node) || !node.src || node.noModule) return;
    made.delete(node);
    var t = begin(), done = function () { end(t); };
    node.addEventListener('load', done);
    node.addEventListener('error', done);
  };
  new MutationObserver(function (records) {
    for (var i = 0; i < records.length; i++) {
      var r = records[i];
      if (r.type !== 'attributes' || r.attributeName !== 'style') changed();
      for (var j = 0; j < r.addedNodes.length; j++) watch(r.addedNodes[j]);
    }
  }).observe(document, {childList: true, subtree: true, attributes: true, characterData: true});

  Object.defineProperty(window, key, {value: function () {
    var now = clock(), pending = timers.size;
    busy.forEach(function (since) { if (now - since < LONGEST) pending++; });
    if (pending > 0 || document.readyState !== 'complete') return -1;
    return Math.floor(now - lastChange);
  }});
})();)");

// What the browser shows decides: each link it does not show (its computed
// style, or no box at all) gets the hidden attribute, after every hidden
// attribute and inline style is dropped. Run in a world of its own, where the
// page's scripts cannot have replaced what it calls.
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
  return document.documentElement ? document.documentElement.outerHTML : '';
})())");

// Chromium's error texts are made for its error page, with markup in them.
QString LoadError(const QWebEngineLoadingInfo& info) {
    if (info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain)
        return QStringLiteral("HTTP %1").arg(info.errorCode());
    static const QRegularExpression kMarkup(QStringLiteral("<[^>]*>"));
    QString text = info.errorString().remove(kMarkup).simplified();
    if (text.endsWith(u':'))
        text.chop(1);
    return QStringLiteral("%1 (%2)").arg(text).arg(info.errorCode());
}

QString Seconds(int ms) {
    return QString::number(ms / 1000.0, 'g', 3);
}

} // namespace

// One page under way: its web page, its time-out and the polling of its
// settle watcher.
class PageRenderHost::PageRender : public QObject {
public:
    PageRender(QWebEngineProfile* profile, const QString& statusScript, RenderRequest request,
               Done done, std::function<void(PageRender*)> ended)
        : m_page(new QWebEnginePage(profile, this)), m_statusScript(statusScript),
          m_request(std::move(request)), m_done(std::move(done)), m_ended(std::move(ended)) {
        m_deadline.setSingleShot(true);
        m_deadline.setInterval(qMax(1000, m_request.timeoutMs));
        connect(&m_deadline, &QTimer::timeout, this, [this] {
            fail((m_loaded ? QStringLiteral("the page did not settle in %1 s")
                           : QStringLiteral("the page did not finish loading in %1 s"))
                     .arg(Seconds(m_deadline.interval())));
        });
        m_poll.setSingleShot(true);
        connect(&m_poll, &QTimer::timeout, this, &PageRender::poll);
        connect(m_page, &QWebEnginePage::loadingChanged, this,
                [this](const QWebEngineLoadingInfo& info) {
                    switch (info.status()) {
                    case QWebEngineLoadingInfo::LoadStartedStatus:
                        m_loaded = false; // a script's redirect starts over
                        break;
                    case QWebEngineLoadingInfo::LoadSucceededStatus:
                        m_loaded = true;
                        m_sinceLoad.start();
                        m_poll.start(0);
                        break;
                    case QWebEngineLoadingInfo::LoadFailedStatus:
                        if (info.errorCode() != kLoadAborted)
                            fail(QStringLiteral("the page could not be loaded: ") +
                                 LoadError(info));
                        break;
                    case QWebEngineLoadingInfo::LoadStoppedStatus:
                        break;
                    }
                });
        connect(m_page, &QWebEnginePage::renderProcessTerminated, this,
                [this] { fail(QStringLiteral("the browser's process for the page ended")); });
    }

    void start() {
        m_deadline.start();
        m_page->load(QUrl(m_request.url));
        // A page without a view counts as hidden, and a hidden page's timers run
        // late; it can be shown once the load has made its browser side.
        m_page->setVisible(true);
    }

private:
    void poll() {
        m_page->runJavaScript(m_statusScript, QWebEngineScript::MainWorld,
                              [self = QPointer(this)](const QVariant& quiet) {
                                  if (self)
                                      self->onStatus(quiet.isValid() ? quiet.toInt() : kNoWatcher);
                              });
    }

    void onStatus(int quietMs) {
        if (m_answered || !m_loaded || m_marking)
            return; // a load started since: its end polls again
        if (quietMs == kNoWatcher)
            quietMs = int(m_sinceLoad.elapsed());
        if (quietMs < 0) {
            m_poll.start(kPollMs);
            return;
        }
        if (quietMs < kQuietMs) {
            m_poll.start(qMin(kPollMs, kQuietMs - quietMs));
            return;
        }
        m_marking = true;
        m_page->runJavaScript(kMarkHiddenLinks, QWebEngineScript::ApplicationWorld,
                              [self = QPointer(this)](const QVariant& document) {
                                  if (self)
                                      self->onDocument(document.toString());
                              });
    }

    void onDocument(const QString& document) {
        if (document.isEmpty())
            fail(QStringLiteral("the page has no document"));
        else if (document.toUtf8().size() > kMaxDocumentBytes)
            fail(QStringLiteral("the rendered document is over %1 MB")
                     .arg(kMaxDocumentBytes / (1024 * 1024)));
        else
            answer(RenderReply{m_request.id, true, document, {}});
    }

    void fail(const QString& why) { answer(RenderReply{m_request.id, false, {}, why}); }

    void answer(const RenderReply& reply) {
        if (std::exchange(m_answered, true))
            return;
        m_deadline.stop();
        m_poll.stop();
        if (auto done = std::exchange(m_done, nullptr))
            done(reply);
        m_ended(this);
    }

    QWebEnginePage* m_page; // a child
    const QString& m_statusScript;
    RenderRequest m_request;
    Done m_done;
    std::function<void(PageRender*)> m_ended;
    QTimer m_deadline;
    QTimer m_poll;
    QElapsedTimer m_sinceLoad;
    bool m_loaded = false;
    bool m_marking = false;
    bool m_answered = false;
};

PageRenderHost::PageRenderHost(QObject* parent)
    : QObject(parent), m_profile(std::make_unique<QWebEngineProfile>()) {
    m_profile->setUrlRequestInterceptor(new NoHeavyResources(m_profile.get()));
    m_profile->settings()->setAttribute(QWebEngineSettings::AutoLoadImages, false);
    m_profile->settings()->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    m_profile->settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    // A name no page can know, so that none answers in the watcher's place.
    const QString key =
        QStringLiteral("__corvantis_settle_%1")
            .arg(QRandomGenerator::system()->generate64(), 16, 16, QLatin1Char('0'));
    QWebEngineScript watcher;
    watcher.setName(QStringLiteral("corvantis-settle"));
    watcher.setInjectionPoint(QWebEngineScript::DocumentCreation);
    watcher.setWorldId(QWebEngineScript::MainWorld);
    watcher.setRunsOnSubFrames(false);
    watcher.setSourceCode(
        kSettleWatcher.arg(key).arg(kShortTimerMs).arg(kTimerNesting).arg(kLongestWaitMs));
    m_profile->scripts()->insert(watcher);
    m_statusScript =
        QStringLiteral("(function () { var f = window['%1']; return typeof f === 'function' ? "
                       "f() : %2; })()")
            .arg(key)
            .arg(kNoWatcher);
}

PageRenderHost::~PageRenderHost() {
    // The pages before their profile.
    qDeleteAll(std::exchange(m_underWay, {}));
    qDeleteAll(std::exchange(m_closing, {}));
}

void PageRenderHost::render(const RenderRequest& request, Done done) {
    m_waiting.enqueue({request, std::move(done)});
    startWaiting();
}

void PageRenderHost::startWaiting() {
    while (m_underWay.size() < kMostPagesAtOnce && !m_waiting.isEmpty()) {
        auto [request, done] = m_waiting.dequeue();
        auto* render = new PageRender(m_profile.get(), m_statusScript, std::move(request),
                                      std::move(done), [this](PageRender* r) { ended(r); });
        m_underWay.append(render);
        render->start(); // once listed, since it may end at once
    }
}

// An answered page is closed on the next turn of the event loop, not inside
// its own signal.
void PageRenderHost::ended(PageRender* render) {
    m_underWay.removeOne(render);
    m_closing.append(render);
    QTimer::singleShot(0, this, [this, render] {
        if (m_closing.removeOne(render))
            delete render;
    });
    startWaiting();
}

} // namespace corvantis::render
