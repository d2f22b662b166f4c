#include "cli/command_line.h"
#include "cli/option_table.h"
#include "support/test_env.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <functional>

using namespace corvantis;
using corvantis::testing::S;

namespace {

using Change = std::function<void(cli::ScanRequest&)>;

QStringList Args(const QString& line) {
    return QStringList{S("corvantis-scan")} + line.split(u' ', Qt::SkipEmptyParts);
}

// Options as a user who never changed them has them, but for one set apart.
scan::ScanOptions Base() {
    scan::ScanOptions o;
    o.chkAuto = false; // "no limit" in the window, so --page-limit is seen to switch it on
    return o;
}

} // namespace

Q_DECLARE_METATYPE(Change)

class CommandLineTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    QString project() const { return m_dir.filePath(S("p.prj")); }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(corvantis::testing::WriteBytes(project(), "mysite.test\r\npartner.test/|1\r\n"));
    }

    // Each option sets what it names, and nothing else, over the window's options.
    void optionSetsRequest_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<Change>("expected");
        const auto row = [](const char* line, Change change) {
            QTest::newRow(line) << S(line) << change;
        };
        row("--page-limit 7", [](auto& r) { r.options.chkAuto = true, r.options.PageLimit = 7; });
        row("--page-limit 7 --no-page-limit", [](auto& r) { r.options.PageLimit = 7; });
        row("--no-expected-skip", [](auto& r) { r.options.chkAuto2 = false; });
        row("--timeout 9", [](auto& r) { r.options.timeoutSeconds = 9; });
        row("--redirect --insecure", [](auto& r) {
            r.options.chkRedirect = r.options.acceptInvalidCertificates = true;
        });
        row("--no-link-value --full-crawl --no-render --no-keep-alive", [](auto& r) {
            r.options.checkLinkValue = r.options.startFromHistory = r.options.renderPages =
                r.options.keepAlive = false;
        });
        row("--sites 10 --lost-after 3",
            [](auto& r) { r.options.sitesAtOnce = 10, r.options.lostAfter = 3; });
        row("--connect-to a:1.2.3.4:5 --connect-to b:1.2.3.4:6",
            [](auto& r) { r.connectTo = {S("a:1.2.3.4:5"), S("b:1.2.3.4:6")}; });
        row("--format json --stats --quiet --no-read-ahead",
            [](auto& r) { r.json = r.stats = r.quiet = r.noReadAhead = true; });
        row("--domain d.test --report r.html --history h.sqlite p.test/|2", [](auto& r) {
            r.domain = S("d.test"), r.report = S("r.html"), r.history = S("h.sqlite");
            r.partners = {S("p.test/|2")};
        });
        row("--webhook https://h.test/x --notify --alert-always", [](auto& r) {
            r.alerts.webhookUrl = S("https://h.test/x");
            r.alerts.notify = r.alerts.alwaysAlert = true;
        });
    }
    void optionSetsRequest() {
        QFETCH(QString, line);
        QFETCH(Change, expected);
        const cli::ParsedCommandLine parsed = cli::ParseScanCommandLine(Args(line), Base());
        QCOMPARE(parsed.error, QString());
        cli::ScanRequest want;
        want.options = Base();
        want.options.chkAudioEmail = want.options.chkAudioNext = want.options.chkAudioFinished =
            false; // no sounds without a window
        expected(want);
        QVERIFY(parsed.request.options == want.options);
        QCOMPARE(parsed.request.connectTo, want.connectTo);
        QCOMPARE(parsed.request.partners, want.partners);
        QCOMPARE(std::tuple(parsed.request.json, parsed.request.stats, parsed.request.quiet,
                            parsed.request.noReadAhead),
                 std::tuple(want.json, want.stats, want.quiet, want.noReadAhead));
        QCOMPARE(std::tuple(parsed.request.domain, parsed.request.report, parsed.request.history),
                 std::tuple(want.domain, want.report, want.history));
        QVERIFY(parsed.request.alerts.webhookUrl == want.alerts.webhookUrl &&
                parsed.request.alerts.notify == want.alerts.notify &&
                parsed.request.alerts.alwaysAlert == want.alerts.alwaysAlert);
    }

    // A schedule's check takes on the scan options given, in the table's order,
    // files made absolute; the options it handles itself stay out.
    void scheduleCarriesScanOptions() {
        QDir::setCurrent(m_dir.path());
        const cli::ParsedCommandLine parsed = cli::ParseScanCommandLine(
            Args(S("--report r.html --redirect --notify --timeout 5 --schedule daily@07:30 "
                   "--project ") +
                 project()),
            Base());
        QCOMPARE(parsed.error, QString());
        QCOMPARE(parsed.request.carried,
                 QStringList({S("--timeout"), S("5"), S("--redirect"), S("--report"),
                              QFileInfo(S("r.html")).absoluteFilePath()}));
        QVERIFY(parsed.request.alerts.notify);
    }

    // What the options alone refuse, before anything runs (corvantis-scan exits 2
    // with the message); what goes onto the wire or into a unit file among it.
    void badInput_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("more");
        QTest::addColumn<QString>("message");
        const auto row = [](const char* name, const QString& line, const char* message,
                            const QStringList& more = {}) {
            QTest::newRow(name) << line << more << S(message);
        };
        row("unknown option", S("--frobnicate"), "frobnicate");
        row("unknown format", S("--format xml"), "tsv or json");
        row("lost after zero", S("--lost-after 0"), "--lost-after");
        row("eleven sites", S("--sites 11"), "--sites");
        row("history and none", S("--history h.sqlite --no-history"), "exclude each other");
        row("mail without server", S("--mail-to a@b.test"), "--smtp");
        row("always, no alert", S("--alert-always"), "needs --mail-to");
        row("schedule, no project", S("--schedule daily@07:30"), "--project");
        row("schedule unreadable", S("--project p.prj --schedule daily@7:30"), "daily@HH:MM");
        row("schedule, no such project", S("--project /nonexistent/p.prj --schedule daily@07:30"),
            "/nonexistent/p.prj");
        const QString scan = S(" --domain mysite.test --connect-to p.test:127.0.0.1:1 p.test");
        row("a line break in --mail-to", S("--smtp smtp://127.0.0.1:1") + scan,
            "--mail-to: a control character in me@x>\\r\\nRCPT",
            {S("--mail-to"), S("me@x>\r\nRCPT TO:<evil@attacker.example>")});
        row("--mail-from not an address",
            S("--mail-to me@mysite.test --mail-from me --smtp smtp://127.0.0.1:1") + scan,
            "--mail-from: not an address");
        row("a comma list with a bad address",
            S("--smtp smtp://127.0.0.1:1 --mail-to a@mysite.test,b@") + scan, "--mail-to");
        row("a plain scan, --webhook htp://", S("--webhook htp://hook.test/x") + scan, "--webhook");
        const QString schedule = S("--project ") + project() + S(" --schedule daily@07:30 ");
        row("schedule, --webhook file://", schedule + S("--webhook file:///etc/passwd"),
            "--webhook");
        row("schedule, --smtp ftp://", schedule + S("--mail-to me@mysite.test --smtp ftp://m.test"),
            "--smtp: not an smtp:// or smtps:// address");
        row("schedule, --mail-to not an address", schedule + S("--smtp smtp://m.test"), "--mail-to",
            {S("--mail-to"), S("not an address")});
        row("schedule, a binary as project",
            S("--schedule daily@07:30 --project ") + QCoreApplication::applicationFilePath(),
            "is not a project file");
        row("schedule, --domain", schedule + S("--domain m.test"), "--domain");
        row("schedule, a partner", schedule + S("p.test"), "partners");
        row("schedule, --no-history", schedule + S("--no-history"), "--no-history");
    }
    void badInput() {
        QFETCH(QString, line);
        QFETCH(QStringList, more);
        QFETCH(QString, message);
        const cli::ParsedCommandLine parsed = cli::ParseScanCommandLine(Args(line) + more, Base());
        QVERIFY2(parsed.error.contains(message), qPrintable(parsed.error));
        QCOMPARE(parsed.output, QString());
    }

    // --help gives every option, each with what it comes to when not given.
    void helpListsEveryOptionWithItsDefault() {
        scan::ScanOptions o = Base();
        o.timeoutSeconds = 17;
        const QString help = cli::ParseScanCommandLine(Args(S("--help")), o).output.simplified();
        for (const cli::OptionRow& row : cli::ScanOptionRows())
            QVERIFY2(help.contains(S("--") + QLatin1String(row.name)), row.name);
        QVERIFY(help.contains(S("Page time-out in seconds (now 17, from the options).")));
        QVERIFY(help.contains(S("Go to the next site after N pages (now no limit, from the options).")));
        QVERIFY(help.contains(S("--version")));
    }
};

CORVANTIS_TEST_MAIN(CommandLineTest)
#include "tst_command_line.moc"
