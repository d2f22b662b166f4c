#include "schedule/schedule_install.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>

namespace corvantis::schedule {

namespace {

constexpr int kSystemctlMs = 20000;

QString WriteUnitFile(const QString& path, const QString& text) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) >= 0 && file.commit())
        return {};
    return QStringLiteral("could not write ") + path + QStringLiteral(": ") + file.errorString();
}

// Runs `systemctl --user ARGUMENTS`; empty when it succeeded, otherwise why not.
// What it printed goes to output when asked for.
QString RunSystemctl(const QString& program, const QStringList& arguments,
                     QByteArray* output = nullptr) {
    if (program.isEmpty())
        return QStringLiteral("no systemctl in PATH");
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, QStringList{QStringLiteral("--user")} + arguments);
    if (!process.waitForStarted(kSystemctlMs))
        return process.errorString();
    if (!process.waitForFinished(kSystemctlMs)) {
        process.kill();
        process.waitForFinished(kSystemctlMs);
        return QStringLiteral("systemctl gave no answer within %1 s").arg(kSystemctlMs / 1000);
    }
    if (output)
        *output = process.readAllStandardOutput();
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return {};
    const QString said =
        QString::fromLocal8Bit(process.readAllStandardError()).trimmed().section(u'\n', 0, 0);
    return said.isEmpty() ? QStringLiteral("exit code %1").arg(process.exitCode()) : said;
}

QString ReadText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The check a timer and its service in the folder hold; none without the timer.
std::optional<ScheduledCheck> ReadUnits(const QString& folder, const QString& base) {
    return CheckOfUnits(ReadText(folder + u'/' + base + QStringLiteral(".timer")),
                        ReadText(folder + u'/' + base + QStringLiteral(".service")));
}

// Where a project's units stand, and what the messages name.
struct Units {
    Units(const QString& projectFile, const QString& unitFolder)
        : timer(UnitBaseName(projectFile) + QStringLiteral(".timer")),
          timerPath(unitFolder + u'/' + timer),
          servicePath(unitFolder + u'/' + UnitBaseName(projectFile) + QStringLiteral(".service")),
          project(QFileInfo(projectFile).fileName()),
          systemctl(QStandardPaths::findExecutable(QStringLiteral("systemctl"))) {}
    QString timer, timerPath, servicePath, project, systemctl;
};

// The service and the timer, both or neither; the error, or nothing.
QString WriteUnits(const ScheduledCheck& check, const Units& u, const QString& unitFolder) {
    QString error = UnitProblem(check);
    if (error.isEmpty() && !QDir().mkpath(unitFolder))
        error = QStringLiteral("could not create the folder ") + unitFolder;
    if (!error.isEmpty())
        return error;
    const bool hadTimer = QFile::exists(u.timerPath);
    error = WriteUnitFile(u.servicePath, ServiceText(check));
    if (error.isEmpty()) {
        error = WriteUnitFile(u.timerPath, TimerText(check));
        if (!error.isEmpty() && !hadTimer)
            QFile::remove(u.servicePath); // no service without a timer left behind
    }
    return error;
}

} // namespace

ScheduleOutcome InstallSchedule(const ScheduledCheck& check, const QString& unitFolder) {
    const Units u(check.projectFile, unitFolder);
    ScheduleOutcome outcome;
    if (check.when.every == Every::Off) {
        outcome.error = QStringLiteral("a schedule that is off has no timer to install");
        return outcome;
    }
    outcome.error = WriteUnits(check, u, unitFolder);
    if (!outcome.error.isEmpty())
        return outcome;
    QString why = RunSystemctl(u.systemctl, {QStringLiteral("daemon-reload")});
    if (why.isEmpty())
        why =
            RunSystemctl(u.systemctl, {QStringLiteral("enable"), QStringLiteral("--now"), u.timer});
    if (why.isEmpty()) {
        outcome.lines << QStringLiteral("Scheduled check of ") + u.project + QStringLiteral(": ") +
                             ScheduleText(check.when) + QStringLiteral(", by the timer ") +
                             u.timerPath;
        return outcome;
    }
    outcome.lines << QStringLiteral("Wrote ") + u.timerPath + QStringLiteral(" and ") +
                         u.servicePath;
    outcome.lines << QStringLiteral("systemctl --user could not be reached (") + why +
                         QStringLiteral("): enable the check with \"systemctl --user "
                                        "daemon-reload\" and \"systemctl --user enable --now ") +
                         u.timer +
                         QStringLiteral("\", or add this line to your crontab (crontab -e): ") +
                         CrontabLine(check);
    return outcome;
}

ScheduleOutcome RemoveSchedule(const QString& projectFile, const QString& unitFolder) {
    const Units u(projectFile, unitFolder);
    ScheduleOutcome outcome;
    RunSystemctl(u.systemctl, {QStringLiteral("disable"), QStringLiteral("--now"), u.timer});
    for (const QString& path : {u.timerPath, u.servicePath}) {
        if (QFile::exists(path) && !QFile::remove(path)) {
            outcome.error = QStringLiteral("could not remove ") + path;
            return outcome;
        }
    }
    const QString why = RunSystemctl(u.systemctl, {QStringLiteral("daemon-reload")});
    if (why.isEmpty())
        outcome.lines << QStringLiteral("The scheduled check of ") + u.project +
                             QStringLiteral(" is off.");
    else
        outcome.lines << QStringLiteral("Removed the schedule's files; systemctl --user could "
                                        "not be reached (") +
                             why + QStringLiteral("): if its timer was on, stop it with ") +
                             QStringLiteral("\"systemctl --user disable --now ") + u.timer +
                             QStringLiteral("\", and remove its crontab line if you added one.");
    return outcome;
}

ScheduleOutcome ApplySchedule(const ScheduledCheck& check, const QString& unitFolder) {
    return check.when.every == Every::Off ? RemoveSchedule(check.projectFile, unitFolder)
                                          : InstallSchedule(check, unitFolder);
}

std::optional<ScheduledCheck> ReadScheduledCheck(const QString& unitFolder,
                                                 const QString& projectFile) {
    return ReadUnits(unitFolder, UnitBaseName(projectFile));
}

QList<ScheduledUnit> ScheduledChecks(const QString& unitFolder) {
    QList<ScheduledUnit> out;
    for (const QString& timer :
         QDir(unitFolder).entryList({QStringLiteral("corvantis-*.timer")}, QDir::Files, QDir::Name))
        if (const std::optional<ScheduledCheck> check = ReadUnits(unitFolder, timer.chopped(6)))
            out.append({timer, *check});
    return out;
}

QHash<QString, QString> NextRuns(const QStringList& timers, QString& error) {
    QHash<QString, QString> out;
    QByteArray listed;
    error = RunSystemctl(QStandardPaths::findExecutable(QStringLiteral("systemctl")),
                         QStringList{QStringLiteral("list-timers"), QStringLiteral("--all"),
                                     QStringLiteral("--no-legend"), QStringLiteral("--plain"),
                                     QStringLiteral("--no-pager")} +
                             timers,
                         &listed);
    if (!error.isEmpty())
        return out;
    // Each line: NEXT LEFT LAST PASSED UNIT ACTIVATES, NEXT a weekday, date, time
    // and zone, or "n/a" ("-" in later versions) for a timer that is not running.
    static const QRegularExpression next(QStringLiteral(
        "^\\s*([A-Z][a-z]{2} [0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}(?: "
        "[A-Za-z][A-Za-z0-9/_+-]*| [+-][0-9]+)?) "));
    for (const QString& line : QString::fromUtf8(listed).split(u'\n')) {
        const QStringList fields = line.split(u' ', Qt::SkipEmptyParts);
        for (const QString& timer : timers) {
            if (!fields.contains(timer))
                continue;
            const QRegularExpressionMatch m = next.match(line);
            out.insert(timer, m.hasMatch() ? m.captured(1) : QStringLiteral("-"));
        }
    }
    return out;
}

QString UserUnitFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/systemd/user");
}

} // namespace corvantis::schedule
