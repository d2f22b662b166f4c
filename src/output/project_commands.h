#pragma once

#include "session/scan_session.h"
#include "util/seams.h"

#include <QString>

namespace corvantis::output {

// The project commands of the main window: New, Open, Save and the question when
// the window closes. They act on the session and ask through the seams.

inline const QString kProjectFilter = QStringLiteral("Project Files (*.prj)");

// The folder the project dialogs start in: "Project Files" in the application folder.
QString ProjectFolder();

// The file name the save dialog proposes for a domain: dots and "http://",
// "https://" taken out, cut before a "/" that follows the first character, ".prj"
// appended; "Unnamed.prj" for an empty domain.
QString DefaultProjectFileName(const QString& domain);

// Empties the partner list, the page queue and the result list, empties the
// domain and puts the default page-builder texts in. Asks nothing. The window
// empties its own entry fields.
void NewProject(scan::ScanSession& session);

// Asks for a project file and loads it. Returns whether a project was loaded.
bool OpenProject(scan::ScanProject& project, util::Messages& messages, util::FileDialogs& dialogs);

// Asks for a file name and writes the project; after a failure it says why and
// asks once more, proposing "unnamed.prj". Returns whether the project was saved.
bool SaveProject(scan::ScanProject& project, util::Messages& messages, util::FileDialogs& dialogs);

inline const QString kSaveQuestionTitle = QStringLiteral("Save Project?");
inline const QString kSaveQuestionText =
    QStringLiteral("The current project has been edited but has not been saved.\n"
                   "Would you like to save now?");

// Run first when the main window closes: offers to save an edited project.
// Returns whether the window may close: not when the user chose to save and the
// save was cancelled or failed, so the edits are not lost with the window.
bool RunExitCheck(scan::ScanProject& project, util::Messages& messages, util::FileDialogs& dialogs);

} // namespace corvantis::output
