#include "history/partner_changes.h"

#include "scan/http_response.h"
#include "scan/scan_model.h"
#include "scan/site_signals.h"

#include <QHash>

#include <array>

namespace corvantis::history {

namespace {

bool IsLinkRow(const scan::ResultRow& row) {
    return row.status == scan::kDirectLink || row.status == scan::kDomainLink ||
           row.status == scan::kRedirectLink;
}

// The reasons a site's pages could not be read, as its verdict note or error rows give them.
bool SaysUnread(const QString& text) {
    static const std::array<QString, 4> kUnread{
        QStringLiteral("Timeout"), QStringLiteral("Certificate error"),
        QString(scan::kBlockedByBotProtection), QString(scan::kParkedDomain)};
    for (const QString& reason : kUnread)
        if (text.contains(reason))
            return true;
    return false;
}

// Of two records of one partner in one scan, whether a says more than b: one
// with a link back, otherwise one that read the pages.
bool SaysMore(const PartnerRecord& a, const PartnerRecord& b) {
    if ((a.links > 0) != (b.links > 0))
        return a.links > 0;
    return a.links == 0 && a.pagesRead && !b.pagesRead;
}

} // namespace

QList<PartnerRecord> RecordsOfScan(const QString& domain, const QStringList& partners,
                                   const QList<scan::ResultRow>& results,
                                   const QList<scan::ErrorRow>& errors, const QDateTime& time) {
    QList<PartnerRecord> out;
    out.reserve(partners.size());
    QHash<QString, qsizetype> recorded; // where each partner's record is in out
    for (const QString& partner : partners) {
        PartnerRecord r;
        r.time = time.toUTC();
        r.domain = domain;
        r.partner = partner;
        for (const scan::ResultRow& row : results) {
            if (row.site != partner)
                continue;
            r.verdict = row.status;
            if (SaysUnread(row.status))
                r.pagesRead = false;
            if (IsLinkRow(row) && r.links++ == 0) {
                r.page = row.url;
                r.value = row.value;
                r.anchor = row.anchor;
            }
        }
        const QString host = scan::AddressHost(partner);
        for (const scan::ErrorRow& e : errors)
            if (SaysUnread(e.error) && scan::AddressHost(e.url) == host)
                r.pagesRead = false;
        const auto at = recorded.constFind(partner);
        if (at == recorded.cend()) {
            recorded.insert(partner, out.size());
            out.append(r);
        } else if (SaysMore(r, out[*at])) {
            out[*at] = r;
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

QString ChangeText(Change change) {
    return change == Change::None ? QString() : scan::kChangesWorstFirst.at(int(change));
}

Change ChangeFromText(QStringView text) {
    const qsizetype at = scan::kChangesWorstFirst.indexOf(text);
    return at < 0 ? Change::None : Change(at);
}

} // namespace corvantis::history
