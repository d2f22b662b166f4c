#pragma once

#include <QRect>

namespace corvantis::ui {

// The windows are drawn in twips (1/1440 inch) and placed in pixels at the
// screen's logical DPI: 15 twips a pixel at 96 DPI.
inline constexpr int kTwipsPerInch = 1440;
int TwipsToPixels(double twips, double dpi);
int PixelsToTwips(int pixels, double dpi);
// Edges are converted one by one, so controls that touch in twips touch in pixels.
QRect TwipsToPixels(const QRect& twips, double dpi);

} // namespace corvantis::ui
