#pragma once

#include "cli/scan_request.h"

namespace corvantis::cli {

// --schedule WHEN: writes the project's scheduled check (or ends it) and says
// what was done; the exit status.
int ScheduleProject(const ScanRequest& request);

// --schedule list: one line per scheduled project, its file, when, and the next
// run as systemd says, where it can be asked.
int ListSchedules();

} // namespace corvantis::cli
