#include "util/sqlite_connection.h"

#include <QFileInfo>
#include <QSqlError>
#include <QUrl>

#include <atomic>

namespace corvantis::util {

QString SqlWhy(const QSqlError& error) {
    return error.databaseText().isEmpty() ? error.text() : error.databaseText();
}

SqliteConnection::SqliteConnection(const QString& path, SqlAccess access) {
    static std::atomic<int> serial{0};
    m_name = QStringLiteral("corvantis-sqlite-%1").arg(++serial);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
    // A URI with mode=ro or mode=rw never creates the file, even if it vanishes
    // after a check for it.
    QUrl uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    static const char* const kModes[] = {"mode=ro", "mode=rw", "mode=rwc"};
    uri.setQuery(QLatin1String(kModes[int(access)]));
    db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=500"));
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

} // namespace corvantis::util
