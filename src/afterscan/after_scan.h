#pragma once

#include "alert/alert_digest.h"
#include "alert/alert_settings.h"
#include "output/scan_report.h"
#include "session/scan_types.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

namespace corvantis::util {
class Clock;
}
namespace corvantis::alert {
class SecretStore;
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
    QDateTime started;                    // when the scan started, for its JSON document
    alert::AlertSettings alerts;          // where the scan's alert goes, if anywhere
    // Whether the desktop can show a notification, as the caller found
    // (alert::DesktopNotificationsAvailable) where nobody may be looking: without,
    // a notification the alerts ask for is left out, and is no failure.
    bool desktopNotifies = true;

    // The alerts as they go: the notification only where the desktop can show it.
    alert::AlertSettings alertsSent() const;
};

// How they went. Each message is for the user as it stands; empty when the
// step went well or was not asked for.
struct AfterScanOutcome {
    QString historyError;
    output::ReportBuild report; // its path when written
    QString reportCopyError;
    QString saveError;
    bool linkLost = false; // some partner's change is "Lost"
    QDateTime finished;    // when the scan was recorded as ended
    QByteArray json;       // the scan's JSON document
    // The alert to send, when some way of sending is asked for and the scan has
    // news, an earlier alert waits in the history, or every scan is to be told.
    std::optional<alert::Alert> alert;

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

// The one way a scan is prepared, by the window and corvantis-scan alike, with
// the request it will be wound up with: the pages where each partner's links
// stood in its last read scan go from the history into the run state, for the
// scan to ask for first. Nothing is remembered without a history or with the
// option off. Returns the history's message, empty when all went well.
QString BeforeScan(scan::ScanSession& session, const AfterScanRequest& request);

// Sends the alert every way the settings ask for (alert::SendAlert), then
// settles it in the request's history: the earlier alerts it delivered are
// forgotten, and a scan's news a way did not deliver waits there for the next
// alert that way (nothing is kept for a test alert, which has no scan, or
// without the history). One line per failure, the history's among them. Blocks
// until done: the window calls it off its thread.
QStringList SendAndSettle(const alert::Alert& alert, const alert::AlertSettings& settings,
                          alert::SecretStore& secrets, const AfterScanRequest& request);

// Where the history is kept unless told otherwise.
QString DefaultHistoryPath();

} // namespace corvantis::afterscan
