#include "cli/option_table.h"

#include "afterscan/after_scan.h"
#include "util/text_utils.h"

namespace corvantis::cli {

namespace {

using scan::ScanOptions;

QString OnOff(bool on) {
    return on ? QStringLiteral("on") : QStringLiteral("off");
}

// A switch that sets one of the desktop program's options to To for this run.
template <auto Field, auto To>
QString SetOption(ScanRequest& r, const QStringList&) {
    r.options.*Field = To;
    return {};
}
// Such a switch is "on" when the options already say what it asks for.
template <auto Field, auto To>
QString OptionIs(const ScanOptions& o) {
    return OnOff(o.*Field == To);
}

// A switch or a text of the request itself.
template <auto Field>
QString SetFlag(ScanRequest& r, const QStringList&) {
    r.*Field = true;
    return {};
}
template <auto Field>
QString SetText(ScanRequest& r, const QStringList& values) {
    r.*Field = values.last();
    return {};
}
template <auto Field>
QString SetAlertText(ScanRequest& r, const QStringList& values) {
    r.alerts.*Field = values.last();
    return {};
}
template <auto Field>
QString SetAlertFlag(ScanRequest& r, const QStringList&) {
    r.alerts.*Field = true;
    return {};
}

QString SetPageLimit(ScanRequest& r, const QStringList& values) {
    const std::optional<qint32> limit = util::ToInt32(values.last());
    if (!limit || *limit < 1)
        return QStringLiteral("--page-limit needs a positive number");
    r.options.chkAuto = true;
    r.options.PageLimit = *limit;
    return {};
}
QString PageLimitOf(const ScanOptions& o) {
    return o.chkAuto ? QString::number(o.PageLimit) : QStringLiteral("no limit");
}

QString SetTimeout(ScanRequest& r, const QStringList& values) {
    const std::optional<qint16> seconds = util::ToInt16(values.last());
    if (!seconds)
        return QStringLiteral("--timeout needs a number of seconds");
    r.options.timeoutSeconds = *seconds;
    return {};
}
QString TimeoutOf(const ScanOptions& o) {
    return QString::number(o.timeoutSeconds);
}

QString SetFormat(ScanRequest& r, const QStringList& values) {
    const QString& format = values.last();
    if (format != QLatin1String("tsv") && format != QLatin1String("json"))
        return QStringLiteral("--format needs tsv or json, not ") + format;
    r.json = format == QLatin1String("json");
    return {};
}

// A whole number from 1 to max, read as the options read it; written back the
// same, or it was not one.
template <auto Field, int (*FromText)(const QString&), int Max>
QString SetCount(ScanRequest& r, const QStringList& values, const char* option) {
    const int n = FromText(values.last());
    if (QString::number(n) != values.last().trimmed())
        return QStringLiteral("--%1 needs a number from 1 to %2").arg(QLatin1String(option)).arg(Max);
    r.options.*Field = n;
    return {};
}
QString SetLostAfter(ScanRequest& r, const QStringList& values) {
    return SetCount<&ScanOptions::lostAfter, scan::LostAfterFromText, scan::kMaxLostAfter>(
        r, values, "lost-after");
}
QString SetSites(ScanRequest& r, const QStringList& values) {
    return SetCount<&ScanOptions::sitesAtOnce, scan::SitesAtOnceFromText, scan::kMaxSitesAtOnce>(
        r, values, "sites");
}
template <auto Field>
QString NumberOf(const ScanOptions& o) {
    return QString::number(o.*Field);
}

QString SetConnectTo(ScanRequest& r, const QStringList& values) {
    r.connectTo = values;
    return {};
}

QString SetSchedule(ScanRequest& r, const QStringList& values) {
    const QString& when = values.last();
    r.listSchedules = when.compare(QLatin1String("list"), Qt::CaseInsensitive) == 0;
    if (r.listSchedules)
        return {};
    r.schedule = schedule::ParseSchedule(when);
    if (!r.schedule)
        return QStringLiteral("--schedule needs daily@HH:MM, weekly@mon@HH:MM, off or list, not ") +
               when;
    return {};
}

QString HistoryPathOf(const ScanOptions&) {
    return afterscan::DefaultHistoryPath();
}

constexpr auto kOptions = DefaultFrom::Options;
constexpr auto kOwn = InSchedule::Own;

const OptionRow kRows[] = {
    {"domain", "DOMAIN", "Your site, the one links must point to.",
     SetText<&ScanRequest::domain>, DefaultFrom::None, nullptr, InSchedule::Refused},
    {"partners", "FILE", "A text file of partners, one \"address\" or \"address|N\" per line.",
     SetText<&ScanRequest::partnersFile>, DefaultFrom::None, nullptr, InSchedule::Refused, true},
    {"page-limit", "N", "Go to the next site after N pages.", SetPageLimit, kOptions, PageLimitOf},
    {"no-page-limit", nullptr, "Scan every page of a site.",
     SetOption<&ScanOptions::chkAuto, false>, kOptions, OptionIs<&ScanOptions::chkAuto, false>},
    {"no-expected-skip", nullptr, "Keep scanning a site after its expected links are found.",
     SetOption<&ScanOptions::chkAuto2, false>, kOptions, OptionIs<&ScanOptions::chkAuto2, false>},
    {"timeout", "S", "Page time-out in seconds.", SetTimeout, kOptions, TimeoutOf},
    {"redirect", nullptr, "Accept links through redirect scripts.",
     SetOption<&ScanOptions::chkRedirect, true>, kOptions,
     OptionIs<&ScanOptions::chkRedirect, true>},
    {"connect-to", "HOST[:PORT]:ADDR:PORT",
     "Send connections for port 80 of HOST (or its PORT) to ADDR:PORT.", SetConnectTo},
    {"stats", nullptr, "Print timing figures as the last line on stderr.",
     SetFlag<&ScanRequest::stats>},
    {"quiet", nullptr, "No progress line.", SetFlag<&ScanRequest::quiet>},
    {"insecure", nullptr,
     "Read pages whose certificate fails verification (still listed as errors).",
     SetOption<&ScanOptions::acceptInvalidCertificates, true>, kOptions,
     OptionIs<&ScanOptions::acceptInvalidCertificates, true>},
    {"no-link-value", nullptr,
     "Leave out whether each link back passes its value (rel, robots meta tags and headers).",
     SetOption<&ScanOptions::checkLinkValue, false>, kOptions,
     OptionIs<&ScanOptions::checkLinkValue, false>},
    {"no-read-ahead", nullptr,
     "Ask for each page only at its turn (to compare or to trace a fault).",
     SetFlag<&ScanRequest::noReadAhead>},
    {"project", "FILE", "Take the domain and partners from a project file.",
     SetText<&ScanRequest::project>, DefaultFrom::None, nullptr, kOwn, true},
    {"save", nullptr, "Write the results back into the project file.",
     SetFlag<&ScanRequest::save>, DefaultFrom::None, nullptr, kOwn},
    {"report", "FILE", "Also write the HTML report to FILE.", SetText<&ScanRequest::report>,
     DefaultFrom::None, nullptr, InSchedule::CarriedPath, true},
    {"format", "FORMAT",
     "\"tsv\" (the default): the lines above; \"json\": one JSON document instead.", SetFormat},
    {"history", "FILE", "Record the scan in this history store.", SetText<&ScanRequest::history>,
     DefaultFrom::Application, HistoryPathOf, InSchedule::CarriedPath, true},
    {"no-history", nullptr, "Record nothing; the change of each partner stays empty.",
     SetFlag<&ScanRequest::noHistory>, DefaultFrom::None, nullptr, InSchedule::Refused},
    {"lost-after", "K", "Call a link lost after K read scans in a row found none.", SetLostAfter,
     kOptions, NumberOf<&ScanOptions::lostAfter>},
    {"sites", "N", "Scan N partner sites at once, 1 to 10; the output is the same for any N.",
     SetSites, kOptions, NumberOf<&ScanOptions::sitesAtOnce>},
    {"full-crawl", nullptr,
     "Crawl each site from its start page, not first asking for the pages where its links "
     "stood last time.",
     SetOption<&ScanOptions::startFromHistory, false>, kOptions,
     OptionIs<&ScanOptions::startFromHistory, false>},
    {"no-render", nullptr,
     "Never look at a site's pages as a browser does (after their scripts), even when its HTML "
     "shows fewer links than expected.",
     SetOption<&ScanOptions::renderPages, false>, kOptions,
     OptionIs<&ScanOptions::renderPages, false>},
    {"no-keep-alive", nullptr,
     "Ask for every page on a connection of its own, closed after it, with a whole TLS "
     "handshake each, instead of keeping a site's connection open between pages.",
     SetOption<&ScanOptions::keepAlive, false>, kOptions,
     OptionIs<&ScanOptions::keepAlive, false>},
    {"mail-to", "ADDR",
     "After a scan with a change, send the digest to ADDR, or to each of a comma list (needs "
     "--smtp).",
     SetAlertText<&alert::AlertSettings::mailTo>, DefaultFrom::None, nullptr, kOwn},
    {"mail-from", "ADDR", "The digest's sender (by default the address it goes to).",
     SetAlertText<&alert::AlertSettings::mailFrom>, DefaultFrom::None, nullptr, kOwn},
    {"smtp", "URL", "The SMTP server: smtp://host:587 (STARTTLS when offered) or smtps://host.",
     SetAlertText<&alert::AlertSettings::smtpServer>, DefaultFrom::None, nullptr, kOwn},
    {"smtp-user", "NAME",
     "Log in to the SMTP server as NAME; the password comes from CORVANTIS_SMTP_PASSWORD or "
     "the keyring.",
     SetAlertText<&alert::AlertSettings::smtpUser>, DefaultFrom::None, nullptr, kOwn},
    {"webhook", "URL",
     "After a scan with a change, POST its JSON document to URL, signed with "
     "CORVANTIS_WEBHOOK_SECRET or the keyring's secret when one was set.",
     SetAlertText<&alert::AlertSettings::webhookUrl>, DefaultFrom::None, nullptr, kOwn},
    {"notify", nullptr, "After a scan with a change, show a desktop notification.",
     SetAlertFlag<&alert::AlertSettings::notify>, DefaultFrom::None, nullptr, kOwn},
    {"alert-always", nullptr, "Send the alerts after every scan, not only one with a change.",
     SetAlertFlag<&alert::AlertSettings::alwaysAlert>, DefaultFrom::None, nullptr, kOwn},
    {"scheduled", nullptr,
     "The run is a scheduled check (its service says so): a desktop without a notification "
     "service is no failure.",
     SetFlag<&ScanRequest::scheduled>, DefaultFrom::None, nullptr, kOwn},
    {"schedule", "WHEN",
     "Instead of scanning now, check the --project every day (daily@HH:MM) or week "
     "(weekly@mon@HH:MM) with a systemd user timer, saving the results, with the scan and alert "
     "options given; \"off\" ends the checks, \"list\" shows every scheduled project.",
     SetSchedule, DefaultFrom::None, nullptr, kOwn},
};

} // namespace

std::span<const OptionRow> ScanOptionRows() {
    return kRows;
}

QString HelpWithDefault(const OptionRow& row, const scan::ScanOptions& options) {
    QString help = QLatin1String(row.help);
    QString note;
    if (row.defaultFrom == DefaultFrom::Options)
        note = QStringLiteral(" (now %1, from the options)").arg(row.defaultOf(options));
    else if (row.defaultFrom == DefaultFrom::Application)
        note = QStringLiteral(" (now %1)").arg(row.defaultOf(options));
    help.insert(help.size() - 1, note); // before the full stop
    return help;
}

} // namespace corvantis::cli
