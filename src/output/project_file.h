#pragma once

#include "output/project_format.h"
#include "session/scan_project.h"

#include <QString>

namespace corvantis::output {

// The project as data: domain, partner rows, the three texts, result rows.
ProjectData ProjectFromSession(const scan::ScanProject& project);

// The file text of the project.
QString ProjectTextFromSession(const scan::ScanProject& project);

// Puts the data read from a project file into the project the way opening one does:
// both lists replaced, the project counted as saved, the domain change absorbed,
// a page-builder text replaced only when the file had its line.
void ApplyProject(scan::ScanProject& project, const ProjectData& data);

struct ProjectLoadResult {
    // The project now holds the file's contents (perhaps only up to badLine).
    bool loaded = false;
    // Why nothing was loaded, for the user; empty when loaded.
    QString error;
    // A result line that could not be read (1-based), 0 when none, and what to tell the user.
    int badLine = 0;
    QString warning;
};

// Files larger than this are refused rather than read into memory whole.
inline constexpr qint64 kMaxProjectFileBytes = 256LL * 1024 * 1024;

// Reads a project file into the project. A file that cannot be read or is not a
// project leaves the project untouched and says why; a malformed result line
// keeps what came before it and names the line. Writes no settings.
ProjectLoadResult LoadProjectFile(const QString& path, scan::ScanProject& project);

// Why the file is not a project file that reads, for the user; empty when it is.
QString ProjectFileError(const QString& path);

// Writes the whole project to the file, replacing an older file only
// once the new one is complete. Returns the empty text on success, otherwise why not.
QString WriteProjectFile(const QString& path, const scan::ScanProject& project);

// Rewrites only the "RESULT:" lines of an existing project file with the given
// rows; every other line stays as it was. Returns the empty text or why it failed
// (the file is then unchanged).
QString WriteProjectResults(const QString& path, const QList<scan::ResultRow>& rows);

} // namespace corvantis::output
