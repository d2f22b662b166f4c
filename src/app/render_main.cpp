// corvantis-render: renders pages for the scan, one JSON request per line on
// stdin, one JSON answer per line on stdout; it ends at the end of its input.
#include "fetch/host_route.h"
#include "render/page_render_host.h"
#include "render/render_protocol.h"

#include <QGuiApplication>
#include <QSocketNotifier>

#include <cstdio>
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

} // namespace

int main(int argc, char* argv[]) {
    // It shows nothing: no display is needed, and none is used.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QStringList specs;
    for (int i = 1; i + 1 < argc; i += 2)
        if (qstrcmp(argv[i], "--connect-to") == 0)
            specs << QString::fromLocal8Bit(argv[i + 1]);
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS",
            qgetenv("QTWEBENGINE_CHROMIUM_FLAGS") + " --disable-gpu" + HostRules(specs));
    // The browser engine refuses to run as root with its sandbox on.
    if (::getuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QGuiApplication app(argc, argv);
    render::PageRenderHost host;
    QByteArray input;
    int underWay = 0;
    bool inputEnded = false;
    const auto reply = [&](const render::RenderReply& r) {
        std::fputs(render::ReplyLine(r).constData(), stdout);
        std::fflush(stdout);
        if (--underWay == 0 && inputEnded)
            QCoreApplication::quit();
    };
    QSocketNotifier stdinReady(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&stdinReady, &QSocketNotifier::activated, [&] {
        char buffer[65536];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            // The end of the input: done once the page under way is answered.
            stdinReady.setEnabled(false);
            inputEnded = true;
            if (underWay == 0)
                QCoreApplication::quit();
            return;
        }
        input.append(buffer, n);
        qsizetype newline;
        while ((newline = input.indexOf('\n')) >= 0) {
            const QByteArray line = input.left(newline);
            input.remove(0, newline + 1);
            ++underWay;
            if (const std::optional<render::RenderRequest> request = render::ParseRequest(line))
                host.render(*request, reply);
            else
                reply(render::RenderReply{
                    false, {}, QStringLiteral("the request could not be read")});
        }
    });
    return QCoreApplication::exec();
}
