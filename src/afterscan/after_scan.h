#pragma once

#include "output/scan_report.h"
#include "session/scan_types.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

namespace corvantis::util {
class Clock;
}

namespace corvantis::afterscan {

// What the steps after a scan are asked to do.
struct AfterScanRequest {
    bool recordHistory = true;
    QString historyPath; // empty: history.sqlite in the application folder
    // How long the history waits for another program recording at the same time.
    std::chrono::milliseconds busyTimeout{0};
    bool writeReport = true;
    std::optional<QString> reportCopy;    // a copy of the report goes here too
    std::optional<QString> projectToSave; // the results are written back into it
};

// How they went. Each message is for the user as it stands; empty when the
// step went well or was not asked for.
struct AfterScanOutcome {
    QString historyError;
    output::ReportBuild report; // its path when written
    QString reportCopyError;
    QString saveError;
    bool linkLost = false; // some partner's change is "Lost"

    bool anyFailed() const {
        return !historyError.isEmpty() || !report.ok() || !reportCopyError.isEmpty() ||
               !saveError.isEmpty();
    }
};

// The one way a scan is wound up, by the window and corvantis-scan alike, in
// this order: the ended partners are recorded in the history and each one's
// change goes into its rows; the report is written (it shows the changes); its
// copy is made and the project saved when asked. A step that fails does not
// keep the next from running.
AfterScanOutcome AfterScan(scan::ScanSession& session, const QList<scan::PartnerVerdict>& verdicts,
                           const util::Clock& clock, const AfterScanRequest& request);

// Where the history is kept unless told otherwise.
QString DefaultHistoryPath();

} // namespace corvantis::afterscan
