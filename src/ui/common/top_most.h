#pragma once

class QWidget;

namespace corvantis::ui {

// Puts a window into the layer above all ordinary windows, or takes it out,
// without moving, resizing or hiding it.
void SetTopMost(QWidget* window, bool on);

} // namespace corvantis::ui
