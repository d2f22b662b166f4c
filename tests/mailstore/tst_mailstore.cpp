#include "mailstore/email_store.h"
#include "support/store_fixture.h"
#include "support/test_env.h"
#include "util/app_folder.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>

#include <latch>
#include <thread>

using namespace corvantis::mailstore;
using namespace corvantis::testing;

namespace {
// Short, for a store held locked on purpose.
constexpr std::chrono::milliseconds kShortWait{200};

QStringList Emails(const QString& path) {
    const EmailList read = ReadAllEmails(path);
    return read.ok ? read.emails : QStringList{QStringLiteral("<unreadable>")};
}
} // namespace

class MailStoreTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    // The bytes of an SQLite file built from the statements.
    QByteArray SqliteBytes(const QStringList& statements) {
        const QString path = m_dir.filePath(QStringLiteral("built.db"));
        const QString error = MakeSqliteFile(path, statements);
        return error.isEmpty() ? ReadBytes(path) : error.toUtf8();
    }

private Q_SLOTS:
    void shippedStoreIsEmptyAndNeverReplacesTheUsers() {
        const QString store = EmailStorePath();
        QVERIFY(QFileInfo(store).isFile());
        QCOMPARE(Emails(store), QStringList());
        QCOMPARE(MakeEmailStore(store, {S("mine@x.example")}), QString());
        corvantis::util::ResetAppFolderForTests();
        QCOMPARE(Emails(EmailStorePath()), QStringList{S("mine@x.example")});
    }

    void readsInStoredOrderAndDeletesAll() {
        // Characters that mean something in a URI must not break the path.
        const QString store = m_dir.filePath(S("my store #1 ?%20é.mdb"));
        const QStringList emails{S("c@x.example"), S("a@x.example"), S("o'brien@x.example"),
                                 S("b@x.example")};
        QCOMPARE(MakeEmailStore(store, emails), QString());
        QCOMPARE(Emails(store), emails);
        QCOMPARE(DeleteAllEmails(store), QString());
        QCOMPARE(Emails(store), QStringList());
        QCOMPARE(DeleteAllEmails(store), QString());              // an empty store is no failure
        QCOMPARE(QSqlDatabase::connectionNames(), QStringList()); // none left open
    }

    void unusableStoreIsReportedAndLeftAlone_data() {
        QTest::addColumn<QByteArray>("bytes"); // null: no file at all
        QTest::addColumn<bool>("locked");
        const QByteArray jet =
            QByteArray("\x00\x01\x00\x00Standard Jet DB\x00", 20) + QByteArray(2028, '\x5a');
        const QByteArray valid = SqliteBytes({S("CREATE TABLE emails (email TEXT)"),
                                              S("INSERT INTO emails VALUES ('a@x'), ('b@x')")});
        QTest::newRow("missing") << QByteArray() << false;
        QTest::newRow("another program's format") << jet << false;
        QTest::newRow("empty file") << QByteArray("") << false;
        QTest::newRow("truncated") << valid.left(4096) << false;
        QTest::newRow("no emails table")
            << SqliteBytes({S("CREATE TABLE contacts (email TEXT)")}) << false;
        QTest::newRow("no email column") << SqliteBytes({S("CREATE TABLE emails (address TEXT)"),
                                                         S("INSERT INTO emails VALUES ('a@x')")})
                                         << false;
        QTest::newRow("locked by another program") << valid << true;
    }
    void unusableStoreIsReportedAndLeftAlone() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, locked);
        const QString store = m_dir.filePath(QStringLiteral("broken.mdb"));
        QFile::remove(store);
        if (!bytes.isNull())
            QVERIFY(WriteBytes(store, bytes));
        {
            QSqlDatabase holder = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), S("holder"));
            if (locked) {
                holder.setDatabaseName(store);
                QVERIFY(holder.open());
                QVERIFY(QSqlQuery(holder).exec(S("BEGIN EXCLUSIVE")));
            }
            const EmailList read = ReadAllEmails(store, kShortWait);
            QVERIFY(!read.ok);
            QVERIFY(read.emails.isEmpty());
            QVERIFY2(read.error.contains(store), qPrintable(read.error));
            const QString deleted = DeleteAllEmails(store, kShortWait);
            QVERIFY2(deleted.contains(store), qPrintable(deleted));
            holder.close();
        }
        QSqlDatabase::removeDatabase(S("holder"));
        QCOMPARE(QFileInfo::exists(store), !bytes.isNull()); // never created
        QCOMPARE(ReadBytes(store), bytes);
        if (locked)
            QCOMPARE(Emails(store), (QStringList{S("a@x"), S("b@x")}));
    }

    // Another program writing the store for a moment is waited for.
    void waitsForAnotherWriter_data() {
        QTest::addColumn<bool>("deleting");
        QTest::newRow("read") << false;
        QTest::newRow("delete") << true;
    }
    void waitsForAnotherWriter() {
        QFETCH(bool, deleting);
        const QString store = m_dir.filePath(deleting ? S("busy-delete.mdb") : S("busy-read.mdb"));
        QCOMPARE(MakeEmailStore(store, {S("a@x.example")}), QString());
        // The writer has a connection of its own, in its own thread.
        bool held = false;
        std::latch locked(1);
        std::thread writer([&] {
            {
                QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), S("writer"));
                db.setDatabaseName(store);
                QSqlQuery query(db);
                held = db.open() && query.exec(S("BEGIN EXCLUSIVE"));
                locked.count_down();
                QThread::msleep(1500);
                query.exec(S("COMMIT"));
                query.finish();
                db.close();
            }
            QSqlDatabase::removeDatabase(S("writer"));
        });
        locked.wait();
        const QString error = deleting ? DeleteAllEmails(store) : ReadAllEmails(store).error;
        writer.join();
        QVERIFY(held);
        QCOMPARE(error, QString());
        QCOMPARE(Emails(store), deleting ? QStringList() : QStringList{S("a@x.example")});
    }
};

CORVANTIS_TEST_MAIN(MailStoreTest)
#include "tst_mailstore.moc"
