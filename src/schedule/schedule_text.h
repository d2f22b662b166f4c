#pragma once

#include <QString>
#include <QStringList>
#include <QTime>

#include <optional>

namespace corvantis::schedule {

// A check of a saved project run by the desktop's own timer service, so it
// happens while the program is closed: a systemd user timer and its service.
// Here, what the unit files and the crontab line say, and reading them back:
// pure functions of their arguments, touching no file. project_check.h names a
// project's check; schedule_install.h writes, installs and reads the units.

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

struct ScheduledCheck {
    QString projectFile; // its ProjectPath (project_check.h); the texts write it as it is
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

// The check a timer's and its service's texts hold, as ServiceText and
// TimerText write them; none without a calendar.
std::optional<ScheduledCheck> CheckOfUnits(const QString& timerText, const QString& serviceText);

} // namespace corvantis::schedule
