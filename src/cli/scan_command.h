#pragma once

#include "cli/scan_request.h"

namespace corvantis::cli {

// Does what the request asks: lists or writes a schedule, or scans now and
// prints the results, records the history, writes the report and the project,
// and sends the alerts. Returns the exit status (see console.h).
int RunScanCommand(const ScanRequest& request);

} // namespace corvantis::cli
