// A stand-in for corvantis-render in ProcessRenderer's tests: it speaks the
// same protocol, and what it does is named by the last part of the address it
// is asked for:
//   answer[?ms=N]  answers, after N ms, with a document that holds the address
//                  and the most requests it has held at once ("most=K")
//   reverse        held until a second one comes; then both are answered, the
//                  later first
//   stale          answers an id that was never asked, then its own
//   crash          ends at once
//   hang           is never answered
//   garbage        writes a line that is no answer
//   huge           answers with a document just over the bound
//   endless        writes a line longer than any answer may be, never ending it
//   memory         takes 200 MB and touches it, and is never answered
//   env            answers with its user, folder and environment, a line each
#include "render/render_protocol.h"

#include <QCoreApplication>
#include <QDir>
#include <QList>
#include <QProcessEnvironment>
#include <QSocketNotifier>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

#include <cstdio>
#include <cstring>
#include <memory>
#include <unistd.h>

using namespace corvantis::render;

namespace {

int g_held = 0;
int g_most = 0;
QList<RenderRequest> g_reversed;

void Write(const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void Answer(const RenderRequest& r, const QString& html) {
    --g_held;
    Write(ReplyLine(RenderReply{r.id, true, html, {}}));
}

QString Document(const RenderRequest& r) {
    return QStringLiteral("<p>%1</p><p>most=%2</p>").arg(r.url).arg(g_most);
}

void Act(const RenderRequest& r) {
    g_most = qMax(g_most, ++g_held);
    const QUrl url(r.url);
    const QString what = url.path().section(u'/', -1);
    if (what == QLatin1String("answer")) {
        const int ms = QUrlQuery(url).queryItemValue(QStringLiteral("ms")).toInt();
        QTimer::singleShot(ms, [r] { Answer(r, Document(r)); });
    } else if (what == QLatin1String("reverse")) {
        g_reversed.append(r);
        if (g_reversed.size() == 2) {
            Answer(g_reversed.at(1), Document(g_reversed.at(1)));
            Answer(g_reversed.at(0), Document(g_reversed.at(0)));
            g_reversed.clear();
        }
    } else if (what == QLatin1String("stale")) {
        Write(ReplyLine(RenderReply{r.id + 1000, true, QStringLiteral("<p>stale</p>"), {}}));
        Answer(r, Document(r));
    } else if (what == QLatin1String("crash")) {
        std::_Exit(3);

    } else if (what == QLatin1String("garbage")) {
        Write("this is no answer\n");
    } else if (what == QLatin1String("huge")) {
        Answer(r, QString(kMaxDocumentBytes + 1, u'x'));
    } else if (what == QLatin1String("endless")) {
        Write(QByteArray(kMaxAnswerLineBytes + 1024 * 1024, 'x'));
    } else if (what == QLatin1String("memory")) {
        constexpr size_t kBytes = 200 * 1024 * 1024;
        static std::unique_ptr<char[]> taken(new char[kBytes]);
        for (size_t i = 0; i < kBytes; i += 4096)
            taken[i] = char(i);
    } else if (what == QLatin1String("env")) {
        QStringList lines{QStringLiteral("uid=%1").arg(::getuid()),
                          QStringLiteral("euid=%1").arg(::geteuid()),
                          QStringLiteral("cwd=") + QDir::currentPath()};
        const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const QStringList keys = env.keys();
        for (const QString& key : keys)
            lines << key + u'=' + env.value(key);
        Answer(r, lines.join(u'\n'));
    }
    // hang, and anything else: never answered
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--check") == 0)
            return 0;
    QByteArray input;
    QSocketNotifier stdinReady(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&stdinReady, &QSocketNotifier::activated, [&] {
        char buffer[65536];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            QCoreApplication::exit(0);
            return;
        }
        input.append(buffer, n);
        qsizetype newline;
        while ((newline = input.indexOf('\n')) >= 0) {
            const std::optional<RenderRequest> request = ParseRequest(input.left(newline));
            input.remove(0, newline + 1);
            if (!request) {
                QCoreApplication::exit(2);
                return;
            }
            Act(*request);
        }
    });
    return QCoreApplication::exec();
}
