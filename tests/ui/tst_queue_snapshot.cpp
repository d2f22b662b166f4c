// The queue list's picture of the page queue: unchanged between refreshes, equal
// to the queue after one, whatever happened in between.
#include "session/scan_model.h"
#include "support/test_env.h"
#include "ui/main/queue_snapshot.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

using corvantis::scan::PageQueueModel;
using corvantis::testing::S;
using corvantis::ui::QueueSnapshot;

namespace {
QStringList Shown(const QueueSnapshot& s) {
    QStringList out;
    for (int row = 0; row < s.rowCount(); ++row)
        out << s.data(s.index(row), Qt::DisplayRole).toString();
    return out;
}
} // namespace

class QueueSnapshotTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void followsTheQueueOnRefresh_data() {
        QTest::addColumn<int>("taken");
        QTest::addColumn<QStringList>("added");
        QTest::addColumn<bool>("cleared");
        QTest::newRow("pages taken") << 2 << QStringList() << false;
        QTest::newRow("pages added") << 0 << QStringList{S("d"), S("e")} << false;
        QTest::newRow("taken and added") << 3 << QStringList{S("d"), S("e"), S("f")} << false;
        QTest::newRow("all taken, more added") << 3 << QStringList{S("g")} << false;
        QTest::newRow("emptied, then added") << 0 << QStringList{S("x")} << true;
    }
    void followsTheQueueOnRefresh() {
        QFETCH(int, taken);
        QFETCH(QStringList, added);
        QFETCH(bool, cleared);
        PageQueueModel queue;
        queue.append({S("a"), S("b"), S("c")});
        QueueSnapshot shown(queue);
        QAbstractItemModelTester tester(&shown,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy changed(&shown, &QueueSnapshot::queueChanged);
        QCOMPARE(Shown(shown), (QStringList{S("a"), S("b"), S("c")}));

        for (int i = 0; i < taken; ++i) {
            queue.takeHead();
            // Taking a page and adding its links, page after page.
            if (i < added.size())
                queue.append({added[i]});
        }
        if (cleared)
            queue.clear();
        for (qsizetype i = taken; i < added.size(); ++i)
            queue.append({added[i]});

        QVERIFY(shown.isStale() && !changed.isEmpty());
        QCOMPARE(Shown(shown), (QStringList{S("a"), S("b"), S("c")}));
        shown.refresh();
        QVERIFY(!shown.isStale());
        QCOMPARE(Shown(shown), queue.items());
    }
};

CORVANTIS_TEST_MAIN(QueueSnapshotTest)
#include "tst_queue_snapshot.moc"
