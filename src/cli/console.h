#pragma once

#include <QString>
#include <QStringList>

namespace corvantis::cli {

// The exit status: 0 the scan ran, 3 it ran and a partner's link is lost (even
// when a later step failed), 2 the input was refused, 1 anything else failed (the
// report, the project, the history, an alert).
constexpr int kExitFailed = 1;
constexpr int kExitBadInput = 2;
constexpr int kExitLinkLost = 3;

// A message for the user, one line on stderr.
void PrintError(const QString& text);
// Input that cannot be used, said as the program's complaint; returns kExitBadInput.
int Refuse(const QString& why);
// One line of tab-separated fields on stdout.
void PrintLine(const QStringList& fields);

} // namespace corvantis::cli
