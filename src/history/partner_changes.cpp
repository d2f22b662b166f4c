#include "history/partner_changes.h"

#include "session/scan_model.h"
#include "session/scan_types.h"

#include <QHash>

namespace corvantis::history {

QList<PartnerRecord> RecordsOfScan(const QString& domain,
                                   const QList<scan::PartnerVerdict>& partners,
                                   const QDateTime& time) {
    QList<PartnerRecord> out;
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
            PartnerRecord r;
            r.time = time.toUTC();
            r.domain = domain;
            r.partner = partner.site;
            out.append(r);
        }
        PartnerRecord& r = again ? out[*at] : out.last();
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

QDateTime LostSince(const PartnerPast& past, const PartnerRecord& now, Change change) {
    if (change == Change::Lost)
        return now.time;
    return now.links > 0 ? QDateTime() : past.lostSince;
}

QString ChangeText(Change change) {
    return change == Change::None ? QString() : scan::kChangesWorstFirst.at(int(change));
}

} // namespace corvantis::history
