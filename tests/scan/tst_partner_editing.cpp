// Partner-list editing from the entry fields, and the list models themselves.
#include "fetch/host_route.h"
#include "scan/scan_engine.h"
#include "support/fakes.h"
#include "support/test_env.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTcpServer>

using namespace corvantis;
using namespace corvantis::scan;

class PartnerEditingTest : public QObject {
    Q_OBJECT

    HostRouter m_router;
    testing::FakeMessages m_messages;
    testing::RecordingSound m_sound;

private Q_SLOTS:
    void init() { m_messages.informed.clear(); }

    void addPartnerSite_data() {
        QTest::addColumn<QString>("text1");
        QTest::addColumn<QString>("text2");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("expected");
        QTest::newRow("scheme and trailing space") << "HTTP://Partner.example.com/links.html "
                                                   << ""
                                                   << "Partner.example.com/links.html"
                                                   << "1";
        // A leading "https://" stays: the site is on https from its first page.
        QTest::newRow("https, single-space count") << "HTTPS://a.example.org/x"
                                                   << " "
                                                   << "https://a.example.org/x"
                                                   << "1";
        QTest::newRow("count as typed") << "a.example.org"
                                        << "3"
                                        << "a.example.org"
                                        << "3";
        QTest::newRow("every scheme removed") << "http://x.example.com/go?u=http://y"
                                              << "2"
                                              << "x.example.com/go?u=y"
                                              << "2";
    }
    void addPartnerSite() {
        QFETCH(QString, text1);
        QFETCH(QString, text2);
        QFETCH(QString, address);
        QFETCH(QString, expected);
        ScanSession session;
        ScanEngine engine(session, m_messages, m_sound, m_router);
        QSignalSpy focus(&engine, &ScanEngine::focusRequested);
        PartnerEntry fields{text1, text2, QStringLiteral("L"), QStringLiteral("N"),
                            QStringLiteral("D")};
        QVERIFY(engine.AddPartnerSite(fields));
        QCOMPARE(session.project.partners.rows(),
                 QList<PartnerSite>{(PartnerSite{address, expected, QStringLiteral("L"),
                                                 QStringLiteral("N"), QStringLiteral("D")})});
        QVERIFY(fields.Text1.isEmpty() && fields.Text2.isEmpty() && fields.Text5.isEmpty());
        QVERIFY(!session.project.projectSaved());
        QCOMPARE(focus.count(), 1);
        QCOMPARE(m_messages.informed, QStringList());
    }

    void addWithoutAddressChangesNothing_data() {
        QTest::addColumn<QString>("text1");
        QTest::newRow("empty") << "";
        QTest::newRow("single space") << " ";
        QTest::newRow("only a scheme") << "http://";
    }
    void addWithoutAddressChangesNothing() {
        QFETCH(QString, text1);
        ScanSession session;
        ScanEngine engine(session, m_messages, m_sound, m_router);
        PartnerEntry fields{text1, QStringLiteral("2"), QStringLiteral("keep"), {}, {}};
        QVERIFY(!engine.AddPartnerSite(fields));
        QCOMPARE(m_messages.informed,
                 QStringList{QStringLiteral("Please enter the Website URL first.")});
        QCOMPARE(session.project.partners.count(), 0);
        QCOMPARE(fields.Text3, QStringLiteral("keep")); // no field is cleared
        QVERIFY(session.project.projectSaved());
    }

    void linksExpectedCheck_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::addColumn<bool>("message");
        QTest::newRow("number") << "12"
                                << "12" << false;
        QTest::newRow("empty") << ""
                               << "" << false;
        QTest::newRow("letters") << "3a"
                                 << "1" << true;
        QTest::newRow("past 16 bits") << "40000"
                                      << "1" << true;
        QTest::newRow("negative") << "-5"
                                  << "-5" << false;
    }
    void linksExpectedCheck() {
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        QFETCH(bool, message);
        ScanSession session;
        ScanEngine engine(session, m_messages, m_sound, m_router);
        QCOMPARE(engine.CheckLinksExpected(typed), kept);
        QCOMPARE(m_messages.informed.size(), message ? 1 : 0);
        if (message)
            QCOMPARE(m_messages.informed.first(),
                     QStringLiteral("You may only enter numbers in this field."));
    }

    void deletePartnerSite_data() {
        QTest::addColumn<int>("selected");
        QTest::addColumn<bool>("running");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<int>("sitesAtOnce");
        const QStringList all{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
        QTest::newRow("nothing selected")
            << -1 << false << "You must select a site to delete." << all << 1;
        QTest::newRow("first row, idle")
            << 0 << false << "" << QStringList{QStringLiteral("b"), QStringLiteral("c")} << 1;
        QTest::newRow("first row during a scan")
            << 0 << true << "You cannot delete the current site while the search is running." << all
            << 1;
        QTest::newRow("other row during a scan")
            << 1 << true << "" << QStringList{QStringLiteral("a"), QStringLiteral("c")} << 1;
        // Three sites at once: the second row is a current site too.
        QTest::newRow("a running site's row")
            << 1 << true << "You cannot delete the current site while the search is running." << all
            << 3;
    }
    void deletePartnerSite() {
        QFETCH(int, selected);
        QFETCH(bool, running);
        QFETCH(QString, message);
        QFETCH(QStringList, left);
        QFETCH(int, sitesAtOnce);
        ScanSession session;
        ScanOptions options;
        options.sitesAtOnce = sitesAtOnce;
        session.options = options;
        for (const char* a : {"a", "b", "c"})
            session.project.partners.append(
                PartnerSite{QLatin1String(a), QStringLiteral("1"), {}, {}, {}});
        // A scan runs while its first page waits on a server that never answers.
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        HostRouter router;
        for (const char* host : {"a", "b", "c"})
            router.add(QLatin1String(host), QStringLiteral("127.0.0.1"), silent.serverPort());
        ScanEngine engine(session, m_messages, m_sound, router);
        if (running) {
            session.project.setDomain(QStringLiteral("mysite.test"));
            engine.StartScan();
            QVERIFY(session.run.scanRunning());
            session.project.MarkProjectSaved();
        }
        engine.DeletePartnerSite(selected);
        QStringList addresses;
        for (const PartnerSite& p : session.project.partners.rows())
            addresses.append(p.address);
        QCOMPARE(addresses, left);
        QCOMPARE(m_messages.informed, message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(session.project.projectSaved(), message.isEmpty() ? false : true);
        // Next follows "a scan runs and more than one row is left".
        QCOMPARE(engine.controls().next, running && left.size() > 1);
    }

    void domainEditsMarkTheProject() {
        ScanSession session;
        session.project.setDomain(QStringLiteral("a.example"));
        QVERIFY(!session.project.projectSaved());
        session.project.MarkProjectSaved();
        session.project.IgnoreNextDomainChange();
        session.project.setDomain(QStringLiteral("b.example")); // the change a project load makes
        QVERIFY(session.project.projectSaved());
        QVERIFY(!session.project.ignoreNextDomainChange());
        session.project.setDomain(QStringLiteral("c.example"));
        QVERIFY(!session.project.projectSaved());
    }

    // A partner's address matches when both have the same PartnerKey; the key's
    // own rules are tst_partner_address's.
    void partnerAddressMatching_data() {
        QTest::addColumn<QString>("partner");
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("matches");
        const auto row = [](const char* name, const char* partner, const char* address, bool m) {
            QTest::newRow(name) << QString::fromUtf8(partner) << QString::fromUtf8(address) << m;
        };
        row("same", "p.example/", "p.example/", true);
        row("case", "P.Example/", "p.EXAMPLE/", true);
        row("www on the address", "p.example/", "www.p.example/", true);
        row("www on the partner", "www.p.example/", "p.example/", true);
        row("same length, other text", "p.example/", "q.example/", false);
        row("longer", "p.example/", "p.example/a", false);
        row("shorter", "p.example/a", "p.example/", false);
        row("non-ASCII, case", "Äb.example/", "äB.example/", true);
        row("non-ASCII, other", "äb.example/", "öb.example/", false);
        row("empty address", "p.example/", "", false);
    }
    void partnerAddressMatching() {
        QFETCH(QString, partner);
        QFETCH(QString, address);
        QFETCH(bool, matches);
        ScanSession session;
        session.project.partners.append(
            PartnerSite{QStringLiteral("other.example/"), QStringLiteral("1"), {}, {}, {}});
        session.project.partners.append(PartnerSite{partner, QStringLiteral("1"), {}, {}, {}});
        QCOMPARE(session.project.partners.isPartnerAddress(address), matches);
    }

    void modelsBehaveAsItemModels() {
        ScanSession session;
        QAbstractItemModelTester t1(&session.project.partners,
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
        QAbstractItemModelTester t2(&session.project.results,
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
        QAbstractItemModelTester t3(&session.run.errors,
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
        QAbstractItemModelTester t4(&session.run.queue,
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
        session.project.partners.append(
            PartnerSite{QStringLiteral("www.A.example/x"), QStringLiteral("1"), {}, {}, {}});
        session.project.partners.append(
            PartnerSite{QStringLiteral("b.example"), QStringLiteral("1"), {}, {}, {}});
        QVERIFY(session.project.partners.isPartnerAddress(QStringLiteral("a.example/X")));
        QVERIFY(session.project.partners.isPartnerAddress(
            QStringLiteral("www.B.example"))); // only lower-case "www." goes
        QVERIFY(!session.project.partners.isPartnerAddress(QStringLiteral("WWW.b.example")));
        session.project.partners.removeAt(1);
        QVERIFY(!session.project.partners.isPartnerAddress(QStringLiteral("b.example")));

        session.project.results.append(ResultRow{
            QStringLiteral("s"), kDirectLink, QStringLiteral("001"),
            QStringLiteral("Partner.example/links/a.html"), RowColour::Blue, RowMarker::Linking});
        QCOMPARE(
            session.project.results.data(session.project.results.index(0, 1), kMarkerRole).toInt(),
            int(RowMarker::Linking));
        session.project.results.setStatus(0, kNoneFound, RowColour::Red, RowMarker::NotLinking);
        QCOMPARE(session.project.results.data(session.project.results.index(0, 1), Qt::DisplayRole)
                     .toString(),
                 kNoneFound);
        QCOMPARE(
            session.project.results.data(session.project.results.index(0, 0), kColourRole).toInt(),
            int(RowColour::Red));
        session.project.results.clear();

        session.run.queue.append({QStringLiteral("q1"), QStringLiteral("q2")});
        QCOMPARE(session.run.queue.takeHead(), QStringLiteral("q1"));
        QCOMPARE(session.run.queue.count(), 1);
        session.run.errors.append(ErrorRow{QStringLiteral("Timeout"), QStringLiteral("h")});
        QCOMPARE(session.run.errors.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QStringLiteral("Error"));
    }

    // Sorting reorders the rows themselves by the text shown, letter case ignored,
    // equal texts keeping their order; the list then stays sorted as rows arrive.
    void sortByShownText_data() {
        QTest::addColumn<int>("column");
        QTest::addColumn<bool>("descending");
        QTest::addColumn<QStringList>("sites"); // after the sort
        QTest::addColumn<QString>("added");     // a site added afterwards...
        QTest::addColumn<int>("addedAt");       // ...goes here
        const auto list = [](std::initializer_list<const char*> l) {
            QStringList out;
            for (const char* s : l)
                out.append(QLatin1String(s));
            return out;
        };
        QTest::newRow("site, ascending, case ignored, stable")
            << 0 << false << list({"A.example", "a.example", "b.example", "c.example"})
            << "B.example" << 3;
        QTest::newRow("site, descending, stable")
            << 0 << true << list({"c.example", "b.example", "A.example", "a.example"})
            << "b.example" << 2;
        QTest::newRow("numbers as text")
            << 2 << false << list({"A.example", "b.example", "c.example", "a.example"}) << "1" << 2;
    }
    void sortByShownText() {
        QFETCH(int, column);
        QFETCH(bool, descending);
        QFETCH(QStringList, sites);
        QFETCH(QString, added);
        QFETCH(int, addedAt);
        ResultListModel results;
        QAbstractItemModelTester tester(&results,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        const auto row = [](const char* site, const char* number, const char* url) {
            return ResultRow{QLatin1String(site), kDirectLink,     QLatin1String(number),
                             QLatin1String(url),  RowColour::Blue, RowMarker::Linking};
        };
        results.setRows({row("b.example", "002", "b.example/x"), row("A.example", "000", "a/1"),
                         row("c.example", "10", "c.example/y"), row("a.example", "9", "a/2")});
        const QPersistentModelIndex c = results.index(2, 1);
        results.sort(column, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
        QStringList order;
        for (const ResultRow& r : results.rows())
            order.append(r.site);
        QCOMPARE(order, sites);
        QCOMPARE(results.at(c.row()).site, QStringLiteral("c.example")); // views follow the row

        const ResultRow late{added,          kNoneFound,
                             added,          QStringLiteral("late.example"),
                             RowColour::Red, RowMarker::NotLinking};
        QCOMPARE(results.append(late), addedAt);
        QCOMPARE(results.at(addedAt), late);
    }

    // While a scan runs, a partner row is added at the end whatever the sort, so
    // the scan's position in the list holds; afterwards rows go to their place.
    void partnerAddedDuringAScanGoesToTheEnd() {
        ScanSession session;
        for (const char* a : {"b.example", "a.example"})
            session.project.partners.append(
                PartnerSite{QLatin1String(a), QStringLiteral("1"), {}, {}, {}});
        session.project.partners.sort(0, Qt::AscendingOrder);
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        HostRouter router;
        router.add(QStringLiteral("a.example"), QStringLiteral("127.0.0.1"), silent.serverPort());
        ScanEngine engine(session, m_messages, m_sound, router);
        session.project.setDomain(QStringLiteral("mysite.example"));
        engine.StartScan();
        PartnerEntry during{QStringLiteral("0.example"), {}, {}, {}, {}};
        QVERIFY(engine.AddPartnerSite(during));
        QCOMPARE(session.project.partners.at(2).address, QStringLiteral("0.example"));
        engine.StopScan();
        PartnerEntry after{QStringLiteral("0a.example"), {}, {}, {}, {}};
        QVERIFY(engine.AddPartnerSite(after));
        QCOMPARE(session.project.partners.at(0).address, QStringLiteral("0a.example"));
    }

    void routeSpecs_data() {
        QTest::addColumn<QString>("spec");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("port");
        QTest::newRow("ipv4") << "Partner.test:127.0.0.1:8080" << true << "127.0.0.1" << 8080;
        QTest::newRow("ipv6") << "p.test:[::1]:81" << true << "::1" << 81;
        QTest::newRow("no port") << "p.test:127.0.0.1" << false << "" << 0;
        QTest::newRow("port zero") << "p.test:127.0.0.1:0" << false << "" << 0;
        QTest::newRow("port too big") << "p.test:127.0.0.1:70000" << false << "" << 0;
        QTest::newRow("no host") << ":127.0.0.1:80" << false << "" << 0;
    }
    void routeSpecs() {
        QFETCH(QString, spec);
        QFETCH(bool, ok);
        QFETCH(QString, address);
        QFETCH(int, port);
        HostRouter router;
        QCOMPARE(router.addSpec(spec), ok);
        const QString host = spec.section(QLatin1Char(':'), 0, 0).toUpper();
        if (ok) {
            QCOMPARE(router.route(host).address, address);
            QCOMPARE(int(router.route(host).port), port);
        }
        QCOMPARE(router.route(QStringLiteral("elsewhere.test")).address,
                 QStringLiteral("elsewhere.test"));
        QCOMPARE(int(router.route(QStringLiteral("elsewhere.test")).port), 80);
    }
};

CORVANTIS_TEST_MAIN(PartnerEditingTest)
#include "tst_partner_editing.moc"
