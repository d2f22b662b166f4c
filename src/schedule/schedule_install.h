#pragma once

#include "schedule/project_check.h"
#include "schedule/schedule_text.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace corvantis::schedule {

// Installing a scheduled check: its unit files in the user's unit folder,
// enabled through `systemctl --user`, and read back from there. The unit files
// are the one record of a schedule.

struct ScheduleOutcome {
    QString error;     // the unit files could not be written or removed; nothing was enabled
    QStringList lines; // what to tell the user
};

// Writes the timer and service into unitFolder and enables the timer (a
// schedule that is Off is refused: RemoveSchedule ends one). When
// `systemctl --user` cannot be reached the files stay written and the lines say
// how to enable them by hand, with the crontab line as the other way.
ScheduleOutcome InstallSchedule(const ScheduledCheck& check, const QString& unitFolder);
// Disables the project's timer and removes its timer and service from
// unitFolder; when systemctl cannot be reached, the lines say how to stop it.
ScheduleOutcome RemoveSchedule(const QString& projectFile, const QString& unitFolder);
// Either, as the check's schedule says: removed when it is Off, else installed.
ScheduleOutcome ApplySchedule(const ScheduledCheck& check, const QString& unitFolder);

// The check the unit files in unitFolder hold for the project, read back from
// them; none when it has no timer there.
std::optional<ScheduledCheck> ReadScheduledCheck(const QString& unitFolder,
                                                 const QString& projectFile);
// Every check in unitFolder with its timer's name, by that name.
struct ScheduledUnit {
    QString timer; // "corvantis-....timer"
    ScheduledCheck check;
};
QList<ScheduledUnit> ScheduledChecks(const QString& unitFolder);

// When each timer runs next, as `systemctl --user list-timers` says
// ("Tue 2024-05-07 07:30:00 CEST"; "-" when it is not running); error says why
// systemctl could not be asked.
QHash<QString, QString> NextRuns(const QStringList& timers, QString& error);

// $XDG_CONFIG_HOME/systemd/user, where the user's systemd looks for units.
QString UserUnitFolder();

} // namespace corvantis::schedule
