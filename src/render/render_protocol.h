#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace corvantis::render {

// How the scan and the page renderer (corvantis-render, a process of its own so
// that the scan loads no web engine unless a page needs rendering) talk: one
// JSON object per line each way.

struct RenderRequest {
    QString url; // with its scheme
    int timeoutMs = 60000;
};

struct RenderReply {
    bool ok = false;
    QString html;  // the document as the browser holds it once its scripts have run
    QString error; // why there is none
};

QByteArray RequestLine(const RenderRequest& request);
std::optional<RenderRequest> ParseRequest(const QByteArray& line);
QByteArray ReplyLine(const RenderReply& reply);
std::optional<RenderReply> ParseReply(const QByteArray& line);

} // namespace corvantis::render
