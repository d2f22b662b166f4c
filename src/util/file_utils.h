#pragma once

#include <QString>

namespace corvantis::util {

// Copies a file over any existing destination; failures are silent by design.
void CopyFileQuiet(const QString& source, const QString& destination);

// True when the path names an existing regular file that is not hidden.
bool FileExists(const QString& path);

// The text after the last "/" or "\" of a path; empty for an empty path or a folder path.
QString FileNameFromPath(const QString& path);

} // namespace corvantis::util
