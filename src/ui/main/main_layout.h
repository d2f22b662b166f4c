#pragma once

#include "ui/common/twips.h"

#include <QHash>
#include <QList>
#include <QRect>
#include <QSize>
#include <QString>

#include <array>

namespace corvantis::ui {

// The client area the window opens with.
inline constexpr QSize kFirstClientTwips{15840, 11655};

// The arrangement rules are written for the window's outer size. The outer
// width is taken as the client width (the status bar's panels then fill it
// exactly); the outer height adds the title and menu bar of a classic window.
inline constexpr int kOuterExtraHeight = 540;
QSize OuterSizeTwips(QSize clientTwips);
QSize ClientSizeTwips(QSize outerTwips);

// Where the main window's controls stand: each by its control name, in twips,
// relative to its container (the client area, a frame, or the page builder).
struct MainLayout {
    QHash<QString, QRect> rects;
    std::array<int, 4> panelWidths{}; // the status bar's four panels, left to right
    // Column widths of the lists, set once per run. "Description", the partner
    // list's last column, keeps its default width and has no entry.
    QList<int> list1Columns;
    QList<int> list3Columns;
    QList<int> lstErrColumns;

    QRect rect(const QString& name) const { return rects.value(name); }
};

// Every placed control at its design position; the detailed entry form.
MainLayout DesignLayout();

// ApplyViewMode's moves: the button row under the last visible entry field and
// the partner list under the buttons.
void ApplyViewModeLayout(MainLayout& layout, bool simpleView);

// ArrangeMainWindow's rules, in their order, for the given outer size. Every
// computed position and size is taken as its absolute value, so a window made
// too small gives mirrored, positive sizes rather than failures.
void ArrangeLayout(MainLayout& layout, QSize outerTwips);

// The whole arrangement: design positions, then the view mode, then the rules.
MainLayout ArrangeMainWindow(QSize outerTwips, bool simpleView);

} // namespace corvantis::ui
