#include "page/robots_txt.h"
#include "support/test_env.h"

#include <QElapsedTimer>

using namespace corvantis::scan;

namespace {

// The example file of RFC 9309, section 5.1.
const QByteArray kRfcExample = "User-Agent: *\nDisallow: *.gif$\nDisallow: /example/\n"
                               "Allow: /publications/\n\n"
                               "User-Agent: foobot\nDisallow:/\nAllow:/example/page.html\n"
                               "Allow:/example/allowed.gif\n\n"
                               "User-Agent: barbot\nUser-Agent: bazbot\n"
                               "Disallow: /example/page.html\n\n"
                               "User-Agent: quxbot\n\nEOF\n";

// A "*" group whose tail starts at byte offset `at`, comment lines before it.
QByteArray TailAt(qsizetype at, const QByteArray& tail) {
    QByteArray text = "User-agent: *\n#";
    text += QByteArray(at - text.size() - 1, 'x') + '\n';
    return text + tail;
}

} // namespace

Q_DECLARE_METATYPE(RobotsFetch)

class RobotsTxtTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void allows_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("agent");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("allowed");
        const auto row = [](const char* name, const QByteArray& text, const QByteArray& path,
                            bool allowed, const char* agent = "googlebot") {
            QTest::newRow(name) << text << QString::fromLatin1(agent) << QString::fromUtf8(path)
                                << allowed;
        };
        // Rules alone, in a group for every agent.
        const auto rules = [&](const char* name, const QByteArray& text, const QByteArray& path,
                               bool allowed) {
            row(name, "User-agent: *\n" + text, path, allowed);
        };
        row("rfc foobot: disallow all", kRfcExample, "/index.html", false, "foobot");
        row("rfc foobot: allowed page", kRfcExample, "/example/page.html", true, "FooBot");
        row("rfc barbot", kRfcExample, "/example/page.html", false, "barbot");
        row("rfc bazbot shares the group", kRfcExample, "/example/page.html", false, "bazbot");
        row("rfc quxbot: empty group", kRfcExample, "/example/a.gif", true, "quxbot");
        row("rfc others: gif", kRfcExample, "/images/a.gif", false);
        row("rfc others: gif$ with a query", kRfcExample, "/images/a.gif?v=2", true);
        row("rfc others: directory", kRfcExample, "/example/", false);
        const QByteArray longest =
            "User-Agent: foobot\nAllow: /example/page/\nDisallow: /example/page/disallowed.gif\n";
        row("rfc longest: disallowed", longest, "/example/page/disallowed.gif", false, "foobot");
        row("rfc longest: allowed", longest, "/example/page/a.gif", true, "foobot");

        const QByteArray groups = "User-agent: googlebot\nDisallow: /a\n\nUser-agent: *\n"
                                  "Disallow: /b\n\nUser-agent: Googlebot/2.1\nDisallow: /c\n";
        row("groups merged: first", groups, "/a", false);
        row("groups merged: second", groups, "/c", false);
        row("own group over *", groups, "/b", true);
        row("* for other agents", groups, "/b", false, "bingbot");
        row("longer token is another agent", "User-agent: googlebot-news\nDisallow: /\n", "/",
            true);
        row("empty own group over *", "User-agent: *\nDisallow: /\nUser-agent: googlebot\n", "/",
            true);
        row("no group", "Disallow: /\n", "/", true);
        row("rules before any agent", "Disallow: /a\nUser-agent: *\nDisallow: /b\n", "/a", true);
        row("sitemap and unknown keys keep the group",
            "User-agent: *\nSitemap: https://s.test/s.xml\nCrawl-delay: 5\nDisallow: /a\n", "/a",
            false);

        rules("tie: allow wins", "Disallow: /page\nAllow: /page\n", "/page", true);
        rules("tie with wildcards", "Disallow: /pag\nAllow: /p*e\n", "/page", true);
        rules("$: exact end", "Disallow: /page$\n", "/page", false);
        rules("$: longer path", "Disallow: /page$\n", "/page/", true);
        rules("$ inside is plain", "Disallow: /a$b\n", "/a$b", false);
        rules("* in the middle", "Disallow: /a*/b\n", "/a/x/y/b", false);
        rules("* in the middle, no match", "Disallow: /a*/b\n", "/ab", true);
        rules("empty disallow", "Disallow:\nDisallow: #/\n", "/a", true);
        row("comments", "User-agent: * # all\nDisallow: /tmp # temp\n# Disallow: /x\n", "/tmp/1",
            false);
        row("CRLF", "User-agent: *\r\nDisallow: /a\r\n", "/a", false);
        row("CR", "User-agent: *\rDisallow: /a\r", "/a", false);
        row("BOM", "\xEF\xBB\xBFUser-agent: *\nDisallow: /a\n", "/a", false);
        row("blanks around", " uSeR-aGeNt\t: *\n\tdisallow :/a \n", "/a", false);
        row("line without colon", "User-agent: *\nDisallow /a\n", "/a", true);
        row("robots.txt itself", "User-agent: *\nDisallow: /\n", "/robots.txt", true);
        row("empty path is /", "User-agent: *\nDisallow: /$\n", "", false);

        rules("%7E decoded on the rule's side", "Disallow: /%7euser\n", "/~user", false);
        rules("%62%61%7A decoded on the path's side", "Disallow: /foo/bar/baz\n",
              "/foo/bar/%62%61%7A", false);
        rules("%2F kept, case of hex ignored", "Disallow: /a%2fb\n", "/a%2Fb", false);
        rules("%2F is not /", "Disallow: /a%2Fb\n", "/a/b", true);
        rules("%2A is a plain *", "Disallow: /file-%2A.html\n", "/file-*.html", false);
        rules("%2A is not a wildcard", "Disallow: /file-%2A.html\n", "/file-x.html", true);
        rules("%24 is a plain $", "Disallow: /foo-%24\n", "/foo-$", false);
        rules("UTF-8 rule, escaped path", "Disallow: /foo/bar/\xE3\x83\x84\n", "/foo/bar/%E3%83%84",
              false);
        rules("UTF-8 rule, Unicode path", "Disallow: /foo/bar/\xE3\x83\x84\n", "/foo/bar/ツ",
              false);
        rules("length ranks once percent-encoded", "Allow: /\xE3\x83\x84\nDisallow: /%E3%83\n",
              "/%E3%83%84", true);

        // What Google's parser accepts beyond the RFC.
        for (const char* key : {"useragent", "User agent"})
            row(key, QByteArray(key) + ": *\nDisallow: /a\n", "/a", false);
        for (const char* key : {"disalow", "Dissallow", "dissalow", "diasllow", "disallaw"})
            rules(key, QByteArray(key) + ": /a\n", "/a", false);
        row("* and more text", "User-agent: * all robots\nDisallow: /a\n", "/a", false);
        row("part of a BOM", "\xEF\xBBUser-agent: *\nDisallow: /a\n", "/a", false);
        // A line keeps its first 2,083 * 8 - 1 bytes, as Google's own test shows:
        // here "Disallow: " and the rule up to its last '/'.
        const QByteArray kept = "/x/" + QByteArray(2083 * 8 - 1 - 14, 'a');
        rules("over-long line cut", "Disallow: " + kept + "/qux\n", kept + "/fux", false);
        rules("over-long line cut, not sooner", "Disallow: " + kept + "/qux\n", kept + "b", true);

        row("bound: rule ends at the bound", TailAt(kMaxRobotsTxtBytes - 12, "Disallow: /a\n"),
            "/a", false);
        row("bound: rule after the bound", TailAt(kMaxRobotsTxtBytes, "Disallow: /a\n"), "/a",
            true);
        row("bound: rule cut by the bound", TailAt(kMaxRobotsTxtBytes - 12, "Disallow: /ab\n"),
            "/ax", true);
    }
    void allows() {
        QFETCH(QByteArray, text);
        QFETCH(QString, agent);
        QFETCH(QString, path);
        QFETCH(bool, allowed);
        QCOMPARE(RobotsTxt::Parse(text, agent).allows(path), allowed);
    }

    void verdictForStatus_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<RobotsFetch>("verdict");
        const std::pair<int, RobotsFetch> rows[] = {
            {200, RobotsFetch::Rules},       {301, RobotsFetch::Allowed},
            {404, RobotsFetch::Allowed},     {499, RobotsFetch::Allowed},
            {500, RobotsFetch::Unreachable}, {0, RobotsFetch::Unreachable},
        };
        for (const auto& [status, verdict] : rows)
            QTest::addRow("%d", status) << status << verdict;
    }
    void verdictForStatus() {
        QFETCH(int, status);
        QFETCH(RobotsFetch, verdict);
        QCOMPARE(RobotsVerdictForStatus(status), verdict);
    }

    // A rule of many wildcards against a long path that nearly matches: a
    // matcher that tries every split would not finish.
    void manyWildcardsStayQuick() {
        const QByteArray text =
            "User-agent: *\nDisallow: /" + QByteArray("*a").repeated(200) + "b\n";
        const RobotsTxt robots = RobotsTxt::Parse(text, u"googlebot");
        const QString path = QLatin1Char('/') + QString(20000, QLatin1Char('a'));
        const QString pathB = path + QLatin1Char('b');
        QElapsedTimer clock;
        clock.start();
        QVERIFY(robots.allows(path));
        QVERIFY(!robots.allows(pathB));
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    }
};

CORVANTIS_TEST_MAIN(RobotsTxtTest)
#include "tst_robots_txt.moc"
