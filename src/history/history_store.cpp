#include "history/history_store.h"

#include "session/scan_session.h"
#include "session/scan_types.h"
#include "util/app_folder.h"
#include "util/sqlite_connection.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace corvantis::history {

namespace {

using util::SqlWhy;

QString Unusable(const QString& path, const QString& why) {
    return QStringLiteral("The scan history \"%1\" cannot be used: %2.")
        .arg(QDir::toNativeSeparators(path), why);
}

const char* const kCreateTables[] = {
    "CREATE TABLE schema_version (version INTEGER NOT NULL)",
    "CREATE TABLE records (id INTEGER PRIMARY KEY, time TEXT NOT NULL, domain TEXT NOT NULL, "
    "partner TEXT NOT NULL, verdict TEXT NOT NULL, links INTEGER NOT NULL, page TEXT NOT NULL, "
    "value TEXT NOT NULL, anchor TEXT NOT NULL, pages_read INTEGER NOT NULL)",
    "CREATE INDEX records_by_partner ON records (domain, partner, id)",
};

const QString kRecordColumns =
    QStringLiteral("time, domain, partner, verdict, links, page, value, anchor, pages_read");

// Runs a statement; false with the reason in error when it fails.
bool Exec(QSqlQuery& query, QString& error) {
    if (query.exec())
        return true;
    error = SqlWhy(query.lastError());
    return false;
}

// The schema, made in an empty file; the file's own version otherwise. Empty
// when the file is one this program can write.
QString EnsureSchema(const QSqlDatabase& db) {
    QSqlQuery version(db);
    if (!version.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND "
                                     "name = 'schema_version'")))
        return SqlWhy(version.lastError());
    if (!version.next()) {
        for (const char* statement : kCreateTables) {
            QSqlQuery create(db);
            if (!create.exec(QLatin1String(statement)))
                return SqlWhy(create.lastError());
        }
        QSqlQuery insert(db);
        if (!insert.exec(QStringLiteral("INSERT INTO schema_version VALUES (%1)")
                             .arg(kHistorySchemaVersion)))
            return SqlWhy(insert.lastError());
        return QString();
    }
    if (!version.exec(QStringLiteral("SELECT max(version) FROM schema_version")) || !version.next())
        return SqlWhy(version.lastError());
    const int found = version.value(0).toInt();
    if (found > kHistorySchemaVersion)
        return QStringLiteral("it was written by a newer version of Corvantis (schema %1)")
            .arg(found);
    // Version 1 is the first; later versions bring their steps up from here.
    return QString();
}

PartnerRecord ReadRecord(const QSqlQuery& q) {
    PartnerRecord r;
    r.time = QDateTime::fromString(q.value(0).toString(), Qt::ISODateWithMs);
    r.domain = q.value(1).toString();
    r.partner = q.value(2).toString();
    r.verdict = q.value(3).toString();
    r.links = q.value(4).toInt();
    r.page = q.value(5).toString();
    r.value = q.value(6).toString();
    r.anchor = q.value(7).toString();
    r.pagesRead = q.value(8).toBool();
    return r;
}

// What the store holds of each partner's past, read with three prepared queries.
class PastReader {
public:
    explicit PastReader(const QSqlDatabase& db) : m_ids(db), m_lastSeen(db), m_misses(db) {
        m_ids.prepare(QStringLiteral("SELECT max(id), max(CASE WHEN links > 0 THEN id END) FROM "
                                     "records WHERE domain = ? AND partner = ?"));
        // An unread scan without a link says nothing about the link.
        m_lastSeen.setForwardOnly(true);
        m_lastSeen.prepare(
            QStringLiteral("SELECT ") + kRecordColumns +
            QStringLiteral(" FROM records WHERE domain = ? AND partner = ? AND "
                           "(pages_read = 1 OR links > 0) ORDER BY id DESC LIMIT 1"));
        m_misses.prepare(QStringLiteral("SELECT count(*) FROM records WHERE domain = ? AND "
                                        "partner = ? AND id > ? AND pages_read = 1"));
    }

    bool read(const PartnerRecord& now, PartnerPast& past, QString& error) {
        past = PartnerPast{};
        for (QSqlQuery* q : {&m_ids, &m_lastSeen, &m_misses}) {
            q->bindValue(0, now.domain);
            q->bindValue(1, now.partner);
        }
        // An aggregate always gives one row.
        if (!Exec(m_ids, error))
            return false;
        m_ids.next();
        past.recorded = !m_ids.value(0).isNull();
        const QVariant lastLink = m_ids.value(1);
        m_ids.finish();
        if (!past.recorded)
            return true;
        if (!Exec(m_lastSeen, error))
            return false;
        if (m_lastSeen.next())
            past.lastSeen = ReadRecord(m_lastSeen);
        m_lastSeen.finish();
        past.linkedBefore = !lastLink.isNull();
        if (!past.linkedBefore)
            return true;
        m_misses.bindValue(2, lastLink);
        if (!Exec(m_misses, error))
            return false;
        m_misses.next();
        past.readMissesSinceLink = m_misses.value(0).toInt();
        m_misses.finish();
        return true;
    }

private:
    QSqlQuery m_ids;
    QSqlQuery m_lastSeen;
    QSqlQuery m_misses;
};

// Whether the store holds a scan of the domain.
bool DomainKnown(const QSqlDatabase& db, const QString& domain, bool& known, QString& error) {
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT 1 FROM records WHERE domain = ? LIMIT 1"));
    q.bindValue(0, domain);
    if (!Exec(q, error))
        return false;
    known = q.next();
    return true;
}

bool InsertRecords(const QSqlDatabase& db, const QList<PartnerRecord>& records, QString& error) {
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("INSERT INTO records (") + kRecordColumns +
                   QStringLiteral(") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    for (const PartnerRecord& r : records) {
        // A null text would be an SQL NULL; the columns hold empty texts instead.
        const auto text = [](const QString& t) { return t.isNull() ? QStringLiteral("") : t; };
        const QVariant values[] = {r.time.toUTC().toString(Qt::ISODateWithMs),
                                   text(r.domain),
                                   text(r.partner),
                                   text(r.verdict),
                                   r.links,
                                   text(r.page),
                                   text(r.value),
                                   text(r.anchor),
                                   r.pagesRead ? 1 : 0};
        for (int i = 0; i < 9; ++i)
            insert.bindValue(i, values[i]);
        if (!Exec(insert, error))
            return false;
    }
    return true;
}

} // namespace

QString HistoryStore::DefaultPath() {
    return util::AppFilePath(QStringLiteral("history.sqlite"));
}

HistoryStore::Recorded HistoryStore::recordScan(const QList<PartnerRecord>& records,
                                                int lostAfter) {
    Recorded out;
    out.changes = QList<Change>(records.size(), Change::None);
    const bool exists = QFileInfo::exists(m_path);
    util::SqliteConnection connection(
        m_path, exists ? util::SqlAccess::ReadWrite : util::SqlAccess::ReadWriteCreate,
        m_busyTimeout);
    QString error = connection.openError();
    if (!error.isEmpty()) {
        out.error = Unusable(m_path, error);
        return out;
    }
    error = connection.beginWrite();
    if (!error.isEmpty()) {
        out.error = Unusable(m_path, error);
        return out;
    }
    QSqlDatabase db = connection.database();
    error = EnsureSchema(db);
    QList<Change> found;
    bool domainKnown = false;
    if (error.isEmpty() &&
        (records.isEmpty() || DomainKnown(db, records.first().domain, domainKnown, error))) {
        // Every change against the scans before this one, then the records.
        PastReader reader(db);
        PartnerPast past;
        for (const PartnerRecord& r : records) {
            if (!reader.read(r, past, error))
                break;
            found.append(ChangeOf(past, r, lostAfter));
        }
    }
    if (found.size() == records.size()) { // read, even if not written
        out.changes = found;
        out.domainKnown = domainKnown;
    }
    if (error.isEmpty() && InsertRecords(db, records, error) && db.commit())
        return out;
    if (error.isEmpty())
        error = SqlWhy(db.lastError());
    db.rollback();
    out.error = Unusable(m_path, error);
    return out;
}

QList<PartnerRecord> HistoryStore::partnerHistory(const QString& domain, const QString& partner,
                                                  QString& error) const {
    error.clear();
    if (!QFileInfo::exists(m_path))
        return {};
    util::SqliteConnection connection(m_path, util::SqlAccess::ReadOnly, m_busyTimeout);
    if (!connection.openError().isEmpty()) {
        error = Unusable(m_path, connection.openError());
        return {};
    }
    QSqlQuery q(connection.database());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT ") + kRecordColumns +
              QStringLiteral(" FROM records WHERE domain = ? AND partner = ? ORDER BY id"));
    q.bindValue(0, domain);
    q.bindValue(1, partner);
    QList<PartnerRecord> out;
    if (!Exec(q, error)) {
        error = Unusable(m_path, error);
        return {};
    }
    while (q.next())
        out.append(ReadRecord(q));
    if (q.lastError().isValid()) {
        error = Unusable(m_path, SqlWhy(q.lastError()));
        return {};
    }
    return out;
}

HistoryStore::Recorded RecordScan(HistoryStore& store, scan::ScanSession& session,
                                  const QList<scan::PartnerVerdict>& verdicts,
                                  const QDateTime& time) {
    const QList<PartnerRecord> records = RecordsOfScan(session.project.domain(), verdicts, time);
    const HistoryStore::Recorded recorded = store.recordScan(records, session.options.lostAfter);
    for (qsizetype i = 0; i < records.size(); ++i)
        session.project.results.setChange(records[i].partner, ChangeText(recorded.changes[i]));
    session.run.domainInHistory = recorded.domainKnown;
    return recorded;
}

} // namespace corvantis::history
