#include "mailstore/email_store.h"

#include "util/app_folder.h"
#include "util/sqlite_connection.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace corvantis::mailstore {

namespace {

using util::SqlAccess;
using util::SqliteConnection;
using util::SqlWhy;

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
        return SqlWhy(probe.lastError());
    return QString();
}

} // namespace

QString EmailStorePath() {
    return util::AppFilePath(QStringLiteral("spider.mdb"));
}

EmailList ReadAllEmails(const QString& storePath, std::chrono::milliseconds busyTimeout) {
    EmailList result;
    result.error = CheckExists(storePath);
    if (!result.error.isEmpty())
        return result;
    SqliteConnection connection(storePath, SqlAccess::ReadOnly, busyTimeout);
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
        result.error = Unusable(storePath, SqlWhy(query.lastError()));
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
        result.error = Unusable(storePath, SqlWhy(query.lastError()));
        result.emails.clear();
        return result;
    }
    result.ok = true;
    return result;
}

QString DeleteAllEmails(const QString& storePath, std::chrono::milliseconds busyTimeout) {
    const QString missing = CheckExists(storePath);
    if (!missing.isEmpty())
        return missing;
    SqliteConnection connection(storePath, SqlAccess::ReadWrite, busyTimeout);
    if (!connection.openError().isEmpty())
        return Unusable(storePath, connection.openError());
    QSqlDatabase db = connection.database();
    // The shape first: a file that is not ours is not even switched to another journal.
    QString error = CheckShape(db);
    if (error.isEmpty())
        error = connection.beginWrite();
    if (!error.isEmpty())
        return Unusable(storePath, error);
    QSqlQuery query(db);
    if (query.exec(QStringLiteral("DELETE FROM [emails]")) && db.commit())
        return QString();
    error = SqlWhy(query.lastError().isValid() ? query.lastError() : db.lastError());
    db.rollback();
    return Unusable(storePath, error);
}

} // namespace corvantis::mailstore
