// corvantis-scan as a user runs it: arguments, exit status, stdout and stderr.
#include "support/test_env.h"
#include "support/test_http_server.h"
#include "support/test_notifications.h"
#include "support/test_process.h"
#include "support/test_smtp_server.h"
#include "support/test_socks_proxy.h"
#include "util/settings_store.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageAuthenticationCode>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>

using corvantis::testing::FromQuotedPrintable;
using corvantis::testing::HttpReply;
using corvantis::testing::S;
using corvantis::testing::TestHttpServer;
using corvantis::testing::TestNotifications;
using corvantis::testing::TestSmtpServer;
using corvantis::testing::TestSocksProxy;

namespace {
using Run = corvantis::testing::ProcessRun;

// Sets "NAME=value" in the environment the scanner inherits ("NAME" alone
// unsets it) and "setting KEY=value" in the settings it reads, until it goes.
class Given {
public:
    explicit Given(const QStringList& values) {
        for (const QString& v : values) {
            const QString name = v.section(u'=', 0, 0);
            if (name.startsWith(S("setting "))) {
                m_settings << name.mid(8);
                corvantis::util::WriteSetting(name.mid(8), v.section(u'=', 1));
                continue;
            }
            const QByteArray variable = name.toUtf8();
            m_saved.append({variable, qEnvironmentVariableIsSet(variable.constData())
                                          ? std::optional(qgetenv(variable.constData()))
                                          : std::nullopt});
            if (v.contains(u'='))
                qputenv(variable.constData(), v.section(u'=', 1).toUtf8());
            else
                qunsetenv(variable.constData());
        }
        corvantis::util::SettingsStore::instance().sync();
    }
    ~Given() {
        for (const auto& [variable, value] : m_saved)
            value ? qputenv(variable.constData(), *value) : qunsetenv(variable.constData());
        for (const QString& key : m_settings)
            corvantis::util::WriteSetting(key, QString());
        corvantis::util::SettingsStore::instance().sync();
    }

private:
    QList<std::pair<QByteArray, std::optional<QByteArray>>> m_saved;
    QStringList m_settings;
};

// The webhook receiver's check as the README gives it, run by sh on a body
// and its signature; its exit status.
int RunReceiverRecipe(const QByteArray& body, const QByteArray& signature) {
    const QStringList readme =
        QString::fromUtf8(corvantis::testing::ReadBytes(S(CORVANTIS_README))).split(u'\n');
    qsizetype at = readme.size();
    while (at > 0 && !readme[at - 1].endsWith(S("A receiver checks it so:")))
        --at;
    QStringList recipe;
    for (; at > 0 && at < readme.size() && (recipe.isEmpty() || !readme[at].isEmpty()); ++at)
        if (!readme[at].isEmpty())
            recipe << readme[at].trimmed();
    QTemporaryDir where;
    QProcess sh;
    sh.setWorkingDirectory(where.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(S("SECRET"), S("s3cret"));
    env.insert(S("HTTP_X_CORVANTIS_SIGNATURE"), QString::fromLatin1(signature));
    sh.setProcessEnvironment(env);
    sh.start(S("sh"), {S("-c"), recipe.join(u'\n')});
    sh.write(body);
    sh.closeWriteChannel();
    if (recipe.isEmpty() || !sh.waitForFinished(10000))
        return -1;
    return sh.exitCode();
}
} // namespace

// A page whose address makes an alert's line longer than SMTP's 998 octets.
const QByteArray kLongPage = QByteArray(2400, 'x') + ".html";

class ScanCliTest : public QObject {
    Q_OBJECT
    TestHttpServer m_server;
    QTemporaryDir m_dir;

    // Runs the scanner while this process's event loop keeps the test server answering.
    Run run(const QStringList& args,
            const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
            const QString& folder = QString()) {
        return corvantis::testing::RunProcess(QStringLiteral(CORVANTIS_SCAN), args, env, folder);
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
        // A stand-in systemctl first on PATH, so no test reaches the real one: it
        // records its calls and lists each timer asked for as due.
        const QString bin = m_dir.filePath(S("bin"));
        QVERIFY(QDir().mkpath(bin));
        QVERIFY(corvantis::testing::WriteBytes(
            bin + S("/systemctl"),
            "#!/bin/sh\necho \"$*\" >> '" + m_dir.filePath(S("systemctl-calls")).toUtf8() +
                "'\n[ \"$2\" = list-timers ] && for a; do case $a in *.timer) echo \"Wed "
                "2031-01-01 06:45:00 UTC 1h left n/a n/a $a ${a%.timer}.service\";; esac; done\n"
                "exit 0\n"));
        QVERIFY(QFile::setPermissions(bin + S("/systemctl"),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        qputenv("PATH", QFile::encodeName(bin) + ':' + qgetenv("PATH"));
        QVERIFY(corvantis::testing::WriteBytes(m_dir.filePath(S("sched.prj")),
                                               "mysite.test\r\npartner.test/|1\r\n"));
    }

    // Refused once the options are read and the run begins (what the options
    // alone refuse is read in-process: tests/cli/tst_command_line.cpp).
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
        QTest::newRow("missing partner file")
            << QStringList{QStringLiteral("--domain"), QStringLiteral("m.test"),
                           QStringLiteral("--partners"), QStringLiteral("/nonexistent/list.txt")}
            << "/nonexistent/list.txt";
        const QStringList schedule{S("--project"), m_dir.filePath(S("sched.prj")), S("--schedule"),
                                   S("daily@07:30")};
        QTest::newRow("schedule, a line break in --report")
            << schedule + QStringList{S("--report"), S("r\n.html")} << "line break";
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

    // A history that cannot be used is said once, though the scan, its changes
    // and the alert that would wait there all find it so.
    void historyErrorSaidOnce() {
        const QString store = m_dir.filePath(S("damaged.sqlite"));
        QVERIFY(corvantis::testing::WriteBytes(store, QByteArray(4096, 'x')));
        const Given environment({S("CORVANTIS_WEBHOOK_SECRET")});
        const Run r =
            run({S("--domain"), S("mysite.test"), S("--connect-to"), route("partner.test"),
                 S("--history"), store, S("--quiet"), S("--alert-always"), S("--webhook"),
                 webhook("refused"), S("partner.test/")});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.err.count(S("The scan history \"") + store), 1);
        QVERIFY2(r.err.contains(S("/refused answered HTTP 404")), qPrintable(r.err));
    }

    // A re-scan asks first for the page where the link stood in the last scan the
    // history holds; the crawl follows only when the link is no longer there.
    void rescanStartsWhereTheLinkStood_data() {
        QTest::addColumn<bool>("moved"); // the link went from b.html to c.html
        QTest::addColumn<QString>("flag");
        QTest::addColumn<QString>("asked"); // by the re-scan
        QTest::addColumn<QString>("change");
        // The re-scan's connections to a server that keeps them: robots.txt's, and
        // the pages' (the first goes out beside robots.txt).
        QTest::addColumn<int>("connections");
        QTest::newRow("unchanged") << false << ""
                                   << "robots.txt b.html"
                                   << "" << 2;
        QTest::newRow("moved") << true << ""
                               << "robots.txt b.html / c.html"
                               << "Moved" << 2;
        QTest::newRow("--full-crawl") << false << "--full-crawl"
                                      << "robots.txt / a.html b.html"
                                      << "" << 2;
        QTest::newRow("--no-history") << false << "--no-history"
                                      << "robots.txt / a.html b.html"
                                      << "" << 2;
        QTest::newRow("--no-keep-alive") << true << "--no-keep-alive"
                                         << "robots.txt b.html / c.html"
                                         << "Moved" << 4;
    }
    void rescanStartsWhereTheLinkStood() {
        QFETCH(bool, moved);
        QFETCH(QString, flag);
        QFETCH(QString, asked);
        QFETCH(QString, change);
        QFETCH(int, connections);
        corvantis::testing::ConnectionRule keeps;
        keeps.keepAlive = true;
        m_server.setConnectionRule(keeps);
        const auto asBefore = qScopeGuard([this] { m_server.setConnectionRule({}); });
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
        const int connectionsBefore = m_server.connectionCount();
        const Run rescan = run(again);
        QCOMPARE(rescan.exitCode, 0);
        QCOMPARE(m_server.connectionCount() - connectionsBefore, connections);
        QStringList paths;
        for (qsizetype i = before; i < m_server.requests().size(); ++i) {
            paths.append(m_server.requests().at(i).key().mid(site.size() - 1));
            // Without keep-alive, the request of one connection a page.
            QCOMPARE(m_server.requests().at(i).raw.contains("\r\nConnection: close\r\n"),
                     flag == QLatin1String("--no-keep-alive"));
        }
        // robots.txt first, or beside the first page.
        QVERIFY(paths.indexOf(QStringLiteral("/robots.txt")) <= 1);
        paths.move(paths.indexOf(QStringLiteral("/robots.txt")), 0);
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
        QTest::addColumn<QByteArray>("after");  // the partner's page in the second scan
        QTest::addColumn<QStringList>("flags"); // SMTP_PORT, PROXY_PORT: those servers' ports
        QTest::addColumn<QStringList>("given"); // environment and settings (Given) of both scans
        QTest::addColumn<QString>("subject");   // of the second scan's alert; empty: none
        QTest::addColumn<QString>("line");      // the partner's line in it
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("failure"); // the line on stderr
        QTest::addColumn<QString>("missed");  // the ways the second scan's alert did not reach
        const QByteArray link = "<a href=\"http://mysite.test/\">Mine</a>";
        const QByteArray nofollow = "<a rel=nofollow href=\"http://mysite.test/\">Mine</a>";
        const QByteArray gone = "<p>gone</p>";
        const QString lost = QStringLiteral("Corvantis: 1 link lost on mysite.test");
        const QString lostLine = QStringLiteral("alert.test/: Lost, None Found, alert.test/");
        const QString valueChanged = QStringLiteral("Corvantis: 1 value changed on mysite.test");
        const QString valueLine =
            QStringLiteral("alert.test/: Value changed, Direct Link, alert.test, nofollow");
        const QString always = QStringLiteral("--alert-always");
        const QStringList none;
        QTest::newRow("no change") << link << none << none << ""
                                   << "" << 0 << ""
                                   << "";
        QTest::newRow("lost") << gone << none << none << lost << lostLine << 3 << ""
                              << "";
        QTest::newRow("value changed")
            << nofollow << none << none << valueChanged << valueLine << 0 << ""
            << "";
        QTest::newRow("--alert-always")
            << link << QStringList{always} << none << "Corvantis: no changes on mysite.test"
            << "" << 0 << ""
            << "";
        QTest::newRow("lost, mail not delivered")
            << gone << QStringList{QStringLiteral("--smtp"), QStringLiteral("smtp://127.0.0.1:1")}
            << none << lost << lostLine << 3 << "The alert e-mail to me@mysite.test was not sent"
            << "mail";
        QTest::newRow("value changed, webhook refused")
            << nofollow << QStringList{QStringLiteral("--webhook"), webhook("refused")} << none
            << valueChanged << valueLine << 1 << "/refused answered HTTP 404"
            << "webhook";
        QTest::newRow("a comma list")
            << nofollow << QStringList{S("--mail-to"), S("me@mysite.test, boss@mysite.test")}
            << none << valueChanged << valueLine << 0 << ""
            << "";
        QTest::newRow("a token in the webhook's address")
            << nofollow
            << QStringList{S("--webhook"),
                           webhook("refused?key=t0ken").replace(S("://"), S("://me:t0ken@"))}
            << none << valueChanged << valueLine << 1 << "/refused?... answered HTTP 404"
            << "webhook";
        const QStringList login{S("--smtp-user"), S("me")};
        QTest::newRow("a login to this machine")
            << nofollow << login << QStringList{S("CORVANTIS_SMTP_PASSWORD=pa55")} << valueChanged
            << valueLine << 0 << ""
            << "";
        QTest::newRow("a login to a name starting 127.")
            << nofollow
            << login + QStringList{S("--smtp"), S("smtp://127.mail.example.com:SMTP_PORT")}
            << QStringList{S("CORVANTIS_SMTP_PASSWORD=pa55"),
                           S("smtp_proxy=socks5h://127.0.0.1:PROXY_PORT"), S("no_proxy"),
                           S("NO_PROXY")}
            << valueChanged << valueLine << 1 << "The alert e-mail to me@mysite.test was not sent"
            << "mail";
        QTest::newRow("a login without a password")
            << nofollow << login << QStringList{S("CORVANTIS_SMTP_PASSWORD")} << valueChanged
            << valueLine << 1 << "The SMTP login me has no password"
            << "mail";
        // The test's session bus has no keyring on it.
        QTest::newRow("a login whose kept password the keyring cannot give")
            << nofollow << login
            << QStringList{S("CORVANTIS_SMTP_PASSWORD"), S("setting SecretKept/smtp-password=1")}
            << valueChanged << valueLine << 1 << "The keyring could not be used"
            << "mail";
        QTest::newRow("a kept webhook secret the keyring cannot give")
            << nofollow << none
            << QStringList{S("CORVANTIS_WEBHOOK_SECRET"), S("setting SecretKept/webhook-secret=1")}
            << valueChanged << valueLine << 1 << "The keyring could not be used"
            << "webhook";
        QTest::newRow("a line over 998 octets")
            << "<a href=\"" + kLongPage + "\">on</a>" << QStringList{S("--no-page-limit")} << none
            << "Corvantis: 1 link moved on mysite.test"
            << S("alert.test/: Moved, Direct Link, alert.test/") + QString::fromLatin1(kLongPage) +
                   S(", Counts")
            << 0 << ""
            << "";
        const QString noBus = S("DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus");
        QTest::newRow("no notification service")
            << nofollow << none << QStringList{noBus} << valueChanged << valueLine << 1
            << "No desktop notification"
            << "notification";
        QTest::newRow("no notification service, a scheduled check")
            << nofollow << QStringList{S("--scheduled")} << QStringList{noBus} << valueChanged
            << valueLine << 0 << ""
            << "notification";
    }
    void alertsAfterAScan() {
        QFETCH(QByteArray, after);
        QFETCH(QStringList, flags);
        QFETCH(QStringList, given);
        QFETCH(QString, subject);
        QFETCH(QString, line);
        QFETCH(int, exitCode);
        QFETCH(QString, failure);
        QFETCH(QString, missed);
        TestSmtpServer smtp;
        TestNotifications desktop;
        QVERIFY(smtp.start());
        TestSocksProxy proxy(smtp.port());
        QVERIFY(proxy.start());
        QVERIFY2(desktop.start(), "dbus-daemon is needed for the desktop notification");
        const auto ports = [&](QStringList words) {
            return words.replaceInStrings(S("SMTP_PORT"), QString::number(smtp.port()))
                .replaceInStrings(S("PROXY_PORT"), QString::number(proxy.port()));
        };
        const Given environment(
            ports(QStringList{S("DBUS_SESSION_BUS_ADDRESS=") + desktop.address(),
                              S("CORVANTIS_WEBHOOK_SECRET=s3cret")} +
                  given));
        m_server.setReply(webhook("hook").mid(7), HttpReply::html("ok"));
        m_server.setReply(S("alert.test/") + QLatin1String(kLongPage),
                          HttpReply::html("<a href=\"http://mysite.test/\">Mine</a>"));
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
                                 ports(flags);
        m_server.setReply(QStringLiteral("alert.test/"),
                          HttpReply::html("<a href=\"http://mysite.test/\">Mine</a>"));
        const qsizetype requestsBefore = m_server.requests().size();
        QCOMPARE(run(args).exitCode, 0);
        m_server.setReply(QStringLiteral("alert.test/"), HttpReply::html(after));
        const Run second = run(args);
        QCOMPARE(second.exitCode, exitCode);
        QVERIFY2(failure.isEmpty() ? second.err.isEmpty() : second.err.contains(failure),
                 qPrintable(second.err));
        // No token of an address, password or secret is printed.
        for (const char* secret : {"t0ken", "pa55", "s3cret"})
            QVERIFY2(!second.err.contains(QLatin1String(secret)), qPrintable(second.err));

        // What each way received: the first scan's alert only with --alert-always.
        const int first = flags.contains(QStringLiteral("--alert-always")) ? 1 : 0;
        const int sent = subject.isEmpty() ? first : first + 1;
        const auto reached = [&](const char* way) {
            return missed.contains(QLatin1String(way)) ? first : sent;
        };
        QCOMPARE(smtp.mails().size(), reached("mail"));
        QCOMPARE(desktop.received.size(), reached("notification"));
        QByteArrayList hooks;
        for (qsizetype i = requestsBefore; i < m_server.requests().size(); ++i)
            if (m_server.requests().at(i).path == QLatin1String("/hook"))
                hooks.append(m_server.requests().at(i).raw);
        QCOMPARE(hooks.size(), reached("webhook"));
        // A password goes only where no one else reads it.
        QCOMPARE(smtp.logins(), flags.contains(S("--smtp-user")) && reached("mail") > 0
                                    ? QByteArrayList{QByteArray("\0me\0pa55", 8).toBase64()}
                                    : QByteArrayList());
        if (subject.isEmpty())
            return;
        if (!missed.contains(QLatin1String("notification")))
            QCOMPARE(desktop.received.last(), subject + QLatin1Char('\n') + line);
        if (!missed.contains(QLatin1String("mail"))) {
            const TestSmtpServer::Mail& mail = smtp.mails().last();
            QByteArrayList to;
            for (const QString& address : args.at(args.lastIndexOf(S("--mail-to")) + 1).split(u','))
                to.append(address.trimmed().toUtf8());
            QCOMPARE(mail.to, to);
            QVERIFY2(mail.data.contains(QByteArray("\r\nSubject: " + subject.toUtf8() + "\r\n")),
                     mail.data);
            // SMTP's 998 octets a line hold, and a longer line arrives whole.
            for (const QByteArray& l : mail.data.split('\n'))
                QVERIFY2(l.size() <= 999, l.left(80));
            const QByteArray body = mail.data.mid(mail.data.indexOf("\r\n\r\n") + 4);
            const bool encoded =
                mail.data.contains("\r\nContent-Transfer-Encoding: quoted-printable\r\n");
            QVERIFY2((encoded ? FromQuotedPrintable(body) : body)
                         .contains(QByteArray("\r\n" + line.toUtf8() + "\r\n")),
                     mail.data);
        }
        if (!missed.contains(QLatin1String("webhook"))) {
            const QByteArray request = hooks.last();
            const QByteArray body = request.mid(request.indexOf("\r\n\r\n") + 4);
            QCOMPARE(body, second.out.toUtf8());
            const QByteArray signature = "sha256=" + QMessageAuthenticationCode::hash(
                                                         body, "s3cret", QCryptographicHash::Sha256)
                                                         .toHex();
            QVERIFY2(
                request.contains(QByteArray("\r\nX-Corvantis-Signature: " + signature + "\r\n")),
                request);
            QVERIFY(request.contains("\r\nContent-Type: application/json\r\n"));
            // The README's receiver takes the body as sent, and no other.
            QCOMPARE(RunReceiverRecipe(body, signature), 0);
            QCOMPARE(RunReceiverRecipe(body.chopped(1), signature), 1);
        }
    }

    // An alert a way could not deliver waits in the history and goes out with
    // the next scan's alert, whatever that scan finds, until it is delivered: the
    // link lost in the second scan is news in the third, and only there.
    void undeliveredAlertIsSentAgain_data() {
        QTest::addColumn<QString>("fault"); // what kept the second scan's alert from one way
        QTest::newRow("the webhook answered 500") << "webhook 500";
        QTest::newRow("the mail server was down") << "mail down";
        QTest::newRow("the keyring was closed") << "keyring";
    }
    void undeliveredAlertIsSentAgain() {
        QFETCH(QString, fault);
        TestSmtpServer smtp;
        QVERIFY(smtp.start());
        const QString store = m_dir.filePath(S("again.sqlite"));
        QFile::remove(store);
        const QString noBus = S("DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus");
        const auto scan = [&](bool broken) {
            m_server.setReply(webhook("again").mid(7),
                              broken && fault == S("webhook 500")
                                  ? HttpReply::status(500, "Internal Server Error", "down")
                                  : HttpReply::html("ok"));
            const Given environment(broken && fault == S("keyring")
                                        ? QStringList{noBus, S("CORVANTIS_WEBHOOK_SECRET"),
                                                      S("setting SecretKept/webhook-secret=1")}
                                        : QStringList{noBus, S("CORVANTIS_WEBHOOK_SECRET=s3cret")});
            return run(
                {S("--domain"), S("mysite.test"), S("--connect-to"), route("again.test"),
                 S("--history"), store, S("--format"), S("json"), S("--quiet"), S("--webhook"),
                 webhook("again"), S("--mail-to"), S("me@mysite.test"), S("--smtp"),
                 broken && fault == S("mail down") ? S("smtp://127.0.0.1:1")
                                                   : S("smtp://127.0.0.1:%1").arg(smtp.port()),
                 S("again.test/")});
        };
        const auto posts = [this](qsizetype from) {
            QByteArrayList bodies;
            for (qsizetype i = from; i < m_server.requests().size(); ++i) {
                const QByteArray& raw = m_server.requests().at(i).raw;
                if (m_server.requests().at(i).path != S("/again"))
                    continue;
                const QByteArray body = raw.mid(raw.indexOf("\r\n\r\n") + 4);
                const QByteArray signature =
                    QMessageAuthenticationCode::hash(body, "s3cret", QCryptographicHash::Sha256)
                        .toHex();
                bodies.append(
                    raw.contains(QByteArray("\r\nX-Corvantis-Signature: sha256=" + signature))
                        ? body
                        : QByteArray("unsigned"));
            }
            return bodies;
        };
        m_server.setReply(S("again.test/"),
                          HttpReply::html("<a href=\"http://mysite.test/\">Mine</a>"));
        QCOMPARE(scan(false).exitCode, 0);
        m_server.setReply(S("again.test/"), HttpReply::html("<p>gone</p>"));
        qsizetype requests = m_server.requests().size();
        const Run lost = scan(true);
        QCOMPARE(lost.exitCode, 3);
        QCOMPARE(posts(requests).size(), fault == S("keyring") ? 0 : 1); // a 500 was a post
        QCOMPARE(smtp.mails().size(), fault == S("mail down") ? 0 : 1);

        // Still lost, no news of its own: what the way missed goes out now.
        smtp.clear();
        requests = m_server.requests().size();
        const Run still = scan(false);
        QCOMPARE(still.exitCode, 0);
        QCOMPARE(still.err, QString());
        if (fault == S("mail down")) {
            QCOMPARE(posts(requests), QByteArrayList());
            QCOMPARE(smtp.mails().size(), 1);
            const QByteArray mail = smtp.mails().first().data;
            const QDateTime scanned = QDateTime::fromString(
                QJsonDocument::fromJson(lost.out.toUtf8()).object().value(S("finished")).toString(),
                Qt::ISODate);
            QVERIFY2(mail.contains("; 1 earlier alert not delivered\r\n"), mail);
            QVERIFY2(mail.contains(
                         QByteArray("\r\nNot delivered before, from the scan that ended " +
                                    scanned.toUTC().toString(S("yyyy-MM-dd HH:mm 'UTC'")).toUtf8() +
                                    ":\r\nagain.test/: Lost, None Found, again.test/\r\n")),
                     mail);
        } else {
            QCOMPARE(posts(requests), (QByteArrayList{lost.out.toUtf8(), still.out.toUtf8()}));
            QCOMPARE(smtp.mails().size(), 0);
        }
        // Delivered now: the fourth scan has nothing to tell.
        smtp.clear();
        requests = m_server.requests().size();
        QCOMPARE(scan(false).exitCode, 0);
        QCOMPARE(posts(requests), QByteArrayList());
        QCOMPARE(smtp.mails().size(), 0);
    }

    // --schedule writes the timer and its service with the scan and alert options
    // given and asks systemctl (the stand-in) to enable it, without scanning. The
    // project is known by its one path: through a link, or gone, it names the
    // same timer; "list" shows it with its next run.
    void scheduleWritesTheTimer() {
        const QString calls = m_dir.filePath(S("systemctl-calls"));
        QFile::remove(calls);
        QVERIFY(QDir().mkpath(m_dir.filePath(S("projects"))));
        const QString project = m_dir.filePath(S("projects/daily.prj"));
        QVERIFY(QFile::copy(m_dir.filePath(S("sched.prj")), project));
        const QString link = m_dir.filePath(S("link to daily.prj"));
        QVERIFY(QFile::link(project, link));
        const QString canonical = QFileInfo(project).canonicalFilePath();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(S("XDG_CONFIG_HOME"), m_dir.filePath(S("config")));
        env.insert(S("CORVANTIS_HOME"), S("relative home")); // below the working folder
        const QString folder = QFileInfo(m_dir.path()).canonicalFilePath();
        const Run made =
            run({S("--project"), link, S("--schedule"), S("daily@06:15"), S("--webhook"),
                 S("https://hook.test/x"), S("--timeout"), S("9"), S("--sites"), S("2"),
                 S("--lost-after"), S("3"), S("--no-render"), S("--full-crawl"), S("--report"),
                 S("r.html"), S("--history"), S("h.sqlite")},
                env, folder);
        QCOMPARE(made.exitCode, 0);
        const QString unit =
            m_dir.filePath(QStringLiteral("config/systemd/user/")) +
            made.out.section(QStringLiteral("/systemd/user/"), 1).trimmed().chopped(6); // ".timer"
        QVERIFY(corvantis::testing::ReadBytes(unit + QStringLiteral(".timer"))
                    .contains("OnCalendar=*-*-* 06:15:00\n"));
        const QString service =
            QString::fromUtf8(corvantis::testing::ReadBytes(unit + QStringLiteral(".service")));
        QVERIFY2(
            service.contains(S("\"--project\" \"") + canonical +
                             S("\" \"--save\" \"--scheduled\" \"--timeout\" \"9\" \"--report\" "
                               "\"") +
                             folder + S("/r.html\" \"--history\" \"") + folder +
                             S("/h.sqlite\" \"--lost-after\" \"3\" \"--sites\" \"2\" "
                               "\"--full-crawl\" \"--no-render\" \"--webhook\" "
                               "\"https://hook.test/x\"\n")),
            qPrintable(service));
        QVERIFY2(service.contains(S("\nEnvironment=\"CORVANTIS_HOME=") + folder +
                                  S("/relative home\"\n")),
                 qPrintable(service));
        const QByteArray timer = QFileInfo(unit).fileName().toUtf8() + ".timer";
        QCOMPARE(corvantis::testing::ReadBytes(calls),
                 "--user daemon-reload\n--user enable --now " + timer + "\n");

        const Run listed = run({S("--schedule"), S("list")}, env, folder);
        QCOMPARE(listed.exitCode, 0);
        QCOMPARE(listed.out, canonical + S("\tdaily@06:15\tWed 2031-01-01 06:45:00 UTC\n"));
        // The same project by its own path: the same timer.
        QCOMPARE(
            run({S("--project"), project, S("--schedule"), S("daily@07:00")}, env, folder).exitCode,
            0);
        QCOMPARE(QDir(m_dir.filePath(S("config/systemd/user"))).entryList(QDir::Files).size(), 2);

        // The file gone, its link dangling: off still ends the checks.
        QVERIFY(QFile::remove(project));
        const Run off = run({S("--project"), link, S("--schedule"), S("off")}, env, folder);
        QCOMPARE(off.exitCode, 0);
        QVERIFY(!QFile::exists(unit + S(".timer")) && !QFile::exists(unit + S(".service")));
        QVERIFY(corvantis::testing::ReadBytes(calls).contains(
            QByteArray(QByteArray("--user disable --now ") + timer)));
        QCOMPARE(run({S("--schedule"), S("list")}, env, folder).out, QString());
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
