// Several partner sites at once against pages that take time to arrive, as on
// the web: a server in this process answers every page after a fixed delay,
// for --sites-count partner sites of --pages pages each (every second site has
// a link back on its middle page, the others none), and corvantis-scan scans
// them all with --sites 1, 4 and 8 in turn. Prints one line per run: the wall
// time, the ideal (the --sites 1 time over N), the speed-up over --sites 1, and
// whether the result lines equal those of --sites 1.
//
// Then the re-scan: as many partners, each a chain of --pages pages with the link
// on page 14, scanned with --sites 4 and a history store three times: the first
// scan, a re-scan (which asks first for the page where the link stood), and a
// re-scan with --full-crawl. One line each: the wall time, the requests per
// partner (robots.txt included), and whether the result lines equal the first
// scan's.
//
//   bench_latency SCANNER [--delay-ms 20] [--sites-count 40] [--pages 25]
#include "support/test_http_server.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

using corvantis::testing::HttpReply;
using corvantis::testing::TestHttpServer;

namespace {

QString Host(int site) {
    return QStringLiteral("partner-%1.bench").arg(site, 2, 10, QLatin1Char('0'));
}

// Site s: a start page linking to every other page; the middle page links back
// when s is even.
void ServeSites(TestHttpServer& server, int sites, int pages, int delayMs) {
    for (int s = 0; s < sites; ++s) {
        QByteArray start = "<html><body><h1>Partner</h1>\n";
        for (int p = 1; p < pages; ++p)
            start += "<a href=\"p" + QByteArray::number(p) + ".html\">page " +
                     QByteArray::number(p) + "</a>\n";
        server.setReply(Host(s) + QStringLiteral("/"),
                        HttpReply::html(start + "</body></html>\n").delayed(delayMs));
        for (int p = 1; p < pages; ++p) {
            QByteArray body = "<html><body><p>Page " + QByteArray::number(p) + "</p>\n" +
                              QByteArray(2000, 'x') + "\n";
            if (s % 2 == 0 && p == pages / 2)
                body += "<a href=\"http://www.mysite-bench.com/\">My site</a>\n";
            server.setReply(Host(s) + QStringLiteral("/p%1.html").arg(p),
                            HttpReply::html(body + "</body></html>\n").delayed(delayMs));
        }
    }
}

QString ChainHost(int site) {
    return QStringLiteral("chain-%1.bench").arg(site, 2, 10, QLatin1Char('0'));
}

// The page of the chain at a position, 1 the start page.
QString ChainPage(int site, int position) {
    return ChainHost(site) +
           (position == 1 ? QStringLiteral("/") : QStringLiteral("/p%1.html").arg(position));
}

constexpr int kChainLinkPage = 14;

// Site s: pages 1 to pages, each linking to the next; page 14 links back.
void ServeChains(TestHttpServer& server, int sites, int pages, int delayMs) {
    for (int s = 0; s < sites; ++s)
        for (int p = 1; p <= pages; ++p) {
            QByteArray body = "<html><body><p>Page " + QByteArray::number(p) + "</p>\n" +
                              QByteArray(2000, 'x') + "\n";
            if (p < pages)
                body += "<a href=\"p" + QByteArray::number(p + 1) + ".html\">next</a>\n";
            if (p == qMin(kChainLinkPage, pages))
                body += "<a href=\"http://www.mysite-bench.com/\">My site</a>\n";
            server.setReply(ChainPage(s, p),
                            HttpReply::html(body + "</body></html>\n").delayed(delayMs));
        }
}

struct Run {
    bool ok = false;
    double seconds = 0;
    QByteArray out;
};

// The scanner over every site, this process's event loop serving meanwhile.
Run Scan(const QString& scanner, const QStringList& args, const QString& home) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CORVANTIS_HOME"), home + QStringLiteral("/app"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    p.setProcessEnvironment(env);
    QEventLoop loop;
    QObject::connect(&p, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    QElapsedTimer wall;
    wall.start();
    p.start(scanner, args);
    limit.start(600000);
    loop.exec();
    Run r;
    r.seconds = double(wall.nsecsElapsed()) / 1e9;
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished(5000);
        return r;
    }
    r.ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    r.out = p.readAllStandardOutput();
    return r;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("scanner"), QStringLiteral("corvantis-scan"));
    const QCommandLineOption delay(QStringLiteral("delay-ms"), QStringLiteral("Page delay."),
                                   QStringLiteral("MS"), QStringLiteral("20"));
    const QCommandLineOption count(QStringLiteral("sites-count"), QStringLiteral("Sites."),
                                   QStringLiteral("N"), QStringLiteral("40"));
    const QCommandLineOption pagesOption(QStringLiteral("pages"), QStringLiteral("Pages a site."),
                                         QStringLiteral("N"), QStringLiteral("25"));
    parser.addOptions({delay, count, pagesOption});
    parser.process(app);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(2);
    const QString scanner = parser.positionalArguments().first();
    const int delayMs = qBound(0, parser.value(delay).toInt(), 10000);
    const int sites = qBound(1, parser.value(count).toInt(), 99);
    const int pages = qBound(2, parser.value(pagesOption).toInt(), 1000);

    TestHttpServer server;
    server.setMaxLifetime(1800000);
    if (!server.start()) {
        std::fprintf(stderr, "bench_latency: the server did not start\n");
        return 1;
    }
    ServeSites(server, sites, pages, delayMs);
    QTemporaryDir home;
    QStringList base{QStringLiteral("--domain"),
                     QStringLiteral("mysite-bench.com"),
                     QStringLiteral("--no-page-limit"),
                     QStringLiteral("--timeout"),
                     QStringLiteral("30"),
                     QStringLiteral("--quiet"),
                     QStringLiteral("--no-history")};
    for (int s = 0; s < sites; ++s)
        base << QStringLiteral("--connect-to")
             << Host(s) + QStringLiteral(":127.0.0.1:") + QString::number(server.port())
             << Host(s) + QStringLiteral("/");

    std::printf("%d sites of %d pages, every page after %d ms\n", sites, pages, delayMs);
    std::printf("%8s %9s %9s %9s %s\n", "--sites", "seconds", "ideal", "speed-up", "lines");
    Run one;
    bool allSame = true;
    for (const int n : {1, 4, 8}) {
        const Run r =
            Scan(scanner, base + QStringList{QStringLiteral("--sites"), QString::number(n)},
                 home.path());
        if (!r.ok) {
            std::printf("%8d failed\n", n);
            return 1;
        }
        if (n == 1)
            one = r;
        const bool same = r.out == one.out;
        allSame = allSame && same;
        std::printf("%8d %9.2f %9.2f %9.2f %s\n", n, r.seconds, one.seconds / n,
                    one.seconds / r.seconds, same ? "same as --sites 1" : "DIFFER from --sites 1");
    }
    if (!allSame)
        return 3;

    // The re-scan, against a history store of its own.
    ServeChains(server, sites, pages, delayMs);
    QStringList chains{QStringLiteral("--domain"),
                       QStringLiteral("mysite-bench.com"),
                       QStringLiteral("--no-page-limit"),
                       QStringLiteral("--timeout"),
                       QStringLiteral("30"),
                       QStringLiteral("--quiet"),
                       QStringLiteral("--sites"),
                       QStringLiteral("4"),
                       QStringLiteral("--history"),
                       home.filePath(QStringLiteral("rescan.sqlite"))};
    for (int s = 0; s < sites; ++s)
        chains << QStringLiteral("--connect-to")
               << ChainHost(s) + QStringLiteral(":127.0.0.1:") + QString::number(server.port())
               << ChainHost(s) + QStringLiteral("/");
    std::printf("\n%d partners, each a chain of %d pages with the link on page %d, every page "
                "after %d ms, --sites 4\n",
                sites, pages, qMin(kChainLinkPage, pages), delayMs);
    std::printf("%-22s %9s %18s %s\n", "scan", "seconds", "requests/partner", "lines");
    const struct {
        const char* name;
        QStringList extra;
    } scans[] = {{"first scan", {}},
                 {"re-scan", {}},
                 {"re-scan --full-crawl", {QStringLiteral("--full-crawl")}}};
    Run runs[3];
    bool rescanSame = true;
    for (int i = 0; i < 3; ++i) {
        const qsizetype before = server.requests().size();
        runs[i] = Scan(scanner, chains + scans[i].extra, home.path());
        if (!runs[i].ok) {
            std::printf("%-22s failed\n", scans[i].name);
            return 1;
        }
        const double requests = double(server.requests().size() - before) / sites;
        const bool same = runs[i].out == runs[0].out;
        rescanSame = rescanSame && same;
        std::printf("%-22s %9.2f %18.2f %s\n", scans[i].name, runs[i].seconds, requests,
                    i == 0 ? ""
                    : same ? "same as the first scan"
                           : "DIFFER from the first scan");
    }
    std::printf("re-scan: %.1fx as fast as the first scan\n", runs[0].seconds / runs[1].seconds);
    return rescanSame ? 0 : 3;
}
