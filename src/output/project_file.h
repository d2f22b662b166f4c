#pragma once

#include "output/project_format.h"
#include "session/scan_session.h"

#include <QString>

namespace corvantis::output {

// The session's project as data: domain, partner rows, the three texts, result rows.
ProjectData ProjectFromSession(const scan::ScanSession& session);

// The file text of the session's project.
QString ProjectTextFromSession(const scan::ScanSession& session);

// Puts a project that was read into the session the way opening a project does:
// both lists replaced, the project counted as saved, the domain change absorbed,
// a page-builder text replaced only when the file had its line. The page queue,
// the error list and the counters stay as they are.
void ApplyProject(scan::ScanSession& session, const ProjectData& project);

struct ProjectLoadResult {
    // The session now holds the file's project (perhaps only up to badLine).
    bool loaded = false;
    // Why nothing was loaded, for the user; empty when loaded.
    QString error;
    // A result line that could not be read (1-based), 0 when none, and what to tell the user.
    int badLine = 0;
    QString warning;
};

// Files larger than this are refused rather than read into memory whole.
inline constexpr qint64 kMaxProjectFileBytes = 256LL * 1024 * 1024;

// Reads a project file into the session. A file that cannot be read or is not a
// project leaves the session untouched and says why; a malformed result line
// keeps what came before it and names the line. Writes no settings.
ProjectLoadResult LoadProjectFile(const QString& path, scan::ScanSession& session);

// Writes the session's whole project to the file, replacing an older file only
// once the new one is complete. Returns the empty text on success, otherwise why not.
QString WriteProjectFile(const QString& path, const scan::ScanSession& session);

// Rewrites only the "RESULT:" lines of an existing project file with the given
// rows; every other line stays as it was. Returns the empty text or why it failed
// (the file is then unchanged).
QString WriteProjectResults(const QString& path, const QList<scan::ResultRow>& rows);

} // namespace corvantis::output
