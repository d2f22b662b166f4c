#pragma once

// For tests that link Qt Sql: e-mail store files to test against.

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

namespace corvantis::testing {

// Runs the statements on a new SQLite file at the path; the empty text on success.
inline QString MakeSqliteFile(const QString& path, const QStringList& statements) {
    QFile::remove(path);
    const QString name = QStringLiteral("fixture");
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (!db.open())
            error = db.lastError().text();
        QSqlQuery query(db);
        for (qsizetype i = 0; error.isEmpty() && i < statements.size(); ++i)
            if (!query.exec(statements[i]))
                error = statements[i] + QStringLiteral(": ") + query.lastError().text();
        query.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return error;
}

// A store holding the addresses in this order.
inline QString MakeEmailStore(const QString& path, const QStringList& emails) {
    QStringList sql{QStringLiteral("CREATE TABLE emails (email TEXT)")};
    for (QString email : emails)
        sql << QStringLiteral("INSERT INTO emails VALUES ('%1')")
                   .arg(email.replace(QLatin1Char('\''), QStringLiteral("''")));
    return MakeSqliteFile(path, sql);
}

} // namespace corvantis::testing
