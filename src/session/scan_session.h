#pragma once

#include "session/run_state.h"
#include "session/scan_options.h"
#include "session/scan_project.h"

namespace corvantis::scan {

// Everything that lives as long as the main window: the project, the run state
// and the options. The windows are views of it; there is no second copy. Code
// that needs only one part takes only that part.
class ScanSession {
public:
    ScanProject project;
    RunState run;
    ScanOptions options;
};

} // namespace corvantis::scan
