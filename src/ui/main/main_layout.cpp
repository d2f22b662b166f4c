#include "ui/main/main_layout.h"

#include <QtMath>

namespace corvantis::ui {

namespace {

struct Placed {
    const char* name;
    int left, top, width, height;
};

// Design positions. The frames' rectangles are the window's own; the rest is
// chosen so that at the first client size and the default font every caption
// fits and nothing overlaps.
constexpr int kStatusBarHeight = 390;
constexpr int kFirstClientHeight = 11655;
constexpr Placed kDesign[] = {
    // The client area: the button row above the frames, the frames, the status bar.
    {"cmdNew", 60, 210, 840, 390},
    {"cmdOpen", 930, 210, 840, 390},
    {"cmdSave", 1800, 210, 840, 390},
    {"Command7", 2730, 210, 1290, 390},
    {"Command1", 4110, 210, 840, 390},
    {"cmdStop", 4980, 210, 840, 390},
    {"cmdResume", 5850, 210, 960, 390},
    {"cmdNextSearch", 6840, 210, 840, 390},
    {"Combo1", 7770, 210, 2280, 390},
    {"Combo2", 10080, 210, 2895, 390},
    {"cmdWebsite", 13065, 210, 2575, 390},
    {"Frame1", 0, 840, 4275, 6675},
    {"Frame2", 4320, 840, 4275, 9195},
    // "Options" is 2850 twips taller than first designed, for "Sites at once"
    // and "Accept invalid certificates" (a row each), "Check link value", "Start
    // with the page where the link stood last time", "Look at pages as a browser
    // does", "Keep connections open between pages" and "Call a link lost after"
    // (wrapped captions); "Statistics" starts that much lower to make room.
    {"Frame4", 8640, 840, 2895, 6765},
    {"Frame3", 8640, 7590, 2895, 1725},
    {"StatusBar1", 0, kFirstClientHeight - kStatusBarHeight, 15840, kStatusBarHeight},
    {"pb1", 13225, kFirstClientHeight - kStatusBarHeight + 90, 2590, 270},
    // "Websites"
    {"Label1", 120, 300, 2400, 240},
    {"txtDomain", 120, 540, 4035, 330},
    {"Label2", 120, 1005, 1470, 240},
    {"Text1", 1620, 960, 2535, 330},
    {"Label3", 120, 1395, 1470, 240},
    {"Text2", 1620, 1350, 2535, 330},
    {"Label15", 120, 1785, 1470, 240},
    {"Text3", 1620, 1740, 2535, 330},
    {"Label16", 120, 2175, 1470, 240},
    {"Text4", 1620, 2130, 2535, 330},
    {"Label17", 120, 2565, 1470, 240},
    {"Text5", 1620, 2520, 2535, 330},
    {"cmdAdd", 120, 2910, 900, 360},
    {"cmbDel", 1080, 2910, 900, 360},
    {"cmdEdit", 2040, 2910, 900, 360},
    {"Command4", 3000, 2910, 900, 360},
    {"List1", 120, 3330, 4035, 2000},
    {"Label4", 120, 5430, 2400, 240},
    {"List2", 120, 5670, 4035, 1000},
    // "Link Results"
    {"TabStrip1", 70, 285, 4135, 8800},
    {"List3", 120, 705, 4035, 5000},
    {"lblErr", 120, 5730, 1650, 300},
    {"lstErr", 120, 5980, 4035, 2000},
    {"cmdBack", 120, 1110, 420, 420},
    {"cmdForward", 570, 1110, 420, 420},
    {"cmdWebStop", 1020, 1110, 420, 420},
    {"cmdRefresh", 1470, 1110, 420, 420},
    {"txtURL", 1940, 1155, 1675, 330},
    {"cmdGo", 3735, 1110, 420, 420},
    {"WebBrowser1", 120, 1620, 4035, 7000},
    {"Frame5", 180, 720, 3975, 6135},
    {"Command8", 120, 1110, 1650, 420},
    {"WebBrowser2", 120, 1620, 4035, 7000},
    // "Page Builder"
    {"Command5", 100, 300, 1650, 360},
    {"Command6", 1800, 300, 1650, 360},
    {"Label18", 100, 735, 810, 240},
    {"chkBullet", 960, 720, 1530, 270},
    {"chkNewWin", 2550, 720, 2760, 270},
    {"Label12", 100, 1050, 2400, 240},
    {"txtHTML1", 100, 1290, 3775, 1200},
    {"Label13", 100, 2490, 2400, 240},
    {"txtHTML2", 100, 2730, 3775, 2000},
    {"Label14", 100, 4830, 2400, 240},
    {"txtHTML3", 100, 5070, 3775, 1200},
    // "Options": long captions wrap in a label beside their check box.
    {"Label5", 90, 255, 2700, 210},
    {"chkAuto2", 60, 480, 255, 240},
    {"lblAuto2", 315, 465, 2535, 420},
    {"chkAuto", 60, 900, 255, 240},
    {"lblAuto", 315, 885, 2535, 420},
    {"cmbAdvance", 315, 1320, 1200, 315},
    {"Label7", 90, 1695, 810, 210},
    {"Label8", 945, 1695, 450, 210},
    {"txtTimeout", 1440, 1650, 510, 315},
    {"Label9", 2010, 1695, 750, 210},
    {"lblSitesAtOnce", 90, 2025, 1350, 210},
    {"txtSitesAtOnce", 1440, 1980, 510, 315},
    {"chkRedirect", 90, 2310, 2700, 255},
    {"chkAcceptInvalidCerts", 90, 2580, 2700, 255},
    {"chkLinkValue", 60, 2865, 255, 240},
    {"lblLinkValue", 315, 2850, 2535, 420},
    {"chkFromHistory", 60, 3285, 255, 240},
    {"lblFromHistory", 315, 3270, 2535, 420},
    {"chkRender", 60, 3705, 255, 240},
    {"lblRender", 315, 3690, 2535, 420},
    {"chkKeepAlive", 60, 4125, 255, 240},
    {"lblKeepAlive", 315, 4110, 2535, 420},
    {"lblLostAfter", 90, 4530, 2100, 630},
    {"txtLostAfter", 2250, 4688, 510, 315},
    {"Label10", 90, 5190, 2760, 420},
    {"cmbLastSearch", 90, 5610, 2700, 315},
    {"Label11", 90, 5985, 600, 210},
    {"chkAudioEmail", 750, 5940, 2040, 255},
    {"chkAudioNext", 750, 6195, 2040, 255},
    {"chkAudioFinished", 750, 6450, 2040, 255},
    // "Statistics", and the e-mail buttons under the counters.
    {"Label19", 90, 255, 2700, 210},
    {"Label20", 210, 495, 1440, 210},
    {"lblStats_0", 1665, 495, 1140, 210},
    {"Label21", 210, 735, 1440, 210},
    {"lblStats_1", 1665, 735, 1140, 210},
    {"Label22", 210, 975, 1440, 210},
    {"lblStats_2", 1665, 975, 1140, 210},
    {"Label23", 90, 1275, 2700, 210},
    {"Label24", 210, 1515, 1440, 210},
    {"lblStats_3", 1665, 1515, 1140, 210},
    {"Label25", 210, 1755, 1440, 210},
    {"lblStats_4", 1665, 1755, 1140, 210},
    {"cmdViewDatabase", 90, 2100, 2715, 360},
    {"Command2", 90, 2520, 2715, 360},
    {"Command3", 90, 2940, 2715, 360},
};

// The e-mail buttons stand in "Statistics", 90 twips from either side.
constexpr int kEmailButtonMargin = 90;

int Abs(double value) {
    return qRound(qAbs(value));
}

// A control's rectangle in the layout, by its name.
struct Rects {
    MainLayout& layout;
    QRect& operator()(const char* name) const { return layout.rects[QLatin1String(name)]; }
};

} // namespace

QSize OuterSizeTwips(QSize clientTwips) {
    return {clientTwips.width(), clientTwips.height() + kOuterExtraHeight};
}

QSize ClientSizeTwips(QSize outerTwips) {
    return {outerTwips.width(), outerTwips.height() - kOuterExtraHeight};
}

MainLayout DesignLayout() {
    MainLayout layout;
    for (const Placed& p : kDesign)
        layout.rects.insert(QLatin1String(p.name), QRect(p.left, p.top, p.width, p.height));
    return layout;
}

void ApplyViewModeLayout(MainLayout& layout, bool simpleView) {
    const Rects r{layout};
    const QRect& last = simpleView ? r("Text1") : r("Text5");
    const int top = last.top() + last.height() + 60;
    for (const char* button : {"cmdAdd", "cmbDel", "cmdEdit", "Command4"})
        r(button).moveTop(top);
    r("List1").moveTop(top + r("cmdAdd").height() + 60);
}

namespace {

// The status bar and steps 2 to 4: the frames that make the columns.
void ArrangeFrames(MainLayout& layout, QSize outerTwips) {
    const Rects r{layout};
    const double W = outerTwips.width();
    const double H = outerTwips.height();

    // The status bar is aligned to the bottom of the client area, as wide as it.
    QRect& statusBar = r("StatusBar1");
    const int clientHeight = ClientSizeTwips(outerTwips).height();
    statusBar = QRect(0, clientHeight - statusBar.height(), outerTwips.width(), statusBar.height());
    const double statusBarHeight = statusBar.height();

    // 2. The right column.
    QRect& frame1 = r("Frame1");
    QRect& frame2 = r("Frame2");
    QRect& frame3 = r("Frame3");
    QRect& frame4 = r("Frame4");
    frame3.setHeight(Abs(H - statusBarHeight - frame3.top() - 800));
    frame3.moveLeft(Abs(W - frame3.width() - 175));
    frame4.moveLeft(frame3.left());

    // 3. Column heights.
    frame2.setHeight(Abs(frame3.height() + frame4.height()));
    frame1.setHeight(Abs(frame3.height() + frame4.height()));

    // 4. Column widths.
    frame2.setWidth(Abs(frame3.left() / 2.0 - 80 + 1200));
    frame1.setWidth(Abs(frame2.width() - 2400));
    frame2.moveLeft(Abs(frame3.left() - frame2.width() - 50));
}

// Steps 5 to 9: the lists, the buttons and the entry fields within the frames.
void ArrangeListsAndFields(MainLayout& layout, double W) {
    const Rects r{layout};
    const QRect& frame1 = r("Frame1");
    const QRect& frame2 = r("Frame2");
    const QRect& frame3 = r("Frame3");

    // 5. Lists and the e-mail buttons. The buttons would take the partner list's
    // width; in "Statistics" that is cut to the frame's inside, so they are not clipped.
    QRect& list1 = r("List1");
    QRect& list2 = r("List2");
    QRect& list3 = r("List3");
    list1.setWidth(Abs(frame1.width() - 2 * list1.left()));
    list2.setWidth(list1.width());
    list3.setWidth(Abs(frame2.width() - 2 * list3.left()));
    const int emailWidth = qMin(list1.width(), Abs(frame3.width() - 2 * kEmailButtonMargin));
    for (const char* button : {"cmdViewDatabase", "Command2", "Command3"})
        r(button).setWidth(emailWidth);

    // 6. The website button reaches to the right edge.
    QRect& website = r("cmdWebsite");
    website.setWidth(Abs(W - website.left() - 200));

    // 7. The left column, vertically.
    QRect& queuedLabel = r("Label4");
    list1.setHeight(Abs(frame1.height() - list1.top() - 1000 - 100 - double(queuedLabel.height())));
    queuedLabel.moveTop(Abs(list1.top() + list1.height() + 100));
    list2.moveTop(Abs(queuedLabel.top() + queuedLabel.height()));
    list2.setHeight(1000);

    // 8. The results area, vertically.
    QRect& lstErr = r("lstErr");
    QRect& lblErr = r("lblErr");
    list3.setHeight(Abs(frame1.height() - list3.top() - 400 - double(lstErr.height())));
    lstErr.moveTop(Abs(list3.top() + list3.height() + 275));
    lstErr.setWidth(list3.width());
    lblErr.moveTop(Abs(lstErr.top() - lblErr.height() + 50));

    // 9. The entry fields end at one right edge.
    QRect& domain = r("txtDomain");
    QRect& text1 = r("Text1");
    QRect& text2 = r("Text2");
    domain.setWidth(list1.width());
    text1.setWidth(Abs(domain.width() - double(text1.left() - domain.left())));
    text2.setWidth(Abs(text1.width() - double(text2.left() - text1.left())));
    for (const char* field : {"Text3", "Text4", "Text5"})
        r(field).setWidth(text2.width());
}

// Steps 10 to 12: the pages of the results' tab strip.
void ArrangeTabPages(MainLayout& layout) {
    const Rects r{layout};
    const QRect& list3 = r("List3");
    const QRect& lstErr = r("lstErr");
    const QRect& text1 = r("Text1");

    // 10. The tab strip and the browser view.
    QRect& tabs = r("TabStrip1");
    QRect& browser = r("WebBrowser1");
    tabs.setWidth(Abs(list3.width() + 100));
    tabs.setHeight(Abs(lstErr.height() + list3.height() + 725));
    browser.setWidth(list3.width());
    browser.setHeight(Abs(tabs.height() - 1900));

    // 11. The page builder.
    QRect& frame5 = r("Frame5");
    QRect& html1 = r("txtHTML1");
    QRect& html2 = r("txtHTML2");
    QRect& html3 = r("txtHTML3");
    QRect& postLabel = r("Label14");
    frame5.moveLeft(browser.left());
    frame5.moveTop(Abs(browser.top() - 900));
    frame5.setWidth(browser.width());
    frame5.setHeight(Abs(browser.height() + 1100));
    html1.setWidth(Abs(frame5.width() - 200));
    html2.setWidth(html1.width());
    html3.setWidth(html1.width());
    html2.setHeight(
        Abs(double(frame5.height()) - html1.height() - html3.height() - html1.top() - 1000));
    postLabel.moveTop(Abs(html2.top() + html2.height() + 100));
    html3.moveTop(Abs(postLabel.top() + postLabel.height()));

    // 12. The browser's address row.
    QRect& url = r("txtURL");
    QRect& go = r("cmdGo");
    url.setWidth(Abs(double(browser.width()) - text1.left() - 300 - go.width()));
    go.moveLeft(Abs(url.left() + url.width() + 100));
}

// Steps 13 and 14: the lists' columns, the status bar's panels and the views
// that follow the browser's size.
void ArrangeColumnsAndPanels(MainLayout& layout, QSize outerTwips) {
    const Rects r{layout};
    const double W = outerTwips.width();
    const double H = outerTwips.height();
    const double statusBarHeight = r("StatusBar1").height();
    const QRect& browser = r("WebBrowser1");

    // 13. Column widths; the window applies them once.
    const double l1 = r("List1").width();
    layout.list1Columns = {Abs(l1 / 4 * 2 - 50), Abs(l1 / 16), Abs(l1 / 8 * 2 - 300),
                           Abs(l1 / 8 * 2 - 300)};
    const double l3 = r("List3").width();
    // "Link value" and "Change" as wide as "Status", "Anchor text" as "Site", past
    // the wide "URL".
    layout.list3Columns = {
        Abs(l3 / 3 - 50), Abs(l3 / 4 - 50), Abs(l3 / 12 - 50), Abs(l3 / 6 * 5 + l3 / 3 - 50),
        Abs(l3 / 4 - 50), Abs(l3 / 3 - 50), Abs(l3 / 4 - 50)};
    const double le = r("lstErr").width();
    layout.lstErrColumns = {Abs(le / 4 - 50), Abs(le / 4 * 3 - 50)};

    // 14. The status bar's panels, the progress bar over the fourth, the report view.
    layout.panelWidths = {Abs(W / 2), Abs(W / 6), Abs(W / 6), Abs(W / 6)};
    const int panel4Left = layout.panelWidths[0] + layout.panelWidths[1] + layout.panelWidths[2];
    QRect& progress = r("pb1");
    progress.moveLeft(panel4Left + 25);
    progress.moveTop(Abs(H - statusBarHeight - 450));
    progress.setWidth(Abs(layout.panelWidths[3] - 50.0));
    QRect& report = r("WebBrowser2");
    report.setWidth(browser.width());
    report.setHeight(browser.height());
}

} // namespace

void ArrangeLayout(MainLayout& layout, QSize outerTwips) {
    ArrangeFrames(layout, outerTwips);
    ArrangeListsAndFields(layout, outerTwips.width());
    ArrangeTabPages(layout);
    ArrangeColumnsAndPanels(layout, outerTwips);
}

MainLayout ArrangeMainWindow(QSize outerTwips, bool simpleView) {
    MainLayout layout = DesignLayout();
    ApplyViewModeLayout(layout, simpleView);
    ArrangeLayout(layout, outerTwips);
    return layout;
}

} // namespace corvantis::ui
