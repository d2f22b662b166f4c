#pragma once

#include "cli/scan_request.h"

#include <QString>
#include <QStringList>

#include <span>

namespace corvantis::cli {

// What --schedule does with an option: takes it into the check's command as
// given, or with its file made absolute; refuses it; or the option is one the
// schedule handles itself (the project, the alerts).
enum class InSchedule { Carried, CarriedPath, Refused, Own };

// Where an option's value comes from when it is not given.
enum class DefaultFrom {
    None,        // nothing: without the option, what it asks for is not done
    Options,     // the desktop program's options
    Application, // a place in the application folder
};

// How an option sets the request from its values (none for a switch, one per
// time it was given otherwise); an error for the user when a value cannot be used.
using SetRequest = QString (*)(ScanRequest& request, const QStringList& values);
// The value an option not given comes to, from the desktop program's options.
using DefaultOf = QString (*)(const scan::ScanOptions& options);

// One option of corvantis-scan. --help, the manual page, the shell completion,
// the parsing and the options a schedule passes on are all made from these rows.
struct OptionRow {
    const char* name;
    const char* valueName; // nullptr for a switch
    const char* help;      // one sentence or more, ending in a full stop
    SetRequest set;
    DefaultFrom defaultFrom = DefaultFrom::None;
    DefaultOf defaultOf = nullptr;
    InSchedule inSchedule = InSchedule::Carried;
    bool takesFile = false; // its value names a file (for the shell's completion)
};

// Every option, in the order --help lists them.
std::span<const OptionRow> ScanOptionRows();

// The row's help with the value the option comes to when not given, for --help
// ("Page time-out in seconds (now 60, from the options).").
QString HelpWithDefault(const OptionRow& row, const scan::ScanOptions& options);

} // namespace corvantis::cli
