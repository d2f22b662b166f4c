// The scan history in the window: the "Change" column and the report's section
// after two scans with the link removed in between, the "Partner History"
// window from both lists' menus, and a store that cannot be used.
#include "history/history_store.h"
#include "main_window_fixture.h"
#include "output/scan_report.h"
#include "support/test_env.h"
#include "ui/main/main_window.h"

#include <QAction>
#include <QChartView>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPointer>
#include <QTableWidget>
#include <QTreeView>

using namespace corvantis;
using testing::HttpReply;
using testing::S;

class HistoryWindowTest : public QObject, protected testing::MainWindowFixture {
    Q_OBJECT

    // One scan of changing.test to its end.
    static void scan(ui::MainWindow* w) {
        QTest::mouseClick(find(w, "Command1"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(find(w, "Command1")->isEnabled(), 20000);
    }
    static QStringList column(ui::MainWindow* w, int c) {
        QStringList out;
        const QAbstractItemModel* m = find<QTreeView>(w, "List3")->model();
        for (int r = 0; r < m->rowCount(); ++r)
            out << m->index(r, c).data().toString();
        return out;
    }
    std::unique_ptr<ui::MainWindow> openWithPartner() {
        auto w = open();
        if (!w)
            return w;
        find<QLineEdit>(w.get(), "txtDomain")->setText(S("mysite.test"));
        w->session().project.partners.append({S("changing.test"), S("1"), {}, {}, {}});
        return w;
    }
    void linkBack(bool on) {
        m_server.setReply(S("changing.test/"),
                          HttpReply::html(on ? "<a href=\"http://www.mysite.test/\">Mine</a>"
                                             : "<p>Nothing here</p>"));
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(startSite());
        m_router.add(S("changing.test"), S("127.0.0.1"), m_server.port());
    }
    void init() {
        m_messages = {};
        QFile::remove(history::HistoryStore::DefaultPath());
    }

    void lostLinkShownEverywhere() {
        auto w = openWithPartner();
        QVERIFY(w);
        // The alerts go to a webhook here, its secret to the keyring.
        w->findChild<QAction*>(S("mnuFileSchedule"))->trigger();
        auto* alerts = w->findChild<QWidget*>(S("frmSchedule"));
        QVERIFY(alerts && alerts->isVisible());
        const QString hook = S("http://127.0.0.1:%1/hook").arg(m_server.port());
        m_server.setReply(hook.mid(7), HttpReply::html("ok"));
        find<QLineEdit>(alerts, "txtWebhookUrl")->setText(hook);
        find<QLineEdit>(alerts, "txtWebhookSecret")->setText(S("s3cret"));
        QTest::mouseClick(find(alerts, "cmdApplySchedule"), Qt::LeftButton);
        QCOMPARE(m_secrets.values.value(S("webhook-secret")), S("s3cret"));
        QVERIFY(find<QLineEdit>(alerts, "txtWebhookSecret")->text().isEmpty());
        QVERIFY(find<QLabel>(alerts, "lblScheduleStatus")->text().contains(S("save the project")));
        alerts->close();
        const auto hooks = [this] {
            QByteArrayList out;
            for (const testing::RecordedRequest& r : m_server.requests())
                if (r.path == QLatin1String("/hook"))
                    out.append(r.raw);
            return out;
        };
        linkBack(true);
        scan(w.get());
        QCOMPARE(column(w.get(), 6), QStringList{S("New partner")});
        // A first scan of the domain has no changes to report.
        QVERIFY(!testing::ReadBytes(output::ReportFilePath()).contains("Changes since"));
        linkBack(false);
        scan(w.get());
        QCOMPARE(column(w.get(), 1), QStringList{S("None Found")});
        QCOMPARE(column(w.get(), 6), QStringList{S("Lost")});
        const QString report = QString::fromUtf8(testing::ReadBytes(output::ReportFilePath()));
        const qsizetype section = report.indexOf(S("<b>Changes since the last scan</b>"));
        QVERIFY(section > 0 && section < report.indexOf(S("<b>Site Statistics</b>")));
        QVERIFY(report.indexOf(S("</td><td>Lost</td>"), section) > section);
        // Only the scan with news called the webhook, signed, with the lost link.
        QTRY_COMPARE(hooks().size(), 1);
        QVERIFY(hooks().first().contains("\r\nX-Corvantis-Signature: sha256="));
        QVERIFY(hooks().first().contains("\"change\": \"Lost\""));
        // Still gone: no change, but the report says since when it is lost.
        scan(w.get());
        QCOMPARE(column(w.get(), 6), QStringList{QString()});
        QVERIFY(testing::ReadBytes(output::ReportFilePath()).contains("<b>Still lost</b>"));
        QCOMPARE(hooks().size(), 1);

        // From the result list's menu: the table newest first, the chart one point a scan.
        find<QTreeView>(w.get(), "List3")
            ->setCurrentIndex(find<QTreeView>(w.get(), "List3")->model()->index(0, 0));
        w->findChild<QAction*>(S("mnuPopup2Item_5"))->trigger();
        auto* window = w->findChild<QWidget*>(S("frmHistory"));
        QVERIFY(window && window->isVisible());
        QCOMPARE(window->windowTitle(), S("Partner History - changing.test"));
        auto* table = window->findChild<QTableWidget*>(S("lstHistory"));
        QCOMPARE(table->rowCount(), 3);
        QCOMPARE(table->item(0, 1)->text(), S("None Found"));
        QCOMPARE(table->item(2, 2)->text(), S("1"));
        auto* chart = window->findChild<QChartView*>(S("chtLinks"));
        auto* line = qobject_cast<QLineSeries*>(chart->chart()->series().value(0));
        QVERIFY(line);
        QCOMPARE(line->count(), 3);
        QCOMPARE(line->at(0).y(), 1.0);
        QCOMPARE(line->at(1).y(), 0.0);

        // From the partner list's menu, the same partner, in a window of its own:
        // the one closed above is gone first.
        QPointer<QWidget> closed = window;
        window->close();
        QTRY_VERIFY(!closed);
        find<QTreeView>(w.get(), "List1")
            ->setCurrentIndex(find<QTreeView>(w.get(), "List1")->model()->index(0, 0));
        w->findChild<QAction*>(S("mnuPopup1Item_1"))->trigger();
        window = w->findChild<QWidget*>(S("frmHistory"));
        QVERIFY(window && window->isVisible());
        QCOMPARE(window->windowTitle(), S("Partner History - changing.test"));
        QCOMPARE(window->findChild<QTableWidget*>(S("lstHistory"))->rowCount(), 3);
        w->session().project.MarkProjectSaved();
    }

    // A damaged store: the results stay, the status bar says why, a message box
    // says it once, and the file is left as it was.
    void damagedStore() {
        const QByteArray damaged(2048, 'x');
        QVERIFY(testing::WriteBytes(history::HistoryStore::DefaultPath(), damaged));
        auto w = openWithPartner();
        QVERIFY(w);
        linkBack(true);
        scan(w.get());
        scan(w.get());
        QCOMPARE(column(w.get(), 1), QStringList{S("Direct Link")});
        QCOMPARE(column(w.get(), 6), QStringList{QString()});
        QCOMPARE(m_messages.informed.size(), 1);
        QVERIFY(m_messages.informed.first().startsWith(S("The scan history \"")));
        QCOMPARE(find<QLabel>(w.get(), "StatusBar1Panel1")->text(), m_messages.informed.first());
        QCOMPARE(testing::ReadBytes(history::HistoryStore::DefaultPath()), damaged);
        w->session().project.MarkProjectSaved();
    }
};

CORVANTIS_GUI_TEST_MAIN(HistoryWindowTest)
#include "tst_history_window.moc"
