#pragma once

#include "util/seams.h"

namespace corvantis::scan {
class ScanSession;
}

namespace corvantis::ui {

// The store part of the main window's "Delete All Emails": asks "Confirm", then
// empties the store. True when the addresses were deleted; the window then
// empties its result list and resets "Links Found". A store that cannot be used
// is reported and left as it was.
bool ConfirmDeleteAllEmails(util::Messages& messages);

// The addresses are gone from the store: the result list empties and "Links
// Found" starts again.
void ForgetLinksFound(scan::ScanSession& session);

// "View Database": opens the application folder, which holds the store, in the
// desktop's file manager. False when no file manager could be started.
bool ViewDatabase();

} // namespace corvantis::ui
