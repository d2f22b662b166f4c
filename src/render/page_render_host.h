#pragma once

#include "render/render_protocol.h"

#include <QList>
#include <QObject>
#include <QQueue>

#include <functional>
#include <memory>
#include <utility>

class QWebEngineProfile;

namespace corvantis::render {

// Renders pages without a view, up to kMostPagesAtOnce at once in one profile
// (more wait in order), each in a web page of its own that is closed once
// answered, so a page that hung leaves nothing behind for the next. A page
// loads (no images, media or fonts) and is settled when its load has ended, no
// fetch, XMLHttpRequest or script added after the load is under way, no timer
// of up to a second is pending and its document has not changed for 300 ms:
// within the request's time-out, or it fails. Then the links the browser does
// not show get the hidden attribute (every other hidden attribute and inline
// style is dropped, so that only the browser's judgement remains) and the
// document is handed back.
class PageRenderHost : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(const RenderReply&)>;

    explicit PageRenderHost(QObject* parent = nullptr);
    ~PageRenderHost() override;

    // done gets the answer, with the request's id, once.
    void render(const RenderRequest& request, Done done);
    // Pages loaded or waiting to be.
    qsizetype underWay() const { return m_underWay.size() + m_waiting.size(); }

private:
    class PageRender;
    void startWaiting();
    void ended(PageRender* render);

    std::unique_ptr<QWebEngineProfile> m_profile;
    QString m_statusScript; // asks the page's settle watcher how long it has been quiet
    QList<PageRender*> m_underWay;
    QList<PageRender*> m_closing; // answered, deleted on the next turn of the event loop
    QQueue<std::pair<RenderRequest, Done>> m_waiting;
};

} // namespace corvantis::render
