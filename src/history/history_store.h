#pragma once

#include "history/partner_changes.h"
#include "util/busy_wait.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <chrono>
#include <utility>

namespace corvantis::history {

// An alert some way did not deliver, kept with the scan it came from until it is.
struct KeptAlert {
    qint64 id = 0; // given by the store
    QString domain;
    QDateTime scan; // when its scan ended
    QString way;    // "mail", "webhook", "notification"
    QString subject;
    QString partners;
    QByteArray json;

    bool operator==(const KeptAlert&) const = default;
};

// How many alerts a domain keeps for one way; the oldest go first.
inline constexpr int kMaxKeptAlerts = 50;

// The history of every scan: one record per partner per scan, in an SQLite
// file with a schema version, created on first use. Each call opens the file
// and closes it again; a file that cannot be used gives one message and is
// left as it was.
class HistoryStore {
public:
    // "history.sqlite" in the application folder.
    static QString DefaultPath();

    // Waits up to busyTimeout for another program that is writing the file.
    HistoryStore(QString path, std::chrono::milliseconds busyTimeout)
        : m_path(std::move(path)), m_busyTimeout(busyTimeout) {}
    const QString& path() const { return m_path; }

    struct Recorded {
        QString error; // why the store could not be used; empty when all went well
        // One per record, in the records' order; all None (and not lost) when
        // the store could not be read.
        QList<PartnerChange> changes;
        bool domainKnown = false; // the store held an earlier scan of the domain
    };

    // Works out each partner's change against its past records for the same
    // domain, then adds the records (all of one domain), all in one write
    // transaction. The changes are set when the store could be read, even if
    // not written.
    Recorded recordScan(const QList<PartnerRecord>& records, int lostAfter);

    // Every recorded scan of one partner for one domain, oldest first.
    QList<PartnerRecord> partnerHistory(const QString& domain, const QString& partner,
                                        QString& error) const;

    // For each partner, the pages of the links back its last read scan with
    // links found for the domain, in the order found (a partner without such a
    // scan is left out), and the partners whose links that scan found only once
    // the pages' scripts had run.
    struct RememberedLinks {
        QHash<QString, QStringList> pages;
        QSet<QString> afterJavaScript;
    };
    RememberedLinks rememberedLinks(const QString& domain, const QStringList& partners,
                                    QString& error) const;

    // The alerts kept for the domain, oldest first.
    QList<KeptAlert> keptAlerts(const QString& domain, QString& error) const;
    // In one write, forgets the alerts delivered since and keeps the new ones
    // (their ids are not read). Returns the store's message, empty when all went well.
    QString settleAlerts(const QList<qint64>& delivered, const QList<KeptAlert>& undelivered);

private:
    QString m_path;
    std::chrono::milliseconds m_busyTimeout;
};

// The schema this program writes; an older file is brought up to it.
inline constexpr int kHistorySchemaVersion = 3;

} // namespace corvantis::history
