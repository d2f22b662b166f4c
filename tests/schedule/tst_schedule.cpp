#include "schedule/schedule_install.h"
#include "support/test_env.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace corvantis::schedule;
using corvantis::testing::ReadBytes;
using corvantis::testing::S;

namespace {

// Leaves only `folder` on PATH while it lives, so no real systemctl is reached.
class PathOnly {
public:
    explicit PathOnly(const QString& folder) : m_saved(qgetenv("PATH")) {
        qputenv("PATH", QFile::encodeName(folder));
    }
    ~PathOnly() { qputenv("PATH", m_saved); }

private:
    QByteArray m_saved;
};

void WriteScript(const QString& path, const QByteArray& body) {
    QVERIFY(corvantis::testing::WriteBytes(path, "#!/bin/sh\n" + body));
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

} // namespace

class ScheduleTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void parseSchedule_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("canonical"); // empty: refused
        QTest::addColumn<QString>("onCalendar");
        QTest::addColumn<QString>("cronTimes");
        QTest::newRow("daily") << S("daily@07:30") << S("daily@07:30") << S("*-*-* 07:30:00")
                               << S("30 7 * * *");
        QTest::newRow("weekly, any case") << S("WEEKLY@Mon@07:05") << S("weekly@mon@07:05")
                                          << S("Mon *-*-* 07:05:00") << S("5 7 * * 1");
        QTest::newRow("sunday, last minute") << S("weekly@sun@23:59") << S("weekly@sun@23:59")
                                             << S("Sun *-*-* 23:59:00") << S("59 23 * * 0");
        QTest::newRow("midnight") << S("Daily@00:00") << S("daily@00:00") << S("*-*-* 00:00:00")
                                  << S("0 0 * * *");
        QTest::newRow("off") << S("OFF") << S("off") << QString() << QString();
        const char* refused[] = {"daily@24:00",
                                 "daily@07:60",
                                 "daily@7:30",
                                 "daily@07:3",
                                 "daily@",
                                 "weekly@xyz@07:00",
                                 "weekly@07:00",
                                 "daily@mon@07:00",
                                 "hourly@07:30",
                                 "daily@07:30 ",
                                 "daily@07:30\n",
                                 "off@07:30",
                                 "weekly@monday@07:30",
                                 ""};
        for (const char* text : refused)
            QTest::newRow(QByteArray("refused ").append(text).replace('\n', "\\n").constData())
                << S(text) << QString() << QString() << QString();
    }
    void parseSchedule() {
        QFETCH(QString, text);
        QFETCH(QString, canonical);
        QFETCH(QString, onCalendar);
        QFETCH(QString, cronTimes);
        const std::optional<Schedule> schedule = ParseSchedule(text);
        QCOMPARE(schedule.has_value(), !canonical.isEmpty());
        if (!schedule)
            return;
        QCOMPARE(ScheduleText(*schedule), canonical);
        QVERIFY(ParseSchedule(canonical) == schedule);
        QCOMPARE(OnCalendarText(*schedule), onCalendar);
        if (schedule->every != Every::Off) {
            const QString line = CrontabLine(
                {.projectFile = S("/p.cvp"), .when = *schedule, .scanProgram = S("/bin/scan")});
            QVERIFY2(line.startsWith(cronTimes + u' '), qPrintable(line));
        }
    }

    void applySchedule_data() {
        QTest::addColumn<QString>("systemctl"); // "works", "no bus" or "missing"
        QTest::addColumn<QString>("schedule");
        QTest::addColumn<bool>("blocked"); // a file where the unit folder goes
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<bool>("filesAfter");
        QTest::addColumn<QString>("byHand"); // the reason told with the commands; empty: none
        const QString reload = S("--user daemon-reload");
        const QString enable = S("--user enable --now TIMER");
        const QString disable = S("--user disable --now TIMER");
        const QString noBus = S("Failed to connect to bus: No medium found");
        QTest::newRow("daily") << S("works") << S("daily@07:30") << false
                               << QStringList{reload, enable} << true << QString();
        QTest::newRow("off") << S("works") << S("off") << false << QStringList{disable, reload}
                             << false << QString();
        QTest::newRow("weekly, no bus") << S("no bus") << S("weekly@fri@18:05") << false
                                        << QStringList{reload} << true << noBus;
        QTest::newRow("daily, no systemctl") << S("missing") << S("daily@06:00") << false
                                             << QStringList{} << true << S("no systemctl in PATH");
        QTest::newRow("off, no bus")
            << S("no bus") << S("off") << false << QStringList{disable, reload} << false << noBus;
        QTest::newRow("folder unwritable")
            << S("works") << S("daily@07:30") << true << QStringList{} << false << QString();
    }
    void applySchedule() {
        QFETCH(QString, systemctl);
        QFETCH(QString, schedule);
        QFETCH(bool, blocked);
        QFETCH(QStringList, calls);
        QFETCH(bool, filesAfter);
        QFETCH(QString, byHand);
        QTemporaryDir dir;
        const QString bin = dir.filePath(S("bin"));
        const QString record = dir.filePath(S("calls"));
        QVERIFY(QDir().mkpath(bin));
        if (systemctl != S("missing"))
            WriteScript(bin + S("/systemctl"),
                        "echo \"$*\" >> '" + QFile::encodeName(record) + "'\n" +
                            (systemctl == S("no bus")
                                 ? "echo 'Failed to connect to bus: No medium found' >&2\nexit 1\n"
                                 : ""));
        const ScheduledCheck check{.projectFile = dir.filePath(S("my site.cvp")),
                                   .when = *ParseSchedule(schedule),
                                   .scanProgram = S("/opt/corvantis/bin/corvantis-scan"),
                                   .extraArguments = {S("--mail-to"), S("a@example.org")}};
        const QString units = dir.filePath(S("config/systemd/user"));
        const QString base = units + u'/' + UnitBaseName(check.projectFile);
        if (blocked)
            QVERIFY(corvantis::testing::WriteBytes(dir.filePath(S("config")), "x"));
        if (check.when.every == Every::Off) { // an earlier schedule to remove
            QVERIFY(QDir().mkpath(units));
            QVERIFY(corvantis::testing::WriteBytes(base + S(".timer"), "x"));
            QVERIFY(corvantis::testing::WriteBytes(base + S(".service"), "x"));
        }

        ScheduleOutcome outcome;
        {
            PathOnly path(bin);
            outcome = ApplySchedule(check, units);
        }
        QCOMPARE(outcome.error.isEmpty(), !blocked);
        QCOMPARE(QFile::exists(base + S(".timer")), filesAfter);
        QCOMPARE(QFile::exists(base + S(".service")), filesAfter);
        const QString timer = UnitBaseName(check.projectFile) + S(".timer");
        QCOMPARE(QString::fromUtf8(ReadBytes(record)).split(u'\n', Qt::SkipEmptyParts),
                 calls.replaceInStrings(S("TIMER"), timer));
        const QString said = outcome.lines.join(u'\n');
        const QString command = S("systemctl --user ") +
                                (filesAfter ? S("enable --now ") : S("disable --now ")) + timer;
        QCOMPARE(said.contains(command), !byHand.isEmpty());
        QVERIFY2(said.contains(byHand), qPrintable(said));
        QCOMPARE(said.contains(CrontabLine(check)), !byHand.isEmpty() && filesAfter);
        // Only removing ends a schedule: one that is off is not installed.
        if (check.when.every == Every::Off && !blocked) {
            QVERIFY(!InstallSchedule(check, units).error.isEmpty());
            QVERIFY(!QFile::exists(base + S(".timer")));
        }
    }

    // One project, one path and one timer, however it is named: through links,
    // and after the file is gone, so that "off" finds the timer it made.
    void oneProjectOneTimer_data() {
        QTest::addColumn<QString>("alias"); // relative to the folder holding real/p.prj
        QTest::addColumn<bool>("fileGone");
        QTest::newRow("its own path") << "real/p.prj" << false;
        QTest::newRow("a link to the file") << "link.prj" << false;
        QTest::newRow("a link to a link") << "link2.prj" << false;
        QTest::newRow("a link to its folder") << "folder/p.prj" << false;
        QTest::newRow("dots in the path") << "folder/../real/./p.prj" << false;
        QTest::newRow("the file gone") << "real/p.prj" << true;
        QTest::newRow("the file gone, its link dangling") << "link2.prj" << true;
        QTest::newRow("the file gone, through its folder's link") << "folder/p.prj" << true;
    }
    void oneProjectOneTimer() {
        QFETCH(QString, alias);
        QFETCH(bool, fileGone);
        QTemporaryDir dir;
        const QString file = dir.filePath(S("real/p.prj"));
        QVERIFY(QDir().mkpath(dir.filePath(S("real"))));
        QVERIFY(corvantis::testing::WriteBytes(file, "mysite.test\r\n"));
        QVERIFY(QFile::link(file, dir.filePath(S("link.prj"))));
        QVERIFY(QFile::link(S("link.prj"), dir.filePath(S("link2.prj")))); // a relative link
        QVERIFY(QFile::link(dir.filePath(S("real")), dir.filePath(S("folder"))));
        const QString canonical = QFileInfo(file).canonicalFilePath();
        if (fileGone)
            QVERIFY(QFile::remove(file));
        QCOMPARE(ProjectPath(dir.filePath(alias)), canonical);
        QCOMPARE(UnitBaseName(dir.filePath(alias)), UnitBaseName(canonical));
        QVERIFY(UnitBaseName(dir.filePath(alias)).startsWith(S("corvantis-p-")));
    }

    // When each timer runs next, from `systemctl --user list-timers` as systemd
    // 252 and later ones print it.
    void nextRuns_data() {
        QTest::addColumn<QByteArray>("listed"); // the stand-in's output; "fail": no bus
        QTest::addColumn<QString>("next");      // of corvantis-a.timer; "unknown": not listed
        QTest::newRow("due") << QByteArray("Tue 2024-05-07 07:30:00 CEST 10h left Mon "
                                           "2024-05-06 07:30:04 CEST 13h ago corvantis-a.timer "
                                           "corvantis-a.service\n")
                             << "Tue 2024-05-07 07:30:00 CEST";
        QTest::newRow("a zone as an offset")
            << QByteArray("Tue 2024-05-07 07:30:00 +03 10h left - - corvantis-a.timer "
                          "corvantis-a.service\n")
            << "Tue 2024-05-07 07:30:00 +03";
        QTest::newRow("not running, n/a")
            << QByteArray("n/a n/a n/a n/a corvantis-a.timer corvantis-a.service\n") << "-";
        QTest::newRow("not running, -")
            << QByteArray("- - Mon 2024-05-06 07:30:04 CEST 13h ago corvantis-a.timer "
                          "corvantis-a.service\n")
            << "-";
        QTest::newRow("another timer only")
            << QByteArray("Tue 2024-05-07 07:30:00 UTC 1h left n/a n/a corvantis-ab.timer "
                          "corvantis-ab.service\n")
            << "unknown";
        QTest::newRow("no bus") << QByteArray("fail") << "unknown";
    }
    void nextRuns() {
        QFETCH(QByteArray, listed);
        QFETCH(QString, next);
        QTemporaryDir dir;
        const QString args = dir.filePath(S("args"));
        WriteScript(dir.filePath(S("systemctl")),
                    "echo \"$*\" > '" + QFile::encodeName(args) + "'\n" +
                        (listed == "fail"
                             ? QByteArray("echo 'Failed to connect to bus' >&2\nexit 1\n")
                             : "printf '%s' '" + listed + "'\n"));
        QString error;
        QHash<QString, QString> runs;
        {
            PathOnly path(dir.path());
            runs = NextRuns({S("corvantis-a.timer")}, error);
        }
        QCOMPARE(error.isEmpty(), listed != "fail");
        QCOMPARE(runs.value(S("corvantis-a.timer"), S("unknown")), next);
        QVERIFY(ReadBytes(args).startsWith("--user list-timers "));
    }

    // The files as systemd reads them, with the characters its quoting rules
    // treat specially in the program's folder, the project's path and the values.
    void unitFilesPassSystemdVerify() {
        QTemporaryDir dir;
        const QString programFolder = dir.filePath(S("bin 100%zen $PATH"));
        QVERIFY(QDir().mkpath(programFolder));
        const QString program = programFolder + S("/corvantis-scan");
        WriteScript(program, "exit 0\n");
        const ScheduledCheck check{
            // One quote mark: left unescaped, it unbalances the line.
            .projectFile = dir.filePath(S("my site 100%zen $HOME \"best.cvp")),
            .when = *ParseSchedule(S("weekly@tue@07:30")),
            .scanProgram = program,
            .extraArguments = {S("--webhook"), S("https://example.org/h?a=\\1&b=%zz")},
            .environment = {S("CORVANTIS_HOME=") + dir.filePath(S("home 50%z"))}};
        // systemd expands "$NAME" in the arguments but not in the program's path,
        // which no check of the file shows: hold it to that rule here.
        const QString service = ServiceText(check);
        QVERIFY2(service.contains(S("ExecStart=\"") + dir.path() +
                                  S("/bin 100%%zen $PATH/corvantis-scan\" \"--project\" \"") +
                                  dir.path() + S("/my site 100%%zen $$HOME \\\"best.cvp\"")),
                 qPrintable(service));

        const QString units = dir.filePath(S("units"));
        ScheduleOutcome outcome;
        {
            PathOnly path(dir.filePath(S("nothing")));
            outcome = ApplySchedule(check, units);
        }
        QCOMPARE(outcome.error, QString());
        // What the window and "--schedule list" read back is what was written.
        ScheduledCheck written = check;
        written.projectFile = ProjectPath(check.projectFile);
        QCOMPARE(ReadScheduledCheck(units, check.projectFile), written);
        const QString base = units + u'/' + UnitBaseName(check.projectFile);
        // A check missed while the machine was off runs at its next start.
        QVERIFY(ReadBytes(base + S(".timer")).contains("\nPersistent=true\n"));
        const QString analyze = QStandardPaths::findExecutable(S("systemd-analyze"));
        if (analyze.isEmpty())
            QSKIP("no systemd-analyze on PATH");
        QProcess verify;
        verify.setProcessChannelMode(QProcess::MergedChannels);
        verify.start(analyze, {S("verify"), base + S(".service"), base + S(".timer")});
        QVERIFY(verify.waitForStarted(20000));
        if (!verify.waitForFinished(60000)) {
            verify.kill();
            verify.waitForFinished(5000);
            QSKIP("systemd-analyze verify gave no answer within 60 s");
        }
        const QString said = QString::fromLocal8Bit(verify.readAll());
        // Whatever it says about our units is a fault, warnings included.
        QVERIFY2(!said.contains(UnitBaseName(check.projectFile)), qPrintable(said));
        if (verify.exitStatus() != QProcess::NormalExit || verify.exitCode() != 0)
            QSKIP(qPrintable(S("systemd-analyze verify cannot run here: ") + said));
    }
};

CORVANTIS_TEST_MAIN(ScheduleTest)
#include "tst_schedule.moc"
