// The alert's digest: what a scan's rows make of its subject and partner lines,
// and what one way adds of the earlier alerts it owes.
#include "alert/alert_digest.h"
#include "session/scan_session.h"
#include "support/test_env.h"

#include <QTest>

using namespace corvantis;
using corvantis::testing::S;

namespace {

// "yyyy-MM-dd HH:mm" in UTC.
QDateTime Utc(const QString& text) {
    QDateTime t = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm"));
    t.setTimeSpec(Qt::UTC);
    return t;
}

// A result row from "site|change|status|url|value|lost since": the last field a
// UTC time, empty when the site's link is not lost.
scan::ResultRow Row(const QString& spec) {
    const QStringList f = spec.split(u'|');
    scan::ResultRow r;
    r.site = f.value(0);
    r.change = scan::ChangeFromText(f.value(1));
    r.status = f.value(2);
    r.url = f.value(3);
    r.value = f.value(4);
    if (!f.value(5).isEmpty())
        r.lostSince = Utc(f.value(5));
    return r;
}

} // namespace

class AlertDigestTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void makeAlert_data() {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<bool>("domainInHistory");
        QTest::addColumn<QString>("subject"); // without "Corvantis: " and " on mysite.test"
        QTest::addColumn<QString>("partners");
        QTest::addColumn<bool>("news");
        QTest::newRow("worst first, counted in words")
            << QStringList{S("a.test/|Found|Direct Link|a.test/links|Counts|"),
                           S("b.test/|Lost|None Found|||2024-05-07 05:30"),
                           S("c.test/|Value changed|Direct Link|c.test/|nofollow|"),
                           S("d.test/|Value changed|Domain Link|d.test/p||")}
            << true << S("1 link lost, 2 values changed, 1 link found")
            << S("b.test/: Lost, None Found\n"
                 "c.test/: Value changed, Direct Link, c.test/, nofollow\n"
                 "d.test/: Value changed, Domain Link, d.test/p\n"
                 "a.test/: Found, Direct Link, a.test/links, Counts")
            << true;
        QTest::newRow("a first scan: new partners are no change")
            << QStringList{S("a.test/|New partner|Direct Link|a.test/|Counts|"),
                           S("b.test/|New partner|None Found|||")}
            << false << S("no changes") << QString() << false;
        QTest::newRow("a new partner of a domain scanned before is told, not news")
            << QStringList{S("a.test/|New partner|Direct Link|a.test/|Counts|"),
                           S("b.test/|New partner|Domain Link|b.test/x||")}
            << true << S("2 new partners")
            << S("a.test/: New partner, Direct Link, a.test/, Counts\n"
                 "b.test/: New partner, Domain Link, b.test/x")
            << false;
        QTest::newRow("still lost after the changes")
            << QStringList{S("b.test/||None Found|||2024-05-01 07:00"),
                           S("a.test/|Moved|Direct Link|a.test/new|Counts|"),
                           S("c.test/||None Found|||2024-04-30 23:59")}
            << true << S("1 link moved, 2 still lost")
            << S("a.test/: Moved, Direct Link, a.test/new, Counts\n\nStill lost:\n"
                 "b.test/: lost since 2024-05-01 07:00 UTC\n"
                 "c.test/: lost since 2024-04-30 23:59 UTC")
            << true;
        QTest::newRow("only still lost")
            << QStringList{S("b.test/||None Found|||2024-05-01 07:00")} << true
            << S("no changes, 1 still lost")
            << S("Still lost:\nb.test/: lost since 2024-05-01 07:00 UTC") << false;
        QTest::newRow("a site of several rows once, by its first")
            << QStringList{S("a.test/|Unconfirmed|Robots.txt disallows|||"),
                           S("a.test/|Unconfirmed|Direct Link|a.test/2||")}
            << true << S("1 unconfirmed") << S("a.test/: Unconfirmed, Robots.txt disallows")
            << true;
    }
    void makeAlert() {
        QFETCH(QStringList, rows);
        QFETCH(bool, domainInHistory);
        QFETCH(QString, subject);
        QFETCH(QString, partners);
        QFETCH(bool, news);
        scan::ScanSession session;
        session.project.setDomain(S("mysite.test"));
        QList<scan::ResultRow> results;
        for (const QString& row : rows)
            results.append(Row(row));
        session.project.results.setRows(results);
        session.run.domainInHistory = domainInHistory;
        // Two hours east of UTC: the alert tells the time in UTC.
        const QDateTime finished(QDate(2024, 5, 7), QTime(7, 30), Qt::OffsetFromUTC, 7200);

        const alert::Alert a = alert::MakeAlert(session, "{}", finished);
        QCOMPARE(a.subject, S("Corvantis: ") + subject + S(" on mysite.test"));
        QCOMPARE(a.partners, partners);
        QCOMPARE(a.news, news);
        QCOMPARE(a.domain, S("mysite.test"));
        QVERIFY(a.body.startsWith(
            S("The scan of the partners of mysite.test ended 2024-05-07 05:30 UTC.\n\n")));
        QVERIFY2(
            a.body.endsWith((partners.isEmpty() ? S("No partner changed.") : partners) + u'\n'),
            qPrintable(a.body));
    }

    // A way's alert carries the earlier alerts that way owes, oldest first, and
    // no other way's.
    void withEarlier_data() {
        QTest::addColumn<int>("way"); // alert::Way
        QTest::addColumn<QString>("partners");
        QTest::addColumn<QString>("subjectAdded");
        QTest::addColumn<QString>("partnersAdded");
        const QString mailPieces =
            S("Not delivered before, from the scan that ended 2024-05-05 07:30 UTC:\n"
              "y.test/: Moved, Direct Link, y.test/2\n\n"
              "Not delivered before, from the scan that ended 2024-05-06 07:30 UTC:\n"
              "w.test/: Lost, None Found");
        QTest::newRow("mail owes two") << int(alert::Way::Mail) << S("x.test/: Lost, None Found")
                                       << S("; 2 earlier alerts not delivered")
                                       << S("x.test/: Lost, None Found\n\n") + mailPieces;
        QTest::newRow("no partner now") << int(alert::Way::Mail) << QString()
                                        << S("; 2 earlier alerts not delivered") << mailPieces;
        QTest::newRow("the webhook owes one")
            << int(alert::Way::Webhook) << S("x.test/: Lost, None Found")
            << S("; 1 earlier alert not delivered")
            << S("x.test/: Lost, None Found\n\n"
                 "Not delivered before, from the scan that ended 2024-05-06 09:00 UTC:\n"
                 "z.test/: Found, Direct Link, z.test/");
        QTest::newRow("the notification owes none")
            << int(alert::Way::Notification) << S("x.test/: Lost, None Found") << QString()
            << S("x.test/: Lost, None Found");
    }
    void withEarlier() {
        QFETCH(int, way);
        QFETCH(QString, partners);
        QFETCH(QString, subjectAdded);
        QFETCH(QString, partnersAdded);
        alert::Alert a;
        a.subject = S("Corvantis: 1 link lost on mysite.test");
        a.partners = partners;
        a.body = S("heading\n");
        a.earlier = {
            {1, alert::Way::Mail, Utc(S("2024-05-05 07:30")), S("s1"),
             S("y.test/: Moved, Direct Link, y.test/2"), "{1}"},
            {2, alert::Way::Webhook, Utc(S("2024-05-06 09:00")), S("s2"),
             S("z.test/: Found, Direct Link, z.test/"), "{2}"},
            {3, alert::Way::Mail, Utc(S("2024-05-06 07:30")), S("s3"),
             S("w.test/: Lost, None Found"), "{3}"},
        };
        const alert::Alert sent = alert::WithEarlier(a, alert::Way(way));
        QCOMPARE(sent.subject, a.subject + subjectAdded);
        QCOMPARE(sent.partners, partnersAdded);
        // The e-mail's text adds the same pieces after its own.
        QVERIFY2(sent.body.startsWith(a.body), qPrintable(sent.body));
        for (const alert::EarlierAlert& e : a.earlier)
            QCOMPARE(sent.body.contains(e.partners), e.way == alert::Way(way));
    }
};

CORVANTIS_TEST_MAIN(AlertDigestTest)
#include "tst_alert_digest.moc"
