#include "mailstore/email_store.h"

#include "util/app_folder.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>

#include <atomic>

namespace corvantis::mailstore {

namespace {

// SQLite's own words say best what is wrong with the file.
QString Why(const QSqlError& error) {
    return error.databaseText().isEmpty() ? error.text() : error.databaseText();
}

enum class Access { ReadOnly, ReadWrite };

// One connection for one operation, removed again when it goes out of scope.
// Queries must end before it does.
class StoreConnection {
public:
    StoreConnection(const QString& path, Access access) {
        static std::atomic<int> serial{0};
        m_name = QStringLiteral("corvantis-mailstore-%1").arg(++serial);
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        // A URI with mode=ro or mode=rw never creates the file, even if it vanishes
        // after the existence check. A short busy wait keeps a locked store from
        // freezing the window.
        QUrl uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
        uri.setQuery(access == Access::ReadOnly ? QStringLiteral("mode=ro")
                                                : QStringLiteral("mode=rw"));
        db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=500"));
        if (!db.open())
            m_error = Why(db.lastError());
    }
    ~StoreConnection() {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    StoreConnection(const StoreConnection&) = delete;
    StoreConnection& operator=(const StoreConnection&) = delete;

    QSqlDatabase database() const { return QSqlDatabase::database(m_name, false); }
    const QString& openError() const { return m_error; }

private:
    QString m_name;
    QString m_error;
};

QString Unusable(const QString& path, const QString& why) {
    return QStringLiteral("The e-mail store \"%1\" cannot be used: %2.")
        .arg(QDir::toNativeSeparators(path), why);
}

// Says why the store cannot be opened, or the empty text.
QString CheckExists(const QString& path) {
    if (!QFileInfo(path).isFile())
        return Unusable(path, QStringLiteral("the file does not exist"));
    return QString();
}

// A store of another shape (a file of another program included) is left alone:
// says why it is not ours, or the empty text.
QString CheckShape(const QSqlDatabase& db) {
    QSqlQuery probe(db);
    if (!probe.exec(QStringLiteral("SELECT [email] FROM [emails] LIMIT 0")))
        return Why(probe.lastError());
    return QString();
}

} // namespace

QString EmailStorePath() {
    return util::AppFilePath(QStringLiteral("spider.mdb"));
}

EmailList ReadAllEmails(const QString& storePath) {
    EmailList result;
    result.error = CheckExists(storePath);
    if (!result.error.isEmpty())
        return result;
    StoreConnection connection(storePath, Access::ReadOnly);
    if (!connection.openError().isEmpty()) {
        result.error = Unusable(storePath, connection.openError());
        return result;
    }
    const QString shape = CheckShape(connection.database());
    if (!shape.isEmpty()) {
        result.error = Unusable(storePath, shape);
        return result;
    }
    QSqlQuery query(connection.database());
    query.setForwardOnly(true);
    // SQLite keeps no row order of its own; rowid is the order of insertion.
    if (!query.exec(QStringLiteral("Select * FROM [emails] ORDER BY rowid"))) {
        result.error = Unusable(storePath, Why(query.lastError()));
        return result;
    }
    const int column = query.record().indexOf(QStringLiteral("email"));
    if (column < 0) {
        result.error = Unusable(storePath, QStringLiteral("the table emails has no column email"));
        return result;
    }
    while (query.next())
        result.emails.append(query.value(column).toString());
    if (query.lastError().isValid()) {
        result.error = Unusable(storePath, Why(query.lastError()));
        result.emails.clear();
        return result;
    }
    result.ok = true;
    return result;
}

QString DeleteAllEmails(const QString& storePath) {
    const QString missing = CheckExists(storePath);
    if (!missing.isEmpty())
        return missing;
    StoreConnection connection(storePath, Access::ReadWrite);
    if (!connection.openError().isEmpty())
        return Unusable(storePath, connection.openError());
    const QString shape = CheckShape(connection.database());
    if (!shape.isEmpty())
        return Unusable(storePath, shape);
    QSqlQuery query(connection.database());
    if (!query.exec(QStringLiteral("DELETE FROM [emails]")))
        return Unusable(storePath, Why(query.lastError()));
    return QString();
}

} // namespace corvantis::mailstore
