#pragma once

// Fuzz body for the response side of a page fetch: the response arrives in
// chunks of varying size and the header scan runs on the growing buffer after
// each one, as it does while data arrives; the finished buffer is then split
// into header block and body and its status checked, its body decoded as a
// chunked stream and its redirect target read. Where the response ends is told
// from the same chunks.
// Input: one byte seeding the chunk sizes, one byte for padding, the response.
// With the padding byte's top bit set, a filler header line moves the blank
// line to around the 32,767th character, where it stops being recognised.

#include "fuzz_support.h"
#include "page/http_response.h"

namespace corvantis::fuzz {

using namespace corvantis::scan;

namespace http_response_detail {

const QLatin1String kBlankLine("\r\n\r\n");

inline QString WithPadding(const QString& response, std::uint8_t control) {
    if (!(control & 0x80))
        return response;
    const qsizetype lineEnd = response.indexOf(QLatin1String("\r\n"));
    const qsizetype at = lineEnd < 0 ? 0 : lineEnd + 2;
    const QString filler = QLatin1String("X-Pad: ") +
                           QString(32700 + (control & 0x7f), QLatin1Char('p')) +
                           QLatin1String("\r\n");
    return response.left(at) + filler + response.mid(at);
}

// Chunk sizes from a small generator, capped so that a long response is not
// fed one character at a time.
class Chunker {
public:
    Chunker(std::uint8_t seed, qsizetype total)
        : m_state(seed * 2654435761u + 1), m_max(qsizetype(1) << (seed % 14)),
          m_min(std::max<qsizetype>(1, total / 40)) {}
    qsizetype Next() {
        m_state = m_state * 1103515245u + 12345u;
        return std::max(m_min, 1 + qsizetype((m_state >> 8) % quint32(m_max)));
    }

private:
    quint32 m_state;
    qsizetype m_max;
    qsizetype m_min;
};

inline QString Describe(const HeaderScan& s) {
    return QStringLiteral("found=%1 bodyStart=%2 contentLength=%3")
        .arg(s.found)
        .arg(s.bodyStart)
        .arg(s.contentLength);
}

} // namespace http_response_detail

inline int HttpResponseOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace http_response_detail;
    if (size < 2)
        return 0;
    const QString response = WithPadding(Latin1(data + 2, size - 2), data[1]);

    Chunker chunker(data[0], response.size());
    QString buffer;
    HeaderScan seen;
    const QByteArray bytes = response.toLatin1();
    ResponseProgress progress;
    for (qsizetype pos = 0; pos < response.size();) {
        const qsizetype n = chunker.Next();
        buffer += QStringView(response).mid(pos, n);
        const bool wasComplete = progress.complete();
        progress =
            AdvanceResponse(std::move(progress),
                            QByteArrayView(bytes).sliced(pos, std::min(n, bytes.size() - pos)));
        FUZZ_CHECK(!wasComplete || progress.complete(), buffer.left(64), QString());
        pos += n;
        if (seen.found)
            continue;
        seen = ScanHeader(buffer);
        const qsizetype blank = buffer.indexOf(kBlankLine);
        if (seen.found) {
            FUZZ_CHECK(blank + 4 == seen.bodyStart, buffer.left(64), Describe(seen));
            FUZZ_CHECK(blank + 1 <= 32767, buffer.left(64), Describe(seen));
            if (seen.contentLength != 0)
                FUZZ_CHECK(buffer.left(blank).contains(QLatin1String("Content-Length")),
                           buffer.left(blank), Describe(seen));
        } else {
            FUZZ_CHECK(blank < 0 || blank + 1 > 32767, buffer.left(64), Describe(seen));
            FUZZ_CHECK(seen.bodyStart == 0 && seen.contentLength == 0, buffer.left(64),
                       Describe(seen));
        }
    }

    // How the data was cut into chunks changes nothing.
    const HeaderScan whole = ScanHeader(response);
    FUZZ_CHECK(whole.found == seen.found && whole.bodyStart == seen.bodyStart &&
                   whole.contentLength == seen.contentLength,
               Describe(whole), Describe(seen));
    const ResponseProgress once = AdvanceResponse({}, bytes);
    FUZZ_CHECK(once.stage == progress.stage && once.remaining == progress.remaining &&
                   once.excess == progress.excess && once.keepsOpen == progress.keepsOpen,
               response.left(64), QString::number(int(progress.stage)));

    const SplitResponse split = SplitFinishedResponse(response);
    const qsizetype blank = response.indexOf(kBlankLine);
    if (blank < 0) {
        FUZZ_CHECK(split.header.isEmpty() && split.body == response, response.left(64),
                   split.header);
    } else {
        FUZZ_CHECK(split.header == response.left(blank + 4), response.left(64), split.header);
        // The body is what is left after whole copies of the header block went.
        const qsizetype removed = response.size() - split.header.size() - split.body.size();
        FUZZ_CHECK(removed >= 0 && removed % split.header.size() == 0, split.header, split.body);
    }
    if (seen.found)
        FUZZ_CHECK(split.header.size() == seen.bodyStart, split.header, Describe(seen));

    if (const auto error = HttpErrorText(split.header)) {
        // The code is the status line's second word, followed by a space.
        const qsizetype space = split.header.indexOf(u' ');
        FUZZ_CHECK(error->size() > 4 && error->at(3) == u' ', split.header, *error);
        FUZZ_CHECK(split.header.mid(space + 1, 4) == error->left(4), split.header, *error);
    }

    // A chunked body decodes to no more than it holds, and a stream re-chunked
    // from the decoded text decodes back to it.
    const QString decoded = DecodeChunked(split.body);
    FUZZ_CHECK(decoded.size() <= split.body.size(), split.body.left(64), decoded.left(64));
    const QString rechunked = QString::number(decoded.size(), 16) + QLatin1String("\r\n") +
                              decoded + QLatin1String("\r\n0\r\n\r\n");
    FUZZ_CHECK(decoded.isEmpty() || DecodeChunked(rechunked) == decoded, decoded.left(64),
               rechunked.left(64));
    // Such a stream is whole at its last byte and not before.
    if (!decoded.isEmpty()) {
        const QByteArray framed =
            "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + rechunked.toLatin1();
        const ResponseProgress early = AdvanceResponse({}, framed.chopped(1));
        FUZZ_CHECK(!early.complete() && AdvanceResponse(early, framed.right(1)).complete(),
                   rechunked.left(64), QString::number(int(early.stage)));
    }
    if (const auto location = RedirectLocation(split.header))
        FUZZ_CHECK(!location->isEmpty() && IsRedirectStatus(StatusCode(split.header)), split.header,
                   *location);
    return 0;
}

} // namespace corvantis::fuzz
