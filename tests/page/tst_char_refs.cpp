// Character references decoded as HTML's parser decodes them: named ones by the
// longest match, legacy names without ";", the attribute rule, numeric ones and
// the code points they may not stand for.
#include "page/char_refs.h"
#include "support/test_env.h"

using namespace corvantis::scan;
using corvantis::testing::S;

class CharRefsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void decode_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("attribute");
        QTest::addColumn<QString>("decoded");
        const auto text = [](const char* name, const QString& in, const char* out) {
            QTest::newRow(name) << in << false << S(out);
        };
        const auto attr = [](const char* name, const QString& in, const char* out) {
            QTest::newRow(name) << in << true << S(out);
        };
        text("no reference", S("plain text, no ampersand"), "plain text, no ampersand");
        attr("amp in a query", S("/p?a=1&amp;b=2&amp;c"), "/p?a=1&b=2&c");
        text("between words", S("a &lt; b &gt; c&quot;"), "a < b > c\"");
        text("letter case counts", S("&eacute;&Eacute;"), "\u00e9\u00c9");
        text("legacy name, no ;, in text", S("&eacutex"), "\u00e9x");
        attr("legacy name, no ;, before a letter", S("&eacutex"), "&eacutex");
        attr("legacy name, no ;, before =", S("?a=1&copy=2"), "?a=1&copy=2");
        text("legacy name before = in text", S("?a=1&copy=2"), "?a=1\u00a9=2");
        attr("legacy name, no ;, before a space", S("&copy 2024"), "\u00a9 2024");
        attr("with ; before a letter", S("&amp;x"), "&x");
        text("longest name wins", S("&notin;"), "\u2209");
        text("else the longest legacy name", S("&notit;"), "\u00acit;");
        attr("legacy prefix before a letter", S("&notit;"), "&notit;");
        text("two code points", S("&bne;"), "=\u20e5");
        text("outside the BMP", S("&Afr;&#x1D504"), "\U0001D504\U0001D504");
        text("unknown name", S("&bogus; AT&T"), "&bogus; AT&T");
        text("lone and doubled ampersands", S("& && &&amp; &"), "& && && &");
        text("decimal", S("a&#47;b"), "a/b");
        text("hex", S("a&#x2F;b&#X2f"), "a/b/");
        text("digits end the number", S("&#65x&#x41g"), "AxAg");
        text("zero", S("&#0;"), "\ufffd");
        text("above the last code point", S("&#x110000;"), "\ufffd");
        text("a surrogate", S("&#xD800;&#57343;"), "\ufffd\ufffd");
        text("windows-1252 bytes", S("&#128;&#x99;&#x9F"), "\u20ac\u2122\u0178");
        text("a byte windows-1252 leaves out", S("&#x81;"), "\u0081");
        text("no digits", S("&#; &#x; &#xg; &#"), "&#; &#x; &#xg; &#");
        text("past 32 bits", S("&#4294967361;&#x100000041"), "\ufffd\ufffd");
        text("huge digit run", S("&#") + QString(100000, u'9') + S(";x"), "\ufffdx");
        text("leading zeros", S("&#x") + QString(100000, u'0') + S("41;"), "A");
        const QString ampersands(1 << 20, u'&');
        QTest::newRow("a megabyte of ampersands") << ampersands << false << ampersands;
    }
    void decode() {
        QFETCH(QString, text);
        QFETCH(bool, attribute);
        QFETCH(QString, decoded);
        QCOMPARE(DecodeCharacterReferences(text, attribute ? ReferenceContext::Attribute
                                                           : ReferenceContext::Text),
                 decoded);
    }
};

CORVANTIS_TEST_MAIN(CharRefsTest)
#include "tst_char_refs.moc"
