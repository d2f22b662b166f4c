// What the scanner's own transport costs before any page is looked at: fetches
// every page of the benchmark site in crawl order the way the scan does (one
// QTcpSocket on one event loop, a new connection per page, the scanner's
// request, read until the server closes), and does nothing with the bytes.
// Set beside bench_baseline it shows how much of the gap between the scanner
// and the plain fetcher is the socket layer and how much is the page work.
//
//   bench_qt_fetch --pages N [--links-back M] --port P

#include "fetch_options.h"
#include "page/http_response.h"
#include "site_generator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

#include <cstdio>
#include <string>

using namespace corvantis::bench;

int main(int argc, char** argv) {
    const FetchOptions options = ParseFetchOptions(argc, argv, "bench_qt_fetch");
    QCoreApplication app(argc, argv);
    const SiteGenerator site(options.pages, options.linksBack);
    if (!site.problem().empty()) {
        std::fprintf(stderr, "bench_qt_fetch: %s\n", site.problem().c_str());
        return 1;
    }
    const QString host =
        QString::fromLatin1(SiteGenerator::kHost.data(), qsizetype(SiteGenerator::kHost.size()));
    const std::vector<int>& order = site.crawlOrder();

    QTcpSocket socket;
    std::size_t next = 0;
    long long bytes = 0;
    int failed = 0;
    QElapsedTimer clock;

    const auto fetchNext = [&] {
        if (next == order.size()) {
            QCoreApplication::quit();
            return;
        }
        socket.abort();
        socket.connectToHost(QHostAddress(QHostAddress::LocalHost), quint16(options.port));
    };
    QObject::connect(&socket, &QTcpSocket::connected, [&] {
        const std::string& path = site.path(order[next]);
        socket.write(corvantis::scan::BuildRequest(
            host, QString::fromLatin1(path.data(), qsizetype(path.size()))));
    });
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] { bytes += socket.readAll().size(); });
    QObject::connect(&socket, &QTcpSocket::disconnected, [&] {
        bytes += socket.readAll().size();
        ++next;
        fetchNext();
    });
    QObject::connect(&socket, &QTcpSocket::errorOccurred, [&](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::RemoteHostClosedError)
            return; // the end of every page
        ++failed;
        ++next;
        QTimer::singleShot(0, fetchNext);
    });
    // Bounded whatever the server does.
    QTimer::singleShot(600'000, [&] {
        failed += int(order.size() - next);
        QCoreApplication::quit();
    });

    clock.start();
    QTimer::singleShot(0, fetchNext);
    app.exec();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    const std::size_t fetched = next;
    PrintFetchSummary(fetched, seconds, bytes, failed);
    return failed == 0 ? 0 : 1;
}
