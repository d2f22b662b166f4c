#pragma once

#include "render/render_protocol.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

class QWebEnginePage;
class QWebEngineProfile;

namespace corvantis::render {

// Renders one page at a time in a web page without a view: loads it (no images,
// media or fonts), waits for the load to end and then for its document to stay
// the same a while (within the request's time-out), marks the links the
// browser does not show with the hidden attribute (and drops every other
// hidden attribute and inline style, so that only the browser's judgement
// remains) and gives back the document.
class PageRenderHost : public QObject {
    Q_OBJECT
public:
    explicit PageRenderHost(QObject* parent = nullptr);
    ~PageRenderHost() override;

    void render(const RenderRequest& request, std::function<void(const RenderReply&)> done);

private:
    void pollDocument();
    void finish(const RenderReply& reply);

    std::unique_ptr<QWebEngineProfile> m_profile;
    std::unique_ptr<QWebEnginePage> m_page;
    std::function<void(const RenderReply&)> m_done;
    QTimer m_deadline;
    QTimer m_poll;
    QString m_lastDocument;
    int m_quietPolls = 0;
    int m_pollsAfterLoad = 0;
    bool m_loaded = false;
    quint64 m_generation = 0; // a late answer of an earlier page is not this one's
};

} // namespace corvantis::render
