#pragma once

class QWebEngineView;

namespace corvantis::ui {

// Every view of the program shows third-party pages (partner sites, the
// report's links). This sets a view up for that: pages cannot read local files,
// no plugins run, scripts cannot open windows on their own, and a page's
// pop-up (a link into a new window) opens in the same view, for web addresses
// only. Call it again after giving the view a new page.
void ConfigureBrowserView(QWebEngineView* view);

} // namespace corvantis::ui
