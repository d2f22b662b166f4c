// The main window scanning the generated partner site served by bench_server:
// the scan started with the window's Start button, with the page limit and the
// expected-links skip switched off in its options, the lists and the figures
// shown as a user sees them. Prints one line of key=value fields, as
// corvantis-scan --stats does: pages, seconds, pages/s, the longest time the
// event loop could not run a 10 ms timer, and the peak RSS.
//
//   bench_window --pages N --port P
//
// The settings store and the application folder are the caller's
// (XDG_CONFIG_HOME, CORVANTIS_HOME); the browser views reach nothing but
// 127.0.0.1.

#include "alert/secret_store.h"
#include "fetch/host_route.h"
#include "ui/main/main_window.h"
#include "util/seams.h"
#include "util/settings_store.h"
#include "util/stall_probe.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace corvantis;

namespace {

class QuietMessages : public util::Messages {
public:
    void inform(const QString& text, const QString&) override {
        std::fprintf(stderr, "bench_window: %s\n", qPrintable(text));
        ++count;
    }
    util::Answer ask(const QString&, const QString&, util::Question kind) override {
        return kind == util::Question::YesNo ? util::Answer::No : util::Answer::Cancel;
    }
    int count = 0;
};

class NoFileDialogs : public util::FileDialogs {
public:
    QString openFile(const QString&, const QString&, const QString&) override { return {}; }
    QString saveFile(const QString&, const QString&, const QString&) override { return {}; }
};

// The product's website and anything else off the machine stays unloaded.
class LoopbackOnly : public QWebEngineUrlRequestInterceptor {
public:
    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        const QUrl url = info.requestUrl();
        if ((url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")) &&
            !QHostAddress(url.host()).isLoopback())
            info.block(true);
    }
};

// CPU time of the calling thread: what the window's own work costs, apart
// from the browser engine's processes and the display server.
double ThreadCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

[[noreturn]] void Usage(const char* why) {
    std::fprintf(stderr, "bench_window: %s\nusage: bench_window --pages N --port P\n", why);
    std::exit(2);
}

template <typename W> W* Control(QWidget* window, const char* name) {
    W* w = window->findChild<W*>(QLatin1String(name));
    if (!w)
        Usage("the window has no such control");
    return w;
}

} // namespace

int main(int argc, char** argv) {
    int pages = -1;
    int port = -1;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--pages") == 0)
            pages = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--port") == 0)
            port = std::atoi(argv[i + 1]);
        else
            Usage("unknown option");
    }
    if (pages < 1 || port < 1 || port > 65535)
        Usage("--pages and --port are needed");
    if (::getuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Corvantis"));
    QApplication::setApplicationName(QStringLiteral("Corvantis"));
    LoopbackOnly loopback;
    QWebEngineProfile::defaultProfile()->setUrlRequestInterceptor(&loopback);

    QuietMessages messages;
    NoFileDialogs dialogs;
    util::SilentSound sound;
    scan::HostRouter router;
    router.add(QStringLiteral("partner-bench.com"), QStringLiteral("127.0.0.1"), quint16(port));

    scan::ScanSession session;
    alert::KeyringSecrets secrets; // no alert is asked for
    ui::MainWindow window(session, {&messages, &dialogs, &sound, &router, &secrets});
    window.show();
    Control<QLineEdit>(&window, "txtDomain")->setText(QStringLiteral("mysite-bench.com"));
    Control<QCheckBox>(&window, "chkAuto")->setChecked(false);
    Control<QCheckBox>(&window, "chkAuto2")->setChecked(false);
    window.session().project.partners.append(
        {QStringLiteral("partner-bench.com/"), QStringLiteral("1"), {}, {}, {}});

    util::StallProbe stallProbe;

    // The scan has ended when Start is offered again.
    QPushButton* start = Control<QPushButton>(&window, "Command1");
    QTimer watch;
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (start->isEnabled())
            app.quit();
    });

    QElapsedTimer wall;
    double cpuAtStart = 0;
    // Start once the window is on screen and the browser views have settled.
    QTimer::singleShot(1000, [&] {
        wall.start();
        cpuAtStart = ThreadCpuSeconds();
        start->click();
        if (messages.count > 0) {
            app.exit(2);
            return;
        }
        stallProbe.start();
        watch.start();
    });
    const int rc = app.exec();
    stallProbe.stop();
    if (rc != 0)
        return rc;
    const double seconds = double(wall.nsecsElapsed()) / 1e9;
    const double cpu = ThreadCpuSeconds() - cpuAtStart;
    const qint64 fetched = window.session().run.counters().runPagesScanned;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::fprintf(stderr,
                 "pages=%lld seconds=%.3f pages_per_s=%.1f max_stall_ms=%lld peak_rss_kb=%ld "
                 "main_thread_cpu_s=%.3f\n",
                 static_cast<long long>(fetched), seconds,
                 seconds > 0 ? double(fetched) / seconds : 0.0,
                 static_cast<long long>(stallProbe.maxStallMs()), usage.ru_maxrss, cpu);
    util::SettingsStore::instance().sync();
    return fetched == pages ? 0 : 1;
}
