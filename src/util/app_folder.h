#pragma once

#include <QString>

namespace corvantis::util {

// The folder that holds every file the program uses by a fixed name: work files,
// the report, the e-mail store, help, sounds and "Project Files". It is
// $CORVANTIS_HOME when set, otherwise the per-user data folder. The first call
// creates it and copies in the shipped assets, never replacing a user's file.
QString AppFolder();

// A path below the application folder, joined with "/".
QString AppFilePath(const QString& relative);

// Forgets the folder chosen earlier, so the next call looks again (tests switch folders).
void ResetAppFolderForTests();

} // namespace corvantis::util
