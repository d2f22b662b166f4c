#include "cli/schedule_command.h"

#include "alert/schedule.h"
#include "cli/console.h"

#include <QCoreApplication>

namespace corvantis::cli {

int ScheduleProject(const ScanRequest& r) {
    const alert::ScheduledCheck check =
        alert::CheckOfProject(*r.project, *r.schedule, QCoreApplication::applicationFilePath(),
                              r.carried + r.alerts.arguments());
    if (const QString why = alert::UnitProblem(check);
        !why.isEmpty() && r.schedule->every != alert::Every::Off)
        return Refuse(QStringLiteral("--schedule: ") + why);
    const alert::ScheduleOutcome done = alert::ApplySchedule(check, alert::UserUnitFolder());
    for (const QString& line : done.lines)
        PrintLine({line});
    if (done.error.isEmpty())
        return 0;
    PrintError(done.error);
    return kExitFailed;
}

int ListSchedules() {
    const QList<alert::ScheduledUnit> units = alert::ScheduledChecks(alert::UserUnitFolder());
    QStringList timers;
    for (const alert::ScheduledUnit& unit : units)
        timers << unit.timer;
    QString why;
    const QHash<QString, QString> next =
        timers.isEmpty() ? QHash<QString, QString>() : alert::NextRuns(timers, why);
    if (!why.isEmpty())
        PrintError(QStringLiteral("systemctl --user could not be reached (") + why +
                   QStringLiteral("): the next runs are not known."));
    for (const alert::ScheduledUnit& unit : units)
        PrintLine({unit.check.projectFile, alert::ScheduleText(unit.check.when),
                   next.value(unit.timer, QStringLiteral("unknown"))});
    return 0;
}

} // namespace corvantis::cli
