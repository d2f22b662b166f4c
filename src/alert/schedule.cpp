#include "alert/schedule.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <array>

namespace corvantis::alert {

namespace {

const std::array<QString, 7> kWeekdays = {
    QStringLiteral("mon"), QStringLiteral("tue"), QStringLiteral("wed"), QStringLiteral("thu"),
    QStringLiteral("fri"), QStringLiteral("sat"), QStringLiteral("sun")};

constexpr int kSystemctlMs = 20000;

QString TimeText(const Schedule& s) {
    return s.time.toString(QStringLiteral("HH:mm"));
}

QString AbsoluteProject(const ScheduledCheck& check) {
    return QFileInfo(check.projectFile).absoluteFilePath();
}

// The words the check runs, in one place for the service and the crontab line.
QStringList Command(const ScheduledCheck& check) {
    return QStringList{check.scanProgram, QStringLiteral("--project"), AbsoluteProject(check),
                       QStringLiteral("--save"), QStringLiteral("--notify")} +
           check.extraArguments;
}

// One quoted word of ExecStart= or Environment=. systemd unescapes C escapes
// inside the quotes and expands '%' specifiers everywhere; "$NAME" is expanded
// in the arguments only, so only they double '$'.
QString UnitWord(const QString& text, bool doubleDollar) {
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == u'\\' || c == u'"')
            out += u'\\';
        else if (c == u'%' || (doubleDollar && c == u'$'))
            out += c;
        out += c;
    }
    return out + u'"';
}

QString ShellWord(const QString& text) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_@+=:,./-]+$"));
    if (plain.match(text).hasMatch())
        return text;
    return u'\'' + QString(text).replace(u'\'', QStringLiteral("'\\''")) + u'\'';
}

QString Description(const ScheduledCheck& check) {
    return QStringLiteral("Description=Corvantis check of ") +
           QFileInfo(check.projectFile).fileName().replace(u'%', QStringLiteral("%%")) + u'\n';
}

// Why the check cannot be put into a unit file, or empty. A line break would
// end the setting, and systemd refuses quotes and backslashes in the program's path.
QString Unwritable(const ScheduledCheck& check) {
    const auto hasControl = [](const QString& text) {
        return std::any_of(text.begin(), text.end(),
                           [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
    };
    for (const QString& word : Command(check) + check.environment)
        if (hasControl(word))
            return QStringLiteral("a line break or control character in: ") + word.simplified();
    if (check.scanProgram.contains(u'"') || check.scanProgram.contains(u'\\'))
        return QStringLiteral("systemd cannot run a program whose path holds a quote or "
                              "backslash: ") +
               check.scanProgram;
    return {};
}

QString WriteUnitFile(const QString& path, const QString& text) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) >= 0 && file.commit())
        return {};
    return QStringLiteral("could not write ") + path + QStringLiteral(": ") + file.errorString();
}

// Runs `systemctl --user ARGUMENTS`; empty when it succeeded, otherwise why not.
QString RunSystemctl(const QString& program, const QStringList& arguments) {
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
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return {};
    const QString said =
        QString::fromLocal8Bit(process.readAllStandardError()).trimmed().section(u'\n', 0, 0);
    return said.isEmpty() ? QStringLiteral("exit code %1").arg(process.exitCode()) : said;
}

} // namespace

std::optional<Schedule> ParseSchedule(const QString& text) {
    static const QRegularExpression form(QRegularExpression::anchoredPattern(QStringLiteral(
                                             "(off)|(?:daily|weekly@(mon|tue|wed|thu|fri|sat|sun))@"
                                             "([01][0-9]|2[0-3]):([0-5][0-9])")),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    Schedule s;
    if (m.hasCaptured(1))
        return s;
    s.every = m.hasCaptured(2) ? Every::Weekly : Every::Daily;
    if (s.every == Every::Weekly)
        s.weekday = int(std::find(kWeekdays.begin(), kWeekdays.end(), m.captured(2).toLower()) -
                        kWeekdays.begin()) +
                    1;
    s.time = QTime(m.captured(3).toInt(), m.captured(4).toInt());
    return s;
}

QString ScheduleText(const Schedule& s) {
    switch (s.every) {
    case Every::Daily:
        return QStringLiteral("daily@") + TimeText(s);
    case Every::Weekly:
        return QStringLiteral("weekly@") + kWeekdays.at(s.weekday - 1) + u'@' + TimeText(s);
    case Every::Off:
        break;
    }
    return QStringLiteral("off");
}

QString OnCalendarText(const Schedule& s) {
    if (s.every == Every::Off)
        return {};
    const QString day = s.every == Every::Weekly ? kWeekdays.at(s.weekday - 1) + u' ' : QString();
    return day.left(1).toUpper() + day.mid(1) + QStringLiteral("*-*-* ") + TimeText(s) +
           QStringLiteral(":00");
}

QString UnitBaseName(const QString& projectFile) {
    const QFileInfo info(projectFile);
    QString name = info.completeBaseName().left(64);
    for (QChar& c : name)
        if (c.unicode() >= 128 || !(c.isLetterOrNumber() || c == u'_' || c == u'-'))
            c = u'-';
    if (name.isEmpty())
        name = QStringLiteral("project");
    const QByteArray hash =
        QCryptographicHash::hash(info.absoluteFilePath().toUtf8(), QCryptographicHash::Sha256);
    return QStringLiteral("corvantis-") + name + u'-' + QString::fromLatin1(hash.toHex().left(8));
}

QString TimerText(const ScheduledCheck& check) {
    return QStringLiteral("[Unit]\n") + Description(check) + QStringLiteral("\n[Timer]\n") +
           QStringLiteral("OnCalendar=") + OnCalendarText(check.when) + u'\n' +
           QStringLiteral("Persistent=true\n") + // a check missed while off runs at the next start
           QStringLiteral("\n[Install]\nWantedBy=timers.target\n");
}

QString ServiceText(const ScheduledCheck& check) {
    QString text = QStringLiteral("[Unit]\n") + Description(check) +
                   QStringLiteral("\n[Service]\nType=oneshot\n");
    for (const QString& variable : check.environment)
        text += QStringLiteral("Environment=") + UnitWord(variable, false) + u'\n';
    const QStringList command = Command(check);
    text += QStringLiteral("ExecStart=");
    for (qsizetype i = 0; i < command.size(); ++i)
        text += (i ? QStringLiteral(" ") : QString()) + UnitWord(command.at(i), i > 0);
    return text + u'\n';
}

QString CrontabLine(const ScheduledCheck& check) {
    QStringList words;
    words << QString::number(check.when.time.minute()) << QString::number(check.when.time.hour())
          << QStringLiteral("*") << QStringLiteral("*")
          << (check.when.every == Every::Weekly ? QString::number(check.when.weekday % 7)
                                                : QStringLiteral("*"));
    for (const QString& variable : check.environment)
        words << variable.section(u'=', 0, 0) + u'=' + ShellWord(variable.section(u'=', 1));
    // cron runs without the desktop's session bus: no notification could go out.
    QStringList command = Command(check);
    command.removeOne(QStringLiteral("--notify"));
    for (const QString& word : command)
        words << ShellWord(word);
    // cron turns a bare '%' into a line break, quoted or not.
    return words.join(u' ').replace(u'%', QStringLiteral("\\%"));
}

ScheduleOutcome ApplySchedule(const ScheduledCheck& check, const QString& unitFolder) {
    const QString base = UnitBaseName(check.projectFile);
    const QString timer = base + QStringLiteral(".timer");
    const QString timerPath = unitFolder + u'/' + timer;
    const QString servicePath = unitFolder + u'/' + base + QStringLiteral(".service");
    const QString project = QFileInfo(check.projectFile).fileName();
    const QString systemctl = QStandardPaths::findExecutable(QStringLiteral("systemctl"));
    const QString enable = QStringLiteral("\"systemctl --user enable --now ") + timer + u'"';
    const QString disable = QStringLiteral("\"systemctl --user disable --now ") + timer + u'"';
    ScheduleOutcome outcome;

    if (check.when.every == Every::Off) {
        RunSystemctl(systemctl, {QStringLiteral("disable"), QStringLiteral("--now"), timer});
        for (const QString& path : {timerPath, servicePath}) {
            if (QFile::exists(path) && !QFile::remove(path)) {
                outcome.error = QStringLiteral("could not remove ") + path;
                return outcome;
            }
        }
        const QString why = RunSystemctl(systemctl, {QStringLiteral("daemon-reload")});
        if (why.isEmpty())
            outcome.lines << QStringLiteral("The scheduled check of ") + project +
                                 QStringLiteral(" is off.");
        else
            outcome.lines << QStringLiteral("Removed the schedule's files; systemctl --user could "
                                            "not be reached (") +
                                 why + QStringLiteral("): if its timer was on, stop it with ") +
                                 disable +
                                 QStringLiteral(", and remove its crontab line if "
                                                "you added one.");
        return outcome;
    }

    outcome.error = Unwritable(check);
    if (outcome.error.isEmpty() && !QDir().mkpath(unitFolder))
        outcome.error = QStringLiteral("could not create the folder ") + unitFolder;
    if (!outcome.error.isEmpty())
        return outcome;
    const bool hadTimer = QFile::exists(timerPath);
    outcome.error = WriteUnitFile(servicePath, ServiceText(check));
    if (outcome.error.isEmpty()) {
        outcome.error = WriteUnitFile(timerPath, TimerText(check));
        if (!outcome.error.isEmpty() && !hadTimer)
            QFile::remove(servicePath); // no service without a timer left behind
    }
    if (!outcome.error.isEmpty())
        return outcome;

    QString why = RunSystemctl(systemctl, {QStringLiteral("daemon-reload")});
    if (why.isEmpty())
        why = RunSystemctl(systemctl, {QStringLiteral("enable"), QStringLiteral("--now"), timer});
    if (why.isEmpty()) {
        outcome.lines << QStringLiteral("Scheduled check of ") + project + QStringLiteral(": ") +
                             ScheduleText(check.when) + QStringLiteral(", by the timer ") +
                             timerPath;
        return outcome;
    }
    outcome.lines << QStringLiteral("Wrote ") + timerPath + QStringLiteral(" and ") + servicePath;
    outcome.lines << QStringLiteral("systemctl --user could not be reached (") + why +
                         QStringLiteral("): enable the check with \"systemctl --user "
                                        "daemon-reload\" and ") +
                         enable +
                         QStringLiteral(", or add this line to your crontab (crontab -e): ") +
                         CrontabLine(check);
    return outcome;
}

ScheduleOutcome ScheduleProject(const QString& projectFile, const Schedule& when,
                                const QString& scanProgram, const QStringList& alertArguments) {
    QStringList environment;
    if (qEnvironmentVariableIsSet("CORVANTIS_HOME"))
        environment << QStringLiteral("CORVANTIS_HOME=") + qEnvironmentVariable("CORVANTIS_HOME");
    return ApplySchedule(ScheduledCheck{QFileInfo(projectFile).absoluteFilePath(), when,
                                        scanProgram, alertArguments, environment},
                         UserUnitFolder());
}

QString UserUnitFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/systemd/user");
}

} // namespace corvantis::alert
