#include "history/partner_changes.h"

#include "scan/http_response.h"
#include "scan/scan_model.h"
#include "scan/site_signals.h"

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

} // namespace

QList<PartnerRecord> RecordsOfScan(const QString& domain, const QStringList& partners,
                                   const QList<scan::ResultRow>& results,
                                   const QList<scan::ErrorRow>& errors, const QDateTime& time) {
    QList<PartnerRecord> out;
    out.reserve(partners.size());
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
        out.append(r);
    }
    return out;
}

Change ChangeOf(const PartnerPast& past, const PartnerRecord& now, int lostAfter) {
    if (!past.last)
        return Change::NewPartner;
    const PartnerRecord& last = *past.last;
    if (now.links > 0) {
        if (last.links == 0)
            return Change::Found;
        if (now.value != last.value)
            return Change::ValueChanged;
        if (now.page != last.page)
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
