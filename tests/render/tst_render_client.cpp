// The renderer's protocol, its environment, and ProcessRenderer driving a
// stand-in renderer (stand_in_renderer.cpp) that misbehaves on request.
#include "render/render_client.h"
#include "render/render_environment.h"
#include "render/render_protocol.h"
#include "support/test_env.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using corvantis::render::ParseReply;
using corvantis::render::ParseRequest;
using corvantis::render::ProcessRenderer;
using corvantis::render::RenderReply;
using corvantis::render::RenderRequest;
using corvantis::render::ReplyLine;
using corvantis::render::RequestLine;
using corvantis::testing::S;
using Result = corvantis::scan::PageRenderer::Result;

Q_DECLARE_METATYPE(std::optional<qint64>)

namespace {

// JSON written with ' for ".
QByteArray J(const char* line) {
    return QByteArray(line).replace('\'', '"');
}

QString Url(const QString& what) {
    return S("http://stand-in.test/") + what;
}

// Collects answers as they come, in that order.
struct Answers {
    QList<QPair<QString, Result>> got;
    ProcessRenderer::Done to(const QString& url) {
        return [this, url](const Result& r) { got.append({url, r}); };
    }
    const Result* of(const QString& url) const {
        for (const auto& [u, r] : got)
            if (u == url)
                return &r;
        return nullptr;
    }
};

// What the stand-in told of itself ("env"): a value a line.
QHash<QString, QString> Lines(const QString& html) {
    QHash<QString, QString> values;
    const QStringList lines = html.split(u'\n');
    for (const QString& line : lines)
        values.insert(line.section(u'=', 0, 0), line.section(u'=', 1));
    return values;
}

std::unique_ptr<ProcessRenderer> StandIn(const QString& program = S(STAND_IN_RENDERER)) {
    return std::make_unique<ProcessRenderer>(program, [] { return QStringList(); });
}

} // namespace

class RenderClientTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Either way, one line; an answer's document may hold line ends and quotes.
    void linesRoundTrip() {
        const RenderRequest request{42, S("https://partner.test/a?b=\"c\""), 15000};
        const std::optional<RenderRequest> asked = ParseRequest(RequestLine(request));
        QVERIFY(asked);
        QCOMPARE(asked->id, 42);
        QCOMPARE(asked->url, request.url);
        QCOMPARE(asked->timeoutMs, 15000);
        QVERIFY(!ParseRequest(J("{'url':'http://a.test/','timeout_ms':1}"))); // no id
        const RenderReply reply{7, true, S("<p class=\"x\">a\nb\\</p>"), {}};
        const QByteArray line = ReplyLine(reply);
        QCOMPARE(line.count('\n'), 1);
        QVERIFY(line.endsWith('\n'));
        const std::optional<RenderReply> answered = ParseReply(line);
        QVERIFY(answered);
        QCOMPARE(answered->id, 7);
        QCOMPARE(answered->html, reply.html);
    }

    // Only a line with an id of 1 or more and "ok" is an answer.
    void replyLines_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<std::optional<qint64>>("id");
        QTest::newRow("an answer")
            << J("{'id':9,'ok':false,'error':'e'}") << std::optional<qint64>(9);
        QTest::newRow("not JSON") << QByteArray("this is no answer") << std::optional<qint64>();
        QTest::newRow("cut short") << J("{'id':9,'ok':true,'html':'<p>") << std::optional<qint64>();
        QTest::newRow("no id") << J("{'ok':true,'html':''}") << std::optional<qint64>();
        QTest::newRow("id 0") << J("{'id':0,'ok':true}") << std::optional<qint64>();
        QTest::newRow("id as text") << J("{'id':'9','ok':true}") << std::optional<qint64>();
        QTest::newRow("id with a fraction") << J("{'id':9.5,'ok':true}") << std::optional<qint64>();
        QTest::newRow("no ok") << J("{'id':9,'html':'<p>'}") << std::optional<qint64>();
        QTest::newRow("html not text")
            << J("{'id':9,'ok':true,'html':5}") << std::optional<qint64>();
        QTest::newRow("an array") << J("[{'id':9,'ok':true}]") << std::optional<qint64>();
    }
    void replyLines() {
        QFETCH(QByteArray, line);
        QFETCH(std::optional<qint64>, id);
        const std::optional<RenderReply> reply = ParseReply(line);
        QCOMPARE(reply.has_value(), id.has_value());
        if (reply)
            QCOMPARE(reply->id, *id);
    }

    // Browser flags reach the renderer unless they weaken its sandbox (the
    // rest of its environment: rendererSees).
    void browserFlags_data() {
        QTest::addColumn<QString>("flags");
        QTest::addColumn<bool>("passed");
        QTest::newRow("no GPU") << "--disable-gpu" << true;
        QTest::newRow("no sandbox") << "--disable-gpu --no-sandbox" << false;
        QTest::newRow("no seccomp") << "--disable-seccomp-filter-sandbox" << false;
        QTest::newRow("one process") << "--single-process" << false;
    }
    void browserFlags() {
        QFETCH(QString, flags);
        QFETCH(bool, passed);
        QProcessEnvironment from;
        from.insert(S("QTWEBENGINE_CHROMIUM_FLAGS"), flags);
        const QProcessEnvironment env = corvantis::render::RendererEnvironment(from);
        QCOMPARE(env.value(S("QTWEBENGINE_CHROMIUM_FLAGS")), passed ? flags : QString());
    }

    // Answers land on their own requests whatever their order.
    void answersOutOfOrder() {
        const auto r = StandIn();
        r->setPagesAtOnce(2);
        Answers answers;
        const QString first = Url(S("reverse?n=1")), second = Url(S("reverse?n=2"));
        r->render(first, 10000, answers.to(first));
        r->render(second, 10000, answers.to(second));
        QTRY_COMPARE_WITH_TIMEOUT(answers.got.size(), 2, 10000);
        QCOMPARE(answers.got.at(0).first, second); // the stand-in did answer the later first
        for (const auto& [url, result] : answers.got) {
            QVERIFY2(result.ok, qPrintable(result.error));
            QVERIFY2(result.html.contains(url), qPrintable(result.html));
        }
    }

    void answerToNoRequestIgnored() {
        const auto r = StandIn();
        Answers answers;
        r->render(Url(S("stale")), 10000, answers.to(Url(S("stale"))));
        QTRY_COMPARE_WITH_TIMEOUT(answers.got.size(), 1, 10000);
        QVERIFY(answers.got.at(0).second.html.contains(Url(S("stale"))));
    }

    // Up to N requests are under way at once, the rest wait and go in order.
    void pagesAtOnce_data() {
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("requests");
        QTest::newRow("one") << 1 << 4;
        QTest::newRow("three") << 3 << 7;
        QTest::newRow("ten") << 10 << 12;
        QTest::newRow("above ten") << 50 << 12;
    }
    void pagesAtOnce() {
        QFETCH(int, n);
        QFETCH(int, requests);
        const auto r = StandIn();
        r->setPagesAtOnce(n);
        Answers answers;
        QStringList urls;
        for (int i = 0; i < requests; ++i) {
            urls << Url(S("answer?ms=300&n=%1").arg(i));
            r->render(urls.last(), 10000, answers.to(urls.last()));
        }
        QElapsedTimer clock;
        clock.start();
        QTRY_COMPARE_WITH_TIMEOUT(answers.got.size(), requests, 20000);
        const int atOnce = qMin(n, 10);
        int most = 0;
        for (int i = 0; i < requests; ++i) {
            QCOMPARE(answers.got.at(i).first, urls.at(i)); // equal holds answer in order
            QVERIFY(answers.got.at(i).second.html.contains(urls.at(i)));
            most = qMax(
                most,
                answers.got.at(i).second.html.section(S("most="), 1).section(u'<', 0, 0).toInt());
        }
        QCOMPARE(most, qMin(atOnce, requests));
        qInfo("%d at once: %d requests of 300 ms in %lld ms", atOnce, requests, clock.elapsed());
    }

    // A renderer that fails one way or another: the renders under way in it
    // fail, the next is answered with its own document, by a new renderer when
    // the old one had to go.
    void failures_data() {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("restarted");
        QTest::addColumn<qint64>("memoryBound");
        const qint64 normal = ProcessRenderer::kDefaultMemoryBound;
        QTest::newRow("crash") << "crash"
                               << "the page renderer ended (exit code 3)" << true << normal;
        QTest::newRow("garbage") << "garbage"
                                 << "the page renderer's answer could not be read" << true
                                 << normal;
        // Its own time-out of 200 ms and the watchdog's margin of 5 s.
        QTest::newRow("hang") << "hang"
                              << "the page renderer did not answer in time" << true << normal;
        QTest::newRow("huge document") << "huge"
                                       << "the rendered document is over 16 MB" << false << normal;
        QTest::newRow("endless line")
            << "endless"
            << "the page renderer's answer is over 24 MB" << true << normal;
        QTest::newRow("memory") << "memory"
                                << "of memory, over its bound of 100 MB" << true
                                << qint64(100) * 1024 * 1024;
    }
    void failures() {
        QFETCH(QString, what);
        QFETCH(QString, error);
        QFETCH(bool, restarted);
        QFETCH(qint64, memoryBound);
        const auto r = StandIn();
        Answers answers;
        // Up first, so that the watchdog allows only its margin.
        r->render(Url(S("answer?n=0")), 10000, answers.to(Url(S("answer?n=0"))));
        QTRY_COMPARE_WITH_TIMEOUT(answers.got.size(), 1, 10000);
        const qint64 pid = r->processId();
        QVERIFY(pid > 0);
        r->setMemoryBound(memoryBound);
        r->setPagesAtOnce(2);
        // One that fails, one beside it that would be answered after the failure
        // (or soon, when the renderer stays), and one waiting for them.
        const QString bad = Url(what),
                      beside = Url(S("answer?ms=%1&n=1").arg(restarted ? 8000 : 300)),
                      next = Url(S("answer?n=2"));
        r->render(bad, 200, answers.to(bad));
        r->render(beside, 10000, answers.to(beside));
        r->render(next, 10000, answers.to(next));
        QTRY_COMPARE_WITH_TIMEOUT(answers.got.size(), 4, 15000);
        const Result* failed = answers.of(bad);
        QVERIFY(!failed->ok);
        QVERIFY2(failed->error.contains(error), qPrintable(failed->error));
        // Beside it: failed with it when the renderer had to go, else its own.
        const Result* besideResult = answers.of(beside);
        if (restarted) {
            QCOMPARE(besideResult->ok, false);
            QCOMPARE(besideResult->error, failed->error);
        } else {
            QVERIFY(besideResult->ok);
            QVERIFY(besideResult->html.contains(beside));
        }
        const Result* nextResult = answers.of(next);
        QVERIFY2(nextResult->ok, qPrintable(nextResult->error));
        QVERIFY2(nextResult->html.contains(next), qPrintable(nextResult->html));
        QCOMPARE(r->processId() != pid, restarted);
    }

    // The renderer's environment and user, as it sees them; as root, a user of
    // its own with a new home folder, gone with it.
    void rendererSees() {
        qputenv("CORVANTIS_SMTP_PASSWORD", "pw");
        qputenv("CORVANTIS_WEBHOOK_SECRET", "secret");
        qputenv("DISPLAY", ":7");
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        auto r = StandIn();
        Answers answers;
        r->render(Url(S("env")), 10000, answers.to(Url(S("env"))));
        QTRY_COMPARE_WITH_TIMEOUT(answers.got.size(), 1, 10000);
        QVERIFY2(answers.got.at(0).second.ok, qPrintable(answers.got.at(0).second.error));
        const QHash<QString, QString> seen = Lines(answers.got.at(0).second.html);
        const QStringList allowed =
            S("uid euid cwd PATH HOME LANG XDG_RUNTIME_DIR XDG_CACHE_HOME XDG_CONFIG_HOME "
              "XDG_DATA_HOME QTWEBENGINE_CHROMIUM_FLAGS QT_QPA_PLATFORM")
                .split(u' ');
        for (auto it = seen.cbegin(); it != seen.cend(); ++it)
            QVERIFY2(allowed.contains(it.key()) || it.key().startsWith(S("LC_")),
                     qPrintable(it.key()));
        QCOMPARE(seen.value(S("QT_QPA_PLATFORM")), S("offscreen"));
        if (::getuid() != 0) {
            QCOMPARE(seen.value(S("uid")).toUInt(), ::getuid());
            return;
        }
        const passwd* nobody = ::getpwnam("nobody");
        QVERIFY(nobody);
        QCOMPARE(seen.value(S("uid")).toUInt(), nobody->pw_uid);
        QCOMPARE(seen.value(S("euid")).toUInt(), nobody->pw_uid);
        const QString home = seen.value(S("HOME"));
        QVERIFY2(home.startsWith(QDir::tempPath() + S("/corvantis-render-")), qPrintable(home));
        QCOMPARE(seen.value(S("cwd")), home);
        for (const QString& folder : {home, seen.value(S("XDG_RUNTIME_DIR"))}) {
            struct stat st {};
            QCOMPARE(::stat(QFile::encodeName(folder).constData(), &st), 0);
            QCOMPARE(st.st_uid, nobody->pw_uid);
            QCOMPARE(st.st_mode & 0777, 0700u);
        }
        QVERIFY(seen.value(S("XDG_CACHE_HOME")).startsWith(home + u'/'));
        r.reset();
        QVERIFY(!QFileInfo::exists(home));
    }

    // As root, a renderer that cannot run as its user renders nothing, and
    // says why once, the same for every page.
    void cannotRunAsItsUser_data() {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("program");  // empty: the stand-in
        QTest::addColumn<bool>("unreachable"); // in a folder only root may enter
        QTest::addColumn<QString>("why");
        QTest::newRow("no such user") << "no-such-user-here"
                                      << "" << false << "there is no such user";
        QTest::newRow("root") << "root"
                              << "" << false << "that user is root";
        QTest::newRow("the program out of reach") << "nobody"
                                                  << "" << true << "Permission denied";
        QTest::newRow("a program that fails its check")
            << "nobody"
            << "/bin/false" << false << "its check failed (exit code 1)";
    }
    void cannotRunAsItsUser() {
        if (::getuid() != 0)
            QSKIP("only root drops its rights for the renderer");
        QFETCH(QString, user);
        QFETCH(QString, program);
        QFETCH(bool, unreachable);
        QFETCH(QString, why);
        qputenv("CORVANTIS_RENDER_USER", user.toLocal8Bit());
        QTemporaryDir closed; // 0700, root's
        if (program.isEmpty())
            program = S(STAND_IN_RENDERER);
        if (unreachable) {
            QVERIFY(QFile::copy(program, closed.filePath(S("stand-in"))));
            program = closed.filePath(S("stand-in"));
        }
        const auto r = StandIn(program);
        Answers answers;
        r->render(Url(S("answer?n=1")), 10000, answers.to(Url(S("answer?n=1"))));
        r->render(Url(S("answer?n=2")), 10000, answers.to(Url(S("answer?n=2"))));
        QCOMPARE(answers.got.size(), 0); // never inside render()
        QTRY_COMPARE_WITH_TIMEOUT(answers.got.size(), 2, 10000);
        qunsetenv("CORVANTIS_RENDER_USER");
        const QString expected =
            S("pages are not rendered: corvantis-render cannot run as %1: ").arg(user);
        const QString error = answers.got.at(0).second.error;
        qInfo("%s", qPrintable(error));
        QVERIFY2(error.startsWith(expected) && error.contains(why), qPrintable(error));
        QCOMPARE(answers.got.at(1).second.error, error);
        QCOMPARE(r->unavailableReason(), error);
        QCOMPARE(r->processId(), 0);
    }
};

CORVANTIS_TEST_MAIN(RenderClientTest)
#include "tst_render_client.moc"
