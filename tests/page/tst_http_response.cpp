#include "page/http_response.h"
#include "support/test_env.h"

using namespace corvantis::scan;

namespace {
QString Crlf(const char* text) {
    return QString::fromLatin1(text).replace(u'|', QStringLiteral("\r\n"));
}
} // namespace

class HttpResponseTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void buildRequest_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("keepAlive");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray tail = "Connection: close\r\n"
                                "Accept: */*\r\n"
                                "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; "
                                "SV1)\r\n"
                                "\r\n";
        QTest::newRow("directory") << "partner.example.com"
                                   << "/links" << false
                                   << QByteArray("GET /links HTTP/1.1\r\n"
                                                 "Host: partner.example.com\r\n" +
                                                 tail);
        QTest::newRow("path goes out as it is") << "partner.example.com:8080"
                                                << "/a b?x=%20&y=1" << false
                                                << QByteArray("GET /a b?x=%20&y=1 HTTP/1.1\r\n"
                                                              "Host: partner.example.com:8080\r\n" +
                                                              tail);
        QTest::newRow("one byte per character")
            << "a.example.com" << QString::fromLatin1("/caf\xe9") << false
            << QByteArray("GET /caf\xe9 HTTP/1.1\r\n"
                          "Host: a.example.com\r\n" +
                          tail);
        // Only the Connection line differs: the server may keep the connection.
        QTest::newRow("keep-alive") << "partner.example.com"
                                    << "/links" << true
                                    << QByteArray("GET /links HTTP/1.1\r\n"
                                                  "Host: partner.example.com\r\n" +
                                                  QByteArray(tail).replace("close", "keep-alive"));
    }
    void buildRequest() {
        QFETCH(QString, host);
        QFETCH(QString, path);
        QFETCH(bool, keepAlive);
        QFETCH(QByteArray, expected);
        QCOMPARE(BuildRequest(host, path, keepAlive), expected);
        if (!keepAlive)
            QCOMPARE(BuildRequest(host, path), expected); // the request of one connection a page
    }

    // Whether the connection may carry the next request after this response.
    void keepsConnectionOpen_data() {
        QTest::addColumn<QString>("header");
        QTest::addColumn<bool>("open");
        const auto row = [](const char* name, const char* header, bool open) {
            QTest::newRow(name) << QString::fromLatin1(header).replace(u'|', QLatin1String("\r\n"))
                                << open;
        };
        row("HTTP/1.1", "HTTP/1.1 200 OK|Content-Length: 1||", true);
        row("HTTP/1.1, keep-alive said", "HTTP/1.1 200 OK|Connection: Keep-Alive||", true);
        row("close", "HTTP/1.1 200 OK|Connection: close||", false);
        row("close in any case, among options", "HTTP/1.1 200 OK|connection: Upgrade, CLOSE ||",
            false);
        row("close in a second field", "HTTP/1.1 200 OK|Connection: keep-alive|Connection: close||",
            false);
        row("HTTP/1.0", "HTTP/1.0 200 OK|Content-Length: 1||", false);
        row("HTTP/1.0 with keep-alive", "HTTP/1.0 200 OK|Connection: keep-alive||", true);
        row("a field that only ends in Connection", "HTTP/1.1 200 OK|X-Connection: close||", true);
        row("not HTTP", "<html>||", false);
    }
    void keepsConnectionOpen() {
        QFETCH(QString, header);
        QFETCH(bool, open);
        QCOMPARE(KeepsConnectionOpen(header), open);
    }

    void httpErrorText_data() {
        QTest::addColumn<QString>("header");
        QTest::addColumn<QString>("expected"); // empty: no error
        QTest::newRow("404") << Crlf("HTTP/1.1 404 Not Found|Server: x||") << "404 Not found";
        QTest::newRow("402 text") << Crlf("HTTP/1.1 402 Payment Required||")
                                  << "402 PaymentRequired";
        QTest::newRow("408 text") << Crlf("HTTP/1.1 408 Request Timeout||")
                                  << "408 request timeout";
        QTest::newRow("415") << Crlf("HTTP/1.1 415 Unsupported Media Type||")
                             << "415 Unsupported Media Type";
        QTest::newRow("500 of HTTP/1.0")
            << Crlf("HTTP/1.0 500 Internal Server Error||") << "500 Internal Error";
        QTest::newRow("505") << Crlf("HTTP/1.1 505 HTTP Version Not Supported||")
                             << "505 HTTP Not Version";
        QTest::newRow("protocol name not checked") << Crlf("whatever 403 no||") << "403 Forbidden";
        QTest::newRow("200") << Crlf("HTTP/1.1 200 OK||") << "";
        QTest::newRow("301") << Crlf("HTTP/1.1 301 Moved Permanently|Location: /x||") << "";
        QTest::newRow("302") << Crlf("HTTP/1.1 302 Found||") << "";
        QTest::newRow("416 is not in the table")
            << Crlf("HTTP/1.1 416 Range Not Satisfiable||") << "";
        QTest::newRow("no reason phrase runs into the next line")
            << Crlf("HTTP/1.1 404|Content-Type: text/html||") << "";
        QTest::newRow("no reason phrase, folded next line")
            << Crlf("HTTP/1.1 404| continued||") << "";
        QTest::newRow("no reason phrase and no other space") << Crlf("HTTP/1.1 404||") << "";
        QTest::newRow("two spaces give an empty code") << Crlf("HTTP/1.1  404 Not Found||") << "";
        QTest::newRow("no space at all") << Crlf("HTTP/1.1||") << "";
        QTest::newRow("empty header") << ""
                                      << "";
        QTest::newRow("code with letters") << Crlf("HTTP/1.1 404a Not Found||") << "";
    }
    void httpErrorText() {
        QFETCH(QString, header);
        QFETCH(QString, expected);
        const auto text = HttpErrorText(header);
        QCOMPARE(text.has_value(), !expected.isEmpty());
        if (text)
            QCOMPARE(*text, expected);
    }

    void retryAfter_data() {
        QTest::addColumn<QString>("header");
        QTest::addColumn<qint64>("seconds"); // -1: none
        const QString busy = QStringLiteral("HTTP/1.1 503 Busy\r\nRetry-After: %1\r\n\r\n");
        QTest::newRow("seconds") << busy.arg(120) << qint64(120);
        QTest::newRow("429") << QStringLiteral("HTTP/1.1 429 Slow\r\nretry-after: 5\r\n\r\n")
                             << qint64(5);
        QTest::newRow("date") << busy.arg(QStringLiteral("Mon, 07 Dec 2026 12:00:30 GMT"))
                              << qint64(30);
        QTest::newRow("date gone by")
            << busy.arg(QStringLiteral("Mon, 07 Dec 2026 11:00:00 GMT")) << qint64(0);
        QTest::newRow("negative") << busy.arg(-5) << qint64(-1);
        QTest::newRow("words") << busy.arg(QStringLiteral("later")) << qint64(-1);
        QTest::newRow("other status")
            << QStringLiteral("HTTP/1.1 500 Oops\r\nRetry-After: 5\r\n\r\n") << qint64(-1);
    }
    void retryAfter() {
        QFETCH(QString, header);
        QFETCH(qint64, seconds);
        // Within a second: a date's wait is rounded up, never cut short.
        const QDateTime now(QDate(2026, 12, 7), QTime(12, 0, 0, 400), Qt::UTC);
        QCOMPARE(RetryAfterSeconds(header, now).value_or(-1), seconds);
    }

    void scanHeader_data() {
        QTest::addColumn<QString>("buffer");
        QTest::addColumn<bool>("found");
        QTest::addColumn<int>("bodyStart");
        QTest::addColumn<int>("contentLength");
        const QString ok = Crlf("HTTP/1.1 200 OK|");
        QTest::newRow("length known")
            << (ok + Crlf("Content-Length: 1234||<html>")) << true << int(ok.size() + 24) << 1234;
        QTest::newRow("header not complete yet")
            << (ok + Crlf("Content-Length: 1234|")) << false << 0 << 0;
        QTest::newRow("no length")
            << (ok + Crlf("Server: x||body")) << true << int(ok.size() + 13) << 0;
        QTest::newRow("no space after the colon")
            << (ok + Crlf("Content-Length:1234||")) << true << int(ok.size() + 23) << 0;
        QTest::newRow("other letter case")
            << (ok + Crlf("content-length: 1234||")) << true << int(ok.size() + 24) << 0;
        QTest::newRow("first naming line decides")
            << (ok + Crlf("X-Content-Length-Note: none|Content-Length: 5||")) << true
            << int(ok.size() + 50) << 0;
        QTest::newRow("name anywhere in the line")
            << (ok + Crlf("X-Content-Length: 77||")) << true << int(ok.size() + 24) << 77;
        QTest::newRow("extra spaces before the value")
            << (ok + Crlf("Content-Length:   42||")) << true << int(ok.size() + 24) << 42;
        QTest::newRow("beyond 32 bits")
            << (ok + Crlf("Content-Length: 2147483648||")) << true << int(ok.size() + 30) << 0;
        QTest::newRow("length in the body does not count")
            << (ok + Crlf("Server: x||Content-Length: 9|")) << true << int(ok.size() + 13) << 0;
        QTest::newRow("empty") << "" << false << 0 << 0;
    }
    void scanHeader() {
        QFETCH(QString, buffer);
        QFETCH(bool, found);
        QFETCH(int, bodyStart);
        QFETCH(int, contentLength);
        const HeaderScan s = ScanHeader(buffer);
        QCOMPARE(s.found, found);
        QCOMPARE(int(s.bodyStart), bodyStart);
        QCOMPARE(int(s.contentLength), contentLength);
    }

    // The blank line is found only when its 1-based position fits 16 bits signed.
    void scanHeaderPositionLimit_data() {
        QTest::addColumn<int>("position");
        QTest::addColumn<bool>("found");
        QTest::newRow("32766") << 32766 << true;
        QTest::newRow("32767") << 32767 << true;
        QTest::newRow("32768") << 32768 << false;
        QTest::newRow("far beyond") << 40000 << false;
    }
    void scanHeaderPositionLimit() {
        QFETCH(int, position);
        QFETCH(bool, found);
        const QString start = Crlf("HTTP/1.1 200 OK|Content-Length: 10|X-Pad: ");
        QString buffer = start + QString(position - 1 - start.size(), QLatin1Char('a'));
        QCOMPARE(buffer.size(), position - 1);
        buffer += Crlf("||0123456789");
        const HeaderScan s = ScanHeader(buffer);
        QCOMPARE(s.found, found);
        QCOMPARE(int(s.contentLength), found ? 10 : 0);
        QCOMPARE(int(s.bodyStart), found ? position + 3 : 0);
    }

    void splitFinishedResponse_data() {
        QTest::addColumn<QString>("buffer");
        QTest::addColumn<QString>("header");
        QTest::addColumn<QString>("body");
        QTest::newRow("plain") << Crlf("HTTP/1.1 200 OK|Server: x||<p>hi</p>")
                               << Crlf("HTTP/1.1 200 OK|Server: x||") << "<p>hi</p>";
        QTest::newRow("no blank line: all body")
            << Crlf("<html>|<p>hi</p>|") << "" << Crlf("<html>|<p>hi</p>|");
        QTest::newRow("header only")
            << Crlf("HTTP/1.1 200 OK||") << Crlf("HTTP/1.1 200 OK||") << "";
        QTest::newRow("copies of the header in any case go")
            << Crlf("HTTP/1.1 200 OK||a") + Crlf("http/1.1 200 ok||b") << Crlf("HTTP/1.1 200 OK||")
            << "ab";
        QTest::newRow("later blank lines stay")
            << Crlf("H 200 OK||a||b") << Crlf("H 200 OK||") << Crlf("a||b");
        QTest::newRow("blank line at the start takes every blank line")
            << Crlf("||a||b") << Crlf("||") << "ab";
        QTest::newRow("empty") << ""
                               << ""
                               << "";
    }
    void splitFinishedResponse() {
        QFETCH(QString, buffer);
        QFETCH(QString, header);
        QFETCH(QString, body);
        const SplitResponse r = SplitFinishedResponse(buffer);
        QCOMPARE(r.header, header);
        QCOMPARE(r.body, body);
    }

    // A header block beyond the 16-bit limit is missed while data arrives, but
    // the finished response is still taken apart at it.
    void longHeaderStillSplitsWhenFinished() {
        const QString header =
            Crlf("HTTP/1.1 404 Not Found|X-Pad: ") + QString(40000, QLatin1Char('p')) + Crlf("||");
        const QString buffer = header + QStringLiteral("<html>body</html>");
        QVERIFY(!ScanHeader(buffer).found);
        const SplitResponse r = SplitFinishedResponse(buffer);
        QCOMPARE(r.header, header);
        QCOMPARE(r.body, QStringLiteral("<html>body</html>"));
        QCOMPARE(HttpErrorText(r.header).value_or(QString()), QStringLiteral("404 Not found"));
    }

    // Where a response is whole while it arrives, wherever the reads cut it.
    void responseEnd_data() {
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<int>("end"); // bytes up to the one that completes it; -1: never
        const auto row = [](const char* name, const QByteArray& text, bool whole) {
            const QByteArray bytes = QByteArray(text).replace('|', "\r\n");
            QTest::newRow(name) << bytes << (whole ? int(bytes.size()) : -1);
        };
        const QByteArray ok = "HTTP/1.1 200 OK|";
        const QByteArray chunked = ok + "Transfer-Encoding: chunked||";
        row("length", ok + "Content-Length: 5||hello", true);
        row("length: name in any case, value padded", ok + "content-LENGTH:   5 ||hello", true);
        row("length zero", ok + "Content-Length: 0||", true);
        row("length, the connection to be closed", ok + "Content-Length: 2|Connection: close||hi",
            true);
        row("one byte short", ok + "Content-Length: 6||hello", false);
        row("length not a number", ok + "Content-Length: 5x||hello", false);
        row("no length, no coding", "HTTP/1.0 200 OK|Server: x||hello", false);
        row("chunked, extension, trailer", chunked + "5;x=1|hello|3|abc|0|X-T: 1||", true);
        row("codings listed, any case", ok + "Transfer-Encoding: gzip, Chunked||5|hello|0||", true);
        row("chunked decides over a length",
            ok + "Transfer-Encoding: chunked|Content-Length: 3||5|hello|0||", true);
        row("trailer not ended", chunked + "5|hello|0|X-T: 1|", false);
        row("no last chunk", chunked + "5|hello|", false);
        row("size not hex", chunked + "5|hello|g||0||", false);
        row("chunk longer than its size", chunked + "3|hello|0||", false);
        row("size with leading zeros", chunked + "00000000000000000005|hello|0||", true);
        row("chunk lines ending in LF alone", chunked + "5\nhello\n0\n\n", true);
        row("other coding", ok + "Transfer-Encoding: gzip|Content-Length: 5||hello", false);
        row("204", "HTTP/1.1 204 No Content|Server: x||", true);
        row("304 names a length it does not send",
            "HTTP/1.1 304 Not Modified|Content-Length: 100||", true);
        row("100 Continue, then the response",
            "HTTP/1.1 100 Continue||" + ok + "Content-Length: 2||hi", true);
        row("103 alone", "HTTP/1.1 103 Early Hints|Link: </s.css>||", false);
        row("not HTTP", "<html>||hello", false);
        row("header not ended", ok + "Content-Length: 0|", false);
    }
    void responseEnd() {
        QFETCH(QByteArray, response);
        QFETCH(int, end);
        // Every byte on its own: whole exactly at the byte that ends it.
        ResponseProgress p;
        int completeAt = -1;
        for (qsizetype i = 0; i < response.size() && completeAt < 0; ++i) {
            p = AdvanceResponse(std::move(p), QByteArrayView(response).sliced(i, 1));
            completeAt = p.complete() ? int(i + 1) : -1;
        }
        QCOMPARE(completeAt, end);
        // Two reads, split anywhere; what a server sends past the end is counted,
        // and only a whole response may leave the connection open.
        const QByteArray more = end >= 0 ? response + "HTTP/1.1 200 OK\r\n" : response;
        for (qsizetype split = 0; split <= more.size(); ++split) {
            const ResponseProgress first = AdvanceResponse({}, more.first(split));
            QCOMPARE(first.complete(), end >= 0 && split >= end);
            const ResponseProgress last = AdvanceResponse(first, more.sliced(split));
            QCOMPARE(last.complete(), end >= 0);
            QCOMPARE(last.excess, end >= 0 ? more.size() - end : 0);
            if (end >= 0)
                QCOMPARE(last.keepsOpen, !response.startsWith("HTTP/1.0") &&
                                             !response.contains("Connection: close"));
        }
    }
};

CORVANTIS_TEST_MAIN(HttpResponseTest)
#include "tst_http_response.moc"
