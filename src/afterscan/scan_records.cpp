#include "afterscan/scan_records.h"

#include "session/scan_session.h"
#include "session/scan_types.h"

#include <QHash>

namespace corvantis::afterscan {

QList<history::PartnerRecord> RecordsOfScan(const QString& domain,
                                            const QList<scan::PartnerVerdict>& partners,
                                            const QDateTime& time) {
    QList<history::PartnerRecord> out;
    out.reserve(partners.size());
    QHash<QString, qsizetype> recorded; // where each partner's record is in out
    for (const scan::PartnerVerdict& partner : partners) {
        // A partner listed twice has one record: its links are those of every
        // listing, its verdict the last one's, and its pages count as read when
        // one of them read them.
        const auto at = recorded.constFind(partner.site);
        const bool again = at != recorded.cend();
        if (!again) {
            recorded.insert(partner.site, out.size());
            history::PartnerRecord r;
            r.time = time.toUTC();
            r.domain = domain;
            r.partner = partner.site;
            out.append(r);
        }
        history::PartnerRecord& r = again ? out[*at] : out.last();
        r.pagesRead = (again && r.pagesRead) || partner.pagesRead();
        r.verdict = scan::VerdictText(partner);
        for (const scan::FoundLink& link : partner.links) {
            r.pages.append(link.page);
            if (r.links++ == 0) {
                r.page = link.page;
                r.value = scan::LinkValueText(link);
                r.anchor = link.anchor;
            }
        }
    }
    return out;
}

history::HistoryStore::Recorded RecordScan(history::HistoryStore& store, scan::ScanSession& session,
                                           const QList<scan::PartnerVerdict>& verdicts,
                                           const QDateTime& time) {
    const QList<history::PartnerRecord> records =
        RecordsOfScan(session.project.domain(), verdicts, time);
    const history::HistoryStore::Recorded recorded =
        store.recordScan(records, session.options.lostAfter);
    for (qsizetype i = 0; i < records.size(); ++i)
        session.project.results.setChange(records[i].partner, recorded.changes[i].change,
                                          recorded.changes[i].lostSince);
    session.run.domainInHistory = recorded.domainKnown;
    return recorded;
}

} // namespace corvantis::afterscan
