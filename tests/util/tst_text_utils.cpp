#include "support/test_env.h"
#include "util/text_utils.h"
#include "util/url_encode.h"

using namespace corvantis::util;

class TextUtilsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void urlEncode_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("prefix and space") << "http://site/x y"
                                          << "http://site%2Fx+y";
        QTest::newRow("prefix upper case comes back lower") << "HTTP://a"
                                                            << "http://a";
        QTest::newRow("kept punctuation") << "a-b_c.d*e"
                                          << "a-b_c.d*e";
        QTest::newRow("tilde") << "a~b"
                               << "a%7Eb";
        QTest::newRow("inner prefix moves to the front") << "go.cgi?u=http://x"
                                                         << "http://go.cgi%3Fu%3Dx";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("only prefix") << "http://"
                                     << "http://";
        QTest::newRow("newline is zero-padded") << "a\nb"
                                                << "a%0Ab";
        QTest::newRow("percent and ampersand") << "%&=:"
                                               << "%25%26%3D%3A";
        QTest::newRow("latin-1 byte") << QString::fromUtf8("caf\u00e9") << "caf%E9";
        QTest::newRow("beyond latin-1 as utf-8") << QString::fromUtf8("\u20ac") << "%E2%82%AC";
        QTest::newRow("surrogate pair") << QString::fromUtf8("\U0001F600") << "%F0%9F%98%80";
    }
    void urlEncode() {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        const auto out = UrlEncode(input);
        QVERIFY(out.has_value());
        QCOMPARE(*out, expected);
    }

    void urlEncodeRefusesOverlongInput() {
        QVERIFY(UrlEncode(QString(kUrlEncodeMaxLength, QLatin1Char('a'))).has_value());
        QVERIFY(!UrlEncode(QString(kUrlEncodeMaxLength + 1, QLatin1Char('a'))).has_value());
    }

    void toInt_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok16");
        QTest::addColumn<int>("value16");
        QTest::addColumn<bool>("ok32");
        QTest::newRow("plain") << "3" << true << 3 << true;
        QTest::newRow("spaces") << " 12 " << true << 12 << true;
        QTest::newRow("negative") << "-32768" << true << -32768 << true;
        QTest::newRow("16-bit overflow") << "32768" << false << 0 << true;
        QTest::newRow("32-bit overflow") << "2147483648" << false << 0 << false;
        QTest::newRow("letters") << "3a" << false << 0 << false;
        QTest::newRow("empty") << "" << false << 0 << false;
        QTest::newRow("single space") << " " << false << 0 << false;
        QTest::newRow("decimal point") << "1.5" << false << 0 << false;
    }
    void toInt() {
        QFETCH(QString, text);
        QFETCH(bool, ok16);
        QFETCH(int, value16);
        QFETCH(bool, ok32);
        const auto v16 = ToInt16(text);
        QCOMPARE(v16.has_value(), ok16);
        if (ok16)
            QCOMPARE(int(*v16), value16);
        QCOMPARE(ToInt32(text).has_value(), ok32);
    }

    void zeroFilled_data() {
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("expected");
        QTest::newRow("0") << 0 << "000";
        QTest::newRow("7") << 7 << "007";
        QTest::newRow("12") << 12 << "012";
        QTest::newRow("123") << 123 << "123";
        QTest::newRow("1234") << 1234 << "1234";
    }
    void zeroFilled() {
        QFETCH(int, n);
        QFETCH(QString, expected);
        QCOMPARE(ZeroFilled(n), expected);
    }

    void replaceAndContain() {
        QCOMPARE(
            ReplaceAllCI(QStringLiteral("HTTP://a http://b"), QStringLiteral("http://"), QString()),
            QStringLiteral("a b"));
        QCOMPARE(
            ReplaceAll(QStringLiteral("HTTP://a http://b"), QStringLiteral("http://"), QString()),
            QStringLiteral("HTTP://a b"));
        QVERIFY(ContainsCI(QStringLiteral("Partner.Example.com"), QStringLiteral("example.COM")));
        QVERIFY(StartsWithCI(QStringLiteral("WWW.site"), QStringLiteral("www.")));
        QVERIFY(IsBlank(QString()) && IsBlank(QStringLiteral(" ")) &&
                !IsBlank(QStringLiteral("  ")));
        QCOMPARE(JoinCrLf({QStringLiteral("a"), QStringLiteral("b")}),
                 QStringLiteral("a\r\nb\r\n"));
    }
};

CORVANTIS_TEST_MAIN(TextUtilsTest)
#include "tst_text_utils.moc"
