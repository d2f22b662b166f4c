#include "cli/schedule_command.h"

#include "cli/console.h"
#include "schedule/project_check.h"
#include "schedule/schedule_install.h"

#include <QCoreApplication>

namespace corvantis::cli {

int ScheduleProject(const ScanRequest& r) {
    const schedule::ScheduledCheck check =
        schedule::CheckOfProject(*r.project, *r.schedule, QCoreApplication::applicationFilePath(),
                              r.carried + r.alerts.arguments());
    if (const QString why = schedule::UnitProblem(check);
        !why.isEmpty() && r.schedule->every != schedule::Every::Off)
        return Refuse(QStringLiteral("--schedule: ") + why);
    const schedule::ScheduleOutcome done = schedule::ApplySchedule(check, schedule::UserUnitFolder());
    for (const QString& line : done.lines)
        PrintLine({line});
    if (done.error.isEmpty())
        return 0;
    PrintError(done.error);
    return kExitFailed;
}

int ListSchedules() {
    const QList<schedule::ScheduledUnit> units = schedule::ScheduledChecks(schedule::UserUnitFolder());
    QStringList timers;
    for (const schedule::ScheduledUnit& unit : units)
        timers << unit.timer;
    QString why;
    const QHash<QString, QString> next =
        timers.isEmpty() ? QHash<QString, QString>() : schedule::NextRuns(timers, why);
    if (!why.isEmpty())
        PrintError(QStringLiteral("systemctl --user could not be reached (") + why +
                   QStringLiteral("): the next runs are not known."));
    for (const schedule::ScheduledUnit& unit : units)
        PrintLine({unit.check.projectFile, schedule::ScheduleText(unit.check.when),
                   next.value(unit.timer, QStringLiteral("unknown"))});
    return 0;
}

} // namespace corvantis::cli
