#pragma once

class QCheckBox;
class QComboBox;

namespace corvantis::ui {

// Sets an option's control and keeps the option in the settings store under the
// control's name: every change is written at once ("1"/"0", or the position).
void KeepStored(QCheckBox* box, bool checked);
void KeepStored(QComboBox* box, int position);

} // namespace corvantis::ui
