#include "ui/common/twips.h"

namespace corvantis::ui {

int TwipsToPixels(double twips, double dpi) {
    return qRound(twips * dpi / kTwipsPerInch);
}

int PixelsToTwips(int pixels, double dpi) {
    return qRound(pixels * kTwipsPerInch / dpi);
}

QRect TwipsToPixels(const QRect& twips, double dpi) {
    const int left = TwipsToPixels(twips.left(), dpi);
    const int top = TwipsToPixels(twips.top(), dpi);
    return QRect(left, top, TwipsToPixels(twips.left() + twips.width(), dpi) - left,
                 TwipsToPixels(twips.top() + twips.height(), dpi) - top);
}

} // namespace corvantis::ui
