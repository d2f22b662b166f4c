#include "output/scan_report.h"

#include "util/app_folder.h"
#include "util/file_utils.h"
#include "util/text_utils.h"
#include "util/user_text_file.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>

#include <algorithm>

namespace corvantis::output {

using scan::ResultRow;

namespace {

QString Esc(const QString& text) {
    return text.toHtmlEscaped();
}

// A link target in the report. List addresses carry no scheme; "http://" in
// front makes them real web links (a bare one would point into the report's
// own folder) and keeps a "javascript:" address from ever running as script.
QString Href(const QString& address) {
    if (util::StartsWithCI(address, QStringLiteral("http://")) ||
        util::StartsWithCI(address, QStringLiteral("https://")))
        return Esc(address);
    return Esc(QStringLiteral("http://") + address);
}

QString Link(const QString& address) {
    return QStringLiteral("<a target=\"_blank\" href=\"") + Href(address) + QStringLiteral("\">") +
           Esc(address) + QStringLiteral("</a>");
}

// A ratio with two decimals in the user's format; with no sites there is none, shown as zero.
QString Ratio(double part, qint32 whole, double scale, const QLocale& locale) {
    const double value = whole == 0 ? 0.0 : part / double(whole) * scale;
    return locale.toString(value, 'f', 2);
}

} // namespace

ReportCounts CountReportResults(const scan::ResultListModel& results) {
    ReportCounts c;
    for (const ResultRow& r : results.rows()) {
        if (r.status == scan::kDirectLink)
            ++c.direct;
        else if (r.status == scan::kDomainLink || r.status == scan::kRedirectLink)
            ++c.indirect;
        else if (r.status == scan::kNoneFound)
            ++c.nonLinking;
    }
    return c;
}

namespace {

// "Changes since the last scan": each partner with a change, then the partners
// whose link was lost in an earlier scan and is still not back, with the date.
// Nothing when there is neither.
void AppendChanges(QStringList& l, const QList<ResultRow>& rows, bool domainInHistory,
                   const QLocale& locale) {
    const QList<const ResultRow*> changed = scan::ChangedSites(rows, domainInHistory);
    const QList<const ResultRow*> stillLost = scan::StillLostSites(rows);
    if (changed.isEmpty() && stillLost.isEmpty())
        return;
    l << QStringLiteral("<hr>") << QStringLiteral("<b>Changes since the last scan</b><BR><BR>");
    if (!changed.isEmpty()) {
        l << QStringLiteral("<table border=\"1\">")
          << QStringLiteral("<th>Site</th><th>Change</th><th>Status</th><th>Linking URL</th>"
                            "<th>Link value</th>");
        for (const ResultRow* r : changed)
            l << QStringLiteral("<tr><td>") + Link(r->site) + QStringLiteral("</td><td>") +
                     Esc(scan::ChangeText(r->change)) + QStringLiteral("</td><td>") +
                     Esc(r->status) + QStringLiteral("</td><td>") + Link(r->url) +
                     QStringLiteral("</td><td>") + Esc(r->value) + QStringLiteral("</td></tr>");
        l << QStringLiteral("</table>");
    }
    if (stillLost.isEmpty())
        return;
    l << QStringLiteral("<BR><b>Still lost</b><BR><BR>") << QStringLiteral("<table border=\"1\">")
      << QStringLiteral("<th>Site</th><th>Lost since</th>");
    for (const ResultRow* r : stillLost)
        l << QStringLiteral("<tr><td>") + Link(r->site) + QStringLiteral("</td><td>") +
                 Esc(locale.toString(r->lostSince.toLocalTime(), QLocale::ShortFormat)) +
                 QStringLiteral("</td></tr>");
    l << QStringLiteral("</table>");
}

// The page's head, the domain as its heading, and when the report was made.
void AppendHeading(QStringList& l, const QString& domain, const QDateTime& when,
                   const QLocale& locale) {
    const QString date = locale.toString(when.date(), QLocale::ShortFormat);
    const QString time = locale.toString(when, locale.timeFormat(QLocale::LongFormat));
    const QTime t = when.time();
    const bool midnight = t.hour() == 0 && t.minute() == 0 && t.second() == 0;
    const QString dateTime = midnight ? date : date + QLatin1Char(' ') + time;
    l << QStringLiteral("<html>") << QStringLiteral("<head>")
      << QStringLiteral("<title>Reciprocal Links to ") + domain + QStringLiteral(" - ") +
             Esc(dateTime) + QStringLiteral("</title>")
      << QStringLiteral("<body>") << QStringLiteral("<h1>") + domain + QStringLiteral("</h1>")
      << QStringLiteral("Date: ") + Esc(date) + QStringLiteral("<BR>")
      << QStringLiteral("Time: ") + Esc(time) + QStringLiteral("<BR><BR>");
}

// "Site Statistics" and "Percentages/Averages".
void AppendStatistics(QStringList& l, const scan::ScanSession& session,
                      const scan::ScanCounters& counters, const QLocale& locale) {
    const ReportCounts counts = CountReportResults(session.project.results);
    const qint32 sites = session.project.partners.count();
    const auto n = [](qint64 v) { return QString::number(v); };
    const QString br = QStringLiteral("<BR>");
    l << QStringLiteral("<hr>") << QStringLiteral("<b>Site Statistics</b><BR><BR>")
      << QStringLiteral("Number of sites: ") + n(sites) + br
      << QStringLiteral("Number of pages scanned: ") + n(counters.runPagesScanned) + br
      << QStringLiteral("Number of reciprocal links found: ") + n(counters.runLinksFound) + br
      << QStringLiteral("Number of direct links: ") + n(counts.direct) + br
      << QStringLiteral("Number of indirect links: ") + n(counts.indirect) + br
      << QStringLiteral("Number of non-linking sites: ") + n(counts.nonLinking) + br
      << QStringLiteral("Number of error pages: ") + n(session.run.errors.count()) + br
      << QStringLiteral("<hr>") << QStringLiteral("<b>Percentages/Averages</b><BR><BR>")
      << QStringLiteral("Percentage of sites with reciprocal links: ") +
             Ratio(double(counts.direct) + double(counts.indirect), sites, 100.0, locale) +
             QStringLiteral("%<BR>")
      << QStringLiteral("Percentage of non-linking sites: ") +
             Ratio(counts.nonLinking, sites, 100.0, locale) + QStringLiteral("%<BR>")
      << QStringLiteral("Average number of pages scanned per site: ") +
             Ratio(counters.runPagesScanned, sites, 1.0, locale) + br;
}

// "Individual Sites", "Individual Site Results" and "Error Pages", each in list order.
void AppendTables(QStringList& l, const scan::ScanSession& session) {
    l << QStringLiteral("<HR>") << QStringLiteral("<b>Individual Sites</b><BR><BR>")
      << QStringLiteral("<table border=\"1\">")
      << QStringLiteral("<th>Site</th><th>Links Expected</th>");
    for (const scan::PartnerSite& p : session.project.partners.rows()) {
        l << QStringLiteral("<tr><td>") + Link(p.address) + QStringLiteral("</td><td>") +
                 Esc(p.linksExpected) + QStringLiteral("</td><td>") + Esc(p.htmlLink) +
                 QStringLiteral("</td></tr>");
    }
    l << QStringLiteral("</table>") << QStringLiteral("<HR>")
      << QStringLiteral("<b>Individual Site Results</b><BR><BR>")
      << QStringLiteral("<table border=\"1\">")
      << QStringLiteral("<th>Site</th><th>Status</th><th>Linking URL</th><th>Link value</th>"
                        "<th>Anchor text</th>");
    for (const ResultRow& r : session.project.results.rows()) {
        l << QStringLiteral("<tr><td>") + Link(r.site) + QStringLiteral("</td><td>") +
                 Esc(r.status) + QStringLiteral("</td><td>") + Link(r.url) +
                 QStringLiteral("</td><td>") + Esc(r.value) + QStringLiteral("</td><td>") +
                 Esc(r.anchor) + QStringLiteral("</td></tr>");
    }
    l << QStringLiteral("</table>") << QStringLiteral("<HR>")
      << QStringLiteral("<b>Error Pages</b><BR><BR>") << QStringLiteral("<table border=\"1\">")
      << QStringLiteral("<th>Error</th><th>URL</th>");
    for (const scan::ErrorRow& e : session.run.errors.rows()) {
        l << QStringLiteral("<tr><td>") + Esc(e.error) + QStringLiteral("</td><td>") + Link(e.url) +
                 QStringLiteral("</td></tr>");
    }
    l << QStringLiteral("</table>");
}

} // namespace

QStringList ScanReportLines(const scan::ScanSession& session, const scan::ScanCounters& counters,
                            const QDateTime& when, const QLocale& locale) {
    QStringList l;
    AppendHeading(l, Esc(session.project.domain()), when, locale);
    AppendChanges(l, session.project.results.rows(), session.run.domainInHistory, locale);
    AppendStatistics(l, session, counters, locale);
    AppendTables(l, session);
    l << QStringLiteral("</body>") << QStringLiteral("</head>") << QStringLiteral("</html>");
    return l;
}

QString ScanReportText(const scan::ScanSession& session, const scan::ScanCounters& counters,
                       const QDateTime& when, const QLocale& locale) {
    return QChar(0xFEFF) + util::JoinCrLf(ScanReportLines(session, counters, when, locale)) +
           QStringLiteral("\r\n");
}

QString ReportFilePath() {
    return util::AppFilePath(QStringLiteral("tempreport.html"));
}

ReportBuild BuildScanReport(const scan::ScanSession& session, const scan::ScanCounters& counters,
                            const util::Clock& clock) {
    ReportBuild build;
    build.path = ReportFilePath();
    const QString why = util::WriteUserTextFile(
        build.path, ScanReportText(session, counters, clock.now(), QLocale()));
    if (!why.isEmpty())
        build.error = QStringLiteral("The scan report could not be written to \"%1\": %2")
                          .arg(build.path, why);
    return build;
}

bool SaveReportAs(util::Messages& messages, util::FileDialogs& dialogs) {
    const QString title = QStringLiteral("Save Report As");
    const QString source = ReportFilePath();
    if (!util::FileExists(source)) {
        messages.inform(QStringLiteral("There is no report to save yet. A report is written "
                                       "each time a scan ends."),
                        title);
        return false;
    }
    QString path = dialogs.saveFile(title, QString(), kReportFilter);
    if (util::IsBlank(path))
        return false;
    // The name is completed first, so the question below is about the file that
    // would really be replaced.
    if (!util::ContainsCI(util::FileNameFromPath(path), QStringLiteral(".htm")))
        path += QStringLiteral(".htm");
    // Anything already there counts, hidden files too: nothing is replaced unasked.
    if (QFileInfo::exists(path) &&
        messages.ask(title, kOverwriteQuestion, util::Question::OkCancel) != util::Answer::Ok)
        return false;
    const QString why = util::CopyFileSafely(source, path);
    if (!why.isEmpty()) {
        messages.inform(QStringLiteral("The report could not be saved as \"%1\":\n%2\n"
                                       "Any file that was there before is unchanged.")
                            .arg(path, why),
                        title);
        return false;
    }
    return true;
}

} // namespace corvantis::output
