// corvantis-scan: the scan engine without a window, for scheduled checks and scripts.
#include "afterscan/after_scan.h"
#include "alert/alert_senders.h"
#include "alert/schedule.h"
#include "alert/secret_store.h"
#include "fetch/host_route.h"
#include "output/project_file.h"
#include "output/scan_json.h"
#include "scan/scan_engine.h"
#include "session/scan_session.h"
#include "util/busy_wait.h"
#include "util/seams.h"
#include "util/settings_store.h"
#include "util/stall_probe.h"
#include "util/text_utils.h"
#include "util/user_text_file.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTimer>

#include <cstdio>
#include <optional>
#include <string_view>
#include <sys/resource.h>
#include <unistd.h>

using namespace corvantis;

namespace {

// The exit status: 0 the scan ran, 3 it ran and a partner's link is lost (even
// when a later step failed), 2 the input was refused, 1 anything else failed (the
// report, the project, the history, an alert).
constexpr int kExitFailed = 1;
constexpr int kExitBadInput = 2;
constexpr int kExitLinkLost = 3;

void PrintError(const QString& text) {
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

// Messages go to stderr; any message before the scan runs means the input was refused.
class StderrMessages : public util::Messages {
public:
    void inform(const QString& text, const QString& = QString()) override {
        PrintError(text);
        ++count;
    }
    util::Answer ask(const QString&, const QString& text, util::Question kind) override {
        PrintError(text);
        return kind == util::Question::YesNo ? util::Answer::No : util::Answer::Cancel;
    }
    int count = 0;
};

void PrintLine(const QStringList& fields) {
    std::fputs(fields.join(QLatin1Char('\t')).toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
}

[[noreturn]] void Fail(const QString& text) {
    std::fprintf(stderr, "corvantis-scan: %s\n", text.toLocal8Bit().constData());
    std::exit(kExitBadInput);
}

// "address" or "address|links expected".
scan::PartnerEntry ParsePartner(const QString& text) {
    scan::PartnerEntry e;
    const qsizetype bar = text.indexOf(QLatin1Char('|'));
    e.Text1 = bar < 0 ? text : text.left(bar);
    e.Text2 = bar < 0 ? QString() : text.mid(bar + 1).trimmed();
    return e;
}

long PeakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// What the command line asks for, checked; an option not given changes nothing.
struct ScanRequest {
    std::optional<QString> domain;
    std::optional<QString> partnersFile;
    QStringList partners; // the arguments, "address" or "address|N"
    std::optional<qint32> pageLimit;
    bool noPageLimit = false;
    bool noExpectedSkip = false;
    std::optional<qint16> timeoutSeconds;
    bool redirect = false;
    QStringList connectTo;
    bool stats = false;
    bool quiet = false;
    bool insecure = false;
    bool linkValue = true;
    bool readAhead = true;
    std::optional<QString> project;
    bool save = false;
    std::optional<QString> report;
    bool json = false; // --format json
    std::optional<QString> history;
    bool noHistory = false;
    std::optional<int> lostAfter;
    std::optional<int> sites;
    bool fullCrawl = false;
    bool noRender = false;
    bool noKeepAlive = false;
    alert::AlertSettings alerts;
    bool scheduled = false; // the run is a scheduled check
    std::optional<alert::Schedule> schedule;
    bool listSchedules = false;
    // The scan options given, as a scheduled check's command takes them on.
    QStringList carried;
};

// What --schedule does with an option: takes it into the check's command as
// given, or with its file made absolute; refuses it; or the option is one the
// schedule handles itself (the project, the alerts).
enum class InSchedule { Carried, CarriedPath, Refused, Own };

// The options in the order --help lists them; those with a value name take a value.
struct OptionText {
    const char* name;
    const char* valueName;
    const char* description;
    InSchedule inSchedule = InSchedule::Carried;
};
constexpr OptionText kOptionTexts[] = {
    {"domain", "DOMAIN", "Your site, the one links must point to.", InSchedule::Refused},
    {"partners", "FILE", "A text file of partners, one \"address\" or \"address|N\" per line.",
     InSchedule::Refused},
    {"page-limit", "N", "Go to the next site after N pages."},
    {"no-page-limit", nullptr, "Scan every page of a site."},
    {"no-expected-skip", nullptr, "Keep scanning a site after its expected links are found."},
    {"timeout", "S", "Page time-out in seconds."},
    {"redirect", nullptr, "Accept links through redirect scripts."},
    {"connect-to", "HOST[:PORT]:ADDR:PORT",
     "Send connections for port 80 of HOST (or its PORT) to ADDR:PORT."},
    {"stats", nullptr, "Print timing figures as the last line on stderr."},
    {"quiet", nullptr, "No progress line."},
    {"insecure", nullptr,
     "Read pages whose certificate fails verification (still listed as errors)."},
    {"no-link-value", nullptr,
     "Leave out whether each link back passes its value (rel, robots meta tags and headers)."},
    {"no-read-ahead", nullptr,
     "Ask for each page only at its turn (to compare or to trace a fault)."},
    {"project", "FILE", "Take the domain and partners from a project file.", InSchedule::Own},
    {"save", nullptr, "Write the results back into the project file.", InSchedule::Own},
    {"report", "FILE", "Also write the HTML report to FILE.", InSchedule::CarriedPath},
    {"format", "FORMAT",
     "\"tsv\" (the default): the lines above; \"json\": one JSON document instead."},
    {"history", "FILE", "Record the scan in this history store.", InSchedule::CarriedPath},
    {"no-history", nullptr, "Record nothing; the change of each partner stays empty.",
     InSchedule::Refused},
    {"lost-after", "K", "Call a link lost after K read scans in a row found none."},
    {"sites", "N", "Scan N partner sites at once, 1 to 10; the output is the same for any N."},
    {"full-crawl", nullptr,
     "Crawl each site from its start page, not first asking for the pages where its links "
     "stood last time."},
    {"no-render", nullptr,
     "Never look at a site's pages as a browser does (after their scripts), even when its HTML "
     "shows fewer links than expected."},
    {"no-keep-alive", nullptr,
     "Ask for every page on a connection of its own, closed after it, with a whole TLS "
     "handshake each, instead of keeping a site's connection open between pages."},
    {"mail-to", "ADDR",
     "After a scan with a change, send the digest to ADDR, or to each of a comma list (needs "
     "--smtp).",
     InSchedule::Own},
    {"mail-from", "ADDR", "The digest's sender (by default the address it goes to).",
     InSchedule::Own},
    {"smtp", "URL", "The SMTP server: smtp://host:587 (STARTTLS when offered) or smtps://host.",
     InSchedule::Own},
    {"smtp-user", "NAME",
     "Log in to the SMTP server as NAME; the password comes from CORVANTIS_SMTP_PASSWORD or "
     "the keyring.",
     InSchedule::Own},
    {"webhook", "URL",
     "After a scan with a change, POST its JSON document to URL, signed with "
     "CORVANTIS_WEBHOOK_SECRET or the keyring's secret when one was set.",
     InSchedule::Own},
    {"notify", nullptr, "After a scan with a change, show a desktop notification.",
     InSchedule::Own},
    {"alert-always", nullptr, "Send the alerts after every scan, not only one with a change.",
     InSchedule::Own},
    {"scheduled", nullptr,
     "The run is a scheduled check (its service says so): a desktop without a notification "
     "service is no failure.",
     InSchedule::Own},
    {"schedule", "WHEN",
     "Instead of scanning now, check the --project every day (daily@HH:MM) or week "
     "(weekly@mon@HH:MM) with a systemd user timer, saving the results, with the scan and alert "
     "options given; \"off\" ends the checks, \"list\" shows every scheduled project.",
     InSchedule::Own},
};

// What an option not given will be: the desktop program's options say so. Empty
// for an option the options do not decide.
QString DefaultNote(QLatin1String name, const scan::ScanOptions& o) {
    const auto now = [](const QString& value) {
        return QStringLiteral(" (now %1, from the options)").arg(value);
    };
    const auto onOff = [](bool on) { return on ? QStringLiteral("on") : QStringLiteral("off"); };
    if (name == QLatin1String("page-limit"))
        return now(o.chkAuto ? QString::number(o.PageLimit) : QStringLiteral("no limit"));
    if (name == QLatin1String("no-page-limit"))
        return now(onOff(!o.chkAuto));
    if (name == QLatin1String("no-expected-skip"))
        return now(onOff(!o.chkAuto2));
    if (name == QLatin1String("timeout"))
        return now(QString::number(o.timeoutSeconds));
    if (name == QLatin1String("redirect"))
        return now(onOff(o.chkRedirect));
    if (name == QLatin1String("insecure"))
        return now(onOff(o.acceptInvalidCertificates));
    if (name == QLatin1String("no-link-value"))
        return now(onOff(!o.checkLinkValue));
    if (name == QLatin1String("lost-after"))
        return now(QString::number(o.lostAfter));
    if (name == QLatin1String("sites"))
        return now(QString::number(o.sitesAtOnce));
    if (name == QLatin1String("full-crawl"))
        return now(onOff(!o.startFromHistory));
    if (name == QLatin1String("no-render"))
        return now(onOff(!o.renderPages));
    if (name == QLatin1String("no-keep-alive"))
        return now(onOff(!o.keepAlive));
    if (name == QLatin1String("history"))
        return QStringLiteral(" (now %1)").arg(afterscan::DefaultHistoryPath());
    return QString();
}

// Parses the arguments; --help prints its text and ends the program, an unknown
// option refuses the run.
void ParseArguments(QCommandLineParser& parser, const QStringList& arguments) {
    parser.setApplicationDescription(QStringLiteral(
        "Checks partner sites for links back to your domain and prints one line per result:\n"
        "result<TAB>site<TAB>status<TAB>number<TAB>url<TAB>value<TAB>anchor<TAB>change, then\n"
        "error<TAB>error<TAB>url. Options not given come from the desktop program's settings.\n"
        "Exit status: 0 the scan ran, 3 it ran and a partner's link is lost (even when a\n"
        "later step failed), 2 the input was refused, 1 anything else failed (report,\n"
        "project, history or an alert)."));
    parser.addHelpOption();
    parser.addPositionalArgument(
        QStringLiteral("partner"),
        QStringLiteral("A partner site, optionally with |N links expected."),
        QStringLiteral("[PARTNER[|N] ...]"));
    const scan::ScanOptions options = scan::ScanOptions::FromSettings();
    for (const OptionText& o : kOptionTexts) {
        QString description = QLatin1String(o.description);
        if (const QString note = DefaultNote(QLatin1String(o.name), options); !note.isEmpty())
            description.insert(description.size() - 1, note); // before the full stop
        parser.addOption(
            QCommandLineOption(QLatin1String(o.name), description, QLatin1String(o.valueName)));
    }
    if (!parser.parse(arguments))
        Fail(parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
}

// The parsed command line as a request; a value that cannot be used refuses the run.
// The options the parser found, by name.
struct Given {
    const QCommandLineParser& parser;
    bool operator()(const char* name) const { return parser.isSet(QLatin1String(name)); }
    std::optional<QString> value(const char* name) const {
        return (*this)(name) ? std::optional(parser.value(QLatin1String(name))) : std::nullopt;
    }
};

// The options that take a number or a word, checked.
void ReadValues(const Given& given, ScanRequest& r) {
    if (given("page-limit")) {
        r.pageLimit = util::ToInt32(*given.value("page-limit"));
        if (!r.pageLimit || *r.pageLimit < 1)
            Fail(QStringLiteral("--page-limit needs a positive number"));
    }
    if (given("timeout")) {
        r.timeoutSeconds = util::ToInt16(*given.value("timeout"));
        if (!r.timeoutSeconds)
            Fail(QStringLiteral("--timeout needs a number of seconds"));
    }
    if (given("save") && !given("project"))
        Fail(QStringLiteral("--save needs --project FILE"));
    if (const auto format = given.value("format")) {
        if (*format != QLatin1String("tsv") && *format != QLatin1String("json"))
            Fail(QStringLiteral("--format needs tsv or json, not ") + *format);
        r.json = *format == QLatin1String("json");
    }
    if (given("history") && given("no-history"))
        Fail(QStringLiteral("--history and --no-history exclude each other"));
    if (const auto n = given.value("sites")) {
        r.sites = scan::SitesAtOnceFromText(*n);
        if (QString::number(*r.sites) != n->trimmed())
            Fail(QStringLiteral("--sites needs a number from 1 to ") +
                 QString::number(scan::kMaxSitesAtOnce));
    }
    if (const auto k = given.value("lost-after")) {
        r.lostAfter = scan::LostAfterFromText(*k);
        if (QString::number(*r.lostAfter) != k->trimmed())
            Fail(QStringLiteral("--lost-after needs a number from 1 to ") +
                 QString::number(scan::kMaxLostAfter));
    }
}

// The switches and the plain texts: the partners, files and routes.
void ReadSwitches(const Given& given, ScanRequest& r) {
    r.domain = given.value("domain");
    r.partnersFile = given.value("partners");
    r.partners = given.parser.positionalArguments();
    r.noPageLimit = given("no-page-limit");
    r.noExpectedSkip = given("no-expected-skip");
    r.redirect = given("redirect");
    r.connectTo = given.parser.values(QStringLiteral("connect-to"));
    r.stats = given("stats");
    r.quiet = given("quiet");
    r.insecure = given("insecure");
    r.linkValue = !given("no-link-value");
    r.readAhead = !given("no-read-ahead");
    r.project = given.value("project");
    r.save = given("save");
    r.report = given.value("report");
    r.history = given.value("history");
    r.noHistory = given("no-history");
    r.fullCrawl = given("full-crawl");
    r.noRender = given("no-render");
    r.noKeepAlive = given("no-keep-alive");
    r.scheduled = given("scheduled");
}

// The ways of sending the alert, checked as the window checks them.
void ReadAlerts(const Given& given, ScanRequest& r) {
    r.alerts.mailTo = given.value("mail-to").value_or(QString());
    r.alerts.mailFrom = given.value("mail-from").value_or(QString());
    r.alerts.smtpServer = given.value("smtp").value_or(QString());
    r.alerts.smtpUser = given.value("smtp-user").value_or(QString());
    r.alerts.webhookUrl = given.value("webhook").value_or(QString());
    r.alerts.notify = given("notify");
    r.alerts.alwaysAlert = given("alert-always");
    r.alerts.readKeptSecrets();
    if ((given("mail-from") || given("smtp") || given("smtp-user")) && !r.alerts.wantsMail())
        Fail(QStringLiteral("--mail-from, --smtp and --smtp-user need --mail-to"));
    if (const std::optional<alert::AlertProblem> problem = alert::CheckAlertSettings(r.alerts))
        Fail(alert::OptionName(problem->field) + QStringLiteral(": ") + problem->why);
    if (r.alerts.alwaysAlert && !r.alerts.any())
        Fail(QStringLiteral("--alert-always needs --mail-to, --webhook or --notify"));
}

// --schedule: what it asks for, and the options its check carries (those it
// cannot carry are refused).
void ReadSchedule(const Given& given, ScanRequest& r) {
    const auto when = given.value("schedule");
    if (!when)
        return;
    r.listSchedules = when->compare(QLatin1String("list"), Qt::CaseInsensitive) == 0;
    if (r.listSchedules)
        return;
    r.schedule = alert::ParseSchedule(*when);
    if (!r.schedule)
        Fail(QStringLiteral("--schedule needs daily@HH:MM, weekly@mon@HH:MM, off or list, not ") +
             *when);
    if (!r.project)
        Fail(QStringLiteral("--schedule needs --project FILE"));
    // Ending the checks needs only the path: the file may be gone.
    if (r.schedule->every == alert::Every::Off)
        return;
    if (const QString error = output::ProjectFileError(*r.project); !error.isEmpty())
        Fail(error);
    const QString refused =
        QStringLiteral(": a scheduled check scans the project's domain and partners and records "
                       "them in its history");
    if (!r.partners.isEmpty())
        Fail(QStringLiteral("--schedule cannot take partners") + refused);
    for (const OptionText& o : kOptionTexts) {
        const QLatin1String name(o.name);
        if (o.inSchedule == InSchedule::Own || !given.parser.isSet(name))
            continue;
        if (o.inSchedule == InSchedule::Refused)
            Fail(QStringLiteral("--schedule cannot take --") + name + refused);
        if (!o.valueName) {
            r.carried << QStringLiteral("--") + name;
            continue;
        }
        for (const QString& v : given.parser.values(name))
            r.carried << QStringLiteral("--") + name
                      << (o.inSchedule == InSchedule::CarriedPath ? QFileInfo(v).absoluteFilePath()
                                                                  : v);
    }
}

ScanRequest ParseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    ParseArguments(parser, arguments);
    const Given given{parser};
    ScanRequest r;
    ReadValues(given, r);
    ReadSwitches(given, r);
    ReadAlerts(given, r);
    ReadSchedule(given, r);
    return r;
}

// Where --connect-to sends connections; a form it does not take refuses the run.
scan::HostRouter RouterFor(const QStringList& connectTo) {
    scan::HostRouter router;
    for (const QString& spec : connectTo)
        if (!router.addSpec(spec))
            Fail(QStringLiteral("--connect-to needs HOST:ADDR:PORT or HOST:PORT:ADDR:PORT, not ") +
                 spec);
    return router;
}

// The desktop program's options, with the command line's changes for this run only.
scan::ScanOptions OptionsFor(const ScanRequest& r) {
    scan::ScanOptions o = scan::ScanOptions::FromSettings();
    o.chkAudioEmail = o.chkAudioNext = o.chkAudioFinished = false;
    if (r.pageLimit) {
        o.chkAuto = true;
        o.PageLimit = *r.pageLimit;
    }
    if (r.noPageLimit)
        o.chkAuto = false;
    if (r.noExpectedSkip)
        o.chkAuto2 = false;
    if (r.timeoutSeconds)
        o.timeoutSeconds = *r.timeoutSeconds;
    if (r.redirect)
        o.chkRedirect = true;
    if (r.insecure)
        o.acceptInvalidCertificates = true;
    if (!r.linkValue)
        o.checkLinkValue = false;
    if (r.lostAfter)
        o.lostAfter = *r.lostAfter;
    if (r.sites)
        o.sitesAtOnce = *r.sites;
    if (r.fullCrawl)
        o.startFromHistory = false;
    if (r.noRender)
        o.renderPages = false;
    if (r.noKeepAlive)
        o.keepAlive = false;
    return o;
}

// The partner lines of the partners file, then those of the arguments.
QStringList PartnerLines(const ScanRequest& r) {
    QStringList lines;
    if (r.partnersFile) {
        const util::TextFileRead file = util::ReadUserTextFile(*r.partnersFile);
        if (!file.ok)
            Fail(*r.partnersFile + QStringLiteral(": ") + file.error);
        lines += file.text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    }
    return lines + r.partners;
}

// The domain and partners, from the project file and then the command line; false
// when the engine refused a partner (it said why).
bool LoadPartners(const ScanRequest& r, scan::ScanSession& session, scan::ScanEngine& engine) {
    if (r.project) {
        const output::ProjectLoadResult loaded =
            output::LoadProjectFile(*r.project, session.project);
        if (!loaded.loaded)
            Fail(loaded.error);
        if (!loaded.warning.isEmpty())
            PrintError(loaded.warning);
    }
    if (r.domain || !r.project)
        session.project.setDomain(r.domain.value_or(QString()));
    for (const QString& line : PartnerLines(r)) {
        if (line.trimmed().isEmpty())
            continue;
        scan::PartnerEntry entry = ParsePartner(line);
        if (!engine.AddPartnerSite(entry))
            return false;
    }
    return true;
}

// Where the scan has got, on a terminal, at most ten updates a second.
void ConnectProgressLine(QTimer& timer, const scan::ScanSession& session) {
    timer.setInterval(100);
    QObject::connect(&timer, &QTimer::timeout, [&session] {
        const scan::ScanProgress& p = session.run.progress();
        std::fprintf(stderr, "\r\033[Ksite %d of %d, page %d, links found %d", p.siteNumber,
                     session.project.partners.count(), p.pageNumber,
                     session.run.counters().runLinksFound);
        std::fflush(stderr);
    });
}

// What one run measured, and whether its report failed.
struct RunOutcome {
    QSet<QString> said; // the messages already on stderr
    qint64 pagesFetched = 0;
    double seconds = 0;
    qint64 maxStallMs = 0; // the longest time the event loop could not run a 10 ms timer
    afterscan::AfterScanOutcome after;
    QStringList alertFailures;
    QDateTime started;
};

// What the steps before and after the scan are asked to do.
afterscan::AfterScanRequest AfterScanRequestFor(const ScanRequest& r) {
    afterscan::AfterScanRequest request;
    request.recordHistory = !r.noHistory;
    request.historyPath = r.history.value_or(QString());
    request.busyTimeout = util::kCommandLineBusyTimeout;
    request.reportCopy = r.report;
    if (r.save)
        request.projectToSave = r.project;
    request.alerts = r.alerts;
    return request;
}

// The history, the report, the project and the alerts, as in the window; every
// failure said on stderr.
void WindUp(const ScanRequest& r, scan::ScanSession& session, const scan::ScanEngine& engine,
            const QDateTime& started, RunOutcome& outcome) {
    afterscan::AfterScanRequest request = AfterScanRequestFor(r);
    request.started = started;
    // Nobody may be there to see it: a scheduled check's notification goes out
    // where the desktop has a service for it, and is no failure where it has none.
    if (r.scheduled && request.alerts.notify)
        request.alerts.notify = alert::DesktopNotificationsAvailable();
    const util::SystemClock clock;
    outcome.after = afterscan::AfterScan(session, engine.verdicts(), clock, request);
    const afterscan::AfterScanOutcome& done = outcome.after;
    if (done.alert) {
        alert::KeyringSecrets keyring;
        outcome.alertFailures = afterscan::SendAlert(*done.alert, request.alerts, keyring, request);
    }
    // An unusable history says the same before the scan, after it and when an
    // alert waits: once is enough.
    for (const QString& error :
         QStringList{done.historyError, done.report.error, done.reportCopyError, done.saveError} +
             outcome.alertFailures)
        if (!error.isEmpty() && !outcome.said.contains(error)) {
            outcome.said.insert(error);
            PrintError(error);
        }
}

void PrintResult(const scan::ResultRow& row) {
    PrintLine({QStringLiteral("result"), row.site, row.status, row.number, row.url, row.value,
               row.anchor, row.change});
}

bool StreamsRows(const ScanRequest& r) {
    return !r.json && r.noHistory;
}

// The scan, on the event loop until it stops; nothing when it refused to start
// (it said why).
std::optional<RunOutcome> RunScan(const ScanRequest& r, scan::ScanSession& session,
                                  scan::ScanEngine& engine, const StderrMessages& messages) {
    const bool progress = !r.quiet && ::isatty(STDERR_FILENO);
    QTimer progressTimer;
    ConnectProgressLine(progressTimer, session);
    util::StallProbe stallProbe;
    RunOutcome outcome;
    QObject scope; // the connections to this run's figures end with it
    // Without a history, result lines go out as they reach the list, in its
    // order: a site's as soon as every earlier partner is done. With one, they
    // wait for the changes the history gives them.
    if (StreamsRows(r))
        QObject::connect(&session.project.results, &QAbstractItemModel::rowsInserted, &scope,
                         [&session](const QModelIndex&, int first, int last) {
                             for (int i = first; i <= last; ++i)
                                 PrintResult(session.project.results.at(i));
                             std::fflush(stdout);
                         });
    QObject::connect(&engine, &scan::ScanEngine::pageFetched, &scope,
                     [&outcome] { ++outcome.pagesFetched; });
    QObject::connect(&engine, &scan::ScanEngine::scanStopped, QCoreApplication::instance(),
                     &QCoreApplication::quit, Qt::QueuedConnection);
    QObject::connect(&engine, &scan::ScanEngine::scanEnded, &scope,
                     [&] { WindUp(r, session, engine, outcome.started, outcome); });

    QElapsedTimer wall;
    wall.start();
    outcome.started = QDateTime::currentDateTimeUtc();
    // A history that cannot be read leaves every site to its crawl.
    if (const QString error = afterscan::BeforeScan(session, AfterScanRequestFor(r));
        !error.isEmpty()) {
        PrintError(error);
        outcome.said.insert(error);
    }
    engine.StartScan();
    if (messages.count > 0)
        return std::nullopt;
    if (progress)
        progressTimer.start();
    stallProbe.start();
    if (session.run.scanRunning())
        QCoreApplication::exec();
    stallProbe.stop();
    progressTimer.stop();
    outcome.seconds = double(wall.nsecsElapsed()) / 1e9;
    outcome.maxStallMs = stallProbe.maxStallMs();
    if (progress)
        std::fprintf(stderr, "\r\033[K");
    return outcome;
}

// What is left to print when the scan has ended: the JSON document, or the error
// lines after the result lines printed during the scan.
void PrintRows(const scan::ScanSession& session, const ScanRequest& r, const RunOutcome& run) {
    if (r.json) {
        std::fputs(run.after.json.constData(), stdout);
        std::fflush(stdout);
        return;
    }
    if (!StreamsRows(r))
        for (const scan::ResultRow& row : session.project.results.rows())
            PrintResult(row);
    for (const scan::ErrorRow& e : session.run.errors.rows())
        PrintLine({QStringLiteral("error"), e.error, e.url});
    std::fflush(stdout);
}

void PrintStats(const RunOutcome& run) {
    std::fprintf(stderr,
                 "pages=%lld seconds=%.3f pages_per_s=%.1f max_stall_ms=%lld peak_rss_kb=%ld\n",
                 static_cast<long long>(run.pagesFetched), run.seconds,
                 run.seconds > 0 ? double(run.pagesFetched) / run.seconds : 0.0,
                 static_cast<long long>(run.maxStallMs), PeakRssKb());
}

// Writes the project's scheduled check (or ends it) and says what was done.
int Schedule(const ScanRequest& r) {
    const alert::ScheduledCheck check =
        alert::CheckOfProject(*r.project, *r.schedule, QCoreApplication::applicationFilePath(),
                              r.carried + r.alerts.arguments());
    if (const QString why = alert::UnitProblem(check);
        !why.isEmpty() && r.schedule->every != alert::Every::Off)
        Fail(QStringLiteral("--schedule: ") + why);
    const alert::ScheduleOutcome done = alert::ApplySchedule(check, alert::UserUnitFolder());
    for (const QString& line : done.lines)
        PrintLine({line});
    if (done.error.isEmpty())
        return 0;
    PrintError(done.error);
    return kExitFailed;
}

// One line per scheduled project: its file, when, and the next run as systemd
// says, where it can be asked.
int ListSchedules() {
    const QList<alert::ScheduledUnit> units = alert::ScheduledChecks(alert::UserUnitFolder());
    QStringList timers;
    for (const alert::ScheduledUnit& unit : units)
        timers << unit.timer;
    QString why;
    const QHash<QString, QString> next =
        timers.isEmpty() ? QHash<QString, QString>() : alert::NextRuns(timers, why);
    if (!why.isEmpty())
        PrintError(QStringLiteral("systemctl --user could not be reached (") + why +
                   QStringLiteral("): the next runs are not known."));
    for (const alert::ScheduledUnit& unit : units)
        PrintLine({unit.check.projectFile, alert::ScheduleText(unit.check.when),
                   next.value(unit.timer, QStringLiteral("unknown"))});
    return 0;
}

// Whether the keyring may be asked for a secret: its Secret Service client
// answers through the GLib main loop.
bool MayAskKeyring(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg(argv[i]);
        if ((arg.starts_with("--smtp-user") &&
             !qEnvironmentVariableIsSet("CORVANTIS_SMTP_PASSWORD")) ||
            (arg.starts_with("--webhook") &&
             !qEnvironmentVariableIsSet("CORVANTIS_WEBHOOK_SECRET")))
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char* argv[]) {
    // No window here, so nothing else needs the GLib main loop; Qt's own Unix
    // event dispatcher takes less time per socket event (about 6 % more pages a second).
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB") && !MayAskKeyring(argc, argv))
        qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Corvantis"));
    QCoreApplication::setApplicationName(QStringLiteral("Corvantis"));

    const ScanRequest request = ParseCommandLine(QCoreApplication::arguments());
    if (request.listSchedules)
        return ListSchedules();
    if (request.schedule)
        return Schedule(request);
    const scan::HostRouter router = RouterFor(request.connectTo);
    scan::ScanSession session;
    StderrMessages messages;
    util::SilentSound sound;
    session.options = OptionsFor(request);
    scan::ScanEngine engine(session, messages, sound, router,
                            scan::ScanEngine::Options{request.readAhead});
    session.run.LoadCounters();
    if (!LoadPartners(request, session, engine))
        return kExitBadInput;

    const std::optional<RunOutcome> run = RunScan(request, session, engine, messages);
    if (!run)
        return kExitBadInput;
    PrintRows(session, request, *run);
    util::SettingsStore::instance().sync();
    if (request.stats)
        PrintStats(*run);
    // A lost link is the news a cron job waits for: it wins over a failed step
    // (said on stderr all the same).
    if (run->after.linkLost)
        return kExitLinkLost;
    return run->after.anyFailed() || !run->alertFailures.isEmpty() ? kExitFailed : 0;
}
