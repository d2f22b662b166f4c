#pragma once

#include "session/scan_session.h"
#include "util/seams.h"

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>

namespace corvantis::output {

// Results counted by the report, each at most once, by its exact status text.
struct ReportCounts {
    qint32 direct = 0;     // "Direct Link"
    qint32 indirect = 0;   // "Domain Link" or "Redirect Link"
    qint32 nonLinking = 0; // "None Found", without a note
};

ReportCounts CountReportResults(const scan::ResultListModel& results);

// The report's lines, without line ends: the fixed lines with one table row per
// partner, result and error. Every text that comes from the lists or the domain
// is HTML-escaped and every attribute value quoted, so nothing a partner page
// supplies can become markup or script in the report view. Numbers with
// fractions follow the locale; the date is its short date, the time its long time.
QStringList ScanReportLines(const scan::ScanSession& session, const scan::ScanCounters& counters,
                            const QDateTime& when, const QLocale& locale);

// The file text: a UTF-8 byte order mark (so the browser view reads the file as
// UTF-8), the lines each ending in CR LF, and one more CR LF.
QString ScanReportText(const scan::ScanSession& session, const scan::ScanCounters& counters,
                       const QDateTime& when, const QLocale& locale);

// "tempreport.html" in the application folder.
QString ReportFilePath();

struct ReportBuild {
    QString path;  // the report file, to show in the report view
    QString error; // why it could not be written, for the user; empty on success
    bool ok() const { return error.isEmpty(); }
};

// Writes the report of the scan that just ended, in the user's regional format
// (the default QLocale), with the clock's time. An older report is replaced only
// by a complete new one; a failure is returned, never thrown, so the stop step goes on.
ReportBuild BuildScanReport(const scan::ScanSession& session, const scan::ScanCounters& counters,
                            const util::Clock& clock);

inline const QString kReportFilter = QStringLiteral("HTML Files (*.htm *.html)");
inline const QString kOverwriteQuestion =
    QStringLiteral("File already exists.  Are you sure you want to overwrite it?");

// "Save Report As": copies the last report to a file the user names, ".htm"
// appended when the name holds no ".htm". Asks before replacing a file and
// tells the user when there is no report yet or the copy fails. Returns whether
// the copy was written.
bool SaveReportAs(util::Messages& messages, util::FileDialogs& dialogs);

} // namespace corvantis::output
