#include "history/partner_changes.h"

namespace corvantis::history {

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

} // namespace corvantis::history
