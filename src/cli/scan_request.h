#pragma once

#include "alert/alert_settings.h"
#include "schedule/schedule_text.h"
#include "session/scan_options.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace corvantis::cli {

// What corvantis-scan's command line asks for, checked. An option not given
// changes nothing: `options` starts as the desktop program's options.
struct ScanRequest {
    scan::ScanOptions options; // this run's, with the command line's changes
    std::optional<QString> domain;
    std::optional<QString> partnersFile;
    QStringList partners; // the arguments, "address" or "address|N"
    QStringList connectTo;
    bool stats = false;
    bool quiet = false;
    bool noReadAhead = false;
    std::optional<QString> project;
    bool save = false;
    std::optional<QString> report;
    bool json = false; // --format json
    std::optional<QString> history;
    bool noHistory = false;
    alert::AlertSettings alerts;
    bool scheduled = false; // the run is a scheduled check
    std::optional<corvantis::schedule::Schedule> schedule;
    bool listSchedules = false;
    // The scan options given, as a scheduled check's command takes them on.
    QStringList carried;
};

} // namespace corvantis::cli
