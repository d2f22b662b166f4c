#pragma once

// For tests that link Qt Sql: builds e-mail store files to test against.

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QTemporaryDir>

namespace corvantis::testing {

// Runs the statements on a new SQLite file at the path; the empty text on success.
inline QString MakeSqliteFile(const QString& path, const QStringList& statements) {
    QFile::remove(path);
    const QString name = QStringLiteral("store-fixture");
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (!db.open()) {
            error = db.lastError().text();
        } else {
            QSqlQuery query(db);
            for (const QString& sql : statements) {
                if (!query.exec(sql)) {
                    error = sql + QStringLiteral(": ") + query.lastError().text();
                    break;
                }
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return error;
}

// A store holding the addresses in this order.
inline QString MakeEmailStore(const QString& path, const QStringList& emails) {
    QStringList sql{QStringLiteral("CREATE TABLE emails (email TEXT)")};
    for (QString email : emails)
        sql << QStringLiteral("INSERT INTO emails (email) VALUES ('%1')")
                   .arg(email.replace(QLatin1Char('\''), QStringLiteral("''")));
    return MakeSqliteFile(path, sql);
}

} // namespace corvantis::testing
