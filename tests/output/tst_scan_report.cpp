#include "output/scan_report.h"
#include "support/fakes.h"
#include "support/test_env.h"
#include "util/user_text_file.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace corvantis;
using namespace corvantis::output;
using scan::ResultRow;
using testing::FakeFileDialogs;
using testing::FakeMessages;
using testing::FixedClock;

using testing::ReadBytes;
using testing::S;
using testing::WriteBytes;

namespace {
ResultRow Row(const char* site, const char* status, const char* url) {
    return ResultRow{S(site), S(status), S("001"), S(url), {}, {}};
}
const QDateTime kWhen(QDate(2024, 3, 5), QTime(14, 7, 9), Qt::UTC);

// Two sites, one linking directly, one not; ten pages.
void FillExample(scan::ScanSession& s, scan::ScanCounters& c) {
    s.project.setDomain(S("example.com"));
    s.project.partners.append({S("a.example/links.html"), S("1"), S("http://a.example/"), {}, {}});
    s.project.partners.append({S("b.example"), S("2"), {}, {}, {}});
    ResultRow linking = Row("a.example/links.html", "Direct Link", "a.example/links.html");
    linking.value = S("nofollow");
    linking.anchor = S("A & <B>");
    s.project.results.append(linking);
    s.project.results.append(Row("b.example", "None Found", "b.example"));
    s.run.errors.append({S("404 Not found"), S("b.example/x.html")});
    c.runPagesScanned = 10;
    c.runLinksFound = 1;
}
} // namespace

class ScanReportTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void exampleLineByLine() {
        scan::ScanSession s;
        scan::ScanCounters c;
        FillExample(s, c);
        const FixedClock clock(kWhen);
        const ReportBuild build = BuildScanReport(s, c, clock);
        QVERIFY2(build.ok(), qPrintable(build.error));
        QCOMPARE(build.path,
                 QDir(qEnvironmentVariable("CORVANTIS_HOME")).filePath(S("tempreport.html")));
        const QByteArray bytes = ReadBytes(build.path);
        QVERIFY(bytes.startsWith("\xef\xbb\xbf<html>\r\n"));
        QVERIFY(bytes.endsWith("</html>\r\n\r\n"));
        const QStringList lines =
            util::DecodeUserText(bytes).split(S("\r\n")).mid(0, 44); // 44 lines, then ""
        const QStringList expected = {
            S("<html>"),
            S("<head>"),
            S("<title>Reciprocal Links to example.com - 3/5/24 2:07:09 PM UTC</title>"),
            S("<body>"),
            S("<h1>example.com</h1>"),
            S("Date: 3/5/24<BR>"),
            S("Time: 2:07:09 PM UTC<BR><BR>"),
            S("<hr>"),
            S("<b>Site Statistics</b><BR><BR>"),
            S("Number of sites: 2<BR>"),
            S("Number of pages scanned: 10<BR>"),
            S("Number of reciprocal links found: 1<BR>"),
            S("Number of direct links: 1<BR>"),
            S("Number of indirect links: 0<BR>"),
            S("Number of non-linking sites: 1<BR>"),
            S("Number of error pages: 1<BR>"),
            S("<hr>"),
            S("<b>Percentages/Averages</b><BR><BR>"),
            S("Percentage of sites with reciprocal links: 50.00%<BR>"),
            S("Percentage of non-linking sites: 50.00%<BR>"),
            S("Average number of pages scanned per site: 5.00<BR>"),
            S("<HR>"),
            S("<b>Individual Sites</b><BR><BR>"),
            S("<table border=\"1\">"),
            S("<th>Site</th><th>Links Expected</th>"),
            S("<tr><td><a target=\"_blank\" "
              "href=\"http://a.example/links.html\">a.example/links.html"
              "</a></td><td>1</td><td>http://a.example/</td></tr>"),
            S("<tr><td><a target=\"_blank\" href=\"http://b.example\">b.example</a></td><td>2</td>"
              "<td></td></tr>"),
            S("</table>"),
            S("<HR>"),
            S("<b>Individual Site Results</b><BR><BR>"),
            S("<table border=\"1\">"),
            S("<th>Site</th><th>Status</th><th>Linking URL</th><th>Link value</th>"
              "<th>Anchor text</th>"),
            S("<tr><td><a target=\"_blank\" "
              "href=\"http://a.example/links.html\">a.example/links.html"
              "</a></td><td>Direct Link</td><td><a target=\"_blank\" "
              "href=\"http://a.example/links.html\">a.example/links.html</a></td>"
              "<td>nofollow</td><td>A &amp; &lt;B&gt;</td></tr>"),
            S("<tr><td><a target=\"_blank\" href=\"http://b.example\">b.example</a></td><td>None "
              "Found</td><td><a target=\"_blank\" "
              "href=\"http://b.example\">b.example</a></td><td></td><td></td></tr>"),
            S("</table>"),
            S("<HR>"),
            S("<b>Error Pages</b><BR><BR>"),
            S("<table border=\"1\">"),
            S("<th>Error</th><th>URL</th>"),
            S("<tr><td>404 Not found</td><td><a target=\"_blank\" href=\"http://b.example/x.html\">"
              "b.example/x.html</a></td></tr>"),
            S("</table>"),
            S("</body>"),
            S("</head>"),
            S("</html>")};
        QCOMPARE(lines.size(), expected.size());
        for (int i = 0; i < expected.size(); ++i)
            QCOMPARE(lines.at(i), expected.at(i));
    }

    void counts_data() {
        QTest::addColumn<QStringList>("statuses");
        QTest::addColumn<int>("direct");
        QTest::addColumn<int>("indirect");
        QTest::addColumn<int>("nonLinking");
        QTest::newRow("each kind")
            << QStringList{S("Direct Link"), S("Domain Link"), S("Redirect Link"), S("None Found")}
            << 1 << 2 << 1;
        QTest::newRow("notes and missing count nowhere")
            << QStringList{S("None Found (404 Not found)"), S("Missing 002"), S("Indirect Link")}
            << 0 << 0 << 0;
        QTest::newRow("exact letter case")
            << QStringList{S("direct link"), S("DOMAIN LINK"), S("none found")} << 0 << 0 << 0;
    }
    void counts() {
        QFETCH(QStringList, statuses);
        QFETCH(int, direct);
        QFETCH(int, indirect);
        QFETCH(int, nonLinking);
        scan::ResultListModel model;
        for (const QString& st : statuses)
            model.append(ResultRow{S("s"), st, S("000"), S("s"), {}, {}});
        const ReportCounts c = CountReportResults(model);
        QCOMPARE(c.direct, direct);
        QCOMPARE(c.indirect, indirect);
        QCOMPARE(c.nonLinking, nonLinking);
    }

    void ratios_data() {
        QTest::addColumn<int>("sites");
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("linking");
        QTest::addColumn<QString>("average");
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        const QLocale de(QLocale::German, QLocale::Germany);
        QTest::newRow("five sites") << 5 << us << "40.00"
                                    << "2,000.00";
        QTest::newRow("german format") << 3 << de << "66,67"
                                       << "3.333,33";
        QTest::newRow("no sites") << 0 << us << "0.00"
                                  << "0.00";
    }
    void ratios() {
        QFETCH(int, sites);
        QFETCH(QLocale, locale);
        QFETCH(QString, linking);
        QFETCH(QString, average);
        scan::ScanSession s;
        for (int i = 0; i < sites; ++i)
            s.project.partners.append({S("p") + QString::number(i), S("1"), {}, {}, {}});
        s.project.results.append(Row("p0", "Direct Link", "p0"));
        s.project.results.append(Row("p1", "Domain Link", "p1"));
        scan::ScanCounters c;
        c.runPagesScanned = 10000;
        const QStringList lines = ScanReportLines(s, c, kWhen, locale);
        QCOMPARE(lines.at(18),
                 S("Percentage of sites with reciprocal links: ") + linking + S("%<BR>"));
        QCOMPARE(lines.at(20),
                 S("Average number of pages scanned per site: ") + average + S("<BR>"));
    }

    // "Changes since the last scan": each changed partner once, worst first; a new
    // partner only when the domain was scanned before.
    void changesSection_data() {
        QTest::addColumn<QStringList>("rows"); // "site=change", one result row each
        QTest::addColumn<bool>("domainInHistory");
        QTest::addColumn<QStringList>("listed"); // "site change", in the section's order
        QTest::newRow("first scan")
            << QStringList{S("a=New partner"), S("b=New partner")} << false << QStringList{};
        QTest::newRow("new partner of a domain scanned before")
            << QStringList{S("a="), S("b=New partner")} << true << QStringList{S("b New partner")};
        QTest::newRow("worst first, each once")
            << QStringList{S("a=Found"), S("b=Lost"), S("b=Lost"), S("c=New partner")} << true
            << QStringList{S("b Lost"), S("a Found"), S("c New partner")};
        QTest::newRow("no history kept") << QStringList{S("a="), S("b=")} << false << QStringList{};
    }
    void changesSection() {
        QFETCH(QStringList, rows);
        QFETCH(bool, domainInHistory);
        QFETCH(QStringList, listed);
        scan::ScanSession s;
        s.run.domainInHistory = domainInHistory;
        for (const QString& row : rows)
            s.project.results.append({row.section(u'=', 0, 0),
                                      S("Direct Link"),
                                      S("001"),
                                      {},
                                      {},
                                      {},
                                      {},
                                      {},
                                      scan::ChangeFromText(row.section(u'=', 1))});
        const QStringList lines = ScanReportLines(s, {}, kWhen, QLocale());
        // A row of the section: the site, its change, then its status.
        static const QRegularExpression kRow(
            S("^<tr><td><a [^>]*>(\\w+)</a></td><td>([^<]*)</td><td>Direct Link</td>"));
        QStringList found;
        for (const QString& line : lines)
            if (const QRegularExpressionMatch m = kRow.match(line); m.hasMatch())
                found << m.captured(1) + u' ' + m.captured(2);
        QCOMPARE(found, listed);
        QCOMPARE(lines.contains(S("<b>Changes since the last scan</b><BR><BR>")),
                 !listed.isEmpty());
    }

    void midnightTitleHasNoTime() {
        scan::ScanSession s;
        const QStringList lines =
            ScanReportLines(s, {}, QDateTime(QDate(2024, 3, 5), QTime(0, 0), Qt::UTC), QLocale());
        QCOMPARE(lines.at(2), S("<title>Reciprocal Links to  - 3/5/24</title>"));
        QCOMPARE(lines.at(6), S("Time: 12:00:00 AM UTC<BR><BR>"));
    }

    // Texts from partner pages are shown, never run.
    void partnerTextsEscaped() {
        scan::ScanSession s;
        s.project.setDomain(S("me.example"));
        s.project.partners.append(
            {S("p.example/\"><script>x()</script>"), S("1"), S("a&b"), {}, {}});
        s.project.results.append(
            Row("p.example", "Direct <b>Link</b>", "p.example/<script>alert(1)</script>"));
        s.project.results.append(Row("q.example", "None Found", "javascript:alert(2)"));
        s.run.errors.append({S("500 <i>oops</i>"), S("p.example/a b")});
        const QStringList lines = ScanReportLines(s, {}, kWhen, QLocale());
        const QString all = lines.join(QLatin1Char('\n'));
        QVERIFY(!all.contains(S("<script")));
        QVERIFY(!all.contains(S("<i>")));
        QVERIFY(!all.contains(S("href=\"javascript:")));
        QCOMPARE(
            lines.at(25),
            S("<tr><td><a target=\"_blank\" href=\"http://p.example/&quot;&gt;&lt;script&gt;x()"
              "&lt;/script&gt;\">p.example/&quot;&gt;&lt;script&gt;x()&lt;/script&gt;</a></td>"
              "<td>1</td><td>a&amp;b</td></tr>"));
        QCOMPARE(
            lines.at(31),
            S("<tr><td><a target=\"_blank\" href=\"http://p.example\">p.example</a></td><td>"
              "Direct &lt;b&gt;Link&lt;/b&gt;</td><td><a target=\"_blank\" "
              "href=\"http://p.example/&lt;script&gt;alert(1)&lt;/script&gt;\">"
              "p.example/&lt;script&gt;alert(1)&lt;/script&gt;</a></td><td></td><td></td></tr>"));
        QVERIFY(
            lines.at(32).contains(S("href=\"http://javascript:alert(2)\">javascript:alert(2)<")));
        QCOMPARE(lines.at(38), S("<tr><td>500 &lt;i&gt;oops&lt;/i&gt;</td><td><a target=\"_blank\" "
                                 "href=\"http://p.example/a b\">p.example/a b</a></td></tr>"));
    }

    void writeFailureIsReturned() {
        const QString report = ReportFilePath();
        QFile::remove(report);
        QVERIFY(QDir().mkpath(report + S("/blocker"))); // a folder where the file should go
        scan::ScanSession s;
        const FixedClock clock(kWhen);
        const ReportBuild build = BuildScanReport(s, {}, clock);
        QVERIFY(!build.ok());
        QVERIFY(build.error.contains(report));
        QVERIFY(QDir(report).removeRecursively());
    }

    void saveAs_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("written");
        QTest::addColumn<bool>("existing");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("replaced");
        const int ok = int(util::Answer::Ok), cancel = int(util::Answer::Cancel);
        QTest::newRow("htm appended") << "report"
                                      << "report.htm" << false << ok << true;
        QTest::newRow("upper-case HTML kept") << "report.HTML"
                                              << "report.HTML" << false << ok << true;
        QTest::newRow(".htmx kept") << "a.htmx"
                                    << "a.htmx" << false << ok << true;
        QTest::newRow("existing, OK replaces") << "old.htm"
                                               << "old.htm" << true << ok << true;
        QTest::newRow("existing, Cancel keeps") << "old.htm"
                                                << "old.htm" << true << cancel << false;
        QTest::newRow("asked about the completed name") << "old"
                                                        << "old.htm" << true << cancel << false;
    }
    void saveAs() {
        QFETCH(QString, typed);
        QFETCH(QString, written);
        QFETCH(bool, existing);
        QFETCH(int, answer);
        QFETCH(bool, replaced);
        QTemporaryDir dir;
        QVERIFY(WriteBytes(ReportFilePath(), "REPORT"));
        if (existing)
            QVERIFY(WriteBytes(dir.filePath(written), "OLD"));
        FakeMessages messages;
        messages.answers << util::Answer(answer);
        FakeFileDialogs dialogs;
        dialogs.paths << dir.filePath(typed);
        QCOMPARE(SaveReportAs(messages, dialogs), replaced);
        QCOMPARE(messages.asked.size(), existing ? 1 : 0);
        if (existing)
            QCOMPARE(messages.asked.at(0).text, kOverwriteQuestion);
        QCOMPARE(ReadBytes(dir.filePath(written)), QByteArray(replaced   ? "REPORT"
                                                              : existing ? "OLD"
                                                                         : ""));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 1);
        QVERIFY(messages.informed.isEmpty());
    }

    void saveAsTellsFailures() {
        QTemporaryDir dir;
        FakeMessages messages;
        FakeFileDialogs dialogs;
        QFile::remove(ReportFilePath());
        QVERIFY(!SaveReportAs(messages, dialogs)); // no report yet: said before any dialog
        QCOMPARE(messages.informed.size(), 1);
        QVERIFY(dialogs.shown.isEmpty());

        QVERIFY(WriteBytes(ReportFilePath(), "REPORT"));
        const QString plain = dir.filePath(S("plain"));
        QVERIFY(WriteBytes(plain, "x"));
        dialogs.paths << plain + S("/r.htm");
        QVERIFY(!SaveReportAs(messages, dialogs));
        QCOMPARE(messages.informed.size(), 2);
        QVERIFY(messages.informed.at(1).contains(plain + S("/r.htm")));

        dialogs.paths << S(" "); // a single space counts as no name
        QVERIFY(!SaveReportAs(messages, dialogs));
        QCOMPARE(messages.informed.size(), 2);
    }
};

CORVANTIS_TEST_MAIN(ScanReportTest)
#include "tst_scan_report.moc"
