#include "cli/scan_command.h"

#include "afterscan/after_scan.h"
#include "alert/alert_senders.h"
#include "alert/secret_store.h"
#include "cli/console.h"
#include "cli/schedule_command.h"
#include "fetch/host_route.h"
#include "output/project_file.h"
#include "scan/scan_engine.h"
#include "session/scan_session.h"
#include "util/busy_wait.h"
#include "util/seams.h"
#include "util/settings_store.h"
#include "util/stall_probe.h"
#include "util/user_text_file.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSet>
#include <QTimer>

#include <cstdio>
#include <optional>
#include <sys/resource.h>
#include <unistd.h>

namespace corvantis::cli {

namespace {

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

// Where --connect-to sends connections; a form it does not take refuses the run.
std::optional<scan::HostRouter> RouterFor(const QStringList& connectTo) {
    scan::HostRouter router;
    for (const QString& spec : connectTo)
        if (!router.addSpec(spec)) {
            Refuse(QStringLiteral("--connect-to needs HOST:ADDR:PORT or HOST:PORT:ADDR:PORT, not ") +
                   spec);
            return std::nullopt;
        }
    return router;
}

// The partner lines of the partners file, then those of the arguments; nothing
// when the file cannot be read (said why).
std::optional<QStringList> PartnerLines(const ScanRequest& r) {
    QStringList lines;
    if (r.partnersFile) {
        const util::TextFileRead file = util::ReadUserTextFile(*r.partnersFile);
        if (!file.ok) {
            Refuse(*r.partnersFile + QStringLiteral(": ") + file.error);
            return std::nullopt;
        }
        lines += file.text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    }
    return lines + r.partners;
}

// The domain and partners, from the project file and then the command line; false
// when they cannot be had or the engine refused a partner (it said why).
bool LoadPartners(const ScanRequest& r, scan::ScanSession& session, scan::ScanEngine& engine) {
    if (r.project) {
        const output::ProjectLoadResult loaded =
            output::LoadProjectFile(*r.project, session.project);
        if (!loaded.loaded) {
            Refuse(loaded.error);
            return false;
        }
        if (!loaded.warning.isEmpty())
            PrintError(loaded.warning);
    }
    if (r.domain || !r.project)
        session.project.setDomain(r.domain.value_or(QString()));
    const std::optional<QStringList> lines = PartnerLines(r);
    if (!lines)
        return false;
    for (const QString& line : *lines) {
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
            RunOutcome& outcome) {
    afterscan::AfterScanRequest request = AfterScanRequestFor(r);
    request.started = outcome.started;
    // Nobody may be there to see it: a scheduled check's notification goes out
    // where the desktop has a service for it, and is no failure where it has none.
    if (r.scheduled && request.alerts.notify)
        request.desktopNotifies = alert::DesktopNotificationsAvailable();
    const util::SystemClock clock;
    outcome.after = afterscan::AfterScan(session, engine.verdicts(), clock, request);
    const afterscan::AfterScanOutcome& done = outcome.after;
    if (done.alert) {
        alert::KeyringSecrets keyring;
        outcome.alertFailures =
            afterscan::SendAndSettle(*done.alert, request.alertsSent(), keyring, request);
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
               row.anchor, scan::ChangeText(row.change)});
}

bool StreamsRows(const ScanRequest& r) {
    return !r.json && r.noHistory;
}

// The connections of one run: the result lines as they come (without a history
// they go out as they reach the list, in its order: a site's as soon as every
// earlier partner is done; with one, they wait for the changes it gives them),
// the pages counted, the wind-up and the end of the event loop.
void ConnectRun(const ScanRequest& r, scan::ScanSession& session, scan::ScanEngine& engine,
                QObject& scope, RunOutcome& outcome) {
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
                     [&] { WindUp(r, session, engine, outcome); });
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
    ConnectRun(r, session, engine, scope, outcome);

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

int ScanNow(const ScanRequest& request) {
    const std::optional<scan::HostRouter> router = RouterFor(request.connectTo);
    if (!router)
        return kExitBadInput;
    scan::ScanSession session;
    StderrMessages messages;
    util::SilentSound sound;
    session.options = request.options;
    scan::ScanEngine engine(session, messages, sound, *router,
                            scan::ScanEngine::Options{!request.noReadAhead});
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

} // namespace

int RunScanCommand(const ScanRequest& request) {
    if (request.listSchedules)
        return ListSchedules();
    if (request.schedule)
        return ScheduleProject(request);
    return ScanNow(request);
}

} // namespace corvantis::cli
