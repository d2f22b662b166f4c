#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace corvantis::scan {

// Ceiling of one page's response; what a server sends beyond it is read and dropped.
inline constexpr qsizetype kMaxResponseBytes = 16 * 1024 * 1024;

// A queued address taken apart for the fetch.
struct PageAddress {
    QString slotHost;  // host name, no scheme, no slash
    QString slotPath;  // always starts with "/"
    QString strCurUrl; // scheme-less address of the page
    QString strCurDir; // its directory, ending in "/"
};

// Splits an address from the queue into host, path, page address and directory.
PageAddress SplitPageAddress(const QString& strURL);

// The fixed GET request for a page, one byte per character.
QByteArray BuildRequest(const QString& host, const QString& path);

// The error text ("404 Not found", ...) a header block's status line stands for,
// or nothing for 200 and every code that is not a failure status.
std::optional<QString> HttpErrorText(const QString& headerBlock);

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

} // namespace corvantis::scan
