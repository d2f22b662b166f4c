#include "page/line_cursor.h"
#include "page/link_parsing.h"
#include "support/test_env.h"
#include "util/text_utils.h"

#include <random>

using namespace corvantis::scan;

namespace {
QString Spaces(int n) {
    return QString(n, QLatin1Char(' '));
}
// An anchor with n spaces between "href=" and its value.
QString SpacedHref(int n) {
    return QStringLiteral("<a href=") + Spaces(n) + QStringLiteral("x>");
}
const QString kSkipped = QStringLiteral("<skipped>");

// The link rules written the plain way, one whole-text search or copy per step:
// the reference the quicker code must match.
bool ReferenceSkipped(const QString& v) {
    if (v.size() < 6)
        return true;
    for (QStringView bad : {u"javascript", u"mailto", u"file://", u"unsaved:"}) {
        if (corvantis::util::ContainsCI(v, bad))
            return true;
    }
    for (const char* e : {".js",  ".rm",  ".ra",  ".mpg", ".swf", ".avi", ".jpg",  ".gif",
                          ".bmp", ".mov", ".mp3", ".wav", ".pdf", ".css", ".exe",  ".sit",
                          ".zip", ".msi", ".ppt", ".doc", ".xls", ".ico", ".mpeg", ".jpeg"}) {
        if (v.endsWith(QLatin1String(e)))
            return true;
    }
    const qsizetype colon = v.indexOf(u':');
    if (colon < 1)
        return false;
    const QString scheme = v.left(colon);
    const auto isLetter = [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
    };
    if (!isLetter(scheme[0]))
        return false;
    for (QChar c : scheme) {
        if (!isLetter(c) && !(c >= u'0' && c <= u'9') && c != u'+' && c != u'-' && c != u'.')
            return false;
    }
    return scheme.compare(QLatin1String("http"), Qt::CaseInsensitive) != 0 &&
           scheme.compare(QLatin1String("https"), Qt::CaseInsensitive) != 0;
}

QString ReferenceLinkValue(const QString& line) {
    const qsizetype at = line.indexOf(QLatin1String("href="), 0, Qt::CaseInsensitive);
    if (at < 0)
        return kSkipped;
    const auto isQuote = [](QChar c) { return c == u'"' || c == u'\''; };
    qsizetype i = at + 5;
    while (i < line.size() && line[i] == u' ')
        ++i;
    const QChar quote = i < line.size() && isQuote(line[i]) ? line[i++] : QChar();
    QString value;
    while (i < line.size() &&
           (quote.isNull() ? line[i] != u' ' && line[i] != u'>' : line[i] != quote)) {
        value += line[i];
        // A later "href=" takes the quote after it along.
        if (value.endsWith(QLatin1String("href="), Qt::CaseInsensitive) && i + 1 < line.size() &&
            isQuote(line[i + 1]))
            ++i;
        ++i;
    }
    value = value.left(value.indexOf(u'#')).trimmed().replace(u' ', QLatin1String("%20"));
    if (quote.isNull() && !value.isEmpty() && (isQuote(value[0]) || value[0] == u'<'))
        return kSkipped;
    return ReferenceSkipped(value) ? kSkipped : value;
}

QString ReferenceStrip(const QString& address, std::initializer_list<const char*> patterns) {
    QString a = address;
    for (const char* p : patterns)
        a.remove(QLatin1String(p), Qt::CaseInsensitive);
    qsizetype begin = 0;
    qsizetype end = a.size();
    while (begin < end && a[begin] == u' ')
        ++begin;
    while (end > begin && a[end - 1] == u' ')
        --end;
    return a.mid(begin, end - begin);
}

QString ReferenceHostPart(const QString& text) {
    QString t = text;
    t.remove(QLatin1String("http://"), Qt::CaseInsensitive);
    t.remove(QLatin1String("https://"), Qt::CaseInsensitive);
    return t.left(t.indexOf(u'/') >= 0 ? t.indexOf(u'/') : t.size());
}

// A text of random pieces that the rules react to, in random letter case, now
// and then with the long s for "s"; it and the Kelvin sign fold to ASCII
// letters, the e with acute does not.
QString RandomPieces(std::mt19937& rng, const QStringList& pieces, int maxPieces) {
    std::uniform_int_distribution<int> count(0, maxPieces);
    std::uniform_int_distribution<qsizetype> pick(0, pieces.size() - 1);
    std::bernoulli_distribution upper(0.3);
    std::bernoulli_distribution longS(0.1);
    QString out;
    for (int n = count(rng); n > 0; --n) {
        for (QChar c : pieces[pick(rng)]) {
            if (c == u's' && longS(rng))
                out += QChar(0x17F);
            else
                out += upper(rng) ? c.toUpper() : c;
        }
    }
    return out;
}
} // namespace

class LinkParsingTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void screenPage_data() {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("domain");
        QTest::addColumn<bool>("seen");
        QTest::addColumn<QString>("note");
        QTest::newRow("domain named in other case")
            << "<p>Visit MySite.Example.com</p>"
            << "mysite.example.com" << true << "Possible Redirected URL";
        QTest::newRow("nothing") << "<p>hello</p>"
                                 << "mysite.example.com" << false << "";
        QTest::newRow("empty domain is in every page") << "<p>hello</p>"
                                                       << "" << true << "Possible Redirected URL";
        QTest::newRow("protected source overrides the domain note")
            << "mysite.example.com you are seeing this text because x"
            << "mysite.example.com" << true << "Source Protected";
        QTest::newRow("script error overrides both")
            << "You are seeing this text because <?PHP echo"
            << "mysite.example.com" << false << "Server Script Error";
        QTest::newRow("script error with the domain")
            << "<?php mysite.example.com"
            << "mysite.example.com" << true << "Server Script Error";
    }
    void screenPage() {
        QFETCH(QString, page);
        QFETCH(QString, domain);
        QFETCH(bool, seen);
        QFETCH(QString, note);
        const Screening s = ScreenPage(page, domain);
        QCOMPARE(s.domainSeen, seen);
        QCOMPARE(s.note, note);
    }

    void normaliseHrefs_data() {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("expected");
        QTest::newRow("split and lower-cased") << "<a HREF=\"x.html\">x</a>"
                                               << "<a \r\nhref=\"x.html\">x</a>";
        QTest::newRow("white space around the equals sign") << "<a HREF \t= \"x.html\">"
                                                            << "<a \r\nhref=\"x.html\">";
        QTest::newRow("a line break after it") << "<a href=\r\n  x.html>"
                                               << "<a \r\nhref=x.html>";
        QTest::newRow("href without an equals sign is a word") << "<p>href means\n</p>"
                                                               << "<p>href means\n</p>";
        QTest::newRow("two on one line") << "<a href=a.html><a hReF='b.html'>"
                                         << "<a \r\nhref=a.html><a \r\nhref='b.html'>";
        QTest::newRow("page starting with an attribute") << "href=a.html"
                                                         << "\r\nhref=a.html";
        QTest::newRow("one space") << "<a href= x>"
                                   << "<a \r\nhref=x>";
        QTest::newRow("3 spaces") << SpacedHref(3) << "<a \r\nhref=x>";
        QTest::newRow("9 spaces") << SpacedHref(9) << "<a \r\nhref=x>";
        QTest::newRow("40 spaces vanish") << SpacedHref(40) << "<a \r\nhref=x>";
        QTest::newRow("spaces elsewhere kept") << "a  b href=c  d"
                                               << "a  b \r\nhref=c  d";
        QTest::newRow("no attribute") << "<p>text</p>\r\n"
                                      << "<p>text</p>\r\n";
    }
    void normaliseHrefs() {
        QFETCH(QString, page);
        QFETCH(QString, expected);
        QCOMPARE(NormaliseHrefs(page), expected);
    }

    // A large page is normalised a piece at a time, cut where HrefSafeSplit says:
    // the pieces together give what the whole page gives, wherever the cut falls.
    void normalisedInPieces_data() {
        QTest::addColumn<QString>("page");
        QTest::newRow("spaced hrefs")
            << corvantis::testing::S("<a href=  \"b\">x</a> <A HREF= c>y</a>");
        QTest::newRow("runs of its letters")
            << corvantis::testing::S("hrefhref=hre href=ref= f=href =  x");
        QTest::newRow("at both ends") << corvantis::testing::S("href=   x   href=");
        QTest::newRow("wide text") << corvantis::testing::S("\u0125ref=\u0142 HREF=  \u00ff href=");
    }
    void normalisedInPieces() {
        QFETCH(QString, page);
        const corvantis::util::CaseFoldedText folded(page);
        const QString whole = NormaliseHrefs(page);
        for (qsizetype step = 1; step <= page.size(); ++step) {
            QString out;
            for (qsizetype pos = 0; pos < page.size();) {
                const qsizetype next = HrefSafeSplit(page, pos + step);
                QVERIFY(next > pos);
                AppendNormalisedHrefs(out, page, folded, pos, next);
                pos = next;
            }
            QCOMPARE(out, whole);
        }
    }

    void mailWorkText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("every line end kind") << "a\r\nb\rc\nd\n\re"
                                             << "abcde";
        QTest::newRow("one-line page differs only where split")
            << NormaliseHrefs(QStringLiteral("<a HREF=x.html>y</a>")) << "<a href=x.html>y</a>";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("only line ends") << "\r\n\n\r\r"
                                        << "";
        QTest::newRow("ends on a line end") << "x\r\ny\r\n"
                                            << "xy";
        QTest::newRow("latin-1 letters")
            << QString::fromUtf8("caf\u00e9\n\u00ff") << QString::fromUtf8("caf\u00e9\u00ff");
    }
    void mailWorkText() {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(MailWorkText(text), expected);
        QCOMPARE(MailWorkBytes(text), expected.toLatin1()); // the bytes of the work file
    }

    void splitLines_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("empty") << "" << QStringList();
        QTest::newRow("one unterminated") << "a" << QStringList{QStringLiteral("a")};
        QTest::newRow("terminated last line gives no extra line")
            << "a\r\n"
            << QStringList{QStringLiteral("a")};
        QTest::newRow("mixed ends") << "a\r\nb\rc\nd"
                                    << QStringList{QStringLiteral("a"), QStringLiteral("b"),
                                                   QStringLiteral("c"), QStringLiteral("d")};
        QTest::newRow("empty lines") << "\r\n\na\r\r\nb"
                                     << QStringList{QString(), QString(), QStringLiteral("a"),
                                                    QString(), QStringLiteral("b")};
        QTest::newRow("LF then CR are two ends")
            << "a\n\rb" << QStringList{QStringLiteral("a"), QString(), QStringLiteral("b")};
    }
    void splitLines() {
        QFETCH(QString, text);
        QFETCH(QStringList, lines);
        QCOMPARE(SplitLines(text), lines);
        // The engine's line cursor reads the same lines.
        LineCursor cursor;
        cursor.reset(text);
        QStringList read;
        while (!cursor.atEnd())
            read.append(cursor.next().toString());
        QCOMPARE(read, lines);
    }

    void redirectMarker_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("marker");
        QTest::newRow("302") << "HTTP/1.1 302 FOUND" << true;
        QTest::newRow("301") << "<h1>301 moved permanently</h1>" << true;
        QTest::newRow("document moved title") << "<TITLE>Document Moved</TITLE>" << true;
        QTest::newRow("object moved title") << "<head><title>Object Moved</title>" << true;
        QTest::newRow("302 alone") << "302 Moved" << false;
        QTest::newRow("title text without tags") << "Document Moved" << false;
    }
    void redirectMarker() {
        QFETCH(QString, line);
        QFETCH(bool, marker);
        QCOMPARE(HasRedirectMarker(line), marker);
    }

    void linkValue_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("expected"); // kSkipped when the line gives no link
        QTest::newRow("double quotes") << "href=\"friends.html\">Friends</a>"
                                       << "friends.html";
        QTest::newRow("apostrophes") << "href='friends.html'>"
                                     << "friends.html";
        QTest::newRow("unquoted, next attribute") << "href=friends.html title=Friends>"
                                                  << "friends.html";
        QTest::newRow("upper-case attribute") << "HREF=\"Upper.html\">"
                                              << "Upper.html";
        QTest::newRow("text before the attribute") << "<a class=x href=\"abc.html\">"
                                                   << "abc.html";
        QTest::newRow("spaces inside the quotes") << "href=\"  spaced.html  \">"
                                                  << "spaced.html";
        QTest::newRow("space before the quote") << "href=  \"abcdef.html\">"
                                                << "abcdef.html";
        QTest::newRow("a quoted value holds \">\" and the other quote")
            << "href=\"go.php?a='b'&c=d>e\">"
            << "go.php?a='b'&c=d>e";
        QTest::newRow("an unquoted value ends at a tab") << "href=abcdef.html\tclass=x>"
                                                         << "abcdef.html";
        QTest::newRow("a space inside the quotes is sent encoded") << "href=\"my page.html\">"
                                                                   << "my%20page.html";
        QTest::newRow("&amp; in a query") << "href=\"links.php?cat=2&amp;page=2\">"
                                          << "links.php?cat=2&page=2";
        QTest::newRow("numeric references") << "href=\"&#47;a&#x2F;b.html\">"
                                            << "/a/b.html";
        QTest::newRow("a named one, sent as UTF-8") << "href=\"caf&eacute;.html\">"
                                                    << "caf%C3%A9.html";
        QTest::newRow("a legacy name before \"=\" stays") << "href=\"x.php?a=1&copy=2\">"
                                                          << "x.php?a=1&copy=2";
        QTest::newRow("markup shown as text")
            << "href=&quot;www.x.com/&quot;&gt;x&lt;/a&gt;" << kSkipped;
        QTest::newRow("a listing's href=</span>") << "href=</span>" << kSkipped;
        QTest::newRow("the page's own bytes stay")
            << QString::fromLatin1("href=\"caf\xc3\xa9.html\">")
            << QString::fromLatin1("caf\xc3\xa9.html");
        QTest::newRow("runs to the end of the line") << "href=http://x.example.com/p.html"
                                                     << "http://x.example.com/p.html";
        QTest::newRow("later attribute loses its quote too") << "href=abcdefghref=\"x>"
                                                             << "abcdefghref=x";
        QTest::newRow("no attribute") << "<p>no link</p>" << kSkipped;
        QTest::newRow("fragment cut off") << "href=\"page.html#top\">"
                                          << "page.html";
        QTest::newRow("only a fragment") << "href=\"#top-of-page\">" << kSkipped;
        QTest::newRow("query passes") << "href=\"page.html?id=1\">"
                                      << "page.html?id=1";
        QTest::newRow("endings are case-sensitive") << "href=\"photo.JPG\">"
                                                    << "photo.JPG";
        QTest::newRow("excluded ending") << "href=\"photo.jpg\">" << kSkipped;
        QTest::newRow("excluded 3-character ending") << "href=\"script.js\">" << kSkipped;
        QTest::newRow("excluded 5-character ending") << "href=\"movie.mpeg\">" << kSkipped;
        QTest::newRow("ending only counts at the end") << "href=\"a.pdf?x=1\">"
                                                       << "a.pdf?x=1";
        QTest::newRow("five characters") << "href=\"a.htm\">" << kSkipped;
        QTest::newRow("six characters") << "href=\"a.html\">"
                                        << "a.html";
        QTest::newRow("script") << "href=\"JavaScript:go()\">" << kSkipped;
        QTest::newRow("script anywhere") << "href=\"/x?javascript=1\">" << kSkipped;
        QTest::newRow("mail") << "href=\"MAILTO:me@example.com\">" << kSkipped;
        QTest::newRow("local file") << "href=\"FILE:///c:/x.html\">" << kSkipped;
        QTest::newRow("unsaved page") << "href=\"unsaved:///x.html\">" << kSkipped;
        QTest::newRow("telephone") << "href=\"tel:+4912345678\">" << kSkipped;
        QTest::newRow("ftp") << "href=\"ftp://x.example.com/f\">" << kSkipped;
        QTest::newRow("data") << "href=\"data:text/html,hello\">" << kSkipped;
        QTest::newRow("scheme with digits and signs") << "href=\"web+x-1.2:abc\">" << kSkipped;
        QTest::newRow("https kept") << "href=\"https://x.example.com/a\">"
                                    << "https://x.example.com/a";
        QTest::newRow("http in capitals kept") << "href=\"HTTP://X.example.com/a\">"
                                               << "HTTP://X.example.com/a";
        QTest::newRow("colon later in a path is no scheme") << "href=\"/go.php?u=a:b\">"
                                                            << "/go.php?u=a:b";
        QTest::newRow("colon after a non-scheme character") << "href=\"page_1:2.html\">"
                                                            << "page_1:2.html";
        // The same rule reads a bare host with a port as a scheme.
        QTest::newRow("host with port reads as a scheme")
            << "href=\"www.example.com:8080/x\">" << kSkipped;
    }
    void linkValue() {
        QFETCH(QString, line);
        QFETCH(QString, expected);
        const auto value = LinkValue(line);
        QCOMPARE(value.value_or(kSkipped), expected);
    }

    // Generated lines and addresses (fixed seed) against the plain form of the rules.
    void linkRulesMatchReference() {
        const QStringList pieces{
            QStringLiteral("href="),      QStringLiteral("href"),       QStringLiteral("\""),
            QStringLiteral("'"),          QStringLiteral(" "),          QStringLiteral(">"),
            QStringLiteral("java"),       QStringLiteral("javascript"), QStringLiteral("mailto"),
            QStringLiteral("file://"),    QStringLiteral("unsaved:"),   QStringLiteral("tel:"),
            QStringLiteral("http:"),      QStringLiteral("http://"),    QStringLiteral("https://"),
            QStringLiteral("ttp://"),     QStringLiteral("://"),        QStringLiteral("www."),
            QStringLiteral(".jpg"),       QStringLiteral(".mpeg"),      QStringLiteral(".js"),
            QStringLiteral(".rm"),        QStringLiteral(".do"),        QStringLiteral("c"),
            QStringLiteral("."),          QStringLiteral("#"),          QStringLiteral("page"),
            QStringLiteral("/"),          QStringLiteral("x.html"),     QStringLiteral("ftp:"),
            QStringLiteral("web+x-1.2:"), QStringLiteral("a_b:"),       QString(QChar(0x17F)),
            QString(QChar(0x212A)),       QString(QChar(0xE9)),         QStringLiteral("ma"),
        };
        std::mt19937 rng(20261207);
        for (int i = 0; i < 20000; ++i) {
            const QString line = RandomPieces(rng, pieces, 10);
            QCOMPARE(LinkValue(line).value_or(kSkipped), ReferenceLinkValue(line));
            QCOMPARE(StripForKnownUrl(line),
                     ReferenceStrip(line, {"http://www.", "http://", "ttp://www", "ttp://ww",
                                           "ttp://w", "ttp://", "tp://", "p://", "://"}));
            QCOMPARE(StripForResultPage(line),
                     ReferenceStrip(line, {"http://", "ttp://", "tp://", "p://", "://"}));
            QCOMPARE(HostPart(line), ReferenceHostPart(line));
        }
    }

    void redirectTarget_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("expected");
        QTest::newRow("typical body") << "href=\"http://new.example.com/page.html\">here</a></body>"
                                      << "http://new.example.com/page.html";
        QTest::newRow("cut at the first space") << "href='/moved.html' target=_top>"
                                                << "/moved.html";
        QTest::newRow("cut at <") << "HREF=/moved.html<br>"
                                  << "/moved.html";
        QTest::newRow("nothing left") << "href=>here</a></body>"
                                      << "";
        QTest::newRow("quotes inside removed") << "href=\"a'b\"c"
                                               << "abc";
        QTest::newRow("line without the attribute stays as it is") << "Moved to new.example.com"
                                                                   << "Moved to new.example.com";
    }
    void redirectTarget() {
        QFETCH(QString, line);
        QFETCH(QString, expected);
        QCOMPARE(RedirectTarget(line), expected);
    }

    void stripForKnownUrl_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("known");
        QTest::addColumn<QString>("result");
        QTest::newRow("plain address is kept") << "partner.example.com/a.html"
                                               << "partner.example.com/a.html"
                                               << "partner.example.com/a.html";
        QTest::newRow("www. goes only for the known rule") << "HTTP://WWW.partner.example.com/a"
                                                           << "partner.example.com/a"
                                                           << "WWW.partner.example.com/a";
        QTest::newRow("scheme inside") << "p.example.com/go?u=http://www.x.example.com"
                                       << "p.example.com/go?u=x.example.com"
                                       << "p.example.com/go?u=www.x.example.com";
        QTest::newRow("other scheme loses its tail") << "ftp://x.example.com"
                                                     << "fx.example.com"
                                                     << "fx.example.com";
        QTest::newRow("https leaves its name") << "https://www.a.example.com"
                                               << "httpswww.a.example.com"
                                               << "httpswww.a.example.com";
        QTest::newRow("surrounding spaces") << "  a.example.com/x  "
                                            << "a.example.com/x"
                                            << "a.example.com/x";
    }
    void stripForKnownUrl() {
        QFETCH(QString, address);
        QFETCH(QString, known);
        QFETCH(QString, result);
        QCOMPARE(StripForKnownUrl(address), known);
        QCOMPARE(StripForResultPage(address), result);
    }

    void linkBack_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("domain");
        QTest::addColumn<bool>("direct");
        QTest::addColumn<bool>("domainLink");
        QTest::newRow("page of the www host") << "www.mysite.example.com/a.html"
                                              << "mysite.example.com" << true << false;
        QTest::newRow("other case") << "MYSITE.example.com/"
                                    << "mysite.example.com" << true << false;
        QTest::newRow("other site") << "other.example.com/"
                                    << "mysite.example.com" << false << false;
        QTest::newRow("same host, other page") << "mysite.example.com/index.html"
                                               << "mysite.example.com/links.html" << false << true;
        QTest::newRow("same host with scheme")
            << "http://mysite.example.com/index.html"
            << "HTTPS://mysite.example.com/links.html" << false << true;
        QTest::newRow("host compared with exact case")
            << "MySite.example.com/index.html"
            << "mysite.example.com/links.html" << false << false;
        QTest::newRow("empty domain counts as contained") << "other.example.com/"
                                                          << "" << true << false;
    }
    void linkBack() {
        QFETCH(QString, address);
        QFETCH(QString, domain);
        QFETCH(bool, direct);
        QFETCH(bool, domainLink);
        QCOMPARE(IsDirectLink(address, domain), direct);
        QCOMPARE(IsDomainLink(address, domain), domainLink);
    }

    void hostPart_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("host");
        QTest::newRow("page") << "http://mysite.example.com/links.html"
                              << "mysite.example.com";
        QTest::newRow("https, case kept") << "HTTPS://A.example.com"
                                          << "A.example.com";
        QTest::newRow("no path") << "mysite.example.com"
                                 << "mysite.example.com";
        QTest::newRow("empty") << ""
                               << "";
    }
    void hostPart() {
        QFETCH(QString, text);
        QFETCH(QString, host);
        QCOMPARE(HostPart(text), host);
    }
};

CORVANTIS_TEST_MAIN(LinkParsingTest)
#include "tst_link_parsing.moc"
