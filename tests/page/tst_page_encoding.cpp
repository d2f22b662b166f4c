// A page's encoding as a browser picks it (byte-order mark, Content-Type header,
// <meta> in the first 1024 bytes, windows-1252) and its text in that encoding.
#include "page/page_encoding.h"
#include "support/test_env.h"

#include <QStringDecoder>

using namespace corvantis::scan;
using corvantis::testing::S;

namespace {
const QByteArray kCafe = "caf\xC3\xA9"; // "café" in UTF-8
const QByteArray kOk = "HTTP/1.1 200 OK\r\n";
// The head (ASCII) after as many spaces as put its last byte at `length`.
QByteArray PadTo(const QByteArray& head, qsizetype length) {
    return QByteArray(length - head.size(), ' ') + head;
}
} // namespace

class PageEncodingTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void decode_data() {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QString>("header");
        QTest::addColumn<QByteArray>("encoding");
        QTest::addColumn<QString>("text");
        // The page is an ASCII head and a body; the text is the head and bodyText.
        const auto row = [](const char* name, const QByteArray& head, const QByteArray& body,
                            const QByteArray& header, const char* encoding, const char* bodyText) {
            QTest::newRow(name) << QByteArray(head + body) << QString::fromLatin1(header)
                                << QByteArray(encoding)
                                << QString(QString::fromLatin1(head) + S(bodyText));
        };
        const char* asLatin = "caf\xC3\x83\xC2\xA9"; // "cafÃ©": UTF-8 bytes read as windows-1252
        row("meta charset", "<meta charset=\"utf-8\">", kCafe, {}, "UTF-8", "café");
        row("header charset", {}, kCafe, kOk + "Content-Type: text/html; charset=UTF-8\n", "UTF-8",
            "café");
        row("the header beats the meta", "<meta charset=utf-8>", kCafe,
            kOk + "Content-Type: text/html;charset=ISO-8859-1\r\n", "windows-1252", asLatin);
        row("the last Content-Type counts, quoted, any case", {}, kCafe,
            kOk + "Content-Type: text/plain; charset=latin1\r\n"
                  "content-type: text/html; Charset=\"utf-8\"\r\n",
            "UTF-8", "café");
        row("a charset carries over to the same type", {}, kCafe,
            kOk + "Content-Type: text/html; charset=latin1\r\n"
                  "Content-Type: text/html; charset=utf-8\r\n"
                  "Content-Type: text/html\r\n",
            "UTF-8", "café");
        row("a byte-order mark beats the header", {}, "\xEF\xBB\xBF" + kCafe,
            kOk + "Content-Type: text/html; charset=windows-1252\r\n", "UTF-8", "café");
        row("windows-1252 by default", {}, "\x80 \x99 \x81 \xE9", {}, "windows-1252",
            "\u20AC \u2122 \u0081 \u00E9");
        row("ISO-8859-1 is windows-1252", "<META CHARSET='ISO-8859-1'>", "\x80\xE9", {},
            "windows-1252", "\u20AC\u00E9");
        row("http-equiv, quoted content",
            "<meta http-equiv=\"Content-Type\" content='text/html; charset=\"utf-8\"'>", kCafe, {},
            "UTF-8", "café");
        row("content without http-equiv", "<meta content=\"text/html; charset=utf-8\">", kCafe, {},
            "windows-1252", asLatin);
        row("the first of a repeated attribute", "<meta charset=utf-8 charset=us-ascii>", kCafe, {},
            "UTF-8", "café");
        row("a meta in a comment", "<!-- a > <meta charset=\"us-ascii\"> --><meta charset=utf-8>",
            kCafe, {}, "UTF-8", "café");
        row("a quoted > in another tag",
            "<a title=\"x> <meta charset=us-ascii>\"><meta charset=utf-8>", kCafe, {}, "UTF-8",
            "café");
        row("a meta ending at byte 1024", PadTo("<meta charset=utf-8 >", 1024), kCafe, {}, "UTF-8",
            "café");
        row("a meta ending at byte 1025", PadTo("<meta charset=utf-8 >", 1025), kCafe, {},
            "windows-1252", asLatin);
        row("a tag that only starts like meta", "<metadata charset=us-ascii><meta charset=utf-8>",
            kCafe, {}, "UTF-8", "café");
        row("meta UTF-16 means UTF-8", "<meta charset=\"UTF-16\">", kCafe, {}, "UTF-8", "café");
        row("an unknown label", {}, kCafe, kOk + "Content-Type: text/html; charset=x-nothing\r\n",
            "windows-1252", asLatin);
        row("an unknown header label leaves it to the meta", "<meta charset=utf-8>", kCafe,
            kOk + "Content-Type: text/html; charset=x-nothing\r\n", "UTF-8", "café");
        row("a label Qt decodes",
            "<meta http-equiv=content-type content=\"text/html; charset=sjis\">",
            "\x93\xFA\x96\x7B", {}, "Shift_JIS", "日本");
        row("GBK decodes as gb18030", {}, "\xC4\xE3\x81\x30\x81\x30",
            kOk + "Content-Type: text/html; charset=gb2312\r\n", "GBK", "你\u0080");
        // "c", U+1F600, a lone surrogate, an odd last byte.
        QTest::newRow("UTF-16LE by its byte-order mark")
            << QByteArray("\xFF\xFE"
                          "c\0\x3D\xD8\x00\xDE\x00\xD8"
                          "a",
                          11)
            << QString::fromLatin1(QByteArray(kOk + "Content-Type: text/html; charset=utf-8\r\n"))
            << QByteArray("UTF-16LE") << S("c\U0001F600\uFFFD\uFFFD");
        QTest::newRow("UTF-16BE by its byte-order mark")
            << QByteArray("\xFE\xFF\0c\0\xE9", 6) << QString() << QByteArray("UTF-16BE") << S("cé");
        // UTF-16 named by the header stays UTF-16, and is little-endian.
        QTest::newRow("UTF-16 in the header")
            << QByteArray("c\0\xE9\0", 4)
            << QString::fromLatin1(QByteArray(kOk + "Content-Type: text/html; charset=utf-16\r\n"))
            << QByteArray("UTF-16LE") << S("cé");
    }
    void decode() {
        QFETCH(QByteArray, page);
        QFETCH(QString, header);
        QFETCH(QByteArray, encoding);
        QFETCH(QString, text);
        if (encoding != "UTF-8" && encoding != "windows-1252" && encoding != "UTF-16LE" &&
            !QStringDecoder(encoding.constData()).isValid())
            QSKIP("This Qt has no decoder for the encoding");
        QCOMPARE(PageEncoding(page, header), encoding);
        QCOMPARE(DecodePage(page, header), text);
    }
};

CORVANTIS_TEST_MAIN(PageEncodingTest)
#include "tst_page_encoding.moc"
