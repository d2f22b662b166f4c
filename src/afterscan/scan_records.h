#pragma once

#include "history/history_store.h"

#include <QDateTime>
#include <QList>
#include <QString>

namespace corvantis::scan {
struct PartnerVerdict;
class ScanSession;
} // namespace corvantis::scan

namespace corvantis::afterscan {

// The partners' records of a scan, from the verdicts the engine handed over, in
// the order given, one per partner even when it is listed twice.
QList<history::PartnerRecord> RecordsOfScan(const QString& domain,
                                            const QList<scan::PartnerVerdict>& partners,
                                            const QDateTime& time);

// Records the partners whose sites ended in the session's last scan, writes
// each one's change into its result rows and tells the session whether the
// domain was scanned before. Returns what the store did (its message empty
// when all went well).
history::HistoryStore::Recorded RecordScan(history::HistoryStore& store, scan::ScanSession& session,
                                           const QList<scan::PartnerVerdict>& verdicts,
                                           const QDateTime& time);

} // namespace corvantis::afterscan
