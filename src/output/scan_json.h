#pragma once

#include "session/scan_session.h"

#include <QByteArray>
#include <QDateTime>

namespace corvantis::output {

// The version of the JSON document's shape; a consumer checks it first.
inline constexpr int kScanJsonVersion = 1;

// The scan's lists as one JSON document, for scripts:
// {"version", "domain", "started", "finished" (ISO 8601, UTC),
//  "results": [{"site", "status", "number", "url", "value", "anchor", "change",
//               "lost_since" (ISO 8601, UTC, or null)}],
//  "errors": [{"error", "url"}]}, in list order.
QByteArray ScanJson(const scan::ScanSession& session, const QDateTime& started,
                    const QDateTime& finished);

} // namespace corvantis::output
