// What recording a scan in the history costs: a store that already holds
// --scans earlier scans of --partners partners gets one more, and the time of
// that one recordScan (changes worked out, records written in one transaction)
// is measured --rounds times. Prints one line of key=value fields.
#include "history/history_store.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

using namespace corvantis::history;

namespace {

// Partner p's record in scan n: every third partner loses its link now and then,
// every fifth moves it, so the change rules take every path.
QList<PartnerRecord> Scan(int partners, int n) {
    QList<PartnerRecord> out;
    const QDateTime start(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);
    for (int p = 0; p < partners; ++p) {
        PartnerRecord r;
        r.time = start.addDays(7 * n);
        r.domain = QStringLiteral("mysite.example");
        r.partner = QStringLiteral("partner-%1.example/links.html").arg(p);
        const bool linked = p % 3 != 0 || n % 4 != 3;
        r.links = linked ? 1 : 0;
        r.verdict = linked ? QStringLiteral("Direct Link") : QStringLiteral("None Found");
        if (linked) {
            r.page = r.partner + (p % 5 == 0 ? QStringLiteral("?v=%1").arg(n % 2) : QString());
            r.value = QStringLiteral("Counts");
            r.anchor = QStringLiteral("My site");
        }
        out.append(r);
    }
    return out;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption partnersOption(QStringLiteral("partners"), QStringLiteral("Partners."),
                                            QStringLiteral("N"), QStringLiteral("200"));
    const QCommandLineOption scansOption(QStringLiteral("scans"), QStringLiteral("Earlier scans."),
                                         QStringLiteral("N"), QStringLiteral("52"));
    const QCommandLineOption roundsOption(QStringLiteral("rounds"), QStringLiteral("Rounds."),
                                          QStringLiteral("N"), QStringLiteral("5"));
    parser.addOptions({partnersOption, scansOption, roundsOption});
    parser.process(app);
    const int partners = qBound(1, parser.value(partnersOption).toInt(), 100000);
    const int scans = qBound(0, parser.value(scansOption).toInt(), 10000);
    const int rounds = qBound(1, parser.value(roundsOption).toInt(), 100);

    QTemporaryDir dir;
    QList<double> ms;
    for (int round = 0; round < rounds; ++round) {
        HistoryStore store(dir.filePath(QStringLiteral("history-%1.sqlite").arg(round)),
                           corvantis::util::kCommandLineBusyTimeout);
        for (int n = 0; n < scans; ++n)
            if (!store.recordScan(Scan(partners, n), 1).error.isEmpty())
                return 1;
        const QList<PartnerRecord> next = Scan(partners, scans);
        QElapsedTimer timer;
        timer.start();
        const QString error = store.recordScan(next, 1).error;
        ms.append(double(timer.nsecsElapsed()) / 1e6);
        if (!error.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
    }
    std::sort(ms.begin(), ms.end());
    std::printf("partners=%d earlier_scans=%d rounds=%d median_ms=%.2f max_ms=%.2f\n", partners,
                scans, rounds, ms.at(ms.size() / 2), ms.last());
    return 0;
}
