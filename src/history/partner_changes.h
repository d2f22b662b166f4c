#pragma once

#include "session/scan_types.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace corvantis::history {

// What one scan found for one partner.
struct PartnerRecord {
    QDateTime time; // when the scan ended, UTC
    QString domain; // the user's site
    QString partner;
    QString verdict;       // the status of the partner's last row
    int links = 0;         // rows with a link back
    QString page;          // where the first link back stands
    QString value;         // its link value
    QString anchor;        // its anchor text
    bool pagesRead = true; // false when a page of the partner's could not be read
    QStringList pages;     // the page of every link back, in the order found

    bool operator==(const PartnerRecord&) const = default;
};

// What the recorded scans of a partner say, as far as a change depends on it.
struct PartnerPast {
    bool recorded = false; // some scan recorded the partner; none: a new partner
    // The last recorded scan that read its pages or found a link back: an unread
    // scan without a link knows nothing about the link.
    std::optional<PartnerRecord> lastSeen;
    bool linkedBefore = false;   // some recorded scan found a link back
    int readMissesSinceLink = 0; // read scans without a link since the last with one
    // When the scan that called the link lost ended, while no scan has found it
    // since; null otherwise.
    QDateTime lostSince;
};

using scan::Change;

// What a record changed for its partner, and since when its link is lost (when
// the scan that said "Lost" ended, this one or an earlier one; null when the
// link is not lost).
struct PartnerChange {
    Change change = Change::None;
    QDateTime lostSince;

    bool operator==(const PartnerChange&) const = default;
};

// The partner's change against its past; a link is called lost once lostAfter
// read scans in a row found none (before that it is unconfirmed).
Change ChangeOf(const PartnerPast& past, const PartnerRecord& now, int lostAfter);

// When the partner's link was lost, as of this scan: the time of the scan that
// said "Lost" (this one or an earlier one) until a scan finds a link again; null
// when it is not lost.
QDateTime LostSince(const PartnerPast& past, const PartnerRecord& now, Change change);

} // namespace corvantis::history
