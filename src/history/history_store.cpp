#include "history/history_store.h"

#include "page/link_value.h"
#include "util/app_folder.h"
#include "util/sqlite_connection.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <iterator>
#include <optional>

namespace corvantis::history {

namespace {

using util::SqlWhy;

QString Unusable(const QString& path, const QString& why) {
    return QStringLiteral("The scan history \"%1\" cannot be used: %2.")
        .arg(QDir::toNativeSeparators(path), why);
}

// The file as version 1 made it; a new file is made so and brought up to date
// by the same steps as an old one.
const char* const kCreateTables[] = {
    "CREATE TABLE schema_version (version INTEGER NOT NULL)",
    "CREATE TABLE records (id INTEGER PRIMARY KEY, time TEXT NOT NULL, domain TEXT NOT NULL, "
    "partner TEXT NOT NULL, verdict TEXT NOT NULL, links INTEGER NOT NULL, page TEXT NOT NULL, "
    "value TEXT NOT NULL, anchor TEXT NOT NULL, pages_read INTEGER NOT NULL)",
    "CREATE INDEX records_by_partner ON records (domain, partner, id)",
    "INSERT INTO schema_version VALUES (1)",
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

// Runs statements in turn; the reason the first one failed, empty when none did.
template <typename Statements>
QString ExecAll(const QSqlDatabase& db, const Statements& statements) {
    for (const char* statement : statements) {
        QSqlQuery q(db);
        if (!q.exec(QLatin1String(statement)))
            return SqlWhy(q.lastError());
    }
    return QString();
}

// Version 2 keeps the page of every link back, not only the first; a version 1
// record's first page is all it knows.
QString ToVersion2(const QSqlDatabase& db) {
    static const char* const statements[] = {
        "CREATE TABLE link_pages (record INTEGER NOT NULL REFERENCES records (id), "
        "position INTEGER NOT NULL, page TEXT NOT NULL, PRIMARY KEY (record, position))",
        "INSERT INTO link_pages (record, position, page) SELECT id, 0, page FROM records "
        "WHERE links > 0",
    };
    return ExecAll(db, statements);
}

// Version 3 keeps the alerts some way did not deliver.
QString ToVersion3(const QSqlDatabase& db) {
    static const char* const statements[] = {
        "CREATE TABLE kept_alerts (id INTEGER PRIMARY KEY, domain TEXT NOT NULL, "
        "scan TEXT NOT NULL, way TEXT NOT NULL, subject TEXT NOT NULL, partners TEXT NOT NULL, "
        "json BLOB NOT NULL)",
        "CREATE INDEX kept_alerts_by_domain ON kept_alerts (domain, way, id)",
    };
    return ExecAll(db, statements);
}

// The step from each version to the next, the first from version 1.
using SchemaStep = QString (*)(const QSqlDatabase&);
const SchemaStep kSchemaSteps[] = {ToVersion2, ToVersion3};
static_assert(std::size(kSchemaSteps) == kHistorySchemaVersion - 1);

// The schema version of a file that has one; none for an empty file.
QString ReadVersion(const QSqlDatabase& db, std::optional<int>& version) {
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name = "
                               "'schema_version'")))
        return SqlWhy(q.lastError());
    version.reset();
    if (!q.next())
        return QString();
    if (!q.exec(QStringLiteral("SELECT max(version) FROM schema_version")) || !q.next())
        return SqlWhy(q.lastError());
    version = q.value(0).toInt();
    return QString();
}

// Brings the file up to this program's schema, inside the caller's write
// transaction: an empty file is made at version 1, then every step from the
// file's version on runs in turn. Empty when the file is one this program can write.
QString EnsureSchema(const QSqlDatabase& db) {
    std::optional<int> version;
    if (const QString error = ReadVersion(db, version); !error.isEmpty())
        return error;
    if (!version) {
        if (const QString error = ExecAll(db, kCreateTables); !error.isEmpty())
            return error;
        version = 1;
    }
    const int found = *version;
    if (found > kHistorySchemaVersion)
        return QStringLiteral("it was written by a newer version of Corvantis (schema %1)")
            .arg(found);
    if (found < 1)
        return QStringLiteral("its schema version %1 is unknown").arg(found);
    if (found == kHistorySchemaVersion)
        return QString();
    for (int v = found; v < kHistorySchemaVersion; ++v)
        if (const QString error = kSchemaSteps[v - 1](db); !error.isEmpty())
            return error;
    QSqlQuery update(db);
    if (!update.exec(
            QStringLiteral("UPDATE schema_version SET version = %1").arg(kHistorySchemaVersion)))
        return SqlWhy(update.lastError());
    return QString();
}

PartnerRecord ReadRecord(const QSqlQuery& q) {
    // Column 0 is the record's id.
    PartnerRecord r;
    r.time = QDateTime::fromString(q.value(1).toString(), Qt::ISODateWithMs);
    r.domain = q.value(2).toString();
    r.partner = q.value(3).toString();
    r.verdict = q.value(4).toString();
    r.links = q.value(5).toInt();
    r.page = q.value(6).toString();
    r.value = q.value(7).toString();
    r.anchor = q.value(8).toString();
    r.pagesRead = q.value(9).toBool();
    return r;
}

// What the store holds of each partner's past, read with four prepared queries.
class PastReader {
public:
    PastReader(const QSqlDatabase& db, int lostAfter)
        : m_lostAfter(lostAfter), m_ids(db), m_lastSeen(db), m_misses(db), m_lostAt(db) {
        m_ids.prepare(QStringLiteral("SELECT max(id), max(CASE WHEN links > 0 THEN id END) FROM "
                                     "records WHERE domain = ? AND partner = ?"));
        // An unread scan without a link says nothing about the link.
        m_lastSeen.setForwardOnly(true);
        m_lastSeen.prepare(
            QStringLiteral("SELECT id, ") + kRecordColumns +
            QStringLiteral(" FROM records WHERE domain = ? AND partner = ? AND "
                           "(pages_read = 1 OR links > 0) ORDER BY id DESC LIMIT 1"));
        m_misses.prepare(QStringLiteral("SELECT count(*) FROM records WHERE domain = ? AND "
                                        "partner = ? AND id > ? AND pages_read = 1"));
        // The read scan that made the link lost: the lostAfter-th without it.
        m_lostAt.prepare(QStringLiteral("SELECT time FROM records WHERE domain = ? AND "
                                        "partner = ? AND id > ? AND pages_read = 1 ORDER BY id "
                                        "LIMIT 1 OFFSET ?"));
    }

    bool read(const PartnerRecord& now, PartnerPast& past, QString& error) {
        past = PartnerPast{};
        for (QSqlQuery* q : {&m_ids, &m_lastSeen, &m_misses, &m_lostAt}) {
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
        if (past.readMissesSinceLink < m_lostAfter)
            return true;
        m_lostAt.bindValue(2, lastLink);
        m_lostAt.bindValue(3, m_lostAfter - 1);
        if (!Exec(m_lostAt, error))
            return false;
        if (m_lostAt.next())
            past.lostSince = QDateTime::fromString(m_lostAt.value(0).toString(), Qt::ISODateWithMs);
        m_lostAt.finish();
        return true;
    }

private:
    int m_lostAfter;
    QSqlQuery m_ids;
    QSqlQuery m_lastSeen;
    QSqlQuery m_misses;
    QSqlQuery m_lostAt;
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
    QSqlQuery insertPage(db);
    insertPage.prepare(
        QStringLiteral("INSERT INTO link_pages (record, position, page) VALUES (?, ?, ?)"));
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
        const QVariant id = insert.lastInsertId();
        for (qsizetype i = 0; i < r.pages.size(); ++i) {
            insertPage.bindValue(0, id);
            insertPage.bindValue(1, i);
            insertPage.bindValue(2, text(r.pages[i]));
            if (!Exec(insertPage, error))
                return false;
        }
    }
    return true;
}

// Opens the file for a write that holds its lock, the schema brought up to date
// first. Empty when all went well; end it with commit or rollback.
QString BeginCurrentWrite(util::SqliteConnection& connection) {
    QString error = connection.openError();
    if (error.isEmpty())
        error = connection.beginWrite();
    if (error.isEmpty())
        error = EnsureSchema(connection.database());
    return error;
}

// Opens an existing file to read it; one an older version wrote is brought up
// to date first (readers meanwhile go on under WAL). Empty when it can be read.
QString OpenForReading(const QString& path, std::chrono::milliseconds busyTimeout,
                       std::optional<util::SqliteConnection>& connection) {
    for (int pass = 0;; ++pass) {
        connection.emplace(path, util::SqlAccess::ReadOnly, busyTimeout);
        QString error = connection->openError();
        std::optional<int> version;
        if (error.isEmpty())
            error = ReadVersion(connection->database(), version);
        if (!error.isEmpty() || version.value_or(0) >= kHistorySchemaVersion || pass == 1)
            return error;
        connection.reset();
        util::SqliteConnection writer(path, util::SqlAccess::ReadWrite, busyTimeout);
        error = BeginCurrentWrite(writer);
        QSqlDatabase db = writer.database();
        if (!error.isEmpty() || !db.commit()) {
            if (error.isEmpty())
                error = SqlWhy(db.lastError());
            db.rollback();
            return error;
        }
    }
}

// The pages of a record's links, in the order they were found.
bool ReadLinkPages(QSqlQuery& q, const QVariant& record, QStringList& pages, QString& error) {
    q.bindValue(0, record);
    if (!Exec(q, error))
        return false;
    while (q.next())
        pages.append(q.value(0).toString());
    q.finish();
    return true;
}

// What read gives from the file opened for reading; a file not there yet is an
// empty history. On failure, error holds the message and the result is empty.
template <typename Result, typename Read>
Result ReadStore(const QString& path, std::chrono::milliseconds busyTimeout, QString& error,
                 const Read& read) {
    error.clear();
    if (!QFileInfo::exists(path))
        return {};
    std::optional<util::SqliteConnection> connection;
    error = OpenForReading(path, busyTimeout, connection);
    Result out;
    if (error.isEmpty())
        out = read(connection->database(), error);
    if (error.isEmpty())
        return out;
    error = Unusable(path, error);
    return {};
}

const QString kLinkPagesOfRecord =
    QStringLiteral("SELECT page FROM link_pages WHERE record = ? ORDER BY position");

} // namespace

QString HistoryStore::DefaultPath() {
    return util::AppFilePath(QStringLiteral("history.sqlite"));
}

HistoryStore::Recorded HistoryStore::recordScan(const QList<PartnerRecord>& records,
                                                int lostAfter) {
    Recorded out;
    out.changes = QList<PartnerChange>(records.size());
    const bool exists = QFileInfo::exists(m_path);
    util::SqliteConnection connection(
        m_path, exists ? util::SqlAccess::ReadWrite : util::SqlAccess::ReadWriteCreate,
        m_busyTimeout);
    QString error = BeginCurrentWrite(connection);
    QSqlDatabase db = connection.database();
    QList<PartnerChange> found;
    bool domainKnown = false;
    if (error.isEmpty() &&
        (records.isEmpty() || DomainKnown(db, records.first().domain, domainKnown, error))) {
        // Every change against the scans before this one, then the records.
        PastReader reader(db, lostAfter);
        PartnerPast past;
        for (const PartnerRecord& r : records) {
            if (!reader.read(r, past, error))
                break;
            const Change change = ChangeOf(past, r, lostAfter);
            found.append({change, LostSince(past, r, change)});
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
    return ReadStore<QList<PartnerRecord>>(
        m_path, m_busyTimeout, error, [&](const QSqlDatabase& db, QString& why) {
            QList<PartnerRecord> out;
            QSqlQuery q(db);
            q.setForwardOnly(true);
            q.prepare(QStringLiteral("SELECT id, ") + kRecordColumns +
                      QStringLiteral(" FROM records WHERE domain = ? AND partner = ? ORDER BY id"));
            q.bindValue(0, domain);
            q.bindValue(1, partner);
            QSqlQuery pages(db);
            pages.setForwardOnly(true);
            pages.prepare(kLinkPagesOfRecord);
            if (Exec(q, why)) {
                while (q.next() && why.isEmpty()) {
                    out.append(ReadRecord(q));
                    ReadLinkPages(pages, q.value(0), out.last().pages, why);
                }
                if (why.isEmpty() && q.lastError().isValid())
                    why = SqlWhy(q.lastError());
            }
            return out;
        });
}

HistoryStore::RememberedLinks HistoryStore::rememberedLinks(const QString& domain,
                                                            const QStringList& partners,
                                                            QString& error) const {
    return ReadStore<RememberedLinks>(
        m_path, m_busyTimeout, error, [&](const QSqlDatabase& db, QString& why) {
            RememberedLinks out;
            QSqlQuery last(db);
            last.setForwardOnly(true);
            last.prepare(QStringLiteral("SELECT id, value FROM records WHERE domain = ? AND "
                                        "partner = ? AND pages_read = 1 AND links > 0 "
                                        "ORDER BY id DESC LIMIT 1"));
            QSqlQuery pages(db);
            pages.setForwardOnly(true);
            pages.prepare(kLinkPagesOfRecord);
            const QString afterJavaScript =
                scan::ValueReasonText(scan::ValueReason::AfterJavaScript);
            for (const QString& partner : partners) {
                last.bindValue(0, domain);
                last.bindValue(1, partner);
                if (!Exec(last, why))
                    break;
                const bool any = last.next();
                const QVariant record = any ? last.value(0) : QVariant();
                const bool rendered = any && last.value(1).toString().contains(afterJavaScript);
                last.finish();
                QStringList found;
                if (any && !ReadLinkPages(pages, record, found, why))
                    break;
                if (!found.isEmpty())
                    out.pages.insert(partner, found);
                if (rendered)
                    out.afterJavaScript.insert(partner);
            }
            return out;
        });
}

QList<KeptAlert> HistoryStore::keptAlerts(const QString& domain, QString& error) const {
    return ReadStore<QList<KeptAlert>>(
        m_path, m_busyTimeout, error, [&](const QSqlDatabase& db, QString& why) {
            QList<KeptAlert> out;
            QSqlQuery q(db);
            q.setForwardOnly(true);
            q.prepare(QStringLiteral("SELECT id, scan, way, subject, partners, json FROM "
                                     "kept_alerts WHERE domain = ? ORDER BY id"));
            q.bindValue(0, domain);
            if (!Exec(q, why))
                return out;
            while (q.next())
                out.append(
                    KeptAlert{q.value(0).toLongLong(), domain,
                              QDateTime::fromString(q.value(1).toString(), Qt::ISODateWithMs),
                              q.value(2).toString(), q.value(3).toString(), q.value(4).toString(),
                              q.value(5).toByteArray()});
            if (q.lastError().isValid())
                why = SqlWhy(q.lastError());
            return out;
        });
}

QString HistoryStore::settleAlerts(const QList<qint64>& delivered,
                                   const QList<KeptAlert>& undelivered) {
    if (delivered.isEmpty() && undelivered.isEmpty())
        return QString();
    util::SqliteConnection connection(m_path,
                                      QFileInfo::exists(m_path) ? util::SqlAccess::ReadWrite
                                                                : util::SqlAccess::ReadWriteCreate,
                                      m_busyTimeout);
    QString error = BeginCurrentWrite(connection);
    QSqlDatabase db = connection.database();
    QSqlQuery forget(db);
    forget.prepare(QStringLiteral("DELETE FROM kept_alerts WHERE id = ?"));
    for (qsizetype i = 0; error.isEmpty() && i < delivered.size(); ++i) {
        forget.bindValue(0, delivered[i]);
        Exec(forget, error);
    }
    QSqlQuery keep(db);
    keep.prepare(QStringLiteral("INSERT INTO kept_alerts (domain, scan, way, subject, partners, "
                                "json) VALUES (?, ?, ?, ?, ?, ?)"));
    // Beyond the newest kMaxKeptAlerts of a domain and way, the oldest go.
    QSqlQuery trim(db);
    trim.prepare(QStringLiteral("DELETE FROM kept_alerts WHERE domain = ? AND way = ? AND id NOT "
                                "IN (SELECT id FROM kept_alerts WHERE domain = ? AND way = ? "
                                "ORDER BY id DESC LIMIT %1)")
                     .arg(kMaxKeptAlerts));
    const auto text = [](const QString& t) { return t.isNull() ? QStringLiteral("") : t; };
    for (qsizetype i = 0; error.isEmpty() && i < undelivered.size(); ++i) {
        const KeptAlert& a = undelivered[i];
        const QVariant values[] = {text(a.domain),   a.scan.toUTC().toString(Qt::ISODateWithMs),
                                   text(a.way),      text(a.subject),
                                   text(a.partners), a.json.isNull() ? QByteArray("") : a.json};
        for (int v = 0; v < 6; ++v)
            keep.bindValue(v, values[v]);
        if (!Exec(keep, error))
            break;
        for (int v = 0; v < 4; ++v)
            trim.bindValue(v, v % 2 == 0 ? text(a.domain) : text(a.way));
        Exec(trim, error);
    }
    if (error.isEmpty() && db.commit())
        return QString();
    if (error.isEmpty())
        error = SqlWhy(db.lastError());
    db.rollback();
    return Unusable(m_path, error);
}

} // namespace corvantis::history
