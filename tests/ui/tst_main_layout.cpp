// The main window's arrangement, without a screen: the rules between the
// regions at the first size, a large size and one narrower than the right
// column, in both entry forms.
#include "support/test_env.h"
#include "ui/main/main_layout.h"

using corvantis::testing::S;
using namespace corvantis::ui;

namespace {
QRect R(const MainLayout& l, const char* name) {
    return l.rect(QString::fromLatin1(name));
}
int Bottom(const QRect& r) {
    return r.top() + r.height();
}
int Right(const QRect& r) {
    return r.left() + r.width();
}
} // namespace

class MainLayoutTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void rules_data() {
        QTest::addColumn<QSize>("client");
        QTest::addColumn<bool>("simple");
        for (bool simple : {false, true}) {
            const char* mode = simple ? "simple" : "detailed";
            QTest::addRow("first size, %s", mode) << kFirstClientTwips << simple;
            QTest::addRow("large, %s", mode) << QSize(24000, 15000) << simple;
            QTest::addRow("narrower than the right column, %s", mode)
                << QSize(2000, 1500) << simple;
        }
    }
    void rules() {
        QFETCH(QSize, client);
        QFETCH(bool, simple);
        const QSize outer = OuterSizeTwips(client);
        const MainLayout l = ArrangeMainWindow(outer, simple);
        const MainLayout design = DesignLayout();

        // Every size is positive, whatever the window's size.
        for (auto it = l.rects.cbegin(); it != l.rects.cend(); ++it)
            QVERIFY2(it->width() >= 0 && it->height() >= 0, qPrintable(it.key()));

        // What keeps its design place: the frames' tops, the left column's left
        // edge, the right column's widths and the options' height.
        for (const char* frame : {"Frame1", "Frame2", "Frame3", "Frame4"})
            QCOMPARE(R(l, frame).top(), R(design, frame).top());
        QCOMPARE(R(l, "Frame1").left(), 0);
        QCOMPARE(R(l, "Frame3").width(), 2895);
        QCOMPARE(R(l, "Frame4").width(), 2895);
        QCOMPARE(R(l, "Frame4").height(), 6765);

        // The columns: the right one's two frames one over the other, the left and
        // middle ones as tall as both; the left column's lists and fields share
        // their right edge, the results' views their width.
        const QRect f1 = R(l, "Frame1"), f2 = R(l, "Frame2"), f3 = R(l, "Frame3"),
                    f4 = R(l, "Frame4");
        QCOMPARE(f4.left(), f3.left());
        QCOMPARE(f1.height(), f3.height() + f4.height());
        QCOMPARE(f2.height(), f1.height());
        const QRect list1 = R(l, "List1"), list2 = R(l, "List2"), queued = R(l, "Label4");
        QCOMPARE(list2.width(), list1.width());
        QCOMPARE(list2.top(), Bottom(queued));
        for (const char* field : {"txtDomain", "Text1", "Text2", "Text3", "Text4", "Text5"})
            if (list1.width() > R(l, field).left() - list1.left())
                QCOMPARE(Right(R(l, field)), Right(list1));
        const QRect list3 = R(l, "List3"), browser = R(l, "WebBrowser1");
        for (const char* view : {"lstErr", "WebBrowser1", "WebBrowser2", "Frame5"})
            QCOMPARE(R(l, view).width(), list3.width());
        QCOMPARE(R(l, "WebBrowser2").size(), browser.size());
        QCOMPARE(R(l, "txtHTML3").width(), R(l, "txtHTML1").width());
        QCOMPARE(R(l, "txtHTML3").top(), Bottom(R(l, "Label14")));
        // The status bar's panels fill the width; the progress bar stands in the fourth.
        const int panels =
            l.panelWidths[0] + l.panelWidths[1] + l.panelWidths[2] + l.panelWidths[3];
        QVERIFY(qAbs(panels - outer.width()) <= 2); // each panel's width is rounded
        const QRect progress = R(l, "pb1");
        QVERIFY(progress.left() > l.panelWidths[0] + l.panelWidths[1] + l.panelWidths[2]);

        // The entry form: the button row 60 twips under the last field shown, the
        // partner list 60 under the buttons.
        const QRect last = R(l, simple ? "Text1" : "Text5");
        for (const char* button : {"cmdAdd", "cmbDel", "cmdEdit", "Command4"})
            QCOMPARE(R(l, button).top(), Bottom(last) + 60);
        QCOMPARE(list1.top(), Bottom(R(l, "cmdAdd")) + 60);
    }

    // Figures worked out by hand from the rules at the first client size.
    void firstSizeFigures() {
        // The right column 175 twips from the right edge, the middle one 50 left of it.
        const MainLayout l = ArrangeMainWindow(OuterSizeTwips(kFirstClientTwips), false);
        QCOMPARE(R(l, "Frame3"), QRect(12770, 7590, 2895, 3415));
        QCOMPARE(R(l, "Frame2"), QRect(5215, 840, 7505, 10180));
        QCOMPARE(R(l, "Frame1"), QRect(0, 840, 5105, 10180));
        QCOMPARE(R(l, "List3").width(), 7265);
        // "URL" is wider than the list, which then scrolls sideways.
        QCOMPARE(l.list3Columns, (QList<int>{2372, 1766, 555, 8426, 1766, 2372, 1766}));
        QCOMPARE(l.lstErrColumns, (QList<int>{1766, 5399}));
        QCOMPARE(l.list1Columns, (QList<int>{2383, 304, 916, 916}));
        // The status bar sits at the foot of the client area, the progress bar in it.
        const QRect status = R(l, "StatusBar1");
        QCOMPARE(status, QRect(0, 11265, 15840, 390));
        QVERIFY(status.contains(R(l, "pb1")));
        // Every frame ends above the status bar.
        for (const char* frame : {"Frame1", "Frame2", "Frame3", "Frame4"})
            QVERIFY(Bottom(R(l, frame)) <= status.top());
    }

    // The simple form lengthens the partner list by the room the four hidden fields took.
    void simpleFormLengthensThePartnerList() {
        const QSize outer = OuterSizeTwips(kFirstClientTwips);
        const MainLayout detailed = ArrangeMainWindow(outer, false);
        const MainLayout simple = ArrangeMainWindow(outer, true);
        const int freed = R(detailed, "Text5").top() - R(detailed, "Text1").top();
        QCOMPARE(R(simple, "List1").height(), R(detailed, "List1").height() + freed);
        QCOMPARE(Bottom(R(simple, "List1")), Bottom(R(detailed, "List1")));
    }

    void pixels_data() {
        QTest::addColumn<double>("dpi");
        QTest::addColumn<QRect>("twips");
        QTest::addColumn<QRect>("pixels");
        QTest::newRow("96 dpi") << 96.0 << QRect(15840, 0, 15, 11655) << QRect(1056, 0, 1, 777);
        QTest::newRow("144 dpi") << 144.0 << QRect(100, 100, 1000, 20) << QRect(10, 10, 100, 2);
        // Edges are rounded, not sizes: neighbours still touch.
        QTest::newRow("touching edges") << 96.0 << QRect(7, 7, 7, 7) << QRect(0, 0, 1, 1);
    }
    void pixels() {
        QFETCH(double, dpi);
        QFETCH(QRect, twips);
        QFETCH(QRect, pixels);
        QCOMPARE(TwipsToPixels(twips, dpi), pixels);
    }
};

CORVANTIS_TEST_MAIN(MainLayoutTest)
#include "tst_main_layout.moc"
