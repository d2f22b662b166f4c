// The text rules of link import and posting, without the network.
#include "automation/link_import.h"
#include "automation/result_posting.h"
#include "support/test_env.h"

#include <QRandomGenerator>
#include <QTemporaryDir>

using namespace corvantis::automation;
using corvantis::scan::PartnerSite;
using corvantis::testing::S;

namespace {
QStringList Rows(std::initializer_list<const char*> rows) {
    QStringList out;
    for (const char* r : rows)
        out << S(r);
    return out;
}
PartnerSite Partner(const char* address, const char* expected) {
    return {S(address), S(expected), {}, {}, {}};
}
} // namespace

class LinkImportTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void importBase_data() {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("directory");
        QTest::newRow("www and path") << "http://www.mysite.example/links.htm"
                                      << "mysite.example/"
                                      << "www.mysite.example/";
        QTest::newRow("any letter case") << "HTTP://WWW.MySite.example/links/index.htm"
                                         << "MySite.example/"
                                         << "WWW.MySite.example/links/";
        QTest::newRow("https, directory without dot") << "https://mysite.example/partners"
                                                      << "mysite.example/"
                                                      << "mysite.example/partners/";
        QTest::newRow("host only") << "mysite.example"
                                   << "mysite.example"
                                   << "mysite.example/";
    }
    void importBase() {
        QFETCH(QString, page);
        const ImportBase b = ImportBaseFor(page);
        QTEST(b.base, "base");
        QTEST(b.directory, "directory");
    }

    void resolveImportLink_data() {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("resolved");
        // Links page http://www.mysite.example/links/index.htm
        QTest::newRow("outside http") << "http://other.example.com"
                                      << "other.example.com/";
        QTest::newRow("https host without marker is absolute") << "https://example.org/x"
                                                               << "example.org/x";
        QTest::newRow("rooted path below the base") << "/about.html"
                                                    << "mysite.example/about.html";
        QTest::newRow("relative below the base") << "friends.html"
                                                 << "mysite.example/friends.html";
        QTest::newRow("./ below the page's directory") << "./a/./b.html"
                                                       << "www.mysite.example/links/a/b.html";
        QTest::newRow(".. from the page's directory") << "../x.html"
                                                      << "www.mysite.example/x.html";
        QTest::newRow("end repair kept") << "http://shop.example.net/p.ph"
                                         << "shop.example.net/p.php";
    }
    void resolveImportLink() {
        QFETCH(QString, link);
        const ImportBase b =
            ImportBaseFor(QStringLiteral("http://www.mysite.example/links/index.htm"));
        QTEST(ResolveImportLink(link, b), "resolved");
    }

    void extractPageLinks_data() {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("links");
        QTest::newRow("own, outside and image link")
            << "<a href=\"http://www.mysite.example/about.html\">Me</a>\r\n"
               "<a href=\"http://other.example.com\">Other</a> <a href='pics/logo.gif'>x</a>"
            << "other.example.com/,";
        QTest::newRow("https outside link") << "<A HREF=\"https://shop.example.org/x\">"
                                            << "shop.example.org/x,";
        QTest::newRow("relative links are the user's own")
            << "<a href=a.html><a href=./b.html><a href=../c.html><a href=/d.html>"
            << "";
        QTest::newRow("skipped kinds")
            << "<a href='mailto:a@b.example'><a href='javascript:x()'><a href='http://x.com/#top'>"
               "<a href='http://y.com/a.pdf'>"
            << "";
        QTest::newRow("value runs to the end of its line")
            << "<a\nhref=http://b.example.com/page.html\n>"
            << "b.example.com/page.html,";
        QTest::newRow("no de-duplication")
            << "href=\"http://c.example.net\" href=\"http://c.example.net\""
            << "c.example.net/,c.example.net/,";
    }
    void extractPageLinks() {
        QFETCH(QString, page);
        const ImportBase b =
            ImportBaseFor(QStringLiteral("http://www.mysite.example/links/index.htm"));
        QTEST(ExtractPageLinks(page, b), "links");
    }

    void scriptList_data() {
        QTest::addColumn<int>("item");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("comma, space gives an empty row")
            << 2 << ""
            << "a.example, b.example" << Rows({"a.example", "", "b.example"});
        QTest::newRow("vertical bar, commas split too")
            << 0 << ""
            << "x.example|y.example,z.example" << Rows({"x.example", "y.example", "z.example"});
        QTest::newRow("HTML-wrapped, CR LF removed")
            << 1 << ""
            << "<html><body>\r\na.example%b.example\r\n</body></html>"
            << Rows({"a.example", "b.example"});
        QTest::newRow("typed multi-character delimiter")
            << -1 << "::"
            << "a.example::b.example:c.example" << Rows({"a.example", "b.example:c.example"});
        QTest::newRow("typed letters in any case")
            << -1 << "or"
            << "a.exampleORb.example" << Rows({"a.example", "b.example"});
        QTest::newRow("tags kept after a stray >")
            << 3 << ""
            << "a.example>!<b>b.example" << Rows({"a.example>", "<b>b.example"});
        QTest::newRow("empty output") << 0 << ""
                                      << "" << Rows({});
    }
    void scriptList() {
        QFETCH(int, item);
        QFETCH(QString, typed);
        QFETCH(QString, output);
        const auto delimiter = ChosenDelimiter(item, typed);
        QVERIFY(delimiter);
        QTEST(ScriptEntries(output, *delimiter), "rows");
    }

    // The stripping is quick for tags that occur once; it must still mean the
    // plain rule: remove every copy of the first tag, then look again.
    void tagStrippingMatchesPlainRule() {
        const auto plain = [](QString t) {
            for (;;) {
                const qsizetype open = t.indexOf(u'<');
                const qsizetype close = t.indexOf(u'>');
                if (open < 0 || close < 0 || close < open)
                    return t;
                t.replace(t.mid(open, close - open + 1), QString());
            }
        };
        QRandomGenerator random(12);
        for (int i = 0; i < 5000; ++i) {
            QString text;
            for (int n = random.bounded(30); n > 0; --n)
                text += QLatin1Char("<>ab"[random.bounded(4)]);
            TagStripper s(text);
            while (!s.run(QDeadlineTimer(0))) {
            }
            QCOMPARE(s.text(), plain(text));
        }
    }

    void noDelimiter_data() {
        QTest::addColumn<QString>("typed");
        QTest::newRow("prompt") << kDelimiterPrompt;
        QTest::newRow("empty typed text") << "";
    }
    void noDelimiter() {
        QFETCH(QString, typed);
        QVERIFY(!ChosenDelimiter(-1, typed));
    }

    void importFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("partners.txt"));
        // Windows-1252: 0xE9 is "é", 0x80 the euro sign.
        QVERIFY(corvantis::testing::WriteBytes(
            path, "partner.example|3\r\n \r\nplain.example\r\n\r\n  caf\xe9.example  | 2|x\r\n"
                  "\x80.example\r\n"));
        const ImportFile f = ReadImportFile(path);
        QVERIFY(f.ok);
        const QList<PartnerSite> expected = {
            Partner("partner.example", "3"), Partner("plain.example", "1"),
            Partner("café.example", " 2"), Partner("€.example", "1")};
        QCOMPARE(f.sites, expected);
        QVERIFY(!ReadImportFile(dir.filePath(QStringLiteral("none.txt"))).ok);
    }

    void expandScriptUrl_data() {
        QTest::addColumn<QString>("site");
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("linking");
        QTest::addColumn<QString>("url");
        QTest::newRow("variables in any case")
            << "a.example"
            << "a.example/links.html" << true
            << "http://s.example/in.php?u=a.example&s=True&p=a.example/links.html";
        QTest::newRow("values encoded as one query value")
            << "b.example&status=True"
            << "b.example/x.php?id=1#top" << false
            << "http://s.example/in.php?u=b.example%26status%3DTrue&s=False"
               "&p=b.example/x.php%3Fid%3D1%23top";
        QTest::newRow("a variable name in a value stays")
            << "$status" << S("c.example/ä b") << true
            << "http://s.example/in.php?u=%24status&s=True&p=c.example/%C3%A4%20b";
    }
    void expandScriptUrl() {
        QFETCH(QString, site);
        QFETCH(QString, address);
        QFETCH(bool, linking);
        QTEST(ExpandScriptUrl(
                  QStringLiteral("http://s.example/in.php?u=$DOMAIN&s=$Status&p=$Domain2"), site,
                  address, linking),
              "url");
    }

    void expandValueAndAnchor() {
        QCOMPARE(ExpandScriptUrl(QStringLiteral("http://s.example/in.php?v=$VALUE&a=$anchor"),
                                 S("d.example"), S("d.example/"), true, S("nofollow, ugc"),
                                 S("My & site")),
                 S("http://s.example/in.php?v=nofollow%2C%20ugc&a=My%20%26%20site"));
    }

    void postedLinking_data() {
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("posted"); // -1 not posted, 0 False, 1 True
        QTest::newRow("direct") << "Direct Link" << 1;
        QTest::newRow("redirect") << "Redirect Link" << 1;
        QTest::newRow("domain") << "Domain Link" << 0;
        QTest::newRow("none found") << "None Found (404 Not found)" << 0;
        QTest::newRow("a note is no verdict") << "None Found (Possible Redirected URL)" << 0;
        QTest::newRow("missing") << "Missing 001" << -1;
    }
    void postedLinking() {
        QFETCH(QString, status);
        const std::optional<bool> linking = PostedLinking(status);
        QTEST(linking ? int(*linking) : -1, "posted");
    }
};

CORVANTIS_TEST_MAIN(LinkImportTest)
#include "tst_link_import.moc"
