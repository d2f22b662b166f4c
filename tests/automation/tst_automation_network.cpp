// Get Links and result posting end to end, against the local test server.
#include "automation/import_list_model.h"
#include "automation/link_importer.h"
#include "automation/result_posting.h"
#include "fetch/host_route.h"
#include "support/test_env.h"
#include "support/test_http_server.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QUrlQuery>

using namespace corvantis::automation;
using corvantis::scan::ResultRow;
using corvantis::testing::HttpReply;
using corvantis::testing::S;
using corvantis::testing::TestHttpServer;

class AutomationNetworkTest : public QObject {
    Q_OBJECT
    TestHttpServer m_server;
    corvantis::scan::HostRouter m_router;

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_server.start());
        for (const char* host : {"mysite.test", "www.mysite.test", "script.test"})
            m_router.add(S(host), QStringLiteral("127.0.0.1"), m_server.port());
        m_server.setReply(
            QStringLiteral("www.mysite.test/links/index.htm"),
            HttpReply::html("<a href=\"/about.html\">Me</a>\n<a href=\"http://other.example.com\">"
                            "Other</a><img><a href=\"banner.gif\">b</a>"));
        m_server.setReply(QStringLiteral("www.mysite.test/secure.htm"),
                          HttpReply::html("<a href='https://shop.example.org/x'>Shop</a>"));
        m_server.setReply(QStringLiteral("mysite.test/list.php"),
                          HttpReply::html("<html><body>\r\na.example, b.example\r\n</body></html>")
                              .inChunks(7, 5));
        m_server.setReply(QStringLiteral("mysite.test/bars.php"),
                          HttpReply::html("x.example|y.example,z.example"));
        m_server.setReply(QStringLiteral("mysite.test/none.php"),
                          HttpReply::html("").closedAfter(0));
    }

    void getLinks_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("delimiter"); // empty: the Simple way
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("last");
        const QString none;
        QTest::newRow("simple: one outside link and the empty last row")
            << "http://www.mysite.test/links/index.htm" << none
            << QStringList{QStringLiteral("other.example.com/"), QString()}
            << "Finished Downloading - 2 links found.";
        QTest::newRow("simple: https link listed")
            << "www.mysite.test/secure.htm" << none
            << QStringList{QStringLiteral("shop.example.org/x"), QString()}
            << "Finished Downloading - 2 links found.";
        QTest::newRow("advanced: comma, HTML-wrapped, in pieces")
            << "http://mysite.test/list.php"
            << ","
            << QStringList{QStringLiteral("a.example"), QString(), QStringLiteral("b.example")}
            << "Finished Downloading - 3 links found.";
        QTest::newRow("advanced: vertical bar")
            << "http://mysite.test/bars.php"
            << "|"
            << QStringList{QStringLiteral("x.example"), QStringLiteral("y.example"),
                           QStringLiteral("z.example")}
            << "Finished Downloading - 3 links found.";
        QTest::newRow("failed download")
            << "http://mysite.test/none.php"
            << "|" << QStringList{} << "Finished Downloading - 0 links found.";
    }
    void getLinks() {
        QFETCH(QString, address);
        QFETCH(QString, delimiter);
        ImportListModel list;
        QAbstractItemModelTester tester(&list);
        list.appendRows({QStringLiteral("left from before")});
        LinkImporter importer(m_router, list);
        QSignalSpy statuses(&importer, &LinkImporter::status);
        QSignalSpy finished(&importer, &LinkImporter::finished);
        QVERIFY(delimiter.isEmpty() ? importer.GetLinksSimple(address)
                                    : importer.GetLinksAdvanced(address, delimiter));
        QVERIFY(!importer.GetLinksSimple(address)); // one run at a time
        QVERIFY(finished.wait(10000));
        QCOMPARE(statuses.first().first().toString(), QStringLiteral("Conecting to ") + address);
        QTEST(statuses.last().first().toString(), "last");
        QTEST(list.rows(), "rows");
        QVERIFY(!importer.isRunning());
    }

    void posting() {
        m_server.setReply(QStringLiteral("script.test/in.php?u=a.example&s=True"),
                          HttpReply::html("saved a"));
        m_server.setReply(QStringLiteral("script.test/in.php?u=c.example&s=True"),
                          HttpReply::html(""));
        const QList<ResultRow> rows = {
            {S("a.example"), S("Direct Link"), S("001"), S("a.example/links.html"), {}, {}},
            {S("b.example"), S("Missing 001"), S("000"), S("b.example/"), {}, {}},
            {S("c.example"), S("Redirect Link"), S("001"), S("c.example/x.html"), {}, {}},
            {S("d.example&status=True"), S("Domain Link"), S("001"), S("d.example/"), {}, {}}};
        ResultPoster poster(m_router);
        QSignalSpy statuses(&poster, &ResultPoster::status);
        QSignalSpy logged(&poster, &ResultPoster::logged);
        QSignalSpy finished(&poster, &ResultPoster::finished);
        const int before = m_server.requestCount();
        // Without "http://": the call and its log line get it put in front.
        QVERIFY(poster.PostResults(QStringLiteral("script.test/in.php?u=$DOMAIN&s=$Status"), rows));
        QVERIFY(!poster.PostResults(QStringLiteral("script.test/"), rows));
        QVERIFY(finished.wait(10000));

        QStringList announced;
        for (const QList<QVariant>& s : statuses)
            announced << s.first().toString();
        QCOMPARE(announced, QStringList({QStringLiteral("Sending Site 1: a.example"),
                                         QStringLiteral("Sending Site 3: c.example"),
                                         QStringLiteral("Sending Site 4: d.example&status=True")}));
        QCOMPARE(m_server.requestCount() - before, 3);
        QStringList sites;
        QStringList states;
        for (int i = before; i < m_server.requestCount(); ++i) {
            const QString path = m_server.requests().at(i).path;
            const QUrlQuery query(path.mid(path.indexOf(u'?') + 1));
            sites << query.queryItemValue(QStringLiteral("u"), QUrl::FullyDecoded);
            states << query.queryItemValue(QStringLiteral("s"));
        }
        QCOMPARE(sites, QStringList({QStringLiteral("a.example"), QStringLiteral("c.example"),
                                     QStringLiteral("d.example&status=True")}));
        QCOMPARE(states, QStringList({QStringLiteral("True"), QStringLiteral("True"),
                                      QStringLiteral("False")}));
        // Only the call that got a body logs "Returned: ".
        QCOMPARE(logged.at(0).first().toString(),
                 QStringLiteral("\r\nURL: http://script.test/in.php?u=a.example&s=True\r\n"
                                "\r\nReturned: saved a\r\n"));
        QCOMPARE(logged.at(1).first().toString(),
                 QStringLiteral("\r\nURL: http://script.test/in.php?u=c.example&s=True\r\n"));
        QVERIFY(!poster.isRunning());
    }
};

CORVANTIS_TEST_MAIN(AutomationNetworkTest)
#include "tst_automation_network.moc"
