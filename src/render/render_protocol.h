#pragma once

#include "page/http_response.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace corvantis::render {

// How the scan and the page renderer (corvantis-render, a process of its own so
// that the scan loads no web engine unless a page needs rendering) talk: one
// JSON object per line each way. Several pages may be under way at once, so
// every request carries an id the scan gives it and its answer repeats; answers
// come in the order the pages settle.
//
//   request: {"id":7,"url":"https://partner.example/","timeout_ms":15000}
//   answer:  {"id":7,"ok":true,"html":"<html>...","error":""}

// The most pages one renderer holds at once.
inline constexpr int kMostPagesAtOnce = 10;
// A rendered document may be as large as a fetched page, and no larger.
inline constexpr qsizetype kMaxDocumentBytes = scan::kMaxResponseBytes;
// An answer's line: the document, escaped for JSON, and a margin; the renderer
// sends no longer line, and the scan reads none.
inline constexpr qsizetype kMaxAnswerLineBytes = kMaxDocumentBytes + kMaxDocumentBytes / 2;
// A request's line: an address and two numbers.
inline constexpr qsizetype kMaxRequestLineBytes = 1024 * 1024;

struct RenderRequest {
    qint64 id = 0; // 1 and up
    QString url;   // with its scheme
    int timeoutMs = 60000;
};

struct RenderReply {
    qint64 id = 0; // the request's
    bool ok = false;
    QString html;  // the document as the browser holds it once its scripts have run
    QString error; // why there is none
};

QByteArray RequestLine(const RenderRequest& request);
// nullopt for a line that is not a request: not JSON, no id of 1 or more, no url.
std::optional<RenderRequest> ParseRequest(const QByteArray& line);
QByteArray ReplyLine(const RenderReply& reply);
// nullopt for a line that is not an answer: not JSON, no id of 1 or more, no
// "ok" of true or false, or an html or error that is not text.
std::optional<RenderReply> ParseReply(const QByteArray& line);

} // namespace corvantis::render
