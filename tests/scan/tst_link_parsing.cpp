#include "scan/link_parsing.h"
#include "support/test_env.h"

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
        QTest::newRow("space before the equals sign is not split") << "<a HREF =x.html>"
                                                                   << "<a HREF =x.html>";
        QTest::newRow("two on one line") << "<a href=a.html><a hReF='b.html'>"
                                         << "<a \r\nhref=a.html><a \r\nhref='b.html'>";
        QTest::newRow("page starting with an attribute") << "href=a.html"
                                                         << "\r\nhref=a.html";
        QTest::newRow("one space") << "<a href= x>"
                                   << "<a \r\nhref=x>";
        QTest::newRow("3 spaces") << SpacedHref(3) << "<a \r\nhref=x>";
        QTest::newRow("9 spaces") << SpacedHref(9) << "<a \r\nhref=x>";
        QTest::newRow("36 spaces vanish") << SpacedHref(36) << "<a \r\nhref=x>";
        QTest::newRow("37 spaces leave one") << SpacedHref(37) << "<a \r\nhref= x>";
        QTest::newRow("40 spaces leave four")
            << SpacedHref(40) << QStringLiteral("<a \r\nhref=    x>");
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

    void mailWorkText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("every line end kind") << "a\r\nb\rc\nd\n\re"
                                             << "abcde";
        QTest::newRow("one-line page differs only where split")
            << NormaliseHrefs(QStringLiteral("<a HREF=x.html>y</a>")) << "<a href=x.html>y</a>";
        QTest::newRow("empty") << ""
                               << "";
    }
    void mailWorkText() {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(MailWorkText(text), expected);
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
        QTest::newRow("space before the quote gives nothing")
            << "href=  \"abcdef.html\">" << kSkipped;
        QTest::newRow("runs to the end of the line") << "href=http://x.example.com/p.html"
                                                     << "http://x.example.com/p.html";
        QTest::newRow("later attribute loses its quote too") << "href=abcdefghref=\"x\">"
                                                             << "abcdefghref=x";
        QTest::newRow("no attribute") << "<p>no link</p>" << kSkipped;
        QTest::newRow("fragment") << "href=\"page.html#top\">" << kSkipped;
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
