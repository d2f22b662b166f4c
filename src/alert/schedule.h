#pragma once

#include <QString>
#include <QStringList>
#include <QTime>

#include <optional>

namespace corvantis::alert {

// A check of a saved project run by the desktop's own timer service, so it
// happens while the program is closed: a systemd user timer and its service.

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

// "corvantis-<name>-<8 hex>": the project's base name in the characters a unit
// name takes, and a hash of its absolute path, so projects named alike in two
// folders get units of their own.
QString UnitBaseName(const QString& projectFile);

struct ScheduledCheck {
    QString projectFile; // made absolute where it is written
    Schedule when;
    QString scanProgram;             // absolute path of corvantis-scan
    QStringList extraArguments = {}; // the alert options, after --project FILE --save --notify
    QStringList environment = {};    // "NAME=value" for the service, e.g. CORVANTIS_HOME
};

QString TimerText(const ScheduledCheck& check);
QString ServiceText(const ScheduledCheck& check);
// The same check as one crontab line, for a desktop without a systemd user manager.
QString CrontabLine(const ScheduledCheck& check);

struct ScheduleOutcome {
    QString error;     // the unit files could not be written or removed; nothing was enabled
    QStringList lines; // what to tell the user
};

// Writes the timer and service into unitFolder and enables the timer, or for
// Off disables it and removes both files. When `systemctl --user` cannot be
// reached the files stay written and the lines say how to enable them by hand,
// with the crontab line as the other way.
ScheduleOutcome ApplySchedule(const ScheduledCheck& check, const QString& unitFolder);

// The check of a saved project, by corvantis-scan at scanProgram with the alert
// options given, in the user's unit folder; the service passes the application
// folder (CORVANTIS_HOME) on when it is set.
ScheduleOutcome ScheduleProject(const QString& projectFile, const Schedule& when,
                                const QString& scanProgram, const QStringList& alertArguments);

// $XDG_CONFIG_HOME/systemd/user, where the user's systemd looks for units.
QString UserUnitFolder();

} // namespace corvantis::alert
