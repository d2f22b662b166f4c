#pragma once

#include "util/busy_wait.h"

#include <QSqlDatabase>
#include <QString>

#include <chrono>

class QSqlError;

namespace corvantis::util {

// SQLite's own words say best what is wrong with a file.
QString SqlWhy(const QSqlError& error);

enum class SqlAccess { ReadOnly, ReadWrite, ReadWriteCreate };

// One connection to an SQLite file for one operation, removed again when it goes
// out of scope; queries must end before it does. Only ReadWriteCreate makes a
// missing file. A statement that finds the file locked waits up to busyTimeout.
class SqliteConnection {
public:
    SqliteConnection(const QString& path, SqlAccess access, std::chrono::milliseconds busyTimeout);
    ~SqliteConnection();
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    QSqlDatabase database() const { return QSqlDatabase::database(m_name, false); }
    const QString& openError() const { return m_error; }

    // Begins a write transaction that holds the write lock before it reads
    // anything, so two writers queue instead of one failing halfway, and puts
    // the file in write-ahead-log mode first, so readers go on meanwhile. A
    // file still busy after the wait is tried once more. Returns why it could
    // not begin (the empty text on success); end it with commit or rollback.
    QString beginWrite();

private:
    QString m_name;
    QString m_error;
};

} // namespace corvantis::util
