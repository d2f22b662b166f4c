#include "afterscan/after_scan.h"

#include "alert/alert_senders.h"
#include "alert/secret_store.h"
#include "history/history_store.h"
#include "output/project_file.h"
#include "output/scan_json.h"
#include "util/file_utils.h"

namespace corvantis::afterscan {

QString DefaultHistoryPath() {
    return history::HistoryStore::DefaultPath();
}

namespace {

history::HistoryStore StoreFor(const AfterScanRequest& request) {
    return history::HistoryStore(request.historyPath.isEmpty() ? DefaultHistoryPath()
                                                               : request.historyPath,
                                 request.busyTimeout);
}

} // namespace

QString BeforeScan(scan::ScanSession& session, const AfterScanRequest& request) {
    session.run.rememberedPages.clear();
    session.run.renderedLastTime.clear();
    if (!request.recordHistory)
        return QString();
    QStringList partners;
    for (const scan::PartnerSite& partner : session.project.partners.rows())
        partners.append(partner.address);
    QString error;
    history::HistoryStore::RememberedLinks remembered = StoreFor(request).rememberedLinks(
        scan::ScanProject::ScanDomain(session.project.domain()), partners, error);
    // The pages lead the crawl when the option says so; that a browser found the
    // links counts either way.
    if (session.options.startFromHistory)
        session.run.rememberedPages = std::move(remembered.pages);
    session.run.renderedLastTime = std::move(remembered.afterJavaScript);
    return error;
}

AfterScanOutcome AfterScan(scan::ScanSession& session, const QList<scan::PartnerVerdict>& verdicts,
                           const util::Clock& clock, const AfterScanRequest& request) {
    AfterScanOutcome out;
    out.finished = QDateTime::currentDateTimeUtc();
    if (request.recordHistory) {
        history::HistoryStore store = StoreFor(request);
        const history::HistoryStore::Recorded recorded =
            history::RecordScan(store, session, verdicts, out.finished);
        out.historyError = recorded.error;
        out.linkLost = recorded.changes.contains(history::Change::Lost);
    }
    if (request.writeReport) {
        out.report = output::BuildScanReport(session, session.run.counters(), clock);
        if (out.report.ok() && request.reportCopy) {
            const QString error = util::CopyFileSafely(out.report.path, *request.reportCopy);
            if (!error.isEmpty())
                out.reportCopyError = *request.reportCopy + QStringLiteral(": ") + error;
        }
    }
    if (request.projectToSave)
        out.saveError =
            output::WriteProjectResults(*request.projectToSave, session.project.results.rows());
    out.json = output::ScanJson(session, request.started, out.finished);
    if (request.alerts.any()) {
        alert::Alert a = alert::MakeAlert(session, out.json, out.finished);
        if (a.news || request.alerts.alwaysAlert)
            out.alert = std::move(a);
    }
    return out;
}

namespace {

// The environment's value, else the store's; the store's failure is said only
// when the secret is needed.
QString SecretFor(const char* variable, const QString& name, alert::SecretStore& store, bool needed,
                  QStringList& failed) {
    if (qEnvironmentVariableIsSet(variable))
        return qEnvironmentVariable(variable);
    QString error;
    const QString value = store.read(name, error);
    if (!error.isEmpty() && needed)
        failed.append(error);
    return value;
}

} // namespace

QStringList SendAlert(const alert::Alert& alert, const alert::AlertSettings& settings,
                      alert::SecretStore& secrets) {
    QStringList failed;
    alert::AlertSecrets s;
    if (settings.wantsMail() && !settings.smtpUser.isEmpty())
        s.smtpPassword =
            SecretFor("CORVANTIS_SMTP_PASSWORD", alert::kSmtpPasswordSecret, secrets, true, failed);
    // Without its secret the webhook goes unsigned; a receiver that checks says so.
    if (settings.wantsWebhook())
        s.webhookSecret =
            SecretFor("CORVANTIS_WEBHOOK_SECRET", alert::kWebhookSecret, secrets, false, failed);
    return failed + alert::DeliverAlert(alert, settings, s);
}

} // namespace corvantis::afterscan
