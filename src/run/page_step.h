#pragma once

// The inside of the scan engine; windows include scan_engine.h instead.

namespace corvantis::scan {

// Where the page under way is. Finished means no page is being worked on: the
// scan is between two pages or sites, or stopped.
enum class PageStep { Fetching, Rendering, Capturing, Extracting, FollowingRedirect, Finished };

} // namespace corvantis::scan
