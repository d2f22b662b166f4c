#pragma once

#include <QString>

namespace corvantis::util {

struct TextFileRead {
    bool ok = false;
    QString text;
    QString error; // why the file could not be read, for the user
};

// Reads a file the user keeps (project, import list): UTF-8, or Windows-1252
// when the bytes are not valid UTF-8, so files made on Windows open unchanged.
TextFileRead ReadUserTextFile(const QString& path);

// Decodes bytes by the same rule as ReadUserTextFile.
QString DecodeUserText(const QByteArray& bytes);

// Writes a file the user keeps as UTF-8, through a temporary file in the same
// folder renamed over the old one, so a failed write leaves the old file whole.
// Returns the empty text on success, otherwise why it failed.
QString WriteUserTextFile(const QString& path, const QString& text);

// Windows-1252 to text: Latin-1 with the printable characters of 0x80..0x9F.
QString FromWindows1252(const QByteArray& bytes);

} // namespace corvantis::util
