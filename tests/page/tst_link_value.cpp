// The value of a link back and its anchor text, from the page and its headers:
// rel tokens, robots meta tags, X-Robots-Tag headers, the canonical link and
// the robots.txt rule, in the order the value lists them.
#include "page/link_value.h"
#include "page/page_encoding.h"
#include "support/test_env.h"

using namespace corvantis::scan;
using corvantis::testing::S;

namespace {
const QString kPage = S("partner.test/links.html");
// Addresses as the scan compares them: no scheme; a path from the site's root.
QString Resolve(const QString& href) {
    QString a = href;
    for (const char* scheme : {"http://", "https://"})
        if (a.startsWith(QLatin1String(scheme)))
            a = a.mid(int(qstrlen(scheme)));
    return a.startsWith(u'/') ? S("partner.test") + a : a;
}
bool IsLinkBack(const QString& address) {
    return address.startsWith(S("www.mysite.test"));
}
const QByteArray kBack = "<a href=\"http://www.mysite.test/\"";
} // namespace

class LinkValueTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void value_data() {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QByteArray>("headers");
        QTest::addColumn<int>("robots");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("anchor");
        const auto row = [](const char* name, const QByteArray& page, const QByteArray& headers,
                            RobotsRule robots, const char* value, const char* anchor = "Mine") {
            QTest::newRow(name) << page << headers << int(robots) << S(value) << S(anchor);
        };
        const RobotsRule no = RobotsRule::NotChecked;
        row("plain", kBack + ">Mine</a>", {}, RobotsRule::Allowed, "Counts");
        row("rel nofollow", kBack + " rel=\"nofollow\">Mine</a>", {}, no, "nofollow");
        row("rel tokens in any case and order", kBack + " REL='UGC Sponsored nofollow'>Mine</a>",
            {}, no, "nofollow, sponsored, ugc");
        row("rel of no weight", kBack + " rel=noopener>Mine</a>", {}, no, "Counts");
        row("meta noindex", "<meta name=\"robots\" content=\"noindex\">" + kBack + ">Mine</a>", {},
            no, "noindex (meta)");
        row("meta attributes the other way, capitals",
            "<META CONTENT=\"NOFOLLOW\" NAME=\"Robots\">" + kBack + ">Mine</a>", {}, no,
            "nofollow (meta)");
        row("meta googlebot none", "<meta name=googlebot content=none>" + kBack + ">Mine</a>", {},
            no, "noindex (meta), nofollow (meta)");
        row("meta for another crawler", "<meta name=bingbot content=noindex>" + kBack + ">Mine</a>",
            {}, no, "Counts");
        row("header noindex", kBack + ">Mine</a>", "HTTP/1.1 200 OK\r\nX-Robots-Tag: noindex\r\n",
            no, "noindex (header)");
        row("header for googlebot", kBack + ">Mine</a>",
            "HTTP/1.1 200 OK\r\nx-robots-tag: googlebot: nofollow\r\n", no, "nofollow (header)");
        row("header for another crawler", kBack + ">Mine</a>",
            "HTTP/1.1 200 OK\r\nX-Robots-Tag: otherbot: noindex\r\n", no, "Counts");
        row("every header counts", kBack + ">Mine</a>",
            "HTTP/1.1 200 OK\r\nX-Robots-Tag: unavailable_after: 25 Jun 2010\r\n"
            "X-Robots-Tag: none\r\n",
            no, "noindex (header), nofollow (header)");
        row("canonical to itself",
            "<link rel=canonical href=\"/links.html\">" + kBack + ">Mine</a>", {}, no, "Counts");
        row("canonical elsewhere",
            "<link href=\"http://partner.test/other.html\" rel=\"Canonical\">" + kBack +
                ">Mine</a>",
            {}, no, "canonical elsewhere");
        row("robots.txt blocks", kBack + ">Mine</a>", {}, RobotsRule::Blocked,
            "blocked by robots.txt");
        row("reasons in their order", kBack + " rel=nofollow>Mine</a>",
            "HTTP/1.1 200 OK\r\nX-Robots-Tag: noindex\r\n", RobotsRule::Unreachable,
            "nofollow, noindex (header), robots.txt unreachable");
        row("the link that counts wins", kBack + " rel=nofollow>First</a> " + kBack + ">Second</a>",
            {}, no, "Counts", "Second");
        row("else the first", kBack + " rel=ugc>First</a>" + kBack + " rel=nofollow>Second</a>", {},
            no, "ugc", "First");
        row("anchor: tags out, white space folded, entities",
            kBack + "><b>My</b>\n   &amp;\tsite</a>", {}, no, "Counts", "My & site");
        row("anchor: an image's alt", kBack + "><img src=\"x.png\" alt=\"Logo\"></a>", {}, no,
            "Counts", "Logo");
        row("only in a script", "<script>document.write('" + kBack + ">Mine</a>')</script>", {}, no,
            "in a script", "");
        row("in a style", "<style>/* <a href='http://www.mysite.test/'> */</style>", {}, no,
            "in a script", "");
        row("a link-to-us box", "<textarea>" + kBack + ">My Site</a></textarea>", {}, no, "as text",
            "");
        row("escaped in a box", "<textarea>&lt;a href=\"http://www.mysite.test/\"&gt;</textarea>",
            {}, no, "as text", "");
        row("in the title", "<title>" + kBack + "></title><a href=/x.html>x</a>", {}, no, "as text",
            "");
        row("in template content", "<template><p>" + kBack + ">Mine</a></template>", {}, no,
            "as text", "");
        row("in an attribute's value", "<input value='" + kBack + ">Mine</a>'>", {}, no, "as text",
            "");
        row("written out in the text", "<pre>&lt;a href=\"http://www.mysite.test/\"&gt;</pre>", {},
            no, "as text", "");
        row("anchor: what it hides is no words",
            kBack + ">My <span style='display:none'>secret </span>site</a>", {}, no, "Counts",
            "My site");
        row("in an xmp", "<xmp>" + kBack + ">Mine</a></xmp>", {}, no, "as text", "");
        row("the place that comes first",
            "<textarea>" + kBack + "></textarea><!--" + kBack + ">-->", {}, no, "as text", "");
        row("a comment ended by <!-->", "<!-->" + kBack + ">Mine</a>", {}, no, "Counts");
        row("a comment ended by <!--->", "<!--->" + kBack + ">Mine</a>", {}, no, "Counts");
        row("a comment ended by --!>", "<!-- old --!>" + kBack + ">Mine</a>", {}, no, "Counts");
        row("a comment runs to its end", "<!-- a -- b " + kBack + ">x</a> -->", {}, no,
            "in a comment", "");
        row("an <a> left open in a hidden block",
            "<div hidden><a href=/x.html>x</div><p>" + kBack + ">Mine</a>", {}, no, "Counts");
        row("a <p> ends at a <div>", "<p style=display:none>x<div>" + kBack + ">Mine</a></div>", {},
            no, "Counts");
        row("a <td> ends at a <tr>",
            "<table><tr><td hidden>x<tr><td>" + kBack + ">Mine</a></table>", {}, no, "Counts");
        row("the last declaration wins", kBack + " style='display:none; display:inline'>Mine</a>",
            {}, no, "Counts");
        row("!important beats a later one",
            kBack + " style='display:none!important;display:inline'>Mine</a>", {}, no, "hidden");
        row("an inline display beats hidden", kBack + " hidden style='display:block'>Mine</a>", {},
            no, "Counts");
        row("visible inside invisible",
            "<div style='visibility:hidden'><span style='visibility:visible'>" + kBack +
                ">Mine</a></span></div>",
            {}, no, "Counts");
        row("anchor: named references", kBack + ">Caf&eacute; &amp; Bar&nbsp;</a>", {}, no,
            "Counts", "Caf\u00e9 & Bar");
        row("anchor: UTF-8 by meta charset", "<meta charset=utf-8>" + kBack + ">caf\xc3\xa9</a>",
            {}, no, "Counts", "caf\u00e9");
        row("anchor: UTF-8 by the header", kBack + ">caf\xc3\xa9</a>",
            "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=UTF-8\r\n", no, "Counts",
            "caf\u00e9");
        row("anchor: windows-1252 by default",
            kBack + ">\x93"
                    "caf\xe9\x94</a>",
            {}, no, "Counts", "\u201ccaf\u00e9\u201d");
        row("an area's alt", "<map><area href='http://www.mysite.test/' alt='Mine'></map>", {}, no,
            "Counts");
        row("a fragment and a reference in the href",
            "<a href='http://www.mysite.test/?a=1&amp;b=2#top'>Mine</a>", {}, no, "Counts");
        row("only in a comment", "<!-- " + kBack + ">Mine</a> --><a href=\"/other.html\">Other</a>",
            "HTTP/1.1 200 OK\r\nX-Robots-Tag: noindex\r\n", RobotsRule::Allowed,
            "noindex (header), in a comment", "");
        row("in a comment, last of the reasons",
            "<link rel=canonical href=/other.html><!--" + kBack + " rel=ugc>Mine</a>-->", {}, no,
            "ugc, canonical elsewhere, in a comment", "");
        row("in a comment and outside it", "<!-- " + kBack + ">Old</a> -->" + kBack + ">Mine</a>",
            {}, no, "Counts");
        row("hidden: display none",
            kBack + " style=\"color: red; DISPLAY : none !important\">Mine</a>", {}, no, "hidden");
        row("hidden: an ancestor's visibility",
            "<div style='visibility:hidden'><p><span>" + kBack + ">Mine</a></span></p></div>", {},
            no, "hidden");
        row("hidden: the hidden attribute", "<section hidden><ul><li>" + kBack + ">Mine</a></ul>",
            {}, no, "hidden");
        row("hidden, after the other reasons", "<div hidden>" + kBack + " rel=ugc>Mine</a></div>",
            {}, RobotsRule::Blocked, "ugc, blocked by robots.txt, hidden");
        row("visible again after the hidden element",
            "<div style=display:none><p>x</div><br><p><img alt=y>" + kBack + ">Mine</a>", {}, no,
            "Counts");
        row("a hidden list item ends at the next",
            "<ul><li hidden>old<li>" + kBack + ">Mine</a></ul>", {}, no, "Counts");
        row("a visible link wins over a hidden one",
            "<span hidden>" + kBack + ">Hidden</a></span>" + kBack + ">Mine</a>", {}, no, "Counts");
        row("display other than none", kBack + " style=\"display:inline\">Mine</a>", {}, no,
            "Counts");
        row("an invalid display is dropped",
            "<div style='display:none; display:nonee'>" + kBack + ">Mine</a></div>", {}, no,
            "hidden");
        row("the hidden attribute under an invalid display",
            "<div hidden style='display:blok'>" + kBack + ">Mine</a></div>", {}, no, "hidden");
        row("display revert: the hidden attribute again",
            kBack + " hidden style='display:block; display:revert'>Mine</a>", {}, no, "hidden");
        row("display inherit is not none",
            "<div hidden style='display:inherit'>" + kBack + ">Mine</a></div>", {}, no, "Counts");
        row("visibility revert takes the parent's",
            "<p style='visibility:hidden'><b style='visibility:revert'>" + kBack +
                ">Mine</a></b></p>",
            {}, no, "hidden");
        row("visibility inherit",
            "<p style='visibility:hidden'><b style='visibility:inherit'>" + kBack +
                ">Mine</a></b></p>",
            {}, no, "hidden");
        row("visibility initial",
            "<p style='visibility:hidden'><b style='visibility:initial'>" + kBack +
                ">Mine</a></b></p>",
            {}, no, "Counts");
        row("a ';' in a string", kBack + " style=\"font-family:'a;display:none;b'\">Mine</a>", {},
            no, "Counts");
        row("the hidden attribute of an SVG element",
            "<svg><g hidden><foreignObject>" + kBack + ">Mine</a></foreignObject></g></svg>", {},
            no, "Counts");
        row("a link in template content, with its rel",
            "<template><p>" + kBack + " rel=sponsored>Mine</a></template>", {}, no,
            "sponsored, as text", "");
        row("a comment in template content",
            "<template><!--" + kBack + " rel=nofollow>x</a>--></template>", {}, no,
            "nofollow, as text", "");
        row("a box in template content",
            "<template><textarea>" + kBack + " rel=ugc>x</a></textarea></template>", {}, no,
            "ugc, as text", "");
        row("an attribute in template content",
            "<template><input value='" + kBack + " rel=nofollow>x</a>'></template>", {}, no,
            "nofollow, as text", "");
        row("an attribute's value decoded",
            "<input value=\"&lt;a href=&quot;http://www.mysite.test/&quot; "
            "rel=&quot;nofollow&quot;&gt;x&lt;/a&gt;\">",
            {}, no, "nofollow, as text", "");
        row("an attribute named like href", "<div data-href=\"http://www.mysite.test/\">x</div>",
            {}, no, "as text", "");
        row("anchor: inline elements join words",
            kBack + ">My<span>Site</span><noscript> (no script)</noscript>.<b>test</b></a>", {}, no,
            "Counts", "MySite.test");
        row("anchor: lines and images part words",
            kBack + "><div>My</div>Site<br>Home<img alt=x>Page</a>", {}, no, "Counts",
            "My Site Home Page");
        row("anchor: the first alt not blank",
            kBack + "><img alt=''><img alt=' \n'><img alt='Logo'></a>", {}, no, "Counts", "Logo");
        row("anchor: the cut keeps a surrogate pair whole",
            "<meta charset=utf-8>" + kBack + ">" + QByteArray(199, 'x') + "\xf0\x9f\x98\x80</a>",
            {}, no, "Counts", QByteArray(199, 'x').constData());
        row("anchor: a long run of white space",
            kBack + ">" + QByteArray(1601, ' ') + "<b>My Site</b></a>", {}, no, "Counts",
            "My Site");
        row("tags nested too deep: not read", QByteArray("<div>").repeated(3001) + kBack + ">x</a>",
            {}, no, "", "");
        row("self-closing SVG tags nest nothing",
            "<svg>" + QByteArray("<path d=\"M0 0\"/>").repeated(3001) + "</svg>" + kBack +
                ">Mine</a>",
            {}, no, "Counts");
        row("tags in comments and scripts nest nothing",
            "<!--" + QByteArray("<div>").repeated(3001) + "--><script>" +
                QByteArray("<div>").repeated(3001) + "</script>" + kBack + ">Mine</a>",
            {}, no, "Counts");
    }
    void value() {
        QFETCH(QByteArray, page);
        QFETCH(QByteArray, headers);
        QFETCH(int, robots);
        QFETCH(QString, value);
        QFETCH(QString, anchor);
        const LinkBackValue v = ValueOfLinksBack(DecodePage(page, QString::fromLatin1(headers)),
                                                 QString::fromLatin1(headers), kPage, Resolve,
                                                 IsLinkBack, RobotsRule(robots));
        QCOMPARE(v.reasons ? LinkValueText(*v.reasons) : QString(), value);
        QCOMPARE(v.anchor, anchor);
    }

    void anchorTextIsBounded() {
        const QString words = QString(S("word ")).repeated(100);
        const QString page = S("<a href=x>") + words + S("</a><a href=y>next</a>");
        const QList<AnchorElement> a = FindAnchors(page);
        QCOMPARE(a.size(), 2);
        QCOMPARE(a[0].text, words.simplified().left(kMaxAnchorLength));
        QCOMPARE(a[1].text, S("next"));
    }
};

CORVANTIS_TEST_MAIN(LinkValueTest)
#include "tst_link_value.moc"
