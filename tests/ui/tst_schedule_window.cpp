// "Schedule and Alerts": the schedule it shows is the one the unit files hold,
// whoever wrote them, and Apply refuses what a check would fail on.
#include "alert/alert_settings.h"
#include "fake_secrets.h"
#include "session/scan_session.h"
#include "support/test_env.h"
#include "ui/windows/schedule_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTimeEdit>

using namespace corvantis;
using testing::S;

namespace {

// corvantis-scan's standard output, or why it failed.
QString Scan(const QStringList& args) {
    QProcess p;
    p.start(S(CORVANTIS_SCAN), args);
    if (!p.waitForFinished(20000) || p.exitCode() != 0)
        return S("failed: ") + QString::fromLocal8Bit(p.readAllStandardError());
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

} // namespace

class ScheduleWindowTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    scan::ScanSession m_session;
    testing::FakeSecrets m_secrets;

    template <typename W> W* find(QWidget* w, const char* name) {
        W* child = w->findChild<W*>(QLatin1String(name));
        if (!child)
            qFatal("no control %s", name);
        return child;
    }
    QStringList units() const {
        return QDir(qEnvironmentVariable("XDG_CONFIG_HOME") + S("/systemd/user"))
            .entryList(QDir::Files);
    }

private Q_SLOTS:
    void initTestCase() {
        // A stand-in systemctl first on PATH, so the real one is never reached.
        const QString bin = m_dir.filePath(S("bin"));
        QVERIFY(QDir().mkpath(bin));
        QVERIFY(testing::WriteBytes(bin + S("/systemctl"), "#!/bin/sh\nexit 0\n"));
        QVERIFY(QFile::setPermissions(bin + S("/systemctl"),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        qputenv("PATH", QFile::encodeName(bin) + ':' + qgetenv("PATH"));
        QVERIFY(testing::WriteBytes(m_dir.filePath(S("weekly.prj")),
                                    "mysite.test\r\npartner.test/|1\r\n"));
        QVERIFY(QFile::link(m_dir.filePath(S("weekly.prj")), m_dir.filePath(S("link.prj"))));
    }

    // What corvantis-scan --schedule wrote, the window shows; what the window
    // applies, corvantis-scan lists.
    void oneScheduleForBoth() {
        QCOMPARE(Scan({S("--project"), m_dir.filePath(S("link.prj")), S("--schedule"),
                       S("weekly@wed@06:45"), S("--notify")})
                     .left(8),
                 S("Schedule"));
        m_session.project.setProjectPath(m_dir.filePath(S("weekly.prj")));
        ui::ScheduleWindow w(m_session, m_secrets);
        w.load();
        w.show();
        QCOMPARE(find<QComboBox>(&w, "cmbScheduleEvery")->currentIndex(), 2);
        QCOMPARE(find<QComboBox>(&w, "cmbScheduleDay")->currentIndex(), 2);
        QCOMPARE(find<QTimeEdit>(&w, "timScheduleTime")->time(), QTime(6, 45));
        QVERIFY(find<QCheckBox>(&w, "chkScheduleNotify")->isChecked());

        find<QComboBox>(&w, "cmbScheduleEvery")->setCurrentIndex(1);
        find<QTimeEdit>(&w, "timScheduleTime")->setTime(QTime(5, 10));
        find<QCheckBox>(&w, "chkScheduleNotify")->setChecked(false);
        QTest::mouseClick(find<QPushButton>(&w, "cmdApplySchedule"), Qt::LeftButton);
        const QString canonical = QFileInfo(m_dir.filePath(S("weekly.prj"))).canonicalFilePath();
        QCOMPARE(Scan({S("--schedule"), S("list")}).section(u'\t', 0, 1),
                 canonical + S("\tdaily@05:10"));
        QCOMPARE(units().size(), 2);
        // The window made the same timer: read back, it still says so.
        w.load();
        QCOMPARE(find<QComboBox>(&w, "cmbScheduleEvery")->currentIndex(), 1);
        QVERIFY(!find<QCheckBox>(&w, "chkScheduleNotify")->isChecked());
    }

    // Apply refuses, with a line naming the field, what the scheduled check would
    // fail on; nothing is kept or written.
    void applyRefusesWhatTheCheckWouldFailOn_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("said");
        QTest::newRow("a webhook that is a file")
            << "txtWebhookUrl"
            << "file:///etc/passwd"
            << "Webhook URL: not an http:// or https:// address";
        QTest::newRow("a line break in the address")
            << "txtAlertMailTo"
            << "me@mysite.test\nRCPT TO:<evil@attacker.example>"
            << "Alert e-mail to: a control character";
        QTest::newRow("not an address") << "txtAlertMailTo"
                                        << "not an address"
                                        << "Alert e-mail to: not an address";
        QTest::newRow("an ftp server") << "txtSmtpServer"
                                       << "ftp://mail.test"
                                       << "SMTP server: not an smtp:// or smtps:// address";
        QTest::newRow("a program as the project")
            << "txtScheduleProject" << CORVANTIS_SCAN << "is not a project file";
    }
    void applyRefusesWhatTheCheckWouldFailOn() {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(QString, said);
        for (const QString& unit : units())
            QFile::remove(qEnvironmentVariable("XDG_CONFIG_HOME") + S("/systemd/user/") + unit);
        alert::AlertSettings{}.save();
        ui::ScheduleWindow w(m_session, m_secrets);
        w.load();
        find<QComboBox>(&w, "cmbScheduleEvery")->setCurrentIndex(1);
        find<QLineEdit>(&w, "txtAlertMailTo")->setText(S("me@mysite.test"));
        find<QLineEdit>(&w, "txtSmtpServer")->setText(S("smtp://mail.test:587"));
        find<QLineEdit>(&w, field.toLatin1().constData())->setText(value);
        QTest::mouseClick(find<QPushButton>(&w, "cmdApplySchedule"), Qt::LeftButton);
        const QString status = find<QLabel>(&w, "lblScheduleStatus")->text();
        QVERIFY2(status.contains(said), qPrintable(status));
        QCOMPARE(units(), QStringList());
        if (field != S("txtScheduleProject"))
            QCOMPARE(alert::AlertSettings::FromSettings(), alert::AlertSettings{});
    }
};

CORVANTIS_GUI_TEST_MAIN(ScheduleWindowTest)
#include "tst_schedule_window.moc"
