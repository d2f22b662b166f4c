#include "support/test_env.h"
#include "util/browse_address.h"

using corvantis::testing::S;
using corvantis::util::kMaxBrowseAddressLength;
using corvantis::util::PrepareBrowseAddress;

class BrowseAddressTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // An empty "opened" column means the address is refused.
    void prepare_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("opened");

        QTest::newRow("plain address")
            << S("partner.example.com/links.html") << S("http://partner.example.com/links.html");
        QTest::newRow("query and fragment kept")
            << S("partner.example.com/page.php?id=3&x=a%2Fb#top")
            << S("http://partner.example.com/page.php?id=3&x=a%2Fb#top");
        QTest::newRow("http inside the path") << S("partner.example.com/http-links.html")
                                              << S("http://partner.example.com/http-links.html");
        QTest::newRow("address inside the query")
            << S("go.example.com/r.cgi?u=http://x.example/")
            << S("http://go.example.com/r.cgi?u=http://x.example/");
        QTest::newRow("scheme in any letter case")
            << S("HTTPS://Partner.example.com/A") << S("https://Partner.example.com/A");
        QTest::newRow("host with a port") << S("localhost:8080/x") << S("http://localhost:8080/x");
        QTest::newRow("spaces around dropped, inside encoded")
            << S("  partner.example.com/my page.html ")
            << S("http://partner.example.com/my%20page.html");
        QTest::newRow("non-ASCII as UTF-8")
            << S("bücher.example/café?q=€")
            << S("http://b%C3%BCcher.example/caf%C3%A9?q=%E2%82%AC");
        QTest::newRow("character beyond 16 bits")
            << S("x.example/😀") << S("http://x.example/%F0%9F%98%80");
        QTest::newRow("control characters")
            << S("x.example/a\tb\x01\x7f") << S("http://x.example/a%09b%01%7F");
        QTest::newRow("characters no address holds")
            << S("x.example/\"<>\\^`{|}") << S("http://x.example/%22%3C%3E%5C%5E%60%7B%7C%7D");
        QTest::newRow("an address's own characters stay")
            << S("x.example/!$&'()*+,;=:@[]~-._%") << S("http://x.example/!$&'()*+,;=:@[]~-._%");

        QTest::newRow("empty") << S("") << S("");
        QTest::newRow("scheme alone") << S("http://") << S("");
        QTest::newRow("local file") << S("file:///etc/passwd") << S("");
        QTest::newRow("script") << S("javascript:alert(1)") << S("");
        QTest::newRow("other scheme") << S("ftp://x.example/f") << S("");
        QTest::newRow("space for a host") << S(" /page.html") << S("");
    }
    void prepare() {
        QFETCH(QString, address);
        QFETCH(QString, opened);
        QCOMPARE(PrepareBrowseAddress(address).value_or(QString()), opened);
    }

    // Longer than the old 16-bit limit is fine; beyond what a browser takes is refused.
    void length() {
        const QString path(40000, u'a');
        QCOMPARE(PrepareBrowseAddress(S("x.example/") + path).value_or(QString()),
                 S("http://x.example/") + path);
        QVERIFY(!PrepareBrowseAddress(S("x.example/") + QString(kMaxBrowseAddressLength, u'a')));
        // Encoding can take an address over the limit too.
        QVERIFY(!PrepareBrowseAddress(S("x.example/a") +
                                      QString(kMaxBrowseAddressLength / 3 + 1, u' ') + S("b")));
    }
};

CORVANTIS_TEST_MAIN(BrowseAddressTest)
#include "tst_browse_address.moc"
