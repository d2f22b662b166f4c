#pragma once

#include <QString>

namespace corvantis::cli {

// corvantis-scan(1) in roff (man(7)), its options section made from the option
// table with the defaults a new user has.
QString ScanManPage(const QString& version, const QString& date);

// A bash completion for corvantis-scan: its options from the option table, and
// file names after the options that take a file.
QString ScanBashCompletion();

} // namespace corvantis::cli
