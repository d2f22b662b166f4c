#pragma once

#include <QString>
#include <QStringList>
#include <QTime>

#include <optional>

namespace corvantis::alert {

// A check of a saved project run by the desktop's own timer service, so it
// happens while the program is closed: a systemd user timer and its service.
// Here, what the unit files say and how a project names them; schedule.h
// writes, installs and reads them.

enum class Every { Off, Daily, Weekly };

struct Schedule {
    Every every = Every::Off;
    int weekday = 1; // 1 Monday .. 7 Sunday; weekly only
    QTime time;      // whole minutes

    bool operator==(const Schedule&) const = default;
};

// "daily@07:30", "weekly@mon@07:30" (mon..sun) or "off", any case; the time is
// HH:MM. Anything else is refused.
std::optional<Schedule> ParseSchedule(const QString& text);
// The same form back, lower case.
QString ScheduleText(const Schedule& schedule);
// The timer's calendar: "*-*-* 07:30:00" or "Mon *-*-* 07:30:00"; empty when off.
QString OnCalendarText(const Schedule& schedule);
// The calendar back, as OnCalendarText writes it; nothing for any other.
std::optional<Schedule> ParseOnCalendar(const QString& text);

// The project file's one path, whatever way it was named: absolute, every
// symbolic link followed (a dangling one too), even when the file is gone.
QString ProjectPath(const QString& projectFile);

// "corvantis-<name>-<8 hex>": the project's base name in the characters a unit
// name takes, and a hash of its ProjectPath, so projects named alike in two
// folders get units of their own and one project reached two ways gets one.
QString UnitBaseName(const QString& projectFile);

struct ScheduledCheck {
    QString projectFile; // written as its ProjectPath
    Schedule when;
    QString scanProgram;             // absolute path of corvantis-scan
    QStringList extraArguments = {}; // after --project FILE --save --scheduled
    QStringList environment = {};    // "NAME=value" for the service, e.g. CORVANTIS_HOME

    bool operator==(const ScheduledCheck&) const = default;
};

QString TimerText(const ScheduledCheck& check);
QString ServiceText(const ScheduledCheck& check);
// Why the check cannot be written into unit files, or empty: a line break would
// end a setting, and systemd refuses quotes and backslashes in the program's path.
QString UnitProblem(const ScheduledCheck& check);
// The same check as one crontab line, for a desktop without a systemd user manager.
QString CrontabLine(const ScheduledCheck& check);

// The check of a saved project by corvantis-scan at scanProgram with the
// arguments given; the service passes the application folder (CORVANTIS_HOME)
// on, as an absolute path, when it is set.
ScheduledCheck CheckOfProject(const QString& projectFile, const Schedule& when,
                              const QString& scanProgram, const QStringList& arguments);

// The check a timer's and its service's texts hold, as ServiceText and
// TimerText write them; none without a calendar.
std::optional<ScheduledCheck> CheckOfUnits(const QString& timerText, const QString& serviceText);

} // namespace corvantis::alert
