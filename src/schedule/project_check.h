#pragma once

#include "schedule/schedule_text.h"

#include <QString>
#include <QStringList>

namespace corvantis::schedule {

// How a project names its scheduled check: by the one path of its file, which
// is read from the file system, and with what the environment passes on.

// The project file's one path, whatever way it was named: absolute, every
// symbolic link followed (a dangling one too), even when the file is gone.
QString ProjectPath(const QString& projectFile);

// "corvantis-<name>-<8 hex>": the project's base name in the characters a unit
// name takes, and a hash of its ProjectPath, so projects named alike in two
// folders get units of their own and one project reached two ways gets one.
QString UnitBaseName(const QString& projectFile);

// The check of a saved project (named by its ProjectPath) by corvantis-scan at
// scanProgram with the arguments given; the service passes the application
// folder (CORVANTIS_HOME) on, as an absolute path, when it is set.
ScheduledCheck CheckOfProject(const QString& projectFile, const Schedule& when,
                              const QString& scanProgram, const QStringList& arguments);

} // namespace corvantis::schedule
