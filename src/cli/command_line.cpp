#include "cli/command_line.h"

#include "cli/option_table.h"
#include "output/project_file.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <string_view>

namespace corvantis::cli {

namespace {

QString Description() {
    return QStringLiteral(
        "Checks partner sites for links back to your domain and prints one line per result:\n"
        "result<TAB>site<TAB>status<TAB>number<TAB>url<TAB>value<TAB>anchor<TAB>change, then\n"
        "error<TAB>error<TAB>url. Options not given come from the desktop program's settings.\n"
        "Exit status: 0 the scan ran, 3 it ran and a partner's link is lost (even when a\n"
        "later step failed), 2 the input was refused, 1 anything else failed (report,\n"
        "project, history or an alert).");
}

void AddOptions(QCommandLineParser& parser, const scan::ScanOptions& options) {
    parser.setApplicationDescription(Description());
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("partner"),
        QStringLiteral("A partner site, optionally with |N links expected."),
        QStringLiteral("[PARTNER[|N] ...]"));
    for (const OptionRow& row : ScanOptionRows())
        parser.addOption(QCommandLineOption(QLatin1String(row.name), HelpWithDefault(row, options),
                                            QLatin1String(row.valueName)));
}

// Each option given sets the request, in the table's order.
QString SetFromRows(const QCommandLineParser& parser, ScanRequest& r) {
    for (const OptionRow& row : ScanOptionRows()) {
        const QLatin1String name(row.name);
        if (!parser.isSet(name))
            continue;
        if (QString error = row.set(r, row.valueName ? parser.values(name) : QStringList());
            !error.isEmpty())
            return error;
    }
    r.partners = parser.positionalArguments();
    return {};
}

// The ways of sending the alert, checked as the window checks them.
QString CheckAlerts(const QCommandLineParser& parser, ScanRequest& r) {
    r.alerts.readKeptSecrets();
    const bool mailDetail = parser.isSet(QStringLiteral("mail-from")) ||
                            parser.isSet(QStringLiteral("smtp")) ||
                            parser.isSet(QStringLiteral("smtp-user"));
    if (mailDetail && !r.alerts.wantsMail())
        return QStringLiteral("--mail-from, --smtp and --smtp-user need --mail-to");
    if (const std::optional<alert::AlertProblem> problem = alert::CheckAlertSettings(r.alerts))
        return alert::OptionName(problem->field) + QStringLiteral(": ") + problem->why;
    if (r.alerts.alwaysAlert && !r.alerts.any())
        return QStringLiteral("--alert-always needs --mail-to, --webhook or --notify");
    return {};
}

// The options a scheduled check's command takes on; an option it cannot carry
// refuses the schedule.
QString CarryIntoSchedule(const QCommandLineParser& parser, ScanRequest& r) {
    const QString refused =
        QStringLiteral(": a scheduled check scans the project's domain and partners and records "
                       "them in its history");
    if (!r.partners.isEmpty())
        return QStringLiteral("--schedule cannot take partners") + refused;
    for (const OptionRow& row : ScanOptionRows()) {
        const QLatin1String name(row.name);
        if (row.inSchedule == InSchedule::Own || !parser.isSet(name))
            continue;
        if (row.inSchedule == InSchedule::Refused)
            return QStringLiteral("--schedule cannot take --") + name + refused;
        if (!row.valueName) {
            r.carried << QStringLiteral("--") + name;
            continue;
        }
        for (const QString& v : parser.values(name))
            r.carried << QStringLiteral("--") + name
                      << (row.inSchedule == InSchedule::CarriedPath
                              ? QFileInfo(v).absoluteFilePath()
                              : v);
    }
    return {};
}

// --schedule: it needs a project that reads (ending the checks needs only its
// path: the file may be gone).
QString CheckSchedule(const QCommandLineParser& parser, ScanRequest& r) {
    if (!r.schedule)
        return {};
    if (!r.project)
        return QStringLiteral("--schedule needs --project FILE");
    if (r.schedule->every == schedule::Every::Off)
        return {};
    if (QString error = output::ProjectFileError(*r.project); !error.isEmpty())
        return error;
    return CarryIntoSchedule(parser, r);
}

// What options need of each other.
QString CheckTogether(const QCommandLineParser& parser, ScanRequest& r) {
    if (r.save && !r.project)
        return QStringLiteral("--save needs --project FILE");
    if (r.history && r.noHistory)
        return QStringLiteral("--history and --no-history exclude each other");
    if (QString error = CheckAlerts(parser, r); !error.isEmpty())
        return error;
    return CheckSchedule(parser, r);
}

} // namespace

ParsedCommandLine ParseScanCommandLine(const QStringList& arguments,
                                       const scan::ScanOptions& options) {
    ParsedCommandLine parsed;
    QCommandLineParser parser;
    AddOptions(parser, options);
    if (!parser.parse(arguments)) {
        parsed.error = parser.errorText();
        return parsed;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        parsed.output = parser.helpText();
        return parsed;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        // As Qt prints it, with the program's own name.
        parsed.output = QFileInfo(arguments.value(0)).fileName() + QLatin1Char(' ') +
                        QCoreApplication::applicationVersion() + QLatin1Char('\n');
        return parsed;
    }
    ScanRequest& r = parsed.request;
    r.options = options;
    r.options.chkAudioEmail = r.options.chkAudioNext = r.options.chkAudioFinished = false;
    parsed.error = SetFromRows(parser, r);
    if (parsed.error.isEmpty())
        parsed.error = CheckTogether(parser, r);
    return parsed;
}

bool MayAskKeyring(std::span<char* const> arguments) {
    for (const char* argument : arguments.subspan(1)) {
        const std::string_view arg(argument);
        if ((arg.starts_with("--smtp-user") &&
             !qEnvironmentVariableIsSet("CORVANTIS_SMTP_PASSWORD")) ||
            (arg.starts_with("--webhook") &&
             !qEnvironmentVariableIsSet("CORVANTIS_WEBHOOK_SECRET")))
            return true;
    }
    return false;
}

} // namespace corvantis::cli
