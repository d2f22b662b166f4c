#include "page/site_signals.h"
#include "support/test_env.h"

#include <set>

using namespace corvantis::scan;

namespace {

struct Case {
    const char* name;
    int status;
    const char* headers; // lines after the status line, CR LF between
    const char* body;
    bool blocked;
    bool parked;
};

const Case kCases[] = {
    {"cf-mitigated", 403, "Server: cloudflare\r\nCF-Mitigated: Challenge", "", true, false},
    {"cf-mitigated on 200", 200, "cf-mitigated: challenge", "<p>hi</p>", true, false},
    {"cf-mitigated, other value", 403, "cf-mitigated: none", "", false, false},
    {"Just a moment on 503", 503, "", "<head><TITLE>Just a moment...</TITLE>", true, false},
    {"Just a moment on 200", 200, "", "<title>Just a moment...</title>", false, false},
    {"_cf_chl_opt on 403", 403, "", "<script>window._cf_chl_opt={cvId: '3'}", true, false},
    {"_cf_chl_opt on 404", 404, "", "<script>window._cf_chl_opt={cvId: '3'}", false, false},
    {"challenge-platform on 503", 503, "", "/cdn-cgi/challenge-platform/h/b", true, false},
    {"vercel challenge", 429, "X-Vercel-Mitigated: CHALLENGE", "", true, false},
    {"aws firewall, any value", 202, "x-amzn-waf-action: captcha", "", true, false},
    {"datadome on 403", 403, "X-DataDome: protected", "", true, false},
    {"datadome on 200", 200, "x-datadome: protected", "", false, false},
    {"captcha-delivery on 403", 403, "", "src=\"//ct.captcha-delivery.com/c.js\"", true, false},
    {"status 999", 999, "", "", true, false},
    {"header name in the body", 200, "", "cf-mitigated: challenge", false, false},
    {"for sale", 200, "", "<h1>This Domain Is For Sale</h1>", false, true},
    {"parked", 200, "", "This domain is parked.", false, true},
    {"registrar parking", 200, "", "Parked FREE, courtesy of GoDaddy.com", false, true},
    {"parking lander", 200, "", "<div id=\"parking-lander\">", false, true},
    {"buy this domain", 404, "", "<a href=\"/buy\">BUY THIS DOMAIN</a>", false, true},
    {"not for sale", 200, "", "this domain is not for sale; the car park is parked", false, false},
    {"a partner page", 200, "Server: nginx", "<title>Links</title>", false, false},
};

QString HeaderBlock(const Case& c) {
    QString block = QStringLiteral("HTTP/1.1 %1 X\r\n").arg(c.status);
    if (*c.headers)
        block += QLatin1String(c.headers) + QLatin1String("\r\n");
    return block + QLatin1String("\r\n");
}

} // namespace

class SiteSignalsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void responses_data() {
        QTest::addColumn<int>("index");
        for (int i = 0; i < int(std::size(kCases)); ++i)
            QTest::newRow(kCases[i].name) << i;
    }
    void responses() {
        QFETCH(int, index);
        const Case& c = kCases[index];
        const QString body = QLatin1String(c.body);
        QCOMPARE(IsBotChallenge(c.status, HeaderBlock(c), body), c.blocked);
        QCOMPARE(IsParkingPage(body), c.parked);
    }

    // Every signature is met by some case above, so none of them is dead.
    void everySignatureFires() {
        std::set<const SiteSignature*> fired;
        for (const Case& c : kCases) {
            const QString body = QLatin1String(c.body);
            fired.insert(MatchBotChallenge(c.status, HeaderBlock(c), body));
            fired.insert(MatchParkingPage(body));
        }
        for (const SiteSignature& s : SiteSignatures()) {
            QVERIFY2(fired.count(&s), qPrintable(s.reason.toString()));
            QVERIFY(!s.reason.isEmpty() && !s.reason.contains(u'\n'));
        }
    }
};

CORVANTIS_TEST_MAIN(SiteSignalsTest)
#include "tst_site_signals.moc"
