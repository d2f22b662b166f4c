// The real corvantis-render through ProcessRenderer, on pages of a local
// server: when a page is settled, what fails and what comes after, and, run
// as root, that the browser runs sandboxed as an unprivileged user without
// this program's secrets.
#include "render/process_tree.h"
#include "render/render_client.h"
#include "support/test_env.h"
#include "support/test_http_server.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <pwd.h>
#include <unistd.h>

using corvantis::render::ProcessRenderer;
using corvantis::render::ProcessTree;
using corvantis::testing::HttpReply;
using corvantis::testing::S;
using corvantis::testing::TestHttpServer;
using Result = corvantis::scan::PageRenderer::Result;

namespace {

const QByteArray kLink = "<a href=\"http://mysite.test/\">Mine</a>";
// Writes kLink into #t; its own text does not hold the address, so that a
// document holds it only once the script has run.
const QByteArray kWrite = "t.innerHTML = '<a href=\"http://my' + 'site.test/\">Mine</a>';";
const QString kFound = QStringLiteral("href=\"http://mysite.test/\"");

HttpReply Script(const QByteArray& code) {
    return HttpReply::raw("HTTP/1.1 200 OK\r\nContent-Type: text/javascript\r\nContent-Length: " +
                          QByteArray::number(code.size()) + "\r\nConnection: close\r\n\r\n" + code);
}

QByteArray ProcFile(qint64 pid, const char* name) {
    QFile f(S("/proc/%1/").arg(pid) + QLatin1String(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The value of a line of /proc/<pid>/status ("Uid", "Seccomp").
QByteArray StatusLine(qint64 pid, const char* key) {
    const QList<QByteArray> lines = ProcFile(pid, "status").split('\n');
    for (const QByteArray& line : lines)
        if (line.startsWith(QByteArray(QByteArray(key) + ':')))
            return line.mid(qstrlen(key) + 1).simplified();
    return {};
}

} // namespace

class PageRenderTest : public QObject {
    Q_OBJECT
    TestHttpServer m_server;
    std::unique_ptr<ProcessRenderer> m_renderer;

    QString url(const QString& path) const { return S("http://render.test/") + path; }

    std::unique_ptr<ProcessRenderer> renderer() const {
        const QString route = S("render.test:127.0.0.1:%1").arg(m_server.port());
        return std::make_unique<ProcessRenderer>(S(CORVANTIS_RENDER_PROGRAM),
                                                 [route] { return QStringList{route}; });
    }

    // One render, waited for; its time in *ms.
    static Result Render(ProcessRenderer& r, const QString& url, int timeoutMs,
                         qint64* ms = nullptr) {
        std::optional<Result> got;
        QElapsedTimer clock;
        clock.start();
        r.render(url, timeoutMs, [&](const Result& result) { got = result; });
        if (!QTest::qWaitFor([&] { return got.has_value(); }, timeoutMs + 30000))
            return Result{false, {}, S("no answer in the test's time")};
        if (ms)
            *ms = clock.elapsed();
        return *got;
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_server.start());
        m_server.setMaxLifetime(280000);
        m_server.setReply(S("render.test/fine.html"),
                          HttpReply::html("<p id=t></p><script>" + kWrite + "</script>"));
        m_renderer = renderer();
        qint64 ms = 0;
        const Result first = Render(*m_renderer, url(S("fine.html")), 30000, &ms);
        QVERIFY2(first.ok, qPrintable(first.error));
        qInfo("the first page, with the web engine's start: %lld ms", ms);
    }

    // Settled, not waited: what the page's scripts do within its first second
    // is in the document, and a page with nothing pending is answered soon.
    void settles_data() {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QString>("resource"); // beside the page
        QTest::addColumn<QByteArray>("resourceBody");
        QTest::addColumn<int>("resourceDelayMs");
        QTest::addColumn<bool>("found");
        QTest::addColumn<int>("mostMs"); // 0: any time within the time-out
        const QByteArray write = kWrite;
        const QByteArray body = "<p id=t></p>";
        QTest::newRow("a plain script") << body + "<script>" + write + "</script>" << QString()
                                        << QByteArray() << 0 << true << 1000;
        QTest::newRow("an 800 ms timer")
            << body + "<script>setTimeout(function () {" + write + "}, 800);</script>" << QString()
            << QByteArray() << 0 << true << 0;
        QTest::newRow("a fetch answered after 700 ms")
            << body + "<script>fetch('data.txt').then(function (r) { return r.text(); })"
                      ".then(function (x) { t.innerHTML = x; });</script>"
            << "data.txt" << kLink << 700 << true << 0;
        QTest::newRow("an XMLHttpRequest answered after 700 ms")
            << body + "<script>var x = new XMLHttpRequest(); x.open('GET', 'data.txt');"
                      "x.onload = function () { t.innerHTML = x.responseText; }; x.send();"
                      "</script>"
            << "data.txt" << kLink << 700 << true << 0;
        QTest::newRow("a script added after the load, there after 700 ms")
            << body + "<script>onload = function () { var s = document.createElement('script');"
                      "s.src = 'late.js'; document.body.appendChild(s); };</script>"
            << "late.js" << write << 700 << true << 0;
        QTest::newRow("a script's redirect")
            << QByteArray("<script>location.replace('target.html');</script>") << "target.html"
            << body + "<script>" + write + "</script>" << 0 << true << 0;
        QTest::newRow("a timer loop is not waited for")
            << body + "<script>" + write +
                   "(function tick() { setTimeout(tick, 100); })();</script>"
            << QString() << QByteArray() << 0 << true << 2500;
        QTest::newRow("a three-second timer is not waited for")
            << body + "<script>setTimeout(function () {" + write + "}, 3000);</script>" << QString()
            << QByteArray() << 0 << false << 2500;
    }
    void settles() {
        QFETCH(QByteArray, page);
        QFETCH(QString, resource);
        QFETCH(QByteArray, resourceBody);
        QFETCH(int, resourceDelayMs);
        QFETCH(bool, found);
        QFETCH(int, mostMs);
        const QString folder =
            S("settle/") + QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-') + u'/';
        m_server.setReply(S("render.test/") + folder + S("index.html"),
                          HttpReply::html("<html><body>" + page + "</body></html>"));
        if (!resource.isEmpty())
            m_server.setReply(
                S("render.test/") + folder + resource,
                (resource.endsWith(S(".js")) ? Script(resourceBody) : HttpReply::html(resourceBody))
                    .delayed(resourceDelayMs));
        qint64 ms = 0;
        const Result r = Render(*m_renderer, url(folder + S("index.html")), 15000, &ms);
        qInfo("%s: %lld ms", QTest::currentDataTag(), ms);
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(r.html.contains(kFound), found);
        if (mostMs > 0)
            QVERIFY2(ms < mostMs, qPrintable(S("%1 ms").arg(ms)));
    }

    // A page that fails, then a page of the same host that is fine.
    void failsAndTheNextIsFine_data() {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QString>("error");
        const QByteArray never = "<script src=\"never.js\"></script>";
        QTest::newRow("a script that never loads") << never << "did not finish loading in 2 s";
        QTest::newRow("a script that never ends")
            << QByteArray("<script>for (;;) {}</script>") << "did not finish loading in 2 s";
        QTest::newRow("a document over 16 MB")
            << QByteArray("<script>document.body.appendChild(document.createComment("
                          "'x'.repeat(17 << 20)));</script>")
            << "the rendered document is over 16 MB";
        QTest::newRow("not found") << QByteArray() << "HTTP 404";
    }
    void failsAndTheNextIsFine() {
        QFETCH(QByteArray, page);
        QFETCH(QString, error);
        const QString folder =
            S("fail/") + QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-') + u'/';
        if (!page.isEmpty())
            m_server.setReply(S("render.test/") + folder + S("index.html"),
                              HttpReply::html("<html><body>" + page + "</body></html>"));
        m_server.setReply(S("render.test/") + folder + S("never.js"), Script("").delayed(200000));
        const Result failed = Render(*m_renderer, url(folder + S("index.html")), 2000);
        QVERIFY(!failed.ok);
        QVERIFY2(failed.error.contains(error), qPrintable(failed.error));
        qint64 ms = 0;
        const Result fine = Render(*m_renderer, url(S("fine.html")), 15000, &ms);
        QVERIFY2(fine.ok, qPrintable(fine.error));
        QVERIFY(fine.html.contains(kFound));
        qInfo("the next page: %lld ms", ms);
    }

    // Run as root, the renderer and every browser process of it run as nobody,
    // sandboxed, and none has this program's secrets.
    void sandboxedWithoutSecrets() {
        if (::getuid() != 0)
            QSKIP("run as root to see the renderer run as another user");
        qputenv("CORVANTIS_SMTP_PASSWORD", "mail-password");
        qputenv("CORVANTIS_WEBHOOK_SECRET", "webhook-secret");
        qunsetenv("CORVANTIS_RENDER_USER");
        m_server.setReply(S("render.test/slow/index.html"),
                          HttpReply::html("<p id=t></p><script src=slow.js></script>"));
        m_server.setReply(S("render.test/slow/slow.js"), Script(kWrite).delayed(3000));
        const auto r = renderer();
        std::optional<Result> got;
        r->render(url(S("slow/index.html")), 20000, [&](const Result& result) { got = result; });
        // Under way: the page's own process is up once its script is asked for.
        QTRY_VERIFY_WITH_TIMEOUT(m_server.requests().size() > 0 &&
                                     m_server.requests().last().path == S("/slow/slow.js"),
                                 20000);
        const QList<qint64> tree = ProcessTree(r->processId());
        QVERIFY2(tree.size() >= 3, qPrintable(S("%1 processes").arg(tree.size())));
        const passwd* nobody = ::getpwnam("nobody");
        QVERIFY(nobody);
        const QByteArray uids = QByteArray::number(nobody->pw_uid);
        const QByteArray ownUserNamespace = QFile::symLinkTarget(S("/proc/self/ns/user")).toUtf8();
        int sandboxed = 0;
        for (const qint64 pid : tree) {
            QCOMPARE(StatusLine(pid, "Uid"), uids + ' ' + uids + ' ' + uids + ' ' + uids);
            const QList<QByteArray> args = ProcFile(pid, "cmdline").split('\0');
            QVERIFY2(!args.contains("--no-sandbox") && !args.contains("--single-process"),
                     ProcFile(pid, "cmdline").replace('\0', ' ').constData());
            const QList<QByteArray> env = ProcFile(pid, "environ").split('\0');
            for (const QByteArray& variable : env)
                QVERIFY2(!variable.startsWith("CORVANTIS_") &&
                             !variable.startsWith("QTWEBENGINE_DISABLE_SANDBOX"),
                         variable.constData());
            if (StatusLine(pid, "Seccomp") == "2" &&
                QFile::symLinkTarget(S("/proc/%1/ns/user").arg(pid)).toUtf8() != ownUserNamespace)
                ++sandboxed;
        }
        // The pages' processes: in a user namespace of their own, under seccomp.
        QVERIFY(sandboxed >= 1);
        QVERIFY(!ProcFile(tree.first(), "environ").isEmpty()); // it was read
        qInfo("%lld processes as uid %u, %d of them sandboxed", qint64(tree.size()), nobody->pw_uid,
              sandboxed);
        // Dropping the rights happened in the child only.
        const QStringList tasks =
            QDir(S("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        for (const QString& task : tasks) {
            QFile status(S("/proc/self/task/%1/status").arg(task));
            QVERIFY(status.open(QIODevice::ReadOnly));
            QVERIFY(status.readAll().contains("\nUid:\t0\t0\t0\t0\n"));
        }
        QTRY_VERIFY_WITH_TIMEOUT(got.has_value(), 30000);
        QVERIFY2(got->ok, qPrintable(got->error));
        QVERIFY(got->html.contains(kFound));
    }
};

CORVANTIS_TEST_MAIN(PageRenderTest)
#include "tst_page_render.moc"
