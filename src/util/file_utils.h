#pragma once

#include <QString>

namespace corvantis::util {

// Copies a file over any existing destination, replacing it only once the copy
// is whole. Returns the empty text on success, otherwise why it failed.
QString CopyFileSafely(const QString& source, const QString& destination);

// The same copy for callers that carry on whatever happens.
void CopyFileQuiet(const QString& source, const QString& destination);

// True when the path names an existing regular file that is not hidden.
bool FileExists(const QString& path);

// The text after the last "/" or "\" of a path; empty for an empty path or a folder path.
QString FileNameFromPath(const QString& path);

} // namespace corvantis::util
