// corvantis-render: renders pages for the scan, one JSON request per line on
// stdin, one JSON answer per line on stdout (render/render_protocol.h), several
// pages at once; it ends at the end of its input. It runs the browser engine
// with its sandbox, so never as root: the scan starts it as an unprivileged
// user when it runs as root itself.
#include "fetch/host_route.h"
#include "render/page_render_host.h"
#include "render/render_environment.h"
#include "render/render_protocol.h"

#include <QGuiApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <optional>
#include <unistd.h>

using namespace corvantis;

namespace {

// Chromium's host rules for the routes given (tests and benches send partner
// hosts to a local server), with no proxy in the way; empty without routes.
QByteArray HostRules(const QStringList& specs) {
    scan::HostRouter router;
    for (const QString& spec : specs)
        router.addSpec(spec);
    QStringList rules;
    for (auto it = router.routes().cbegin(); it != router.routes().cend(); ++it)
        rules << QStringLiteral("MAP %1:%2 %3:%4")
                     .arg(it.key().first)
                     .arg(it.key().second)
                     .arg(it->address)
                     .arg(it->port);
    if (rules.isEmpty())
        return {};
    return " --no-proxy-server --host-resolver-rules=\"" +
           rules.join(QStringLiteral(", ")).toUtf8() + "\"";
}

[[noreturn]] void Refuse(const char* why) {
    std::fprintf(stderr, "corvantis-render: %s\n", why);
    std::exit(2);
}

void Write(const QByteArray& line) {
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
}

// Pages run the partners' scripts: only inside the browser's sandbox, which
// refuses root. Returns the browser flags it was given.
QByteArray RefuseUnsafe() {
    if (::getuid() == 0 || ::geteuid() == 0)
        Refuse("does not run as root");
    qunsetenv("QTWEBENGINE_DISABLE_SANDBOX");
    const QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (render::WeakensSandbox(QString::fromLocal8Bit(flags)))
        Refuse("QTWEBENGINE_CHROMIUM_FLAGS would weaken the browser's sandbox");
    return flags;
}

// The routes given with --connect-to; nothing for --check, the scan's test that
// it can run here, as this user, with its home.
std::optional<QStringList> Routes(int argc, char* argv[]) {
    QStringList specs;
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--check") == 0) {
            if (::access(qgetenv("HOME").constData(), W_OK) != 0)
                Refuse("its home folder is not its own");
            return std::nullopt;
        }
        if (qstrcmp(argv[i], "--connect-to") == 0 && i + 1 < argc)
            specs << QString::fromLocal8Bit(argv[++i]);
    }
    return specs;
}

// Hands every whole request line of the input to the host.
void TakeRequests(QByteArray& input, render::PageRenderHost& host,
                  const std::function<void(const render::RenderReply&)>& reply) {
    qsizetype newline;
    while ((newline = input.indexOf('\n')) >= 0) {
        const std::optional<render::RenderRequest> request =
            render::ParseRequest(input.left(newline));
        input.remove(0, newline + 1);
        // A request that cannot be read cannot be answered by its id either:
        // the scan sees the end and starts over.
        if (!request)
            Refuse("a request could not be read");
        host.render(*request, reply);
    }
    if (input.size() > render::kMaxRequestLineBytes)
        Refuse("a request is too long");
}

} // namespace

int main(int argc, char* argv[]) {
    const QByteArray flags = RefuseUnsafe();
    const std::optional<QStringList> specs = Routes(argc, argv);
    if (!specs)
        return 0;
    // It shows nothing: no display is needed, and none is used.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags + " --disable-gpu" + HostRules(*specs));
    QGuiApplication app(argc, argv);
    render::PageRenderHost host;
    QByteArray input;
    const auto reply = [](const render::RenderReply& r) {
        QByteArray line = render::ReplyLine(r);
        if (line.size() > render::kMaxAnswerLineBytes) // a document of many escapes
            line = render::ReplyLine(
                {r.id, false, {}, QStringLiteral("the rendered document is too large to send")});
        Write(line);
    };
    // Done at the end of the input, once every page under way is answered.
    QTimer quitWhenDone;
    quitWhenDone.setInterval(50);
    QObject::connect(&quitWhenDone, &QTimer::timeout, [&] {
        if (host.underWay() == 0)
            QCoreApplication::quit();
    });
    QSocketNotifier stdinReady(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&stdinReady, &QSocketNotifier::activated, [&] {
        char buffer[65536];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            stdinReady.setEnabled(false);
            quitWhenDone.start();
            return;
        }
        input.append(buffer, n);
        TakeRequests(input, host, reply);
    });
    return QCoreApplication::exec();
}
