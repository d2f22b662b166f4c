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
        QCOMPARE(R(l, "Frame4").height(), 4185);

        // The right column hangs 175 twips from the right edge (mirrored when the
        // window is narrower than it); the middle column stands 50 twips left of it.
        const QRect f1 = R(l, "Frame1"), f2 = R(l, "Frame2"), f3 = R(l, "Frame3"),
                    f4 = R(l, "Frame4");
        QCOMPARE(f3.left(), qAbs(outer.width() - 2895 - 175));
        QCOMPARE(f4.left(), f3.left());
        QCOMPARE(Bottom(f3), 5010 + qAbs(outer.height() - 390 - 5010 - 800));
        QCOMPARE(f1.height(), f3.height() + f4.height());
        QCOMPARE(f2.height(), f1.height());
        QCOMPARE(f1.width(), qAbs(f2.width() - 2400));
        QCOMPARE(f2.left(), qAbs(f3.left() - f2.width() - 50));

        // The left column: equal margins, the queue 1,000 twips under its label at the foot.
        const QRect list1 = R(l, "List1"), list2 = R(l, "List2"), queued = R(l, "Label4");
        QCOMPARE(list1.width(), qAbs(f1.width() - 2 * list1.left()));
        QCOMPARE(list2.width(), list1.width());
        QCOMPARE(queued.top(), Bottom(list1) + 100);
        QCOMPARE(list2.top(), Bottom(queued));
        QCOMPARE(list2.height(), 1000);
        if (f1.height() > list1.top() + 1340)
            QCOMPARE(Bottom(list2), f1.height());
        // The entry fields end where the partner list ends; too narrow for the
        // labels' column, they take the mirrored, positive width.
        for (const char* field : {"txtDomain", "Text1", "Text2", "Text3", "Text4", "Text5"}) {
            const QRect r = R(l, field);
            QCOMPARE(r.width(), qAbs(list1.width() - (r.left() - list1.left())));
            if (list1.width() > r.left() - list1.left())
                QCOMPARE(Right(r), Right(list1));
        }

        // The results: the error list under the result list, its label over it, the
        // tab strip around both; the views of the other tabs in the same place.
        const QRect list3 = R(l, "List3"), lstErr = R(l, "lstErr"), tabs = R(l, "TabStrip1");
        QCOMPARE(list3.width(), qAbs(f2.width() - 2 * list3.left()));
        QCOMPARE(lstErr.width(), list3.width());
        QCOMPARE(lstErr.top(), Bottom(list3) + 275);
        QCOMPARE(Bottom(R(l, "lblErr")), lstErr.top() + 50);
        QCOMPARE(tabs.width(), list3.width() + 100);
        QCOMPARE(tabs.height(), lstErr.height() + list3.height() + 725);
        const QRect browser = R(l, "WebBrowser1");
        QCOMPARE(browser.width(), list3.width());
        QCOMPARE(browser.height(), qAbs(tabs.height() - 1900));
        QCOMPARE(R(l, "WebBrowser2").size(), browser.size());
        const QRect go = R(l, "cmdGo"), url = R(l, "txtURL");
        QCOMPARE(go.left(), Right(url) + 100);

        // The page builder: around the browser view, its middle text taking the room.
        const QRect frame5 = R(l, "Frame5");
        QCOMPARE(frame5.topLeft(), browser.topLeft() - QPoint(0, 900));
        QCOMPARE(frame5.size(), browser.size() + QSize(0, 1100));
        const QRect html1 = R(l, "txtHTML1"), html2 = R(l, "txtHTML2"), html3 = R(l, "txtHTML3");
        QCOMPARE(html1.width(), frame5.width() - 200);
        QCOMPARE(html3.width(), html1.width());
        QCOMPARE(R(l, "Label14").top(), Bottom(html2) + 100);
        QCOMPARE(html3.top(), Bottom(R(l, "Label14")));

        // The status bar: half for the first panel, a sixth for each other; the
        // progress bar inside the fourth.
        QCOMPARE(l.panelWidths[0], qRound(outer.width() / 2.0));
        for (int i = 1; i < 4; ++i)
            QCOMPARE(l.panelWidths[i], qRound(outer.width() / 6.0));
        const QRect progress = R(l, "pb1");
        QCOMPARE(progress.left(), l.panelWidths[0] + l.panelWidths[1] + l.panelWidths[2] + 25);
        QCOMPARE(progress.width(), l.panelWidths[3] - 50);
        QCOMPARE(R(l, "cmdWebsite").width(), qAbs(outer.width() - R(l, "cmdWebsite").left() - 200));

        // The entry form: the button row 60 twips under the last field shown, the
        // partner list 60 under the buttons.
        const QRect last = R(l, simple ? "Text1" : "Text5");
        for (const char* button : {"cmdAdd", "cmbDel", "cmdEdit", "Command4"})
            QCOMPARE(R(l, button).top(), Bottom(last) + 60);
        QCOMPARE(list1.top(), Bottom(R(l, "cmdAdd")) + 60);
    }

    // Figures worked out by hand from the rules at the first client size.
    void firstSizeFigures() {
        const MainLayout l = ArrangeMainWindow(OuterSizeTwips(kFirstClientTwips), false);
        QCOMPARE(R(l, "Frame3"), QRect(12770, 5010, 2895, 5995));
        QCOMPARE(R(l, "Frame2"), QRect(5215, 840, 7505, 10180));
        QCOMPARE(R(l, "Frame1"), QRect(0, 840, 5105, 10180));
        QCOMPARE(R(l, "List3").width(), 7265);
        // "URL" is wider than the list, which then scrolls sideways.
        QCOMPARE(l.list3Columns, (QList<int>{2372, 1766, 555, 8426}));
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
