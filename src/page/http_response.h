#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <QUrl>

#include <optional>

namespace corvantis::scan {

// Ceiling of one page's response; what a server sends beyond it is read and dropped.
inline constexpr qsizetype kMaxResponseBytes = 16 * 1024 * 1024;

// What a request for the URL asks for: its path ("/" when empty) and query, encoded.
QString RequestTarget(const QUrl& url);

// The fixed GET request for a page, one byte per character. It asks the server
// to close the connection after the answer, or, with keepAlive, to keep it open
// for the next request; nothing else differs.
QByteArray BuildRequest(const QString& host, const QString& path, bool keepAlive = false);

// Whether a response with this header block lets its connection carry another
// request: HTTP/1.1 unless a Connection field names "close", HTTP/1.0 only when
// one names "keep-alive".
bool KeepsConnectionOpen(QStringView headerBlock);

// The error text ("404 Not found", ...) a header block's status line stands for,
// or nothing for 200 and every code that is not a failure status.
std::optional<QString> HttpErrorText(const QString& headerBlock);

// Whether a response with this status says nothing of the page's content (a
// server error, 429, or a login or proxy in the way), so a link missing from it
// is not known to be gone. 404 and 410 are answers about the page.
bool StatusLeavesPageUnread(int code);

// The status code of a header block's status line (0 when there is none).
int StatusCode(QStringView headerBlock);

// The value of a header field (name compared without regard to letter case), or
// nothing; the first line naming it counts.
std::optional<QString> HeaderValue(QStringView headerBlock, QStringView name);

// 301, 302, 303, 307 and 308.
bool IsRedirectStatus(int code);

// The target of a redirect response (301, 302, 303, 307 or 308 with a Location
// header), or nothing.
std::optional<QString> RedirectLocation(QStringView headerBlock);

// How long a 429 or 503 response asks the client to wait before asking again:
// its Retry-After header in seconds or as an HTTP date (against now); nothing
// for other statuses or a value that is neither.
std::optional<qint64> RetryAfterSeconds(QStringView headerBlock, const QDateTime& now);

// True when the header block announces a chunked body.
bool IsChunked(QStringView headerBlock);

// The body of a chunked response with the chunk-size lines, the chunk ends and
// the trailers taken out. A stream that breaks off or goes wrong keeps what was
// decoded up to that point.
QString DecodeChunked(QStringView body);

// What the arriving data tells about the header block so far: whether the blank
// line ending it was seen within the first 32,767 characters, where the body
// starts, and the Content-Length (0 when none or not a number).
struct HeaderScan {
    bool found = false;
    qsizetype bodyStart = 0; // characters of the header block including the blank line
    qint32 contentLength = 0;
};
HeaderScan ScanHeader(const QString& buffer);

// A finished response taken apart: the header block (up to and including the
// first blank line) and the body. A response without a blank line is all body.
struct SplitResponse {
    QString header;
    QString body;
};
SplitResponse SplitFinishedResponse(QString buffer);

// How far a response has come, so that a page is known to be whole without
// waiting for the server to close the connection: many keep it open, or close it
// only seconds later. Every byte received goes through AdvanceResponse in order,
// those past the ceiling too; each byte is looked at once however the response
// is cut into reads.
struct ResponseProgress {
    enum class Stage : quint8 {
        Header,     // the header block so far is in `pending`
        Body,       // `remaining` bytes of a Content-Length body to come
        ChunkSize,  // the chunk-size line so far is in `pending`
        ChunkData,  // `remaining` bytes of the chunk to come
        ChunkEnd,   // the CR LF after a chunk's data
        Trailer,    // after the last chunk: trailer lines up to an empty one
        UntilClose, // nothing tells where the body ends: the server's close does
        Complete,
    };
    Stage stage = Stage::Header;
    qint64 remaining = 0;
    QByteArray pending;
    // The final response's header lets the connection carry another request.
    bool keepsOpen = false;
    // Bytes that came after the end of a complete response: a server that sends
    // them is not one to send the next request to.
    qint64 excess = 0;

    bool complete() const { return stage == Stage::Complete; }
};

// The progress after `data`, the next bytes of the response. A response is
// complete at the end of its Content-Length body, at the blank line after the
// last chunk and its trailer, or at the end of its header for 204 and 304.
// Interim 1xx responses are passed over. A response that says nothing certain
// about its end (no length, a broken chunk stream, a header that does not look
// like HTTP or never ends) stays incomplete. What comes after the end is counted
// in `excess`.
ResponseProgress AdvanceResponse(ResponseProgress progress, QByteArrayView data);

} // namespace corvantis::scan
