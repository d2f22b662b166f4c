// The main window's lists and what hangs off them, driven by control names:
// partner entry, the site editor, sorting, projects, the page builder and the
// report of a scan against a local server.
#include "fetch/host_route.h"
#include "main_window_fixture.h"
#include "output/project_commands.h"
#include "support/fakes.h"
#include "support/test_env.h"
#include "support/test_http_server.h"
#include "ui/main/main_window.h"
#include "util/settings_store.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTreeView>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

using namespace corvantis;
using testing::HttpReply;
using testing::S;

namespace {

scan::PartnerSite Partner(const char* address, const char* expected = "1") {
    return {S(address), S(expected), {}, {}, {}};
}

QStringList Column(const QAbstractItemModel* model, int column) {
    QStringList out;
    for (int r = 0; r < model->rowCount(); ++r)
        out << model->index(r, column).data().toString();
    return out;
}

} // namespace

class MainWindowListsTest : public QObject, protected testing::MainWindowFixture {
    Q_OBJECT

    QTemporaryDir m_files;

    static void select(QWidget* w, const char* list, int row) {
        auto* view = find<QTreeView>(w, list);
        view->selectionModel()->select(view->model()->index(row, 0),
                                       QItemSelectionModel::ClearAndSelect |
                                           QItemSelectionModel::Rows);
    }
    static void clickHeader(QWidget* w, const char* list, int column) {
        QHeaderView* header = find<QTreeView>(w, list)->header();
        const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    }
    static QStringList addresses(ui::MainWindow* w) {
        QStringList out;
        for (const scan::PartnerSite& p : w->session().project.partners.rows())
            out << p.address;
        return out;
    }
    // A scan that stays on its first site: that site never answers.
    void startLongScan(ui::MainWindow* w) {
        find<QLineEdit>(w, "txtDomain")->setText(S("mysite.test"));
        QTest::mouseClick(find(w, "Command1"), Qt::LeftButton);
        QTRY_VERIFY(w->session().run.scanRunning());
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(startSite());
        QVERIFY(m_files.isValid());
    }
    void init() { m_messages = {}; }

    // Delete with nothing selected, the Popup1 item, and the scan's refusals: the
    // first row cannot go, the list cannot be sorted, and a row added to a sorted
    // list goes to the end.
    void deleteAndSortDuringAScan() {
        // One site at a time: only the first row is a current site.
        util::WriteSetting(S("SitesAtOnce"), S("1"));
        auto w = open();
        QVERIFY(w);
        for (const char* a : {"silent.test", "c.example", "a.example"})
            w->session().project.partners.append(Partner(a));
        QTest::mouseClick(find(w.get(), "cmbDel"), Qt::LeftButton);
        QCOMPARE(m_messages.informed.last(), S("You must select a site to delete."));
        QCOMPARE(w->session().project.partners.count(), 3);

        select(w.get(), "List1", 1);
        find<QAction>(find<QMenu>(w.get(), "Popup1"), "mnuPopup1Item_0")->trigger();
        QCOMPARE(addresses(w.get()), (QStringList{S("silent.test"), S("a.example")}));

        startLongScan(w.get());
        select(w.get(), "List1", 0);
        QTest::mouseClick(find(w.get(), "cmbDel"), Qt::LeftButton);
        QCOMPARE(m_messages.informed.last(),
                 S("You cannot delete the current site while the search is running."));
        clickHeader(w.get(), "List1", 0);
        QCOMPARE(m_messages.informed.last(),
                 S("You cannot sort this column while a search is running."));
        QCOMPARE(addresses(w.get()), (QStringList{S("silent.test"), S("a.example")}));
        QTest::mouseClick(find(w.get(), "cmdStop"), Qt::LeftButton);
        QTRY_VERIFY(!w->session().run.scanRunning());

        clickHeader(w.get(), "List1", 0); // descending
        QCOMPARE(addresses(w.get()), (QStringList{S("silent.test"), S("a.example")}));
        startLongScan(w.get());
        find<QLineEdit>(w.get(), "Text1")->setText(S("z.example"));
        QTest::mouseClick(find(w.get(), "cmdAdd"), Qt::LeftButton);
        QCOMPARE(addresses(w.get()),
                 (QStringList{S("silent.test"), S("a.example"), S("z.example")}));
        select(w.get(), "List1", 1);
        QTest::mouseClick(find(w.get(), "cmbDel"), Qt::LeftButton);
        QCOMPARE(addresses(w.get()), (QStringList{S("silent.test"), S("z.example")}));
        QTest::mouseClick(find(w.get(), "cmdStop"), Qt::LeftButton);
        QTRY_VERIFY(!w->session().run.scanRunning());
    }

    // Two sites at once in the window: the later one's rows wait for the earlier
    // one, the status bar counts the sites, and Stop ends both.
    void severalSitesInTheWindow() {
        util::WriteSetting(S("SitesAtOnce"), S("4"));
        auto w = open();
        QVERIFY(w);
        w->session().project.partners.append(Partner("silent.test"));
        w->session().project.partners.append(Partner("partner.test"));
        startLongScan(w.get());
        const auto panel = [&w](const char* name) { return find<QLabel>(w.get(), name)->text(); };
        QTRY_COMPARE(panel("StatusBar1Panel3"), S("Site 1 of 2: Found 1 links"));
        QCOMPARE(find<QTreeView>(w.get(), "List3")->model()->rowCount(), 0);
        QTest::mouseClick(find(w.get(), "cmdStop"), Qt::LeftButton);
        QTRY_VERIFY(!w->session().run.scanRunning());
        QCOMPARE(Column(find<QTreeView>(w.get(), "List3")->model(), 0),
                 QStringList{S("partner.test")});
        QCOMPARE(panel("StatusBar1Panel1"), S("Stopped"));
        w->session().project.MarkProjectSaved();
    }

    // Every click flips the direction, whichever column; numbers sort as text; a
    // click on an empty list is not counted.
    void headerClicksSort() {
        auto w = open();
        QVERIFY(w);
        const QAbstractItemModel* list = find<QTreeView>(w.get(), "List1")->model();
        clickHeader(w.get(), "List1", 0);
        QCOMPARE(w->session().project.partners.sortColumn(), -1);
        w->session().project.partners.append({S("b.example"), S("9"), S("y"), {}, {}});
        w->session().project.partners.append({S("a.example"), S("10"), S("z"), {}, {}});
        w->session().project.partners.append({S("c.example"), S("2"), S("x"), {}, {}});
        clickHeader(w.get(), "List1", 0);
        QCOMPARE(Column(list, 0), (QStringList{S("c.example"), S("b.example"), S("a.example")}));
        clickHeader(w.get(), "List1", 2);
        QCOMPARE(Column(list, 2), (QStringList{S("x"), S("y"), S("z")}));
        clickHeader(w.get(), "List1", 1);
        QCOMPARE(Column(list, 1), (QStringList{S("9"), S("2"), S("10")}));
        // Later rows take their sorted place.
        w->session().project.partners.append({S("d.example"), S("5"), {}, {}, {}});
        QCOMPARE(Column(list, 1), (QStringList{S("9"), S("5"), S("2"), S("10")}));

        w->session().run.errors.append({S("404 Not found"), S("b.test/")});
        w->session().run.errors.append({S("Timeout"), S("a.test")});
        clickHeader(w.get(), "lstErr", 1);
        QCOMPARE(Column(find<QTreeView>(w.get(), "lstErr")->model(), 1),
                 (QStringList{S("b.test/"), S("a.test")}));
    }

    // The result list's columns as the user left them, widths and order, are the
    // next window's, whatever it does with its lists and its size; with nothing
    // kept a window has the designed widths.
    void resultColumnsKept() {
        testing::ClearSettingsStore();
        const auto columns = [](ui::MainWindow* w) {
            QHeaderView* header = find<QTreeView>(w, "List3")->header();
            QList<int> out; // logical index and width, in the order shown
            for (int v = 0; v < header->count(); ++v)
                out << header->logicalIndex(v) << header->sectionSize(header->logicalIndex(v));
            return out;
        };
        auto w = open();
        QVERIFY(w);
        const QList<int> designed = columns(w.get());
        // By the mouse: "No." dragged before "Site", then "Site" made wider.
        QHeaderView* header = find<QTreeView>(w.get(), "List3")->header();
        const auto drag = [header](int from, int to) {
            QTest::mousePress(header->viewport(), Qt::LeftButton, {}, QPoint(from, 5));
            // With the button held, which QTest::mouseMove does not say.
            for (int step = 1; step <= 4; ++step) {
                const QPoint at(from + (to - from) * step / 4, 5);
                QMouseEvent move(QEvent::MouseMove, at, header->viewport()->mapToGlobal(at),
                                 Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
                QApplication::sendEvent(header->viewport(), &move);
            }
            QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, QPoint(to, 5));
        };
        drag(header->sectionViewportPosition(2) + header->sectionSize(2) / 2, 2);
        QCOMPARE(header->visualIndex(2), 0);
        const int siteEnd = header->sectionViewportPosition(0) + header->sectionSize(0) - 1;
        drag(siteEnd, siteEnd + 40);
        QCOMPARE(header->sectionSize(0), designed[1] + 40);
        const QList<int> left = columns(w.get());
        w.reset();

        auto again = open();
        QVERIFY(again);
        QCOMPARE(columns(again.get()), left);
        again->ApplyViewMode(true);
        again->resize(again->size() + QSize(120, 60));
        QTest::qWait(50);
        again->session().project.results.append(
            {S("a.test"), S("None Found"), S("000"), S("a.test/")});
        again->session().project.results.clear();
        QCOMPARE(columns(again.get()), left);
        again.reset();

        testing::ClearSettingsStore();
        auto fresh = open();
        QVERIFY(fresh);
        QCOMPARE(columns(fresh.get()), designed);
    }

    void siteEditor() {
        auto w = open();
        QVERIFY(w);
        for (const char* a : {"b.example", "a.example", "c.example"})
            w->session().project.partners.append(Partner(a));
        QTest::mouseClick(find(w.get(), "cmdEdit"), Qt::LeftButton);
        QVERIFY(!w->findChild<QWidget*>(S("Form2")));

        // Only the address is trimmed; Enter in "Links expected:" saves like OK.
        select(w.get(), "List1", 1);
        QTest::mouseClick(find(w.get(), "cmdEdit"), Qt::LeftButton);
        QPointer<QWidget> editor = find(w.get(), "Form2");
        QVERIFY(editor->isVisible() && !editor->isModal());
        QCOMPARE(editor->windowTitle(), S("Edit an entry"));
        QCOMPARE(find<QLineEdit>(editor, "Text1")->text(), S("a.example"));
        find<QLineEdit>(editor, "Text1")->setText(S("  e.example "));
        find<QLineEdit>(editor, "Text2")->setText(QString());
        find<QLineEdit>(editor, "Text3")->setText(S(" x "));
        QTest::keyClick(find(editor, "Text2"), Qt::Key_Return);
        QTRY_VERIFY(!editor);
        QCOMPARE(w->session().project.partners.at(1),
                 (scan::PartnerSite{S("e.example"), {}, S(" x "), {}, {}}));
        QVERIFY(!w->session().project.projectSaved());

        // The close box changes nothing; Enter in the description does not save.
        w->session().project.MarkProjectSaved();
        QTest::mouseClick(find(w.get(), "cmdEdit"), Qt::LeftButton);
        editor = find(w.get(), "Form2");
        find<QLineEdit>(editor, "Text5")->setText(S("changed"));
        QTest::keyClick(find(editor, "Text5"), Qt::Key_Return);
        QVERIFY(editor && editor->isVisible());
        editor->close();
        QTRY_VERIFY(!editor);
        QCOMPARE(w->session().project.partners.at(1).description, QString());
        QVERIFY(w->session().project.projectSaved());

        // A sort carries the edited row along; a second Edit reloads the editor.
        select(w.get(), "List1", 0);
        QTest::mouseClick(find(w.get(), "cmdEdit"), Qt::LeftButton);
        editor = find(w.get(), "Form2");
        select(w.get(), "List1", 2);
        QTest::mouseClick(find(w.get(), "cmdEdit"), Qt::LeftButton);
        QCOMPARE(w->findChildren<QWidget*>(S("Form2")).size(), 1);
        QCOMPARE(find<QLineEdit>(editor, "Text1")->text(), S("c.example"));
        clickHeader(w.get(), "List1", 0); // e, c, b
        find<QLineEdit>(editor, "Text4")->setText(S("C"));
        QTest::mouseClick(find(editor, "cmdSave"), Qt::LeftButton);
        QTRY_VERIFY(!editor);
        QCOMPARE(addresses(w.get()), (QStringList{S("e.example"), S("c.example"), S("b.example")}));
        QCOMPARE(w->session().project.partners.at(1).htmlName, S("C"));

        // A row deleted while its editor is open is not written, nor any other.
        select(w.get(), "List1", 1);
        QTest::mouseClick(find(w.get(), "cmdEdit"), Qt::LeftButton);
        editor = find(w.get(), "Form2");
        QTest::mouseClick(find(w.get(), "cmbDel"), Qt::LeftButton);
        const auto before = w->session().project.partners.rows();
        find<QLineEdit>(editor, "Text1")->setText(S("lost.example"));
        QTest::keyClick(find(editor, "Text1"), Qt::Key_Return);
        QTRY_VERIFY(!editor);
        QCOMPARE(w->session().project.partners.rows(), before);
    }

    // New, Open and Save through the seam's dialogs, and the question at exit:
    // asked after an edit, not after a save; a cancelled or failed save keeps
    // the window open.
    void projectsAndTheExitCheck() {
        const QString path = m_files.filePath(S("mine.prj"));
        auto w = open();
        QVERIFY(w);
        find<QLineEdit>(w.get(), "txtDomain")->setText(S("mysite.test"));
        w->session().project.partners.append(Partner("a.example", "2"));
        m_dialogs.paths = {path};
        QTest::mouseClick(find(w.get(), "cmdSave"), Qt::LeftButton);
        QVERIFY(m_dialogs.shown.last().startPath.startsWith(output::ProjectFolder() + S("/")));
        QVERIFY(QFile::exists(path));
        QVERIFY(w->windowTitle().endsWith(S(" - mine.prj")));
        QVERIFY(w->close());
        QVERIFY(m_messages.asked.isEmpty());

        w = open();
        find<QLineEdit>(w.get(), "Text1")->setText(S("left.example"));
        find<QLineEdit>(w.get(), "Text2")->setText(S("4"));
        w->findChild<QAction*>(S("mnuFileItem_0"))->trigger(); // New
        for (const char* field : {"txtDomain", "Text1", "Text2"})
            QVERIFY2(find<QLineEdit>(w.get(), field)->text().isEmpty(), field);
        QVERIFY(find<QPlainTextEdit>(w.get(), "txtHTML2")
                    ->toPlainText()
                    .startsWith(S("Your link HTML will be generate here.")));
        m_dialogs.paths = {path};
        QTest::mouseClick(find(w.get(), "cmdOpen"), Qt::LeftButton);
        QCOMPARE(find<QLineEdit>(w.get(), "txtDomain")->text(), S("mysite.test"));
        QCOMPARE(addresses(w.get()), QStringList{S("a.example")});
        QVERIFY(w->session().project.projectSaved());

        // After an edit: Yes with the dialog cancelled, then a save that cannot
        // be written, keep the window; No closes it.
        find<QLineEdit>(w.get(), "Text1")->setText(S("b.example"));
        QTest::mouseClick(find(w.get(), "cmdAdd"), Qt::LeftButton);
        m_messages.answers = {util::Answer::Yes, util::Answer::Yes, util::Answer::No};
        m_dialogs.paths = {};
        QVERIFY(!w->close());
        QCOMPARE(m_messages.asked.last().title, S("Save Project?"));
        m_dialogs.paths = {m_files.filePath(S("no/such/folder/x.prj")), QString()};
        QVERIFY(!w->close());
        QVERIFY(w->isVisible());
        QVERIFY(!m_messages.informed.isEmpty());
        QVERIFY(w->close());
        QCOMPARE(m_messages.asked.size(), 3);
    }

    // The page-builder texts stay exactly as they came, no-break spaces and the
    // Unicode line and paragraph separators included: at start-up, after Open and
    // "Generate Links", in the settings, the saved project and the written page.
    // Only the user's own edit reads the box, where a paragraph is a line break.
    void pageBuilderTextsKeptExactly() {
        const QString pre = S("<p>a\u00a0b\u2028c\u2029d</p>\r\n<hr>");
        const QString post = S("\u00a0</body>\u2029");
        const auto stored = [](const char* key) { return util::ReadSetting(S(key), QString()); };
        util::WriteSetting(S("txtHTML1"), pre);
        auto w = open();
        QVERIFY(w);
        QCOMPARE(w->session().project.txtHTML1, pre);
        QCOMPARE(stored("txtHTML1"), pre);

        const QString project = m_files.filePath(S("texts.prj"));
        QVERIFY(testing::WriteBytes(
            project,
            (S("mysite.test\r\npartner.test|1|||\r\nHTML03:") + post + S("\r\n")).toUtf8()));
        m_dialogs.paths = {project};
        QTest::mouseClick(find(w.get(), "cmdOpen"), Qt::LeftButton);
        w->session().project.results.setRows(
            {{S("partner.test"), S("Direct Link"), S("001"), S("partner.test/"),
              scan::RowColour::Blue, scan::RowMarker::Linking}});
        QTest::mouseClick(find(w.get(), "Command5"), Qt::LeftButton);
        QVERIFY(w->session().project.txtHTML2.contains(S("partner.test")));
        QCOMPARE(w->session().project.txtHTML1, pre);
        QCOMPARE(w->session().project.txtHTML3, post);
        QCOMPARE(stored("txtHTML1"), pre);
        QCOMPARE(stored("txtHTML3"), post);

        const QString saved = m_files.filePath(S("texts2.prj"));
        m_dialogs.paths = {saved};
        QTest::mouseClick(find(w.get(), "cmdSave"), Qt::LeftButton);
        const QByteArray file = testing::ReadBytes(saved);
        QVERIFY(file.contains(S("HTML01:<p>a\u00a0b\u2028c\u2029d</p>|||<hr>\r\n").toUtf8()));
        QVERIFY(file.contains((S("HTML03:") + post + S("\r\n")).toUtf8()));
        const QString page = m_files.filePath(S("texts.html"));
        m_dialogs.paths = {page};
        QTest::mouseClick(find(w.get(), "Command6"), Qt::LeftButton);
        const QByteArray written = testing::ReadBytes(page);
        QVERIFY(written.startsWith((pre + S("\r\n\r\n")).toUtf8()));
        QVERIFY(written.contains((S("\r\n\r\n") + post).toUtf8()));

        auto* box = find<QPlainTextEdit>(w.get(), "txtHTML1");
        box->moveCursor(QTextCursor::End);
        QTest::keyClicks(box, S("!"));
        QCOMPARE(w->session().project.txtHTML1, S("<p>a\u00a0b\u2028c\r\nd</p>\r\n<hr>!"));
        QCOMPARE(stored("txtHTML1"), w->session().project.txtHTML1);
        w->session().project.MarkProjectSaved();
    }

    // A full scan fills the result list with its colours and icons, shows the
    // report, and gives the page builder its links; a link only a browser sees
    // (its script writes it) is found by rendering the page.
    void scanResultsReportAndPage() {
        auto w = open();
        QVERIFY(w);
        find<QLineEdit>(w.get(), "txtDomain")->setText(S("mysite.test"));
        w->session().project.partners.append(
            {S("partner.test"), S("1"), S("https://partner.test/"), S("Partner"), {}});
        w->session().project.partners.append(Partner("other.test"));
        m_router.add(S("script.test"), S("127.0.0.1"), m_server.port());
        m_server.setReply(S("script.test/"),
                          HttpReply::html("<p id=t></p><script>t.innerHTML = '<a href=\"http://my' "
                                          "+ 'site.test/\">Scripted</a>';</script>"));
        w->session().project.partners.append(Partner("script.test"));
        QTest::mouseClick(find(w.get(), "Command1"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(find(w.get(), "Command1")->isEnabled(), 20000);

        const QAbstractItemModel* list = find<QTreeView>(w.get(), "List3")->model();
        QCOMPARE(Column(list, 1), (QStringList{S("Direct Link"), S("None Found (404 Not found)"),
                                               S("Direct Link")}));
        const QColor colours[2] = {QColor(0, 0, 255), QColor(255, 0, 0)};
        const char* icons[2] = {":/images/marker_linking.png", ":/images/marker_notlinking.png"};
        for (int r = 0; r < 2; ++r) {
            QCOMPARE(list->index(r, 3).data(Qt::ForegroundRole).value<QColor>(), colours[r]);
            const QIcon icon = list->index(r, 0).data(Qt::DecorationRole).value<QIcon>();
            QCOMPARE(icon.pixmap(16).toImage(), QIcon(S(icons[r])).pixmap(16).toImage());
        }
        // The link back does not count: its value in the warning colour, the rest blue.
        QCOMPARE(Column(list, 4), (QStringList{S("nofollow"), QString(), S("after JavaScript")}));
        QCOMPARE(Column(list, 5), (QStringList{S("Mine"), QString(), S("Scripted")}));
        QCOMPARE(list->index(0, 4).data(Qt::ForegroundRole).value<QColor>(), QColor(176, 96, 0));
        QCOMPARE(list->index(0, 5).data(Qt::ForegroundRole).value<QColor>(), colours[0]);

        // The report is loaded when "Reports" is shown.
        auto* report = find<QWebEngineView>(w.get(), "WebBrowser2");
        QVERIFY(report->url().isEmpty());
        w->selectResultsTab(4);
        QTRY_COMPARE(report->url().fileName(), S("tempreport.html"));
        QVERIFY(report->url().isLocalFile());
        QVERIFY(!report->settings()->testAttribute(QWebEngineSettings::JavascriptEnabled));
        const QString copy = m_files.filePath(S("report.htm"));
        m_dialogs.paths = {copy};
        QTest::mouseClick(find(w.get(), "Command8"), Qt::LeftButton);
        QVERIFY(testing::ReadBytes(copy).contains("</a></td><td>nofollow</td><td>Mine</td></tr>"));

        // The value and anchor text come back with the project.
        const QString project = m_files.filePath(S("valued.prj"));
        m_dialogs.paths = {project};
        QTest::mouseClick(find(w.get(), "cmdSave"), Qt::LeftButton);
        auto reopened = open();
        m_dialogs.paths = {project};
        QTest::mouseClick(find(reopened.get(), "cmdOpen"), Qt::LeftButton);
        const QAbstractItemModel* shown = find<QTreeView>(reopened.get(), "List3")->model();
        QCOMPARE(Column(shown, 4), Column(list, 4));
        QCOMPARE(Column(shown, 5), Column(list, 5));
        reopened->session().project.MarkProjectSaved();

        QTest::mouseClick(find(w.get(), "Command5"), Qt::LeftButton);
        const QString links = find<QPlainTextEdit>(w.get(), "txtHTML2")->toPlainText();
        QVERIFY2(links.contains(S("https://partner.test/")), qPrintable(links));
        QVERIFY(!links.contains(S("other.test")));
        const QString page = m_files.filePath(S("links.html"));
        m_dialogs.paths = {page};
        QTest::mouseClick(find(w.get(), "Command6"), Qt::LeftButton);
        QVERIFY(testing::ReadBytes(page).contains("https://partner.test/"));
        w->session().project.MarkProjectSaved();
    }
};

CORVANTIS_GUI_TEST_MAIN(MainWindowListsTest)
#include "tst_main_window_lists.moc"
