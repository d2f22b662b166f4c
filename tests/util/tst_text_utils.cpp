#include "support/test_env.h"
#include "util/text_utils.h"
#include "util/url_encode.h"

using namespace corvantis::util;

class TextUtilsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The quick case-insensitive search must mean what Qt::CaseInsensitive means.
    void indexOfCI_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("part");
        QTest::addColumn<int>("from");
        QTest::newRow("ascii") << "xx HREF=a"
                               << "href=" << 0;
        QTest::newRow("from past a match") << "href= HREF="
                                           << "href=" << 1;
        QTest::newRow("from beyond the end") << "abc"
                                             << "c" << 5;
        QTest::newRow("negative from") << "abc"
                                       << "A" << -3;
        QTest::newRow("empty part") << "abc"
                                    << "" << 1;
        QTest::newRow("kelvin sign folds to k") << QString::fromUtf8("Key") << "key" << 0;
        QTest::newRow("long s folds to s") << QString::fromUtf8("ſite") << "SITE" << 0;
        QTest::newRow("latin-1 letters")
            << QString::fromUtf8("MÜNCHEN") << QString::fromUtf8("münchen") << 0;
        QTest::newRow("micro sign and mu")
            << QString::fromUtf8("5 µm") << QString::fromUtf8("ΜM") << 0;
        QTest::newRow("sharp s is not ss") << QString::fromUtf8("straße") << "strasse" << 0;
        QTest::newRow("y diaeresis") << QString::fromUtf8("Ÿes") << QString::fromUtf8("ÿES") << 0;
        QTest::newRow("surrogate pair in part")
            << QString::fromUtf8("a𐐀b") << QString::fromUtf8("𐐨") << 0;
        QTest::newRow("match at the very end") << "abcdef"
                                               << "DEF" << 0;
        QTest::newRow("part longer than text") << "ab"
                                               << "abc" << 0;
    }
    void indexOfCI() {
        QFETCH(QString, text);
        QFETCH(QString, part);
        QFETCH(int, from);
        QCOMPARE(IndexOfCI(text, part, from), text.indexOf(part, from, Qt::CaseInsensitive));
        QCOMPARE(ReplaceAllCI(text, part, u"<>"),
                 part.isEmpty()
                     ? text
                     : QString(text).replace(part, QStringLiteral("<>"), Qt::CaseInsensitive));
    }

    void equalsLowerAscii_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("lower");
        QTest::newRow("upper case") << "HREF="
                                    << "href=";
        QTest::newRow("differs") << "hrEg="
                                 << "href=";
        QTest::newRow("long s") << QString::fromUtf8("ſite") << "site";
        QTest::newRow("kelvin sign") << QString::fromUtf8("Key") << "key";
        QTest::newRow("accented is not plain") << QString::fromUtf8("cafÉ") << "cafe";
    }
    void equalsLowerAscii() {
        QFETCH(QString, text);
        QFETCH(QString, lower);
        QCOMPARE(EqualsLowerAsciiCI(text, lower), text.compare(lower, Qt::CaseInsensitive) == 0);
    }

    void indexOfCIAgreesWithQtOnRandomTexts() {
        // A small alphabet with letters in both cases, Latin-1 letters and odd folders.
        const QString alphabet = QString::fromUtf8("aAbBéÉKkKſsS/ .");
        quint32 seed = 12345;
        const auto rnd = [&seed](int bound) {
            seed = seed * 1103515245u + 12345u;
            return int((seed >> 16) % quint32(bound));
        };
        const auto randomText = [&](int maxLen) {
            QString t;
            for (int i = rnd(maxLen + 1); i > 0; --i)
                t += alphabet.at(rnd(int(alphabet.size())));
            return t;
        };
        for (int round = 0; round < 3000; ++round) {
            const QString text = randomText(24);
            const QString part = randomText(4);
            const int from = rnd(6) - 1;
            QCOMPARE(IndexOfCI(text, part, from), text.indexOf(part, from, Qt::CaseInsensitive));
        }
    }

    // Page-sized texts take the folded-copy path: single-byte pages as bytes, others not.
    void foldedSearchAgreesWithQtOnLongTexts() {
        const QString singleByte = QString::fromUtf8("aAzZàÀÞþ×÷µßÿ@[`{ <>/.");
        const QString wide = singleByte + QString::fromUtf8("KſΜμŸ");
        quint32 seed = 777;
        const auto rnd = [&seed](int bound) {
            seed = seed * 1103515245u + 12345u;
            return int((seed >> 16) % quint32(bound));
        };
        for (const QString& alphabet : {singleByte, wide}) {
            for (int round = 0; round < 300; ++round) {
                QString text;
                for (int i = 300 + rnd(200); i > 0; --i)
                    text += alphabet.at(rnd(int(alphabet.size())));
                QString part;
                if (round % 2 == 0) {
                    for (int i = 1 + rnd(2); i > 0; --i)
                        part += alphabet.at(rnd(int(alphabet.size())));
                } else {
                    // A piece of the text itself in the other letter case, up to
                    // 40 long and often near the end, where the block search
                    // hands over to the plain one.
                    const int length = 2 + rnd(39);
                    const int at = round % 4 == 1 ? int(text.size()) - length - rnd(20)
                                                  : rnd(int(text.size()) - length);
                    part = text.mid(std::max(at, 0), length).toUpper();
                    if (round % 8 == 3)
                        part[part.size() - 1] = u'#'; // last character wrong: no match
                }
                const int from = rnd(50);
                QCOMPARE(IndexOfCI(text, part, from),
                         text.indexOf(part, from, Qt::CaseInsensitive));
                const CaseFoldedText folded(text);
                QCOMPARE(folded.indexOf(part, from), text.indexOf(part, from, Qt::CaseInsensitive));
            }
        }
    }

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
