#pragma once

#include <QString>
#include <QStringList>

namespace corvantis::mailstore {

// The output types of the export window, by their place in its list; NoChoice
// is the state before the user picks one and means the semicolon.
enum class OutputType { NoChoice = -1, Semicolon = 0, Tab = 1, LineFeed = 2 };

// The text written after every address. The space option applies to the
// semicolon only.
QString ExportDelimiter(OutputType type, bool spaceBetween);

// Every address followed by the delimiter (the last one too), then CR LF.
QString BuildExportText(const QStringList& emails, const QString& delimiter);

} // namespace corvantis::mailstore
