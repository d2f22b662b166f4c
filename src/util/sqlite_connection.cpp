#include "util/sqlite_connection.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

#include <atomic>

namespace corvantis::util {

namespace {

// SQLITE_BUSY, with or without an extended code.
bool IsBusy(const QSqlError& error) {
    return (error.nativeErrorCode().toInt() & 0xff) == 5;
}

} // namespace

QString SqlWhy(const QSqlError& error) {
    return error.databaseText().isEmpty() ? error.text() : error.databaseText();
}

SqliteConnection::SqliteConnection(const QString& path, SqlAccess access,
                                   std::chrono::milliseconds busyTimeout) {
    static std::atomic<int> serial{0};
    m_name = QStringLiteral("corvantis-sqlite-%1").arg(++serial);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
    // A URI with mode=ro or mode=rw never creates the file, even if it vanishes
    // after a check for it.
    QUrl uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    static const char* const kModes[] = {"mode=ro", "mode=rw", "mode=rwc"};
    uri.setQuery(QLatin1String(kModes[int(access)]));
    db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
    db.setConnectOptions(
        QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeout.count()));
    if (!db.open())
        m_error = SqlWhy(db.lastError());
}

SqliteConnection::~SqliteConnection() {
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
}

QString SqliteConnection::beginWrite() {
    QSqlQuery query(database());
    // A file that cannot switch (one this user may only read) keeps its journal;
    // what matters to it is said by the statements that follow.
    query.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    query.finish();
    for (int attempt = 1;; ++attempt) {
        if (query.exec(QStringLiteral("BEGIN IMMEDIATE")))
            return QString();
        if (attempt == 2 || !IsBusy(query.lastError()))
            return SqlWhy(query.lastError());
    }
}

} // namespace corvantis::util
