// What the senders build before anything goes on the wire: the e-mail as the
// SMTP server receives it, the webhook's signature, and where a login may go
// without TLS.
#include "alert/alert_senders.h"
#include "support/test_env.h"

#include <QLocale>
#include <QTest>

using namespace corvantis;
using corvantis::testing::FromQuotedPrintable;
using corvantis::testing::S;

class AlertMessageTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void mailMessage_data() {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QStringList>("to");
        QTest::addColumn<QByteArrayList>("headers"); // each a whole line of the head
        QTest::addColumn<QByteArray>("sent");        // the body as it arrives, decoded
        const QStringList me{S("me@mysite.test")};
        QTest::newRow("plain") << S("Corvantis: 1 link lost on mysite.test") << S("One.\nTwo.\n")
                               << me
                               << QByteArrayList{"Subject: Corvantis: 1 link lost on mysite.test",
                                                 "From: <alerts@mysite.test>",
                                                 "To: <me@mysite.test>",
                                                 "Date: Tue, 07 May 2024 05:30:09 +0000",
                                                 "Content-Type: text/plain; charset=UTF-8",
                                                 "Content-Transfer-Encoding: 8bit"}
                               << QByteArray("One.\r\nTwo.\r\n");
        QTest::newRow("a list, line ends already CRLF")
            << S("s") << S("One.\r\nTwo.") << QStringList{S("a@x.test"), S("b@y.test")}
            << QByteArrayList{"To: <a@x.test>, <b@y.test>"} << QByteArray("One.\r\nTwo.");
        QTest::newRow("a subject beyond ASCII")
            << S("Corvantis: 1 link lost on bücher.test") << S("x") << me
            << QByteArrayList{"Subject: =?UTF-8?B?" +
                              S("Corvantis: 1 link lost on bücher.test").toUtf8().toBase64() + "?="}
            << QByteArray("x");
        // A line break in the subject cannot start a header of its own.
        QTest::newRow("a line break in the subject")
            << S("lost\r\nBcc: all@elsewhere.test") << S("x") << me
            << QByteArrayList{"Subject: =?UTF-8?B?" +
                              QByteArray("lost\r\nBcc: all@elsewhere.test").toBase64() + "?="}
            << QByteArray("x");
        const QString longLine = QString(1000, u'a') + S(" = é ");
        QTest::newRow("a line over 998 octets")
            << S("s") << longLine + S("\nshort\n") << me
            << QByteArrayList{"Content-Transfer-Encoding: quoted-printable"}
            << longLine.toUtf8() + "\r\nshort\r\n";
    }
    void mailMessage() {
        QFETCH(QString, subject);
        QFETCH(QString, body);
        QFETCH(QStringList, to);
        QFETCH(QByteArrayList, headers);
        QFETCH(QByteArray, sent);
        alert::Alert a;
        a.subject = subject;
        a.body = body;
        // The date in English and UTC, whatever the user's language and zone.
        const QLocale saved;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const QByteArray m = alert::MailMessage(
            S("alerts@mysite.test"), to, a,
            QDateTime(QDate(2024, 5, 7), QTime(7, 30, 9), Qt::OffsetFromUTC, 7200));
        QLocale::setDefault(saved);

        const qsizetype end = m.indexOf("\r\n\r\n");
        QVERIFY(end > 0);
        QByteArrayList head = m.left(end + 2).split('\n');
        QCOMPARE(head.takeLast(), QByteArray());
        for (const QByteArray& line : head)
            QVERIFY2(line.endsWith('\r'), m); // every header line ends in CRLF
        QByteArrayList names;
        for (const QByteArray& line : head)
            names << line.left(line.indexOf(':'));
        QCOMPARE(names,
                 (QByteArrayList{"Date", "From", "To", "Subject", "Message-ID", "MIME-Version",
                                 "Content-Type", "Content-Transfer-Encoding"}));
        for (const QByteArray& header : headers)
            QVERIFY2(head.contains(header + '\r'), m);
        QVERIFY2(head.at(4).endsWith("@mysite.test>\r"), head.at(4));
        const QByteArray text = m.mid(end + 4);
        const bool encoded = head.contains("Content-Transfer-Encoding: quoted-printable\r");
        const QByteArrayList lines = text.split('\n');
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QByteArray& line = lines[i];
            QVERIFY2(line.size() <= (encoded ? 77 : 999), line.left(80));
            // No bare line feed, and no space a server may strip at a line's end.
            QVERIFY2(i + 1 == lines.size() || line.endsWith('\r'), text);
            if (encoded)
                QVERIFY2(!line.endsWith(" \r") && !line.endsWith(' '), line);
        }
        QCOMPARE(encoded ? FromQuotedPrintable(text) : text, sent);
    }

    // Known answers of HMAC-SHA256 (RFC 4231, test cases 1 and 2).
    void webhookSignature_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("secret");
        QTest::addColumn<QByteArray>("signature");
        QTest::newRow("case 1")
            << QByteArray("Hi There") << QByteArray(20, '\x0b')
            << QByteArray(
                   "sha256=b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7");
        QTest::newRow("case 2")
            << QByteArray("what do ya want for nothing?") << QByteArray("Jefe")
            << QByteArray(
                   "sha256=5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
    }
    void webhookSignature() {
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, secret);
        QFETCH(QByteArray, signature);
        QCOMPARE(alert::WebhookSignature(body, secret), signature);
    }

    // A login crosses the network only inside TLS: in the clear it goes only to
    // this machine, by name or loopback address, never to a name that looks like one.
    void loginMayGoInClear_data() {
        QTest::addColumn<QString>("server");
        QTest::addColumn<bool>("clear");
        QTest::newRow("localhost") << S("smtp://localhost:25") << true;
        QTest::newRow("LocalHost") << S("smtp://LocalHost") << true;
        QTest::newRow("127.0.0.1") << S("smtp://127.0.0.1:2525") << true;
        QTest::newRow("all of 127/8") << S("smtp://127.8.9.10") << true;
        QTest::newRow("::1") << S("smtp://[::1]:25") << true;
        QTest::newRow("a name under localhost") << S("smtp://localhost.example.com") << false;
        QTest::newRow("a name starting 127.") << S("smtp://127.0.0.1.nip.io") << false;
        QTest::newRow("a private address") << S("smtp://10.0.0.1") << false;
        QTest::newRow("a mail server") << S("smtp://mail.example.com:587") << false;
    }
    void loginMayGoInClear() {
        QFETCH(QString, server);
        QFETCH(bool, clear);
        QCOMPARE(alert::LoginMayGoInClear(server), clear);
    }
};

CORVANTIS_TEST_MAIN(AlertMessageTest)
#include "tst_alert_message.moc"
