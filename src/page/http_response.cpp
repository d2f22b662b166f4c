#include "page/http_response.h"

#include "util/text_utils.h"

#include <QStringView>

#include <algorithm>

namespace corvantis::scan {

namespace {

const QLatin1String kBlankLine("\r\n\r\n");

// The header block's end is remembered in a 16-bit position: a blank line that
// ends beyond this 1-based position is never recognised while data arrives.
constexpr qsizetype kMaxHeaderEndPosition = 32767;

struct StatusText {
    QLatin1String code;
    QLatin1String text;
};

const StatusText kFailureStatuses[] = {
    {QLatin1String("400"), QLatin1String("400 Bad request")},
    {QLatin1String("401"), QLatin1String("401 Unauthorized")},
    {QLatin1String("402"), QLatin1String("402 PaymentRequired")},
    {QLatin1String("403"), QLatin1String("403 Forbidden")},
    {QLatin1String("404"), QLatin1String("404 Not found")},
    {QLatin1String("405"), QLatin1String("405 Method Not Allowed")},
    {QLatin1String("406"), QLatin1String("406 Not Acceptable")},
    {QLatin1String("407"), QLatin1String("407 Proxy Authentication Required")},
    {QLatin1String("408"), QLatin1String("408 request timeout")},
    {QLatin1String("409"), QLatin1String("409 Conflict")},
    {QLatin1String("410"), QLatin1String("410 Gone")},
    {QLatin1String("411"), QLatin1String("411 Length Required")},
    {QLatin1String("412"), QLatin1String("412 Precondition Failed")},
    {QLatin1String("413"), QLatin1String("413 Request Entity Too Large")},
    {QLatin1String("414"), QLatin1String("414 Request-URI Too Long")},
    {QLatin1String("415"), QLatin1String("415 Unsupported Media Type")},
    {QLatin1String("429"), QLatin1String("429 Too Many Requests")},
    {QLatin1String("500"), QLatin1String("500 Internal Error")},
    {QLatin1String("501"), QLatin1String("501 Not implemented")},
    {QLatin1String("502"), QLatin1String("502 Bad Gateway")},
    {QLatin1String("503"), QLatin1String("503 Service Unavailable")},
    {QLatin1String("504"), QLatin1String("504 Gateway timeout")},
    {QLatin1String("505"), QLatin1String("505 HTTP Not Version")},
};

} // namespace

QString RequestTarget(const QUrl& url) {
    QString target = url.path(QUrl::FullyEncoded);
    if (target.isEmpty())
        target = QStringLiteral("/");
    if (url.hasQuery())
        target += QLatin1Char('?') + url.query(QUrl::FullyEncoded);
    return target;
}

QByteArray BuildRequest(const QString& host, const QString& path, bool keepAlive) {
    const QString request = QLatin1String("GET ") + path + QLatin1String(" HTTP/1.1\r\n") +
                            QLatin1String("Host: ") + host + QLatin1String("\r\n") +
                            (keepAlive ? QLatin1String("Connection: keep-alive\r\n")
                                       : QLatin1String("Connection: close\r\n")) +
                            QLatin1String("Accept: */*\r\n") +
                            QLatin1String("User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; "
                                          "Windows NT 5.1; SV1)\r\n") +
                            QLatin1String("\r\n");
    return request.toLatin1();
}

std::optional<QString> HttpErrorText(const QString& headerBlock) {
    const QStringView header(headerBlock);
    const qsizetype firstSpace = header.indexOf(u' ');
    if (firstSpace < 0)
        return std::nullopt;
    // Past the protocol name; the code is what stands before the next space. A
    // status line without a reason phrase therefore runs into the next header
    // line and matches nothing.
    const QStringView rest = header.mid(firstSpace + 1);
    const qsizetype codeEnd = rest.indexOf(u' ');
    if (codeEnd < 0)
        return std::nullopt;
    const QStringView code = rest.left(codeEnd);
    if (code.isEmpty() || code == u"200")
        return std::nullopt;
    for (const StatusText& s : kFailureStatuses) {
        if (code == s.code)
            return QString(s.text);
    }
    return std::nullopt;
}

bool StatusLeavesPageUnread(int code) {
    return code >= 500 || code == 429 || code == 401 || code == 403 || code == 407;
}

int StatusCode(QStringView header) {
    // "HTTP/1.1 301 Moved": the three digits after the first space.
    const qsizetype space = header.indexOf(u' ');
    if (space < 0 || header.size() < space + 4)
        return 0;
    const QStringView code = header.mid(space + 1, 3);
    int value = 0;
    for (const QChar c : code) {
        if (c < u'0' || c > u'9')
            return 0;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

std::optional<QString> HeaderValue(QStringView header, QStringView name) {
    qsizetype lineStart = header.indexOf(QLatin1String("\r\n"));
    while (lineStart >= 0) {
        lineStart += 2;
        qsizetype lineEnd = header.indexOf(QLatin1String("\r\n"), lineStart);
        if (lineEnd < 0)
            lineEnd = header.size();
        const QStringView line = header.mid(lineStart, lineEnd - lineStart);
        const qsizetype colon = line.indexOf(u':');
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed().toString();
        if (lineEnd >= header.size())
            break;
        lineStart = lineEnd;
    }
    return std::nullopt;
}

bool KeepsConnectionOpen(QStringView header) {
    // Every Connection field counts, each a comma-separated list of options.
    bool close = false;
    bool keepAlive = false;
    for (const QStringView line : header.split(u"\r\n")) {
        const qsizetype colon = line.indexOf(u':');
        if (colon <= 0 ||
            line.left(colon).trimmed().compare(u"Connection", Qt::CaseInsensitive) != 0)
            continue;
        for (const QStringView option : line.mid(colon + 1).split(u',')) {
            close = close || option.trimmed().compare(u"close", Qt::CaseInsensitive) == 0;
            keepAlive =
                keepAlive || option.trimmed().compare(u"keep-alive", Qt::CaseInsensitive) == 0;
        }
    }
    if (close)
        return false;
    return header.startsWith(u"HTTP/1.1 ") || (header.startsWith(u"HTTP/1.0 ") && keepAlive);
}

bool IsRedirectStatus(int code) {
    return code == 301 || code == 302 || code == 303 || code == 307 || code == 308;
}

std::optional<QString> RedirectLocation(QStringView header) {
    if (!IsRedirectStatus(StatusCode(header)))
        return std::nullopt;
    std::optional<QString> location = HeaderValue(header, u"Location");
    if (location && location->isEmpty())
        return std::nullopt;
    return location;
}

std::optional<qint64> RetryAfterSeconds(QStringView header, const QDateTime& now) {
    const int code = StatusCode(header);
    if (code != 429 && code != 503)
        return std::nullopt;
    const std::optional<QString> value = HeaderValue(header, u"Retry-After");
    if (!value || value->isEmpty())
        return std::nullopt;
    bool number = false;
    const qint64 seconds = value->toLongLong(&number);
    if (number)
        return seconds >= 0 ? std::optional(seconds) : std::nullopt;
    // An HTTP date: "Sun, 06 Nov 1994 08:49:37 GMT"; one in the past means now.
    // Qt reads the zone as an offset, not by the name HTTP dates carry.
    QString date = *value;
    if (date.endsWith(QLatin1String(" GMT")))
        date.replace(date.size() - 3, 3, QStringLiteral("+0000"));
    const QDateTime at = QDateTime::fromString(date, Qt::RFC2822Date);
    if (!at.isValid())
        return std::nullopt;
    // Whole seconds, rounded up: the wait is never shorter than asked.
    return qMax<qint64>(0, (now.msecsTo(at) + 999) / 1000);
}

bool IsChunked(QStringView header) {
    const std::optional<QString> coding = HeaderValue(header, u"Transfer-Encoding");
    return coding && coding->contains(QLatin1String("chunked"), Qt::CaseInsensitive);
}

QString DecodeChunked(QStringView body) {
    QString out;
    out.reserve(body.size());
    qsizetype pos = 0;
    while (pos < body.size()) {
        const qsizetype lineEnd = body.indexOf(QLatin1String("\r\n"), pos);
        if (lineEnd < 0)
            break; // the size line breaks off
        // The size in hexadecimal, maybe followed by ";extensions".
        QStringView sizeText = body.mid(pos, lineEnd - pos);
        if (const qsizetype semi = sizeText.indexOf(u';'); semi >= 0)
            sizeText = sizeText.left(semi);
        bool ok = false;
        const qint64 size = sizeText.trimmed().toLongLong(&ok, 16);
        if (!ok || size < 0)
            break; // not a chunk stream from here on
        if (size == 0)
            break; // the last chunk; trailers follow
        const qsizetype start = lineEnd + 2;
        const qsizetype take = std::min<qint64>(size, body.size() - start);
        out += body.mid(start, take);
        pos = start + take;
        if (take < size || body.mid(pos, 2) != QLatin1String("\r\n"))
            break; // cut short, or the chunk does not end where its size says
        pos += 2;
    }
    return out;
}

HeaderScan ScanHeader(const QString& buffer) {
    HeaderScan scan;
    // Only the start of the buffer can hold a blank line that counts; looking no
    // further keeps the scan of a growing buffer cheap.
    const QStringView window =
        QStringView(buffer).left(kMaxHeaderEndPosition - 1 + kBlankLine.size());
    const qsizetype end = window.indexOf(kBlankLine);
    if (end < 0 || end + 1 > kMaxHeaderEndPosition)
        return scan;
    scan.found = true;
    scan.bodyStart = end + kBlankLine.size();

    // The first header line naming Content-Length (exact case, anywhere in the
    // line) decides; its value is what follows the line's first space.
    const QStringView head = window.left(end);
    const qsizetype at = head.indexOf(QLatin1String("Content-Length"), 0, Qt::CaseSensitive);
    if (at < 0)
        return scan;
    const qsizetype lineStart = [&] {
        const qsizetype crlf = head.lastIndexOf(QLatin1String("\r\n"), at);
        return crlf < 0 ? 0 : crlf + 2;
    }();
    qsizetype lineEnd = head.indexOf(QLatin1String("\r\n"), at);
    if (lineEnd < 0)
        lineEnd = head.size();
    const QStringView line = head.mid(lineStart, lineEnd - lineStart);
    const qsizetype space = line.indexOf(u' ');
    if (space < 0)
        return scan;
    if (const auto length = util::ToInt32(line.mid(space + 1).toString()))
        scan.contentLength = *length;
    return scan;
}

namespace {
// Where the first CR LF CR LF starts, or -1: the exact search runs from one CR to the next.
qsizetype IndexOfBlankLine(QStringView t, qsizetype from = 0) {
    for (qsizetype i = t.indexOf(u'\r', from); i >= 0 && i + 3 < t.size();
         i = t.indexOf(u'\r', i + 1))
        if (t[i + 1] == u'\n' && t[i + 2] == u'\r' && t[i + 3] == u'\n')
            return i;
    return -1;
}
} // namespace

SplitResponse SplitFinishedResponse(QString buffer) {
    SplitResponse r;
    const qsizetype end = IndexOfBlankLine(buffer);
    if (end < 0) {
        r.body = std::move(buffer);
        return r;
    }
    r.header = buffer.left(end + kBlankLine.size());
    r.body = std::move(buffer);
    r.body.remove(0, r.header.size());
    // Every copy of the header block goes, not only the leading one, in any letter
    // case; a copy ends in a blank line, so a body without one has none.
    if (IndexOfBlankLine(r.body) >= 0)
        r.body = util::ReplaceAllCI(r.body, r.header, u"");
    return r;
}

namespace {

using Stage = ResponseProgress::Stage;

// Past these sizes a header block or one line of a chunk stream is not taken for
// one, and the server's close ends the response.
constexpr qsizetype kMaxFramedHeader = 64 * 1024;
constexpr qsizetype kMaxFramedLine = 4 * 1024;

// Where the body of a response with this header block ends; `remaining` gets
// the length of a body of known size, `keepsOpen` whether the connection may
// carry another request after it.
Stage StageAfterHeader(QByteArrayView head, qint64& remaining, bool& keepsOpen) {
    if (!head.startsWith("HTTP/"))
        return Stage::UntilClose;
    const QString header = QString::fromLatin1(head);
    const int code = StatusCode(header);
    if (code >= 100 && code < 200) // interim: the final response follows
        return code == 101 ? Stage::UntilClose : Stage::Header;
    keepsOpen = KeepsConnectionOpen(header);
    if (code == 204 || code == 304)
        return Stage::Complete;
    // A transfer coding decides over any length; one other than chunked ends
    // only with the connection.
    if (HeaderValue(header, u"Transfer-Encoding"))
        return IsChunked(header) ? Stage::ChunkSize : Stage::UntilClose;
    const std::optional<QString> length = HeaderValue(header, u"Content-Length");
    if (!length || length->isEmpty() || length->size() > 18)
        return Stage::UntilClose;
    remaining = 0;
    for (const QChar c : *length) {
        if (c < u'0' || c > u'9')
            return Stage::UntilClose;
        remaining = remaining * 10 + (c.unicode() - u'0');
    }
    return remaining == 0 ? Stage::Complete : Stage::Body;
}

// Moves `data` up to and including its first LF into `line`; true when the LF came.
bool TakeLine(QByteArray& line, QByteArrayView& data) {
    const qsizetype lf = data.indexOf('\n');
    const qsizetype n = lf < 0 ? data.size() : lf + 1;
    line.append(data.first(n));
    data = data.sliced(n);
    return lf >= 0;
}

// A finished line without its LF and an optional CR before it.
QByteArrayView LineText(const QByteArray& line) {
    QByteArrayView text = QByteArrayView(line).chopped(1);
    return text.endsWith('\r') ? text.chopped(1) : text;
}

// The size a chunk-size line ("1a3f;name=value") announces, or -1 when it is no size.
qint64 ChunkSizeOf(QByteArrayView line) {
    if (const qsizetype semi = line.indexOf(';'); semi >= 0)
        line = line.first(semi);
    line = line.trimmed();
    if (line.isEmpty())
        return -1;
    while (line.size() > 1 && line.front() == '0')
        line = line.sliced(1);
    if (line.size() > 15) // would not fit in 64 bits
        return -1;
    qint64 size = 0;
    for (const char c : line) {
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0)
            return -1;
        size = size * 16 + digit;
    }
    return size;
}

// The Header stage: bytes go to `pending` up to the blank line that ends the block.
void AdvanceHeader(ResponseProgress& p, QByteArrayView& data) {
    // Only the new bytes and the three before them can hold a blank line not yet seen.
    const qsizetype before = p.pending.size();
    const qsizetype take = std::min(data.size(), kMaxFramedHeader - before);
    p.pending.append(data.first(take));
    const qsizetype blank = p.pending.indexOf("\r\n\r\n", std::max<qsizetype>(before - 3, 0));
    if (blank < 0) {
        data = data.sliced(take);
        if (p.pending.size() >= kMaxFramedHeader) {
            p.pending.clear();
            p.stage = Stage::UntilClose;
        }
        return;
    }
    const qsizetype headerEnd = blank + 4;
    data = data.sliced(headerEnd - before);
    p.stage =
        StageAfterHeader(QByteArrayView(p.pending).first(headerEnd), p.remaining, p.keepsOpen);
    p.pending.clear();
}

// The Body and ChunkData stages: a known count of bytes, passed over.
void AdvanceCounted(ResponseProgress& p, QByteArrayView& data) {
    const qint64 n = std::min<qint64>(p.remaining, data.size());
    p.remaining -= n;
    data = data.sliced(n);
    if (p.remaining == 0)
        p.stage = p.stage == Stage::Body ? Stage::Complete : Stage::ChunkEnd;
}

// The ChunkSize, ChunkEnd and Trailer stages: a line of the chunk stream's framing.
void AdvanceFramingLine(ResponseProgress& p, QByteArrayView& data) {
    if (!TakeLine(p.pending, data)) {
        // Nothing but a CR may stand between a chunk's data and its LF.
        const qsizetype limit = p.stage == Stage::ChunkEnd ? 1 : kMaxFramedLine;
        if (p.pending.size() > limit) {
            p.pending.clear();
            p.stage = Stage::UntilClose;
        }
        return;
    }
    const QByteArrayView line = LineText(p.pending);
    if (p.stage == Stage::ChunkSize) {
        const qint64 size = ChunkSizeOf(line);
        p.remaining = std::max<qint64>(size, 0);
        p.stage = size < 0 ? Stage::UntilClose : size == 0 ? Stage::Trailer : Stage::ChunkData;
    } else if (p.stage == Stage::ChunkEnd) {
        p.stage = line.isEmpty() ? Stage::ChunkSize : Stage::UntilClose;
    } else if (line.isEmpty()) {
        p.stage = Stage::Complete;
    }
    p.pending.clear();
}

} // namespace

ResponseProgress AdvanceResponse(ResponseProgress p, QByteArrayView data) {
    while (!data.isEmpty() && p.stage != Stage::UntilClose && p.stage != Stage::Complete) {
        switch (p.stage) {
        case Stage::Header:
            AdvanceHeader(p, data);
            break;
        case Stage::Body:
        case Stage::ChunkData:
            AdvanceCounted(p, data);
            break;
        case Stage::ChunkSize:
        case Stage::ChunkEnd:
        case Stage::Trailer:
            AdvanceFramingLine(p, data);
            break;
        case Stage::UntilClose:
        case Stage::Complete:
            break;
        }
    }
    if (p.stage == Stage::Complete)
        p.excess += data.size();
    return p;
}

} // namespace corvantis::scan
