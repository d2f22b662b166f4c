#include "afterscan/after_scan.h"

#include "history/history_store.h"
#include "output/project_file.h"
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
    if (!request.recordHistory || !session.options.startFromHistory)
        return QString();
    QStringList partners;
    for (const scan::PartnerSite& partner : session.project.partners.rows())
        partners.append(partner.address);
    QString error;
    session.run.rememberedPages = StoreFor(request).rememberedPages(
        scan::ScanProject::ScanDomain(session.project.domain()), partners, error);
    return error;
}

AfterScanOutcome AfterScan(scan::ScanSession& session, const QList<scan::PartnerVerdict>& verdicts,
                           const util::Clock& clock, const AfterScanRequest& request) {
    AfterScanOutcome out;
    if (request.recordHistory) {
        history::HistoryStore store = StoreFor(request);
        const history::HistoryStore::Recorded recorded =
            history::RecordScan(store, session, verdicts, QDateTime::currentDateTimeUtc());
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
    return out;
}

} // namespace corvantis::afterscan
