// Screenshots of the main window for a person to look at: after two scans of a
// small local site, at the first client size and at 1600 x 1000, in both entry
// forms, with each result tab; the splash and the About window. It also prints what the
// layout check finds. Run it through scripts/screenshots (under Xvfb).
#include "alert/secret_store.h"
#include "fetch/host_route.h"
#include "main_window_check.h"
#include "support/fakes.h"
#include "support/test_env.h"
#include "support/test_http_server.h"
#include "ui/main/main_window.h"
#include "ui/windows/about_window.h"
#include "ui/windows/splash_window.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTextStream>
#include <QTreeView>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <cstdio>
#include <unistd.h>

using namespace corvantis;
using testing::HttpReply;

namespace {

const QByteArray kHome = "<html><body><h1>Partner One</h1><a href=\"/links.html\">Links</a>"
                         "<a href=\"/about.html\">About</a></body></html>";
const QByteArray kLinks = "<html><body><h2>Friends</h2><a href=\"http://www.mysite.test/\">My "
                          "Site</a></body></html>";
const QByteArray kWebsite =
    "<html><head><title>Corvantis</title></head><body style='font-family:sans-serif'>"
    "<h1>Corvantis</h1><p>Check your link partners.</p></body></html>";

// The accessibility tree, one node a line: depth, role, name; and below it each
// named control's path of object names and its rectangle in the window. Two
// builds of the window compare by a diff of these files. Web content is left
// out: it is the page's, not the window's.
void DumpAccessible(QAccessibleInterface* node, int depth, QTextStream& out) {
    out << QString(depth * 2, u' ') << int(node->role()) << ' ' << node->text(QAccessible::Name)
        << '\n';
    if (node->object() && node->object()->inherits("QWebEngineView"))
        return;
    for (int i = 0; i < node->childCount(); ++i)
        if (QAccessibleInterface* child = node->child(i))
            DumpAccessible(child, depth + 1, out);
}

bool DumpWindowTrees(QWidget* window, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QTextStream out(&file);
    DumpAccessible(QAccessible::queryAccessibleInterface(window), 0, out);
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (w->objectName().isEmpty() || w->objectName().startsWith(QLatin1String("qt_")))
            continue;
        QStringList chain;
        for (QObject* o = w; o && o != window; o = o->parent())
            chain.prepend(o->objectName());
        const QRect r(w->mapTo(window, QPoint(0, 0)), w->size());
        out << chain.join(u'/') << ' ' << r.x() << ',' << r.y() << ' ' << r.width() << 'x'
            << r.height() << (w->isVisible() ? "" : " hidden") << '\n';
    }
    return true;
}

bool Save(QWidget* window, const QString& path) {
    QTest::qWait(400); // the browser views paint in their own time
    const QPixmap shot = window->screen()->grabWindow(window->winId());
    return shot.save(path);
}

} // namespace

int main(int argc, char** argv) {
    testing::TestEnvironment env;
    if (::getuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Corvantis"));
    QApplication::setApplicationName(QStringLiteral("Corvantis"));
    if (argc < 2) {
        std::fprintf(stderr, "usage: ui_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);

    testing::TestHttpServer server;
    server.setMaxLifetime(600000);
    if (!server.start())
        return 1;
    const QString local = QStringLiteral("127.0.0.1:%1").arg(server.port());
    server.setReply(QStringLiteral("partner-one.test/"), HttpReply::html(kHome));
    server.setReply(QStringLiteral("partner-one.test/links.html"), HttpReply::html(kLinks));
    server.setReply(QStringLiteral("partner-one.test/about.html"), HttpReply::html("<p>About</p>"));
    server.setReply(QStringLiteral("partner-two.test/"), HttpReply::html("<p>Nothing here</p>"));
    server.setReply(QStringLiteral("partner-four.test/"), HttpReply::html(kLinks));
    server.setReply(local + QStringLiteral("/"), HttpReply::html(kWebsite));
    testing::LoopbackOnly loopback(QUrl(QStringLiteral("http://") + local + QStringLiteral("/")));
    QWebEngineProfile::defaultProfile()->setUrlRequestInterceptor(&loopback);

    scan::HostRouter router;
    for (const char* host :
         {"partner-one.test", "partner-two.test", "partner-three.test", "partner-four.test"})
        router.add(QLatin1String(host), QStringLiteral("127.0.0.1"), server.port());
    testing::FakeMessages messages;
    testing::FakeFileDialogs dialogs;
    testing::RecordingSound sound;

    ui::SplashWindow splash({});
    splash.show();
    if (!QTest::qWaitForWindowExposed(&splash) ||
        !Save(&splash, out + QStringLiteral("/splash.png")))
        return 1;
    splash.hide();

    ui::AboutWindow about;
    about.show();
    if (!QTest::qWaitForWindowExposed(&about) || !Save(&about, out + QStringLiteral("/about.png")))
        return 1;
    about.hide();

    scan::ScanSession session;
    alert::KeyringSecrets secrets;
    ui::MainWindow window(session, {&messages, &dialogs, &sound, &router, &secrets});
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    const auto helpers = window.secondaryWindows().windows();
    for (QWidget* w : helpers)
        w->hide();

    // Two scans, so the lists, the statistics, the status bar and the changes since
    // the last scan have something to show: between them partner-one makes its link
    // nofollow, partner-two adds one and partner-four takes its link away.
    window.findChild<QLineEdit*>(QStringLiteral("txtDomain"))
        ->setText(QStringLiteral("mysite.test"));
    for (const char* site :
         {"partner-one.test", "partner-two.test", "partner-three.test", "partner-four.test"})
        window.session().project.partners.append(
            {QLatin1String(site), QStringLiteral("1"), {}, {}, {}});
    auto* start = window.findChild<QPushButton*>(QStringLiteral("Command1"));
    const auto scan = [&] {
        start->click();
        return QTest::qWaitFor([&] { return start->isEnabled(); }, 30000);
    };
    if (!scan())
        return 1;
    QByteArray nofollow = kLinks;
    nofollow.replace("<a href", "<a rel=\"nofollow\" href");
    server.setReply(QStringLiteral("partner-one.test/links.html"), HttpReply::html(nofollow));
    server.setReply(QStringLiteral("partner-two.test/"), HttpReply::html(kLinks));
    server.setReply(QStringLiteral("partner-four.test/"), HttpReply::html("<p>Gone</p>"));
    if (!scan())
        return 1;

    QStringList containers{QStringLiteral("client"),    QStringLiteral("Frame1"),
                           QStringLiteral("Frame2"),    QStringLiteral("Frame3"),
                           QStringLiteral("Frame4"),    QStringLiteral("Frame5"),
                           QStringLiteral("StatusBar1")};
    QList<QWidget*> boxes;
    for (const QString& name : containers)
        boxes << window.findChild<QWidget*>(name);
    // The progress bar stands over the status bar; "Options" reaches 15 twips into the
    // title space of "Statistics" by their design rectangles.
    QStringList overlaps{QStringLiteral("StatusBar1|pb1"), QStringLiteral("Frame3|Frame4")};
    for (const char* view :
         {"List3", "lstErr", "lblErr", "WebBrowser1", "cmdBack", "cmdForward", "cmdWebStop",
          "cmdRefresh", "cmdGo", "txtURL", "Frame5", "WebBrowser2", "Command8"})
        overlaps << QStringLiteral("TabStrip1|") + QLatin1String(view);

    int failures = 0;
    const char* tabs[4] = {"links", "web", "pages", "reports"};
    for (const QSize client : {QSize(1056, 777), QSize(1600, 1000)}) {
        window.resize(client.width(), client.height() + window.menuBar()->height());
        for (bool simple : {false, true}) {
            window.ApplyViewMode(simple);
            for (int tab = 1; tab <= 4; ++tab) {
                window.selectResultsTab(tab);
                if (tab == 4)
                    QTest::qWait(1000); // the report view paints its page
                const QString name = QStringLiteral("%1x%2-%3-%4.png")
                                         .arg(client.width())
                                         .arg(client.height())
                                         .arg(QLatin1String(simple ? "simple" : "detailed"))
                                         .arg(QLatin1String(tabs[tab - 1]));
                if (!Save(&window, out + u'/' + name))
                    return 1;
                const QStringList problems = testing::LayoutProblems(boxes, overlaps);
                for (const QString& p : problems)
                    std::printf("%s: %s\n", qPrintable(name), qPrintable(p));
                failures += int(problems.size());
                std::printf("%s\n", qPrintable(name));
            }
        }
    }
    window.ApplyViewMode(false);
    window.resize(1056, 777 + window.menuBar()->height());
    window.selectResultsTab(1);
    QTest::qWait(200);
    if (!DumpWindowTrees(&window, out + QStringLiteral("/window-trees.txt")))
        return 1;

    // The site editor on the first partner.
    auto* partners = window.findChild<QAbstractItemView*>(QStringLiteral("List1"));
    partners->setCurrentIndex(partners->model()->index(0, 0));
    window.findChild<QPushButton*>(QStringLiteral("cmdEdit"))->click();
    auto* editor = window.findChild<QWidget*>(QStringLiteral("Form2"));
    if (!editor || !QTest::qWaitForWindowExposed(editor) ||
        !Save(editor, out + QStringLiteral("/site-editor.png")))
        return 1;
    std::printf("site-editor.png\n");
    editor->close();

    // The result list scrolled to its last columns, and partner-one's history.
    auto* results = window.findChild<QTreeView*>(QStringLiteral("List3"));
    results->setCurrentIndex(results->model()->index(0, 0));
    results->horizontalScrollBar()->setValue(results->horizontalScrollBar()->maximum());
    QTest::qWait(200);
    if (!Save(&window, out + QStringLiteral("/results-changes.png")))
        return 1;
    window.findChild<QAction*>(QStringLiteral("mnuPopup2Item_5"))->trigger();
    auto* history = window.findChild<QWidget*>(QStringLiteral("frmHistory"));
    if (!history || !QTest::qWaitForWindowExposed(history))
        return 1;
    QTest::qWait(300);
    if (!Save(history, out + QStringLiteral("/partner-history.png")))
        return 1;
    window.findChild<QAction*>(QStringLiteral("mnuFileSchedule"))->trigger();
    auto* schedule = window.findChild<QWidget*>(QStringLiteral("frmSchedule"));
    if (!schedule || !QTest::qWaitForWindowExposed(schedule))
        return 1;
    if (!Save(schedule, out + QStringLiteral("/schedule.png")))
        return 1;
    std::printf("results-changes.png\npartner-history.png\nschedule.png\n");
    return failures == 0 ? 0 : 3;
}
