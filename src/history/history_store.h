#pragma once

#include "history/partner_changes.h"

#include <QList>
#include <QString>

#include <utility>

namespace corvantis::scan {
struct EndedSite;
class ScanSession;
} // namespace corvantis::scan

namespace corvantis::history {

// The history of every scan: one record per partner per scan, in an SQLite
// file with a schema version, created on first use. Each call opens the file
// and closes it again; a file that cannot be used gives one message and is
// left as it was.
class HistoryStore {
public:
    // "history.sqlite" in the application folder.
    static QString DefaultPath();

    explicit HistoryStore(QString path) : m_path(std::move(path)) {}
    const QString& path() const { return m_path; }

    // Works out each partner's change against its last records for the same
    // domain, then adds the records in one transaction. Returns why it could
    // not (the empty text on success). The changes are set when the store could
    // be read, even if not written; otherwise they are all None.
    QString recordScan(const QList<PartnerRecord>& records, int lostAfter, QList<Change>& changes);

    // Every recorded scan of one partner for one domain, oldest first.
    QList<PartnerRecord> partnerHistory(const QString& domain, const QString& partner,
                                        QString& error) const;

private:
    QString m_path;
};

// Records the partners whose sites ended in the session's last scan and
// writes each one's change into its result rows. Returns the store's message
// (the empty text when all went well).
QString RecordScan(HistoryStore& store, scan::ScanSession& session,
                   const QList<scan::EndedSite>& endedSites, const QDateTime& time);

// The schema this program writes; an older file is brought up to it.
inline constexpr int kHistorySchemaVersion = 1;

} // namespace corvantis::history
