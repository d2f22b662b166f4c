// A scan in the history: its records from the engine's verdicts, and each
// partner's change written back into the session's rows.
#include "afterscan/scan_records.h"
#include "session/scan_session.h"
#include "support/test_env.h"

#include <QTemporaryDir>
#include <QTest>

using namespace corvantis;
using namespace corvantis::afterscan;
using history::PartnerRecord;
using testing::S;

class ScanRecordsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A scan's records from the engine's verdicts: one record per partner, its
    // links those of every listing, its verdict the last listing's, its pages
    // read when one of its listings read them.
    void recordsOfAScan() {
        using scan::ValueReason;
        using scan::VerdictKind;
        const auto verdict = [](const char* site, VerdictKind kind, bool read) {
            scan::PartnerVerdict v{S(site), kind};
            v.unread = read ? scan::UnreadReason::None : scan::UnreadReason::BotWall;
            return v;
        };
        scan::PartnerVerdict linked = verdict("a.test", VerdictKind::Missing, true);
        linked.missing = 1;
        linked.links = {{VerdictKind::Direct, S("a.test/l"), QList{ValueReason::Ugc}, S("A")},
                        {VerdictKind::Domain, S("a.test/m"), QList<ValueReason>{}, {}}};
        scan::PartnerVerdict walled = verdict("b.test", VerdictKind::NoneFound, false);
        walled.note = S("Blocked by bot protection");
        const QDateTime when(QDate(2026, 3, 1), QTime(8, 0), Qt::UTC);
        const QList<PartnerRecord> r =
            RecordsOfScan(S("me.test"),
                          {verdict("a.test", VerdictKind::NoneFound, false), walled,
                           verdict("c.test/", VerdictKind::NoneFound, false), linked,
                           verdict("b.test", VerdictKind::NoneFound, true)},
                          when);
        QCOMPARE(r.size(), 3);
        QCOMPARE(r[0], (PartnerRecord{when, S("me.test"), S("a.test"), S("Missing 001"), 2,
                                      S("a.test/l"), S("ugc"), S("A"), true,
                                      QStringList{S("a.test/l"), S("a.test/m")}}));
        QVERIFY(r[1].pagesRead);
        QCOMPARE(r[1].links, 0);
        QCOMPARE(r[1].verdict, S("None Found"));
        QVERIFY(!r[2].pagesRead);
    }

    // Each partner's change goes into every row of its site, with since when its
    // link is lost; the session learns whether the domain was scanned before.
    void changesIntoTheRows() {
        QTemporaryDir dir;
        history::HistoryStore store(dir.filePath(S("history.sqlite")),
                                    std::chrono::milliseconds(200));
        scan::ScanSession session;
        session.project.setDomain(S("me.test"));
        const auto row = [](const char* site, const char* number) {
            return scan::ResultRow{S(site), scan::kDirectLink, S(number), S(site), {}, {}};
        };
        for (const scan::ResultRow& r : {row("a.test", "001"), row("b.test", "001"),
                                         row("a.test", "002"), row("c.test", "001")})
            session.project.results.append(r);
        const auto linked = [](const char* site, bool link) {
            scan::PartnerVerdict v{S(site),
                                   link ? scan::VerdictKind::Direct : scan::VerdictKind::NoneFound};
            if (link)
                v.links = {{scan::VerdictKind::Direct, S(site), std::nullopt, S("Me")}};
            return v;
        };
        const QDateTime first(QDate(2026, 3, 1), QTime(8, 0), Qt::UTC);
        const QDateTime second = first.addDays(7);
        const auto changes = [&session] {
            QStringList out;
            const scan::ResultListModel& results = session.project.results;
            for (int i = 0; i < results.count(); ++i)
                out.append(results.index(i, 6).data().toString());
            return out;
        };

        QCOMPARE(RecordScan(store, session, {linked("a.test", true), linked("b.test", true)}, first)
                     .error,
                 QString());
        QVERIFY(!session.run.domainInHistory);
        QCOMPARE(changes(),
                 (QStringList{S("New partner"), S("New partner"), S("New partner"), QString()}));

        const history::HistoryStore::Recorded recorded =
            RecordScan(store, session, {linked("a.test", false), linked("b.test", true)}, second);
        QCOMPARE(recorded.error, QString());
        QCOMPARE(recorded.changes, (QList<history::PartnerChange>{{scan::Change::Lost, second},
                                                                  {scan::Change::None, {}}}));
        QVERIFY(session.run.domainInHistory);
        QCOMPARE(changes(), (QStringList{S("Lost"), QString(), S("Lost"), QString()}));
        const QList<scan::ResultRow>& rows = session.project.results.rows();
        QCOMPARE(rows[0].change, scan::Change::Lost);
        QCOMPARE(rows[0].lostSince, second);
        QCOMPARE(rows[2].lostSince, second);
        QCOMPARE(rows[1].change, scan::Change::None);
        QVERIFY(!rows[1].lostSince.isValid());
    }
};

CORVANTIS_TEST_MAIN(ScanRecordsTest)
#include "tst_scan_records.moc"
