#include "mailstore/email_store.h"
#include "support/fakes.h"
#include "support/store_fixture.h"
#include "support/test_env.h"
#include "ui/main/email_commands.h"
#include "ui/windows/export_window.h"
#include "util/app_folder.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QSignalSpy>

using namespace corvantis;
using namespace corvantis::testing;
using util::Answer;

namespace {
const QStringList kThree{S("a@x.example"), S("b@x.example"), S("c@x.example")};
const QByteArray kOldExport("an older export, longer than any new one\r\n");
const QByteArray kNotADatabase("Standard Jet DB, or anything else that is not SQLite\r\n");

QStringList StoredEmails() {
    const mailstore::EmailList read = mailstore::ReadAllEmails();
    return read.ok ? read.emails : QStringList{S("<unreadable>")};
}

// Every question asked, as "title|text|kind".
QStringList Asked(const FakeMessages& m) {
    QStringList out;
    for (const auto& a : m.asked)
        out << a.title + u'|' + a.text +
                   (a.kind == util::Question::YesNo ? u"|YesNo" : u"|OkCancel");
    return out;
}

// An export window with its fakes, shown; the store holds the three addresses and
// "out.txt" an older export.
struct Fixture {
    FakeMessages messages;
    FakeFileDialogs dialogs;
    ui::ExportWindow window{messages, dialogs};
    QSignalSpy deleted{&window, &ui::ExportWindow::emailsDeleted};

    explicit Fixture(const QString& out) {
        window.show();
        if (!MakeEmailStore(mailstore::EmailStorePath(), kThree).isEmpty() ||
            !WriteBytes(out, kOldExport))
            qFatal("cannot prepare the store or %s", qPrintable(out));
    }
    template <typename W> W* find(const char* name) {
        return window.findChild<W*>(QString::fromLatin1(name));
    }
    // Answers the save dialog with the path (empty: cancel) and presses Export.
    void exportTo(const QString& path) {
        dialogs.paths << path;
        QTest::mouseClick(find<QPushButton>("Command1"), Qt::LeftButton);
    }
};
} // namespace

class ExportWindowTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    const QString m_out = m_dir.filePath(S("out.txt"));

private Q_SLOTS:
    // A stray "export.txt" would then land here, where the test looks for it.
    void initTestCase() { QVERIFY(QDir::setCurrent(m_dir.path())); }

    void exportFile_data() {
        QTest::addColumn<int>("outputType"); // -1: nothing picked, as the window opens
        QTest::addColumn<bool>("space");
        QTest::addColumn<QStringList>("emails");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("empty store") << -1 << false << QStringList() << QByteArray("\r\n");
        QTest::newRow("nothing picked")
            << -1 << false << kThree << QByteArray("a@x.example;b@x.example;c@x.example;\r\n");
        QTest::newRow("nothing picked, space")
            << -1 << true << kThree << QByteArray("a@x.example; b@x.example; c@x.example; \r\n");
        QTest::newRow("semicolon, space")
            << 0 << true << kThree << QByteArray("a@x.example; b@x.example; c@x.example; \r\n");
        QTest::newRow("tab, space ignored")
            << 1 << true << kThree << QByteArray("a@x.example\tb@x.example\tc@x.example\t\r\n");
        QTest::newRow("one per line")
            << 2 << true << QStringList{S("jos\u00e9@x.example"), S("b@x.example")}
            << QByteArray("jos\xc3\xa9@x.example\r\nb@x.example\r\n\r\n");
    }
    void exportFile() {
        QFETCH(int, outputType);
        QFETCH(bool, space);
        QFETCH(QStringList, emails);
        QFETCH(QByteArray, expected);
        Fixture f(m_out);
        QCOMPARE(MakeEmailStore(mailstore::EmailStorePath(), emails), QString());
        if (outputType >= 0)
            f.find<QComboBox>("Combo1")->setCurrentIndex(outputType);
        f.find<QCheckBox>("Check2")->setChecked(space);
        f.exportTo(m_out);
        QCOMPARE(ReadBytes(m_out), expected); // replaced, not appended to
        QVERIFY(!f.window.isVisible());
        QCOMPARE(f.dialogs.shown.size(), 1);
        QCOMPARE(f.dialogs.shown[0].startPath, util::AppFilePath(S("export.txt")));
        QVERIFY(f.messages.informed.isEmpty() && f.messages.asked.isEmpty());
        QCOMPARE(StoredEmails(), emails);
    }

    void deletionQuestion_data() {
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<QStringList>("left");
        QTest::newRow("yes") << Answer::Yes << QStringList();
        QTest::newRow("no") << Answer::No << kThree;
    }
    void deletionQuestion() {
        QFETCH(Answer, answer);
        QFETCH(QStringList, left);
        Fixture f(m_out);
        f.find<QCheckBox>("Check1")->setChecked(true);
        f.messages.answers << answer;
        f.exportTo(m_out);
        QCOMPARE(ReadBytes(m_out), QByteArray("a@x.example;b@x.example;c@x.example;\r\n"));
        QCOMPARE(Asked(f.messages),
                 QStringList{S("Corvantis|Are you sure you want to delete all emails?|YesNo")});
        QCOMPARE(StoredEmails(), left);
        QCOMPARE(f.deleted.count(), left.isEmpty() ? 1 : 0);
        QVERIFY(!f.window.isVisible());
    }

    // Nothing written, no deletion offered, the window stays open.
    void exportThatCannotHappen_data() {
        QTest::addColumn<QString>("out"); // empty: the dialog is cancelled
        QTest::addColumn<QByteArray>("storeBytes");
        QTest::addColumn<QString>("saying"); // in the one message; empty: no message
        QTest::newRow("dialog cancelled") << QString() << QByteArray() << QString();
        // The temporary file beside a name this long cannot be made, even by root.
        QTest::newRow("write fails") << m_dir.filePath(QString(250, u'n') + S(".txt"))
                                     << QByteArray() << S("could not be written");
        QTest::newRow("store not a database") << m_out << kNotADatabase << S("spider.mdb");
    }
    void exportThatCannotHappen() {
        QFETCH(QString, out);
        QFETCH(QByteArray, storeBytes);
        QFETCH(QString, saying);
        Fixture f(out.isEmpty() ? m_out : out);
        const QString store = mailstore::EmailStorePath();
        if (!storeBytes.isNull())
            QVERIFY(WriteBytes(store, storeBytes));
        const QByteArray storeBefore = ReadBytes(store);
        f.find<QCheckBox>("Check1")->setChecked(true);
        f.exportTo(out);
        QVERIFY(f.window.isVisible());
        QCOMPARE(f.messages.informed.size(), saying.isEmpty() ? 0 : 1);
        if (!saying.isEmpty())
            QVERIFY2(f.messages.informed[0].contains(saying), qPrintable(f.messages.informed[0]));
        QCOMPARE(ReadBytes(out.isEmpty() ? m_out : out), kOldExport);
        QVERIFY(!QFileInfo::exists(util::AppFilePath(S("export.txt"))));
        QVERIFY(!QFileInfo::exists(S("export.txt")));
        QCOMPARE(Asked(f.messages), QStringList());
        QCOMPARE(f.deleted.count(), 0);
        QCOMPARE(ReadBytes(store), storeBefore);
    }

    void deleteAllEmailsCommand_data() {
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<QByteArray>("storeBytes"); // null: the three addresses
        QTest::addColumn<bool>("deleted");
        QTest::newRow("ok") << Answer::Ok << QByteArray() << true;
        QTest::newRow("cancel") << Answer::Cancel << QByteArray() << false;
        QTest::newRow("ok, store not a database") << Answer::Ok << kNotADatabase << false;
    }
    void deleteAllEmailsCommand() {
        QFETCH(Answer, answer);
        QFETCH(QByteArray, storeBytes);
        QFETCH(bool, deleted);
        const QString store = mailstore::EmailStorePath();
        QCOMPARE(MakeEmailStore(store, kThree), QString());
        if (!storeBytes.isNull())
            QVERIFY(WriteBytes(store, storeBytes));
        const QByteArray before = ReadBytes(store);
        FakeMessages messages;
        messages.answers << answer;
        QCOMPARE(ui::ConfirmDeleteAllEmails(messages), deleted);
        QCOMPARE(Asked(messages),
                 QStringList{S("Confirm|Are you sure you want to delete all emails from the "
                               "database?|OkCancel")});
        QCOMPARE(messages.informed.size(), storeBytes.isNull() ? 0 : 1);
        if (deleted)
            QCOMPARE(StoredEmails(), QStringList());
        else
            QCOMPARE(ReadBytes(store), before);
    }
};

CORVANTIS_GUI_TEST_MAIN(ExportWindowTest)
#include "tst_export_window.moc"
