#pragma once

#include <QSqlDatabase>
#include <QString>

class QSqlError;

namespace corvantis::util {

// SQLite's own words say best what is wrong with a file.
QString SqlWhy(const QSqlError& error);

enum class SqlAccess { ReadOnly, ReadWrite, ReadWriteCreate };

// One connection to an SQLite file for one operation, removed again when it goes
// out of scope; queries must end before it does. Only ReadWriteCreate makes a
// missing file. A short busy wait keeps a locked file from freezing the window.
class SqliteConnection {
public:
    SqliteConnection(const QString& path, SqlAccess access);
    ~SqliteConnection();
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    QSqlDatabase database() const { return QSqlDatabase::database(m_name, false); }
    const QString& openError() const { return m_error; }

private:
    QString m_name;
    QString m_error;
};

} // namespace corvantis::util
