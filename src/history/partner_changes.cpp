#include "history/partner_changes.h"

#include "session/scan_model.h"
#include "session/scan_types.h"

#include <QHash>

namespace corvantis::history {

namespace {

bool IsLinkRow(const scan::ResultRow& row) {
    return row.status == scan::kDirectLink || row.status == scan::kDomainLink ||
           row.status == scan::kRedirectLink;
}

} // namespace

QList<PartnerRecord> RecordsOfScan(const QString& domain, const QList<scan::EndedSite>& partners,
                                   const QList<scan::ResultRow>& results, const QDateTime& time) {
    QList<PartnerRecord> out;
    out.reserve(partners.size());
    QHash<QString, qsizetype> recorded; // where each partner's record is in out
    for (const scan::EndedSite& partner : partners) {
        // A partner listed twice has one record: its rows are those of every
        // listing, and its pages count as read when one of them read them.
        if (const auto at = recorded.constFind(partner.site); at != recorded.cend()) {
            out[*at].pagesRead = out[*at].pagesRead || partner.pagesRead;
            continue;
        }
        PartnerRecord r;
        r.time = time.toUTC();
        r.domain = domain;
        r.partner = partner.site;
        r.pagesRead = partner.pagesRead;
        for (const scan::ResultRow& row : results) {
            if (row.site != partner.site)
                continue;
            r.verdict = row.status;
            if (IsLinkRow(row) && r.links++ == 0) {
                r.page = row.url;
                r.value = row.value;
                r.anchor = row.anchor;
            }
        }
        recorded.insert(partner.site, out.size());
        out.append(r);
    }
    return out;
}

Change ChangeOf(const PartnerPast& past, const PartnerRecord& now, int lostAfter) {
    if (!past.recorded)
        return Change::NewPartner;
    if (now.links > 0) {
        const std::optional<PartnerRecord>& seen = past.lastSeen;
        if (!seen || seen->links == 0)
            return Change::Found;
        // A value not measured (the option off, an old record) is not compared.
        if (!now.value.isEmpty() && !seen->value.isEmpty() && now.value != seen->value)
            return Change::ValueChanged;
        if (now.page != seen->page)
            return Change::Moved;
        return Change::None;
    }
    // No link now: said once, when the read scans without it reach lostAfter.
    if (!past.linkedBefore || past.readMissesSinceLink >= lostAfter)
        return Change::None;
    if (now.pagesRead && past.readMissesSinceLink + 1 >= lostAfter)
        return Change::Lost;
    return Change::Unconfirmed;
}

QString ChangeText(Change change) {
    return change == Change::None ? QString() : scan::kChangesWorstFirst.at(int(change));
}

Change ChangeFromText(QStringView text) {
    const qsizetype at = scan::kChangesWorstFirst.indexOf(text);
    return at < 0 ? Change::None : Change(at);
}

} // namespace corvantis::history
