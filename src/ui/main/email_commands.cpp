#include "ui/main/email_commands.h"

#include "mailstore/email_store.h"
#include "session/scan_session.h"
#include "util/app_folder.h"

#include <QDesktopServices>
#include <QUrl>

namespace corvantis::ui {

bool ConfirmDeleteAllEmails(util::Messages& messages) {
    if (messages.ask(
            QStringLiteral("Confirm"),
            QStringLiteral("Are you sure you want to delete all emails from the database?"),
            util::Question::OkCancel) != util::Answer::Ok)
        return false;
    const QString failed = mailstore::DeleteAllEmails();
    if (!failed.isEmpty()) {
        messages.inform(failed + QStringLiteral(" No address was deleted."),
                        QStringLiteral("Delete All Emails"));
        return false;
    }
    return true;
}

bool ViewDatabase() {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(util::AppFolder()));
}

void ForgetLinksFound(scan::ScanSession& session) {
    session.project.results.clear();
    session.run.resetLinksFound();
}

} // namespace corvantis::ui
