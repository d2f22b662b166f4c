// corvantis-scan as a user runs it: arguments, exit status, stdout and stderr.
#include "support/test_env.h"
#include "support/test_http_server.h"
#include "support/test_notifications.h"
#include "support/test_smtp_server.h"
#include "util/settings_store.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageAuthenticationCode>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

using corvantis::testing::HttpReply;
using corvantis::testing::S;
using corvantis::testing::TestHttpServer;
using corvantis::testing::TestNotifications;
using corvantis::testing::TestSmtpServer;

namespace {
struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};
} // namespace

class ScanCliTest : public QObject {
    Q_OBJECT
    TestHttpServer m_server;
    QTemporaryDir m_dir;

    // Runs the scanner while this process's event loop keeps the test server answering.
    Run run(const QStringList& args) {
        QProcess p;
        p.setProgram(QStringLiteral(CORVANTIS_SCAN));
        p.setArguments(args);
        QSignalSpy finished(&p, &QProcess::finished);
        p.start();
        Run r;
        if (!finished.wait(30000)) {
            p.kill();
            p.waitForFinished(5000);
            return r;
        }
        r.exitCode = p.exitCode();
        r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
        r.err = QString::fromLocal8Bit(p.readAllStandardError());
        return r;
    }

    QString webhook(const char* path) const {
        return QStringLiteral("http://127.0.0.1:%1/").arg(m_server.port()) + QLatin1String(path);
    }

    QString route(const char* host) const {
        return QLatin1String(host) + QStringLiteral(":127.0.0.1:") +
               QString::number(m_server.port());
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_server.start());
        m_server.setReply(
            QStringLiteral("partner.test/"),
            HttpReply::html("<a href=\"deep/page.html\">x</a> <a href=\"tel:+4912345\">call</a>"));
        m_server.setReply(
            QStringLiteral("partner.test/deep/page.html"),
            HttpReply::html("<a rel=\"nofollow\" href=\"http://www.mysite.test/\">me</a>"));
        m_server.setReply(QStringLiteral("broken.test/"),
                          HttpReply::status(404, "Not Found", "gone"));
    }

    void badInput_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("no domain") << QStringList{QStringLiteral("partner.test/")}
                                   << "Please enter the Domain you want to find links to.";
        QTest::newRow("no partners")
            << QStringList{QStringLiteral("--domain"), QStringLiteral("mysite.test")}
            << "Please enter at least one website to search for links.";
        QTest::newRow("unknown option")
            << QStringList{QStringLiteral("--frobnicate")} << "frobnicate";
        QTest::newRow("bad route")
            << QStringList{QStringLiteral("--connect-to"), QStringLiteral("x.test:1.2.3.4")}
            << "HOST:ADDR:PORT";
        QTest::newRow("unknown format")
            << QStringList{QStringLiteral("--format"), QStringLiteral("xml")} << "tsv or json";
        QTest::newRow("lost after zero")
            << QStringList{QStringLiteral("--lost-after"), QStringLiteral("0")} << "--lost-after";
        QTest::newRow("eleven sites")
            << QStringList{QStringLiteral("--sites"), QStringLiteral("11")} << "--sites";
        QTest::newRow("history and none")
            << QStringList{QStringLiteral("--history"), QStringLiteral("h.sqlite"),
                           QStringLiteral("--no-history")}
            << "exclude each other";
        QTest::newRow("missing partner file")
            << QStringList{QStringLiteral("--domain"), QStringLiteral("m.test"),
                           QStringLiteral("--partners"), QStringLiteral("/nonexistent/list.txt")}
            << "/nonexistent/list.txt";
        const auto args = [](const char* line) { return QString::fromLatin1(line).split(u' '); };
        QTest::newRow("mail without server") << args("--mail-to a@b.test") << "--smtp";
        QTest::newRow("always, no alert") << args("--alert-always") << "needs --mail-to";
        QTest::newRow("schedule, no project") << args("--schedule daily@07:30") << "--project";
        QTest::newRow("schedule unreadable")
            << args("--project p.prj --schedule daily@7:30") << "daily@HH:MM";
        QTest::newRow("schedule, no such project")
            << args("--project /nonexistent/p.prj --schedule off") << "no such project";
    }
    void badInput() {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        const Run r = run(args);
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QCOMPARE(r.out, QString());
    }

    void scanPrintsResultsAndErrors() {
        const QString list = m_dir.filePath(QStringLiteral("partners.txt"));
        QFile f(list);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("\r\nhttp://broken.test/|2\r\n\r\n");
        f.close();
        const QStringList args{QStringLiteral("--domain"),
                               QStringLiteral("www.mysite.test"),
                               QStringLiteral("--partners"),
                               list,
                               QStringLiteral("partner.test/"),
                               QStringLiteral("--connect-to"),
                               route("partner.test"),
                               QStringLiteral("--connect-to"),
                               route("broken.test"),
                               QStringLiteral("--timeout"),
                               QStringLiteral("5"),
                               QStringLiteral("--stats")};
        const Run r = run(args);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QStringLiteral(
                            "result\tbroken.test/\tNone Found (404 Not "
                            "found)\t000\tbroken.test/\t\t\tNew partner\n"
                            "result\tpartner.test/\tDirect "
                            "Link\t001\tpartner.test/deep/page.html\tnofollow\tme\tNew partner\n"
                            "error\t404 Not found\tbroken.test/\n"));
        // One site at a time prints the same lines (the history has them now).
        QCOMPARE(run(args + QStringList{QStringLiteral("--sites"), QStringLiteral("1")}).out,
                 QString(r.out).remove(QStringLiteral("New partner")));
        const QString last = r.err.trimmed().section(QLatin1Char('\n'), -1);
        QVERIFY2(last.startsWith(QStringLiteral("pages=3 seconds=")), qPrintable(last));
        QVERIFY(last.contains(QStringLiteral(" max_stall_ms=")) &&
                last.contains(QStringLiteral(" peak_rss_kb=")));
    }

    void flagsOverrideSettingsForOneRunOnly() {
        // The window's options say "one page per site"; the flag lifts it for this run.
        corvantis::util::WriteSetting(QStringLiteral("cmbAdvance"), QStringLiteral("0"));
        corvantis::util::WriteSetting(QStringLiteral("SitesAtOnce"), QStringLiteral("7"));
        corvantis::util::SettingsStore::instance().sync();
        // --help tells the values that will be used.
        const Run help = run({QStringLiteral("--help")});
        QVERIFY2(help.out.simplified().contains(
                     QStringLiteral("the same for any N (now 7, from the options).")),
                 qPrintable(help.out));
        const QStringList base{QStringLiteral("--domain"),      QStringLiteral("mysite.test"),
                               QStringLiteral("partner.test/"), QStringLiteral("--connect-to"),
                               route("partner.test"),           QStringLiteral("--quiet"),
                               QStringLiteral("--no-history")};
        const Run limited = run(base);
        QCOMPARE(limited.exitCode, 0);
        QCOMPARE(limited.out,
                 QStringLiteral("result\tpartner.test/\tNone Found\t000\tpartner.test/\t\t\t\n"));
        const Run lifted = run(base + QStringList{QStringLiteral("--no-page-limit")});
        QVERIFY(lifted.out.contains(QStringLiteral("Direct Link")));
        QCOMPARE(run(base).out, limited.out); // nothing was written back
        // Without the link value, its two fields stay empty.
        QString unvalued = lifted.out;
        unvalued.replace(QStringLiteral("\tnofollow\tme\t\n"), QStringLiteral("\t\t\t\n"));
        QVERIFY(unvalued != lifted.out);
        QCOMPARE(run(base + QStringList{QStringLiteral("--no-page-limit"),
                                        QStringLiteral("--no-link-value")})
                     .out,
                 unvalued);
    }

    void projectIsScannedAndSavedBack() {
        const QString project = m_dir.filePath(QStringLiteral("friends.prj"));
        const QByteArray before =
            "mysite.test\r\npartner.test/|1|http://partner.test/|Partner|Nice\r\n"
            "HTML01:<html>|||<body>\r\nHTML02:\r\nHTML03:</body>\r\n"
            "RESULT:1|old.test/|None Found|000|old.test/\r\n\r\n";
        QFile f(project);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(before);
        f.close();
        const QString report = m_dir.filePath(QStringLiteral("copy.html"));
        const Run r = run({QStringLiteral("--project"), project, QStringLiteral("--save"),
                           QStringLiteral("--report"), report, QStringLiteral("--connect-to"),
                           route("partner.test"), QStringLiteral("--no-page-limit"),
                           QStringLiteral("--quiet")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QStringLiteral("result\tpartner.test/\tDirect "
                                       "Link\t001\tpartner.test/deep/page.html\tnofollow\tme\t\n"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(
            f.readAll(),
            QByteArray(
                "mysite.test\r\npartner.test/|1|http://partner.test/|Partner|Nice\r\n"
                "HTML01:<html>|||<body>\r\nHTML02:\r\nHTML03:</body>\r\n"
                "RESULT:2|partner.test/|Direct Link|001|partner.test/deep/page.html|nofollow|me"
                "\r\n\r\n"));
        // The report is written to the application folder and copied where asked.
        QFile copy(report);
        QVERIFY(copy.open(QIODevice::ReadOnly));
        const QByteArray html = copy.readAll();
        QVERIFY(html.contains("partner.test/deep/page.html</a></td><td>nofollow</td><td>me</td>"));
        QFile temp(qEnvironmentVariable("CORVANTIS_HOME") + QStringLiteral("/tempreport.html"));
        QVERIFY(temp.open(QIODevice::ReadOnly));
        QCOMPARE(temp.readAll(), html);
    }

    // Two scans with the link removed in between: the JSON document says what
    // changed, and the exit status says a link was lost.
    void historyAcrossTwoScans() {
        const QString store = m_dir.filePath(QStringLiteral("history.sqlite"));
        const QStringList args{QStringLiteral("--domain"),     QStringLiteral("mysite.test"),
                               QStringLiteral("--connect-to"), route("changing.test"),
                               QStringLiteral("--history"),    store,
                               QStringLiteral("--format"),     QStringLiteral("json"),
                               QStringLiteral("--quiet"),      QStringLiteral("changing.test/")};
        m_server.setReply(QStringLiteral("changing.test/"),
                          HttpReply::html("<a href=\"http://mysite.test/\">Mine</a>"));
        const Run first = run(args);
        QCOMPARE(first.exitCode, 0);
        m_server.setReply(QStringLiteral("changing.test/"), HttpReply::html("<p>gone</p>"));
        // The lost link wins over a report that cannot be written, which is said all the same.
        const Run second = run(args + QStringList{QStringLiteral("--report"),
                                                  QStringLiteral("/nonexistent/dir/r.html")});
        QCOMPARE(second.exitCode, 3);
        QVERIFY2(second.err.contains(QStringLiteral("/nonexistent/dir")), qPrintable(second.err));

        // Still gone: no change, and still lost since the scan that said so.
        const Run third = run(args);
        QCOMPARE(third.exitCode, 0);

        const QStringList changes{QStringLiteral("New partner"), QStringLiteral("Lost"), QString()};
        const QStringList statuses{QStringLiteral("Direct Link"), QStringLiteral("None Found"),
                                   QStringLiteral("None Found")};
        const QJsonValue lostSince =
            QJsonDocument::fromJson(second.out.toUtf8()).object().value(QStringLiteral("finished"));
        const QJsonValue lostSinces[] = {QJsonValue::Null, lostSince, lostSince};
        for (int i = 0; i < 3; ++i) {
            QJsonParseError error;
            const QJsonDocument doc = QJsonDocument::fromJson((i == 0   ? first
                                                               : i == 1 ? second
                                                                        : third)
                                                                  .out.toUtf8(),
                                                              &error);
            QCOMPARE(error.error, QJsonParseError::NoError);
            const QJsonObject o = doc.object();
            QCOMPARE(o.keys(), (QStringList{QStringLiteral("domain"), QStringLiteral("errors"),
                                            QStringLiteral("finished"), QStringLiteral("results"),
                                            QStringLiteral("started"), QStringLiteral("version")}));
            QCOMPARE(o.value(QStringLiteral("version")).toInt(), 1);
            QCOMPARE(o.value(QStringLiteral("domain")).toString(), QStringLiteral("mysite.test"));
            const QDateTime started =
                QDateTime::fromString(o.value(QStringLiteral("started")).toString(), Qt::ISODate);
            const QDateTime finished =
                QDateTime::fromString(o.value(QStringLiteral("finished")).toString(), Qt::ISODate);
            QVERIFY(started.isValid() && finished.isValid() && started <= finished);
            QCOMPARE(o.value(QStringLiteral("errors")).toArray().size(), 0);
            const QJsonArray results = o.value(QStringLiteral("results")).toArray();
            QCOMPARE(results.size(), 1);
            const QJsonObject row = results.at(0).toObject();
            QCOMPARE(row.keys(),
                     (QStringList{QStringLiteral("anchor"), QStringLiteral("change"),
                                  QStringLiteral("lost_since"), QStringLiteral("number"),
                                  QStringLiteral("site"), QStringLiteral("status"),
                                  QStringLiteral("url"), QStringLiteral("value")}));
            QCOMPARE(row.value(QStringLiteral("site")).toString(),
                     QStringLiteral("changing.test/"));
            QCOMPARE(row.value(QStringLiteral("status")).toString(), statuses[i]);
            QCOMPARE(row.value(QStringLiteral("change")).toString(), changes[i]);
            QCOMPARE(row.value(QStringLiteral("lost_since")), lostSinces[i]);
        }
        QCOMPARE(QJsonDocument::fromJson(first.out.toUtf8())
                     .object()
                     .value(QStringLiteral("results"))
                     .toArray()
                     .at(0)
                     .toObject()
                     .value(QStringLiteral("anchor"))
                     .toString(),
                 QStringLiteral("Mine"));
        // Without the history, nothing is compared and nothing recorded.
        const QByteArray kept = corvantis::testing::ReadBytes(store);
        QStringList unrecorded = args;
        unrecorded.replace(unrecorded.indexOf(QStringLiteral("--history")),
                           QStringLiteral("--no-history"));
        unrecorded.removeOne(store);
        const Run unrecordedRun = run(unrecorded);
        QCOMPARE(unrecordedRun.exitCode, 0);
        QVERIFY(unrecordedRun.out.contains(QStringLiteral("\"change\": \"\"")));
        QCOMPARE(corvantis::testing::ReadBytes(store), kept);
    }

    // A re-scan asks first for the page where the link stood in the last scan the
    // history holds; the crawl follows only when the link is no longer there.
    void rescanStartsWhereTheLinkStood_data() {
        QTest::addColumn<bool>("moved"); // the link went from b.html to c.html
        QTest::addColumn<QString>("flag");
        QTest::addColumn<QString>("asked"); // by the re-scan
        QTest::addColumn<QString>("change");
        QTest::newRow("unchanged") << false << ""
                                   << "robots.txt b.html"
                                   << "";
        QTest::newRow("moved") << true << ""
                               << "robots.txt b.html / c.html"
                               << "Moved";
        QTest::newRow("--full-crawl") << false << "--full-crawl"
                                      << "robots.txt / a.html b.html"
                                      << "";
        QTest::newRow("--no-history") << false << "--no-history"
                                      << "robots.txt / a.html b.html"
                                      << "";
    }
    void rescanStartsWhereTheLinkStood() {
        QFETCH(bool, moved);
        QFETCH(QString, flag);
        QFETCH(QString, asked);
        QFETCH(QString, change);
        const QString site = QStringLiteral("rescan.test/");
        const QByteArray link = "<a href=\"http://mysite.test/\">Mine</a>";
        m_server.setReply(site, HttpReply::html("<a href=\"a.html\">a</a>"));
        m_server.setReply(site + QStringLiteral("a.html"), HttpReply::html("<a href=b.html>b</a>"));
        m_server.setReply(site + QStringLiteral("b.html"), HttpReply::html(link));
        const QString store = m_dir.filePath(QStringLiteral("rescan.sqlite"));
        QFile::remove(store);
        const QStringList args{QStringLiteral("--domain"),
                               QStringLiteral("mysite.test"),
                               QStringLiteral("--connect-to"),
                               route("rescan.test"),
                               QStringLiteral("--history"),
                               store,
                               QStringLiteral("--format"),
                               QStringLiteral("json"),
                               QStringLiteral("--quiet"),
                               QStringLiteral("--no-page-limit"),
                               site};
        QCOMPARE(run(args).exitCode, 0);
        if (moved) {
            m_server.setReply(site + QStringLiteral("b.html"),
                              HttpReply::html("<a href=c.html>c</a>"));
            m_server.setReply(site + QStringLiteral("c.html"), HttpReply::html(link));
        }
        QStringList again = args;
        if (flag == QLatin1String("--no-history"))
            again.remove(again.indexOf(QStringLiteral("--history")), 2);
        if (!flag.isEmpty())
            again.append(flag);
        const qsizetype before = m_server.requests().size();
        const Run rescan = run(again);
        QCOMPARE(rescan.exitCode, 0);
        QStringList paths;
        for (qsizetype i = before; i < m_server.requests().size(); ++i)
            paths.append(m_server.requests().at(i).key().mid(site.size() - 1));
        QStringList expected = asked.split(u' ');
        for (QString& path : expected)
            path = path == QLatin1String("/") ? path : QLatin1Char('/') + path;
        QCOMPARE(paths, expected);
        const QJsonObject row = QJsonDocument::fromJson(rescan.out.toUtf8())
                                    .object()
                                    .value(QStringLiteral("results"))
                                    .toArray()
                                    .at(0)
                                    .toObject();
        QCOMPARE(row.value(QStringLiteral("status")).toString(), QStringLiteral("Direct Link"));
        QCOMPARE(row.value(QStringLiteral("change")).toString(), change);
    }

    // A site's result lines go out when it is done, before the scan ends.
    void resultLinesGoOutAsSitesEnd() {
        m_server.setReply(QStringLiteral("late.test/"), HttpReply::html("<p>x</p>").delayed(2000));
        QProcess p;
        QSignalSpy finished(&p, &QProcess::finished);
        p.start(QStringLiteral(CORVANTIS_SCAN),
                {QStringLiteral("--domain"), QStringLiteral("mysite.test"),
                 QStringLiteral("--connect-to"), route("partner.test"),
                 QStringLiteral("--connect-to"), route("late.test"), QStringLiteral("--quiet"),
                 QStringLiteral("--no-history"), QStringLiteral("--no-page-limit"),
                 QStringLiteral("partner.test/"), QStringLiteral("late.test/")});
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += p.readAllStandardOutput()).contains("\tme\t\n"), 1500);
        QCOMPARE(p.state(), QProcess::Running);
        QVERIFY(finished.wait(10000)); // the server answers meanwhile
        out += p.readAllStandardOutput();
        QVERIFY(out.endsWith("result\tlate.test/\tNone Found\t000\tlate.test/\t\t\t\n"));
    }

    // A site whose HTML shows fewer links than expected: its page as a browser
    // shows it, once its scripts have run; the computed style tells hidden links.
    void pagesAsABrowserSeesThem_data() {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QByteArray>("script"); // served as script.js beside it
        QTest::addColumn<QString>("flag");
        QTest::addColumn<QString>("result"); // status, value
        const QByteArray write = "<script>document.getElementById('t').innerHTML = "
                                 "'<a href=\"http://my' + 'site.test/\">Mine</a>';</script>";
        const QByteArray viaFile = "<script src=\"script.js\"></script>";
        const QByteArray link = "<a href=\"http://mysite.test/\">Mine</a>";
        const QByteArray append = "document.body.insertAdjacentHTML('beforeend', '" + link + "');";
        QTest::newRow("an inline script") << "<p id=t></p>" + write << QByteArray() << ""
                                          << "Direct Link, after JavaScript";
        QTest::newRow("an external script") << viaFile << append << ""
                                            << "Direct Link, after JavaScript";
        QTest::newRow("after a one-second timer")
            << QByteArray("<p id=t></p><script>setTimeout(function () { t.innerHTML = '<a "
                          "href=\"http://my' + 'site.test/\">Mine</a>'; }, 1000);</script>")
            << QByteArray() << ""
            << "Direct Link, after JavaScript";
        QTest::newRow("hidden by a class")
            << "<style>.x { display: none }</style><div class=x><p id=t></p></div>" + write
            << QByteArray() << ""
            << "Direct Link, hidden, after JavaScript";
        QTest::newRow("visibility by a script")
            << "<p id=t></p>" + write + "<script>t.style.visibility = 'hidden';</script>"
            << QByteArray() << ""
            << "Direct Link, hidden, after JavaScript";
        QTest::newRow("a box of no size")
            << "<p id=t style=\"height:0;overflow:hidden;line-height:0;font-size:0\"></p>" + write
            << QByteArray() << ""
            << "Direct Link, hidden, after JavaScript";
        QTest::newRow("in the HTML: never rendered")
            << link + viaFile << QByteArray("throw 1;") << ""
            << "Direct Link, Counts";
        QTest::newRow("--no-render") << viaFile << append << "--no-render"
                                     << "None Found, ";
        QTest::newRow("a load that never ends") << viaFile + write << QByteArray() << ""
                                                << "None Found, ";
    }
    void pagesAsABrowserSeesThem() {
        QFETCH(QByteArray, page);
        QFETCH(QByteArray, script);
        QFETCH(QString, flag);
        QFETCH(QString, result);
        const QString site = S("render.test/") +
                             QLatin1String(QTest::currentDataTag()).toString().replace(u' ', u'-') +
                             u'/';
        m_server.setReply(site + S("index.html"),
                          HttpReply::html("<html><body>" + page + "</body></html>"));
        const bool neverEnds = script.isEmpty() && page.contains("script.js");
        m_server.setReply(site + S("script.js"),
                          neverEnds ? HttpReply::html("x").delayed(60000)
                                    : HttpReply::raw("HTTP/1.1 200 OK\r\nContent-Type: "
                                                     "text/javascript\r\nContent-Length: " +
                                                     QByteArray::number(script.size()) +
                                                     "\r\n\r\n" + script));
        QStringList args{S("--domain"), S("mysite.test"), S("--connect-to"), route("render.test"),
                         S("--no-history"), S("--quiet"), S("--timeout"),
                         // Time for the load, the timer and the quiet after it on a busy machine;
                         // the page that never settles is given up sooner.
                         neverEnds ? S("3") : S("15"), site + S("index.html")};
        if (!flag.isEmpty())
            args << flag;
        const qsizetype before = m_server.requests().size();
        const Run r = run(args);
        QCOMPARE(r.exitCode, 0);
        const QStringList fields = r.out.section(u'\n', 0, 0).split(u'\t');
        QCOMPARE(fields.value(2) + S(", ") + fields.value(5), result);
        // The scripts of a page whose HTML has the link are never asked for; a
        // render that does not end in time leaves a note.
        bool scriptAsked = false;
        for (qsizetype i = before; i < m_server.requests().size(); ++i)
            scriptAsked = scriptAsked || m_server.requests().at(i).path.endsWith(S("script.js"));
        QCOMPARE(scriptAsked,
                 page.contains("script.js") && flag.isEmpty() && !result.endsWith(S("Counts")));
        QCOMPARE(r.out.contains(S("error\tNot rendered: ")), neverEnds);
    }

    // A partner whose link is gone has two pages rendered at most: the page where
    // the link stood last time, then its start page.
    void atMostTwoPagesRendered() {
        const QString store = m_dir.filePath(S("rendered.sqlite"));
        const QString site = S("gone.test/");
        const QByteArray script = "<script src=\"/count.js\"></script>";
        m_server.setReply(site, HttpReply::html("<a href=\"a.html\">a</a>" + script));
        m_server.setReply(site + S("a.html"), HttpReply::html("<a href=b.html>b</a>" + script));
        m_server.setReply(site + S("b.html"),
                          HttpReply::html("<a href=\"http://mysite.test/\">Mine</a>" + script));
        m_server.setReply(site + S("count.js"), HttpReply::html("var x = 1;"));
        const QStringList args{S("--domain"),      S("mysite.test"),     S("--connect-to"),
                               route("gone.test"), S("--history"),       store,
                               S("--quiet"),       S("--no-page-limit"), site};
        QVERIFY(run(args).out.contains(S("\tDirect Link\t")));
        m_server.setReply(site + S("b.html"), HttpReply::html("<p>gone</p>" + script));
        const qsizetype before = m_server.requests().size();
        const Run second = run(args);
        QCOMPARE(second.exitCode, 3);
        QByteArrayList rendered;
        for (qsizetype i = before; i < m_server.requests().size(); ++i)
            if (m_server.requests().at(i).path == S("/count.js"))
                rendered << m_server.requests().at(i).raw;
        QCOMPARE(rendered.size(), 2);
        QVERIFY2(rendered[0].contains("Referer: http://gone.test/b.html\r\n"), rendered[0]);
        QVERIFY2(rendered[1].contains("Referer: http://gone.test/\r\n"), rendered[1]);
    }

    // Alerts after a second scan of one partner, every way at once: the digest by
    // e-mail, the JSON document to the webhook, signed, and the desktop
    // notification. The first scan, all new partners, has no news.
    void alertsAfterAScan_data() {
        QTest::addColumn<QByteArray>("after"); // the partner's page in the second scan
        QTest::addColumn<QStringList>("flags");
        QTest::addColumn<QString>("subject"); // of the second scan's alert; empty: none
        QTest::addColumn<QString>("line");    // the partner's line in it
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("failure"); // the line on stderr; which way failed
        const QByteArray link = "<a href=\"http://mysite.test/\">Mine</a>";
        const QByteArray nofollow = "<a rel=nofollow href=\"http://mysite.test/\">Mine</a>";
        const QByteArray gone = "<p>gone</p>";
        const QString lost = QStringLiteral("Corvantis: 1 link lost on mysite.test");
        const QString lostLine = QStringLiteral("alert.test/: Lost, None Found, alert.test/");
        const QString valueChanged = QStringLiteral("Corvantis: 1 value changed on mysite.test");
        const QString valueLine =
            QStringLiteral("alert.test/: Value changed, Direct Link, alert.test, nofollow");
        const QString always = QStringLiteral("--alert-always");
        QTest::newRow("no change") << link << QStringList() << ""
                                   << "" << 0 << "";
        QTest::newRow("lost") << gone << QStringList() << lost << lostLine << 3 << "";
        QTest::newRow("value changed")
            << nofollow << QStringList() << valueChanged << valueLine << 0 << "";
        QTest::newRow("--alert-always")
            << link << QStringList{always} << "Corvantis: no changes on mysite.test"
            << "" << 0 << "";
        QTest::newRow("lost, mail not delivered")
            << gone << QStringList{QStringLiteral("--smtp"), QStringLiteral("smtp://127.0.0.1:1")}
            << lost << lostLine << 3 << "The alert e-mail to me@mysite.test was not sent";
        QTest::newRow("value changed, webhook refused")
            << nofollow << QStringList{QStringLiteral("--webhook"), webhook("refused")}
            << valueChanged << valueLine << 1 << "/refused answered HTTP 404";
    }
    void alertsAfterAScan() {
        QFETCH(QByteArray, after);
        QFETCH(QStringList, flags);
        QFETCH(QString, subject);
        QFETCH(QString, line);
        QFETCH(int, exitCode);
        QFETCH(QString, failure);
        TestSmtpServer smtp;
        TestNotifications desktop;
        QVERIFY(smtp.start());
        QVERIFY2(desktop.start(), "dbus-daemon is needed for the desktop notification");
        qputenv("DBUS_SESSION_BUS_ADDRESS", desktop.address().toUtf8());
        qputenv("CORVANTIS_WEBHOOK_SECRET", "s3cret");
        m_server.setReply(webhook("hook").mid(7), HttpReply::html("ok"));
        const QString store = m_dir.filePath(QStringLiteral("alerts.sqlite"));
        QFile::remove(store);
        const QStringList args = QStringList{QStringLiteral("--domain"),
                                             QStringLiteral("mysite.test"),
                                             QStringLiteral("--connect-to"),
                                             route("alert.test"),
                                             QStringLiteral("--history"),
                                             store,
                                             QStringLiteral("--format"),
                                             QStringLiteral("json"),
                                             QStringLiteral("--quiet"),
                                             QStringLiteral("--mail-to"),
                                             QStringLiteral("me@mysite.test"),
                                             QStringLiteral("--smtp"),
                                             QStringLiteral("smtp://127.0.0.1:%1").arg(smtp.port()),
                                             QStringLiteral("--webhook"),
                                             webhook("hook"),
                                             QStringLiteral("--notify"),
                                             QStringLiteral("alert.test/")} +
                                 flags;
        m_server.setReply(QStringLiteral("alert.test/"),
                          HttpReply::html("<a href=\"http://mysite.test/\">Mine</a>"));
        const qsizetype requestsBefore = m_server.requests().size();
        QCOMPARE(run(args).exitCode, 0);
        m_server.setReply(QStringLiteral("alert.test/"), HttpReply::html(after));
        const Run second = run(args);
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        qunsetenv("CORVANTIS_WEBHOOK_SECRET");
        QCOMPARE(second.exitCode, exitCode);
        QVERIFY2(failure.isEmpty() ? second.err.isEmpty() : second.err.contains(failure),
                 qPrintable(second.err));

        // What each way received: the first scan's alert only with --alert-always.
        const int first = flags.contains(QStringLiteral("--alert-always")) ? 1 : 0;
        const int sent = subject.isEmpty() ? first : first + 1;
        const bool mailFailed = failure.contains(QLatin1String("e-mail"));
        const bool hookFailed = failure.contains(QLatin1String("HTTP"));
        QCOMPARE(smtp.mails().size(), mailFailed ? first : sent);
        QCOMPARE(desktop.received.size(), sent);
        QByteArrayList hooks;
        for (qsizetype i = requestsBefore; i < m_server.requests().size(); ++i)
            if (m_server.requests().at(i).path == QLatin1String("/hook"))
                hooks.append(m_server.requests().at(i).raw);
        QCOMPARE(hooks.size(), hookFailed ? first : sent);
        if (subject.isEmpty())
            return;
        QCOMPARE(desktop.received.last(), subject + QLatin1Char('\n') + line);
        if (!mailFailed) {
            const QByteArray mail = smtp.mails().last().data;
            QCOMPARE(smtp.mails().last().to, QByteArray("me@mysite.test"));
            QVERIFY2(mail.contains(QByteArray("\r\nSubject: " + subject.toUtf8() + "\r\n")), mail);
            QVERIFY2(mail.contains(QByteArray("\r\n" + line.toUtf8() + "\r\n")), mail);
        }
        if (!hookFailed) {
            const QByteArray request = hooks.last();
            const QByteArray body = request.mid(request.indexOf("\r\n\r\n") + 4);
            QCOMPARE(body, second.out.toUtf8());
            const QByteArray signature =
                QMessageAuthenticationCode::hash(body, "s3cret", QCryptographicHash::Sha256)
                    .toHex();
            QVERIFY2(request.contains(
                         QByteArray("\r\nX-Corvantis-Signature: sha256=" + signature + "\r\n")),
                     request);
            QVERIFY(request.contains("\r\nContent-Type: application/json\r\n"));
        }
    }

    // --schedule writes the timer and its service with the alert options given,
    // and asks systemctl (a stand-in here) to enable it, without scanning.
    void scheduleWritesTheTimer() {
        const QString bin = m_dir.filePath(QStringLiteral("bin"));
        QVERIFY(QDir().mkpath(bin));
        const QString calls = m_dir.filePath(QStringLiteral("systemctl-calls"));
        QFile stand(bin + QStringLiteral("/systemctl"));
        QVERIFY(stand.open(QIODevice::WriteOnly));
        stand.write("#!/bin/sh\necho \"$@\" >> '" + calls.toUtf8() + "'\n");
        stand.close();
        stand.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString project = m_dir.filePath(QStringLiteral("daily.prj"));
        QFile(project).open(QIODevice::WriteOnly);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PATH"), bin);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(CORVANTIS_SCAN),
                {QStringLiteral("--project"), project, QStringLiteral("--schedule"),
                 QStringLiteral("daily@06:15"), QStringLiteral("--webhook"),
                 QStringLiteral("https://hook.test/x")});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 0);
        const QString unit = m_dir.filePath(QStringLiteral("config/systemd/user/")) +
                             QString::fromUtf8(p.readAllStandardOutput())
                                 .section(QStringLiteral("/systemd/user/"), 1)
                                 .trimmed()
                                 .chopped(6); // ".timer"
        QVERIFY(corvantis::testing::ReadBytes(unit + QStringLiteral(".timer"))
                    .contains("OnCalendar=*-*-* 06:15:00\n"));
        QVERIFY(corvantis::testing::ReadBytes(unit + QStringLiteral(".service"))
                    .contains("\"--save\" \"--notify\" \"--webhook\" \"https://hook.test/x\"\n"));
        QCOMPARE(corvantis::testing::ReadBytes(calls),
                 "--user daemon-reload\n--user enable --now " +
                     QFileInfo(unit).fileName().toUtf8() + ".timer\n");
    }

    void saveNeedsAProject() {
        const Run r = run({QStringLiteral("--save"), QStringLiteral("--domain"),
                           QStringLiteral("m.test"), QStringLiteral("p.test")});
        QCOMPARE(r.exitCode, 2);
        QVERIFY(r.err.contains(QStringLiteral("--project")));
    }
};

CORVANTIS_TEST_MAIN(ScanCliTest)
#include "tst_scan_cli.moc"
