#include "afterscan/after_scan.h"

#include "afterscan/scan_records.h"
#include "alert/alert_senders.h"
#include "history/history_store.h"
#include "output/project_file.h"
#include "output/scan_json.h"
#include "util/file_utils.h"

#include <algorithm>

namespace corvantis::afterscan {

QString DefaultHistoryPath() {
    return history::HistoryStore::DefaultPath();
}

alert::AlertSettings AfterScanRequest::alertsSent() const {
    alert::AlertSettings sent = alerts;
    sent.notify = sent.notify && desktopNotifies;
    return sent;
}

namespace {

history::HistoryStore StoreFor(const AfterScanRequest& request) {
    return history::HistoryStore(request.historyPath.isEmpty() ? DefaultHistoryPath()
                                                               : request.historyPath,
                                 request.busyTimeout);
}

// The alerts the history keeps for the domain that a way asked for now owes.
QList<alert::EarlierAlert> KeptAlerts(const history::HistoryStore& store, const QString& domain,
                                      const alert::AlertSettings& settings, QString& error) {
    QList<alert::EarlierAlert> out;
    for (const history::KeptAlert& kept : store.keptAlerts(domain, error))
        for (const alert::Way way :
             {alert::Way::Mail, alert::Way::Webhook, alert::Way::Notification})
            if (kept.way == alert::WayName(way) && settings.wants(way))
                out.append({kept.id, way, kept.scan, kept.subject, kept.partners, kept.json});
    return out;
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
            RecordScan(store, session, verdicts, out.finished);
        out.historyError = recorded.error;
        out.linkLost = std::any_of(
            recorded.changes.cbegin(), recorded.changes.cend(),
            [](const history::PartnerChange& c) { return c.change == scan::Change::Lost; });
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
    if (const alert::AlertSettings alerts = request.alertsSent(); alerts.any()) {
        alert::Alert a = alert::MakeAlert(session, out.json, out.finished);
        if (request.recordHistory) {
            QString error;
            a.earlier = KeptAlerts(StoreFor(request), a.domain, alerts, error);
            if (out.historyError.isEmpty())
                out.historyError = error;
        }
        if (a.news || alerts.alwaysAlert || !a.earlier.isEmpty())
            out.alert = std::move(a);
    }
    return out;
}

namespace {

QString SettleAlert(const alert::Alert& alert, const alert::SentAlert& sent,
                    const AfterScanRequest& request) {
    if (!request.recordHistory || !alert.scan.isValid())
        return QString();
    QList<history::KeptAlert> undelivered;
    // Only news is worth telling later.
    if (alert.news)
        for (const alert::Way way : sent.undelivered)
            undelivered.append({0, alert.domain, alert.scan, alert::WayName(way), alert.subject,
                                alert.partners, alert.json});
    return StoreFor(request).settleAlerts(sent.earlierDelivered, undelivered);
}

} // namespace

QStringList SendAndSettle(const alert::Alert& alert, const alert::AlertSettings& settings,
                          alert::SecretStore& secrets, const AfterScanRequest& request) {
    const alert::SentAlert sent = alert::SendAlert(alert, settings, secrets);
    QStringList failed = sent.failed;
    if (const QString error = SettleAlert(alert, sent, request); !error.isEmpty())
        failed.append(error);
    return failed;
}

} // namespace corvantis::afterscan
