#include "../../fuzz/rtf_reader_target.h"
#include "support/test_env.h"
#include "ui/rtf/rtf_reader.h"

#include <QDir>
#include <QFile>
#include <QTextBlock>
#include <QTextDocument>

using corvantis::testing::S;
using corvantis::ui::ReadRtf;

namespace {

// The document written out compactly: one line per paragraph, "^" / ">" / "="
// in front of a centred / right / justified one, "<left,first>" in front of an
// indented one (in pixels), "|" for a line break, and
// "[flags:text]" around text that is bold (b), italic (i), underlined (u) or
// not 12 pt (the size).
QString Describe(const QTextDocument& document) {
    QStringList lines;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        QString line;
        const Qt::Alignment align = block.blockFormat().alignment();
        if (align & Qt::AlignHCenter)
            line += u'^';
        else if (align & Qt::AlignRight)
            line += u'>';
        else if (align & Qt::AlignJustify)
            line += u'=';
        const QTextBlockFormat format = block.blockFormat();
        if (format.leftMargin() != 0 || format.textIndent() != 0)
            line += u'<' + QString::number(format.leftMargin()) + u',' +
                    QString::number(format.textIndent()) + u'>';
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat f = fragment.charFormat();
            QString flags;
            if (f.fontWeight() == QFont::Bold)
                flags += u'b';
            if (f.fontItalic())
                flags += u'i';
            if (f.fontUnderline())
                flags += u'u';
            if (f.fontPointSize() != 12)
                flags += QString::number(f.fontPointSize());
            QString text = fragment.text();
            text.replace(QChar::LineSeparator, u'|');
            line += flags.isEmpty() ? text : u'[' + flags + u':' + text + u']';
        }
        lines.append(line);
    }
    return lines.join(u'\n');
}

QByteArray Nested(int depth, const QByteArray& inner) {
    return QByteArray(depth, '{') + inner + QByteArray(depth, '}');
}

} // namespace

class RtfReaderTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void subset_data() {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("whole");

        // What a help file uses.
        QTest::newRow("plain text, header words skipped")
            << QByteArray("{\\rtf1\\ansi\\ansicpg1252\\deff0 Hello world}") << S("Hello world")
            << true;
        QTest::newRow("paragraphs")
            << QByteArray("{\\rtf1 one\\par two\\par}") << S("one\ntwo\n") << true;
        QTest::newRow("backslash before a line end is a paragraph")
            << QByteArray("{\\rtf1 one\\\ntwo}") << S("one\ntwo") << true;
        QTest::newRow("line ends in the file mean nothing")
            << QByteArray("{\\rtf1 one\r\ntwo}") << S("onetwo") << true;
        QTest::newRow("line break") << QByteArray("{\\rtf1 a\\line b}") << S("a|b") << true;
        QTest::newRow("bold italic underline and their off forms")
            << QByteArray("{\\rtf1 a\\b b\\b0 c\\i d\\i0\\ul e\\ulnone f\\ul g\\ul0 h}")
            << S("a[b:b]c[i:d][u:e]f[u:g]h") << true;
        QTest::newRow("plain resets the character format")
            << QByteArray("{\\rtf1\\b\\i\\ul\\fs40 x\\plain y}") << S("[biu20:x]y") << true;
        QTest::newRow("groups save and restore the format")
            << QByteArray("{\\rtf1 a{\\b b{\\i\\fs32 c}d}e}") << S("a[b:b][bi16:c][b:d]e") << true;
        QTest::newRow("font sizes in half points")
            << QByteArray("{\\rtf1\\fs20 small \\fs37 odd}") << S("[10:small ][18.5:odd]") << true;
        QTest::newRow("alignment belongs to the paragraph's end")
            << QByteArray("{\\rtf1\\qc Title\\par\\pard body\\par\\qr right\\par\\qj just}")
            << S("^Title\nbody\n>right\n=just") << true;
        QTest::newRow("hanging indent, until pard")
            << QByteArray("{\\rtf1\\li360\\fi-360 \\bullet\\tab item\\par next\\par\\pard plain}")
            << S("<24,-24>\u2022\titem\n<24,-24>next\nplain") << true;
        QTest::newRow("first line cannot start left of the page")
            << QByteArray("{\\rtf1\\li150\\fi-600 x}") << S("<10,-10>x") << true;
        QTest::newRow("escaped specials and the delimiting space")
            << QByteArray("{\\rtf1 \\{a\\}\\\\ \\b  x}") << S("{a}\\ [b: x]") << true;
        QTest::newRow("symbols and named characters")
            << QByteArray("{\\rtf1 a\\~b\\emdash c\\tab d\\-e\\_f\\bullet\\lquote\\rquote}")
            << S("a\u00A0b\u2014c\td"
                 "e\u2011f\u2022\u2018\u2019")
            << true;
        QTest::newRow("hidden text") << QByteArray("{\\rtf1 a{\\v hidden}b}") << S("ab") << true;

        // Characters.
        QTest::newRow("hex is Windows-1252")
            << QByteArray("{\\rtf1 caf\\'e9 \\'80 \\'93q\\'94 \\'9F}") << S("café € “q” Ÿ") << true;
        QTest::newRow("raw 8-bit bytes are Windows-1252")
            << QByteArray("{\\rtf1 caf\xe9 \x80}") << S("café €") << true;
        QTest::newRow("unicode with its stand-in skipped")
            << QByteArray("{\\rtf1 \\u8364?x}") << S("€x") << true;
        QTest::newRow("uc sets how many stand-ins follow")
            << QByteArray("{\\rtf1\\uc2\\u8364xx y\\uc0\\u233 z}") << S("€ yéz") << true;
        QTest::newRow("a stand-in may be a hex escape or a control")
            << QByteArray("{\\rtf1\\uc1 \\u252\\'fc done \\u233\\tab e}") << S("ü done ée") << true;
        QTest::newRow("a brace ends the stand-ins")
            << QByteArray("{\\rtf1\\uc4 {\\u233}xy}") << S("éxy") << true;
        QTest::newRow("negative code units form a surrogate pair")
            << QByteArray("{\\rtf1 \\u-10179?\\u-8704?}") << S("😀") << true;
        QTest::newRow("lone surrogate is replaced")
            << QByteArray("{\\rtf1 \\u-10179?x}") << S("\uFFFDx") << true;
        QTest::newRow("uc is kept per group")
            << QByteArray("{\\rtf1 {\\uc0 \\u233}\\u233?}") << S("éé") << true;

        // Skipped destinations.
        QTest::newRow("tables, info, pictures and starred destinations")
            << QByteArray(
                   "{\\rtf1{\\fonttbl{\\f0\\fswiss Arial;}}{\\colortbl;\\red0\\green0\\blue0;}"
                   "{\\stylesheet{\\s0 Normal;}}{\\info{\\title T}{\\author A}}"
                   "{\\*\\generator W;}{\\*\\unknown{x}y}{\\pict\\pngblip 89504e}Body}")
            << S("Body") << true;
        QTest::newRow("field shows its result only")
            << QByteArray("{\\rtf1 see {\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt link}}.}")
            << S("see link.") << true;
        QTest::newRow("binary data is skipped by count")
            << QByteArray("{\\rtf1 {\\pict\\bin4 {{{{}After}") << S("After") << true;
        QTest::newRow("paragraphs inside a skipped group")
            << QByteArray("{\\rtf1 a{\\*\\x b\\par c}d}") << S("ad") << true;

        // Bad input shows what it can.
        QTest::newRow("one brace too many") << QByteArray("{\\rtf1 a}}b") << S("ab") << false;
        QTest::newRow("missing closing braces")
            << QByteArray("{\\rtf1 {\\b a") << S("[b:a]") << false;
        QTest::newRow("truncated control word")
            << QByteArray("{\\rtf1 abc\\pa") << S("abc") << false;
        QTest::newRow("truncated hex") << QByteArray("{\\rtf1 x\\'4") << S("x") << false;
        QTest::newRow("truncated unicode") << QByteArray("{\\rtf1 x\\u") << S("x") << false;
        QTest::newRow("truncated after a backslash")
            << QByteArray("{\\rtf1 x\\") << S("x") << false;
        QTest::newRow("binary and control bytes")
            << QByteArray("{\\rtf1 a\0\1\2\x7f\x81\x9d b}", 17) << S("a b") << true;
        QTest::newRow("not RTF at all") << QByteArray("plain text") << S("plain text") << false;
        QTest::newRow("empty input") << QByteArray() << S("") << false;
        QTest::newRow("nesting within the limit")
            << QByteArray("{\\rtf1 ") + Nested(200, "deep") + "}" << S("deep") << true;
        QTest::newRow("nesting beyond the limit")
            << QByteArray("{\\rtf1 a") + Nested(100000, "deep") + "b}" << S("ab") << false;
        QTest::newRow("huge font size is capped")
            << QByteArray("{\\rtf1\\fs99999999999999999999 x\\fs0 y}") << S("[144:x]y") << true;
        QTest::newRow("huge binary count stops at the end")
            << QByteArray("{\\rtf1 a\\bin99999999999 bbb}") << S("a") << false;
        QTest::newRow("negative binary count skips nothing")
            << QByteArray("{\\rtf1 a\\bin-5 b}") << S("ab") << true;
        QTest::newRow("huge indents are capped")
            << QByteArray("{\\rtf1\\li99999999999\\fi-99999999999 x}") << S("<960,-960>x") << true;
        QTest::newRow("huge uc is capped")
            << QByteArray("{\\rtf1\\uc999999999 \\u233 abcdefghijklmnopqrstuvwxyz}")
            << S("éqrstuvwxyz") << true;
        QTest::newRow("unicode beyond 16 bits")
            << QByteArray("{\\rtf1\\u99999999999 x\\u-99999 y}") << S("\uFFFD\uFFFD") << true;
        QTest::newRow("over-long control word is ignored")
            << QByteArray("{\\rtf1 a\\") + QByteArray(40, 'b') + " c}" << S("ac") << true;
    }
    void subset() {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, shown);
        QFETCH(bool, whole);
        QTextDocument document;
        document.setPlainText(QStringLiteral("old text"));
        QCOMPARE(ReadRtf(rtf, &document), whole);
        QCOMPARE(Describe(document), shown);
    }

    // The committed fuzz corpus, through the fuzz target's own checks.
    void fuzzCorpus_data() {
        QTest::addColumn<QString>("path");
        const QString corpus = QFINDTESTDATA("../../fuzz/corpus/fuzz_rtf_reader");
        QVERIFY2(!corpus.isEmpty(), "fuzz/corpus/fuzz_rtf_reader not found");
        const QDir dir(corpus);
        const QStringList files = dir.entryList(QDir::Files, QDir::Name);
        QVERIFY(!files.isEmpty());
        for (const QString& file : files)
            QTest::newRow(file.toUtf8().constData()) << dir.filePath(file);
    }
    void fuzzCorpus() {
        QFETCH(QString, path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray data = file.readAll();
        QCOMPARE(corvantis::fuzz::RtfReaderOneInput(
                     reinterpret_cast<const std::uint8_t*>(data.constData()), size_t(data.size())),
                 0);
    }
};

CORVANTIS_TEST_MAIN(RtfReaderTest)
#include "tst_rtf_reader.moc"
