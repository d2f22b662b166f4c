#pragma once

#include "cli/scan_request.h"

#include <QString>
#include <QStringList>

#include <span>

namespace corvantis::cli {

// corvantis-scan's command line, read: the request, or why it was refused, or
// the text --help or --version asks for.
struct ParsedCommandLine {
    ScanRequest request;
    QString error;  // for the user; the run is refused
    QString output; // --help or --version: print it and end
};

// Reads the arguments (the program's name first) over the desktop program's
// options; every value is checked, and so is what options need of each other.
ParsedCommandLine ParseScanCommandLine(const QStringList& arguments,
                                       const scan::ScanOptions& options);

// Whether the keyring may be asked for a secret (an SMTP login or a webhook
// without its secret in the environment): its client answers through the GLib
// main loop. Read before the application exists.
bool MayAskKeyring(std::span<char* const> arguments);

} // namespace corvantis::cli
