// A partner address's scheme, host and "www." rules, one row per case.
#include "page/partner_address.h"
#include "support/test_env.h"

#include <functional>
#include <map>

using namespace corvantis::scan;
using corvantis::testing::S;

namespace {
using Rule = std::function<QString(const QString&, const QString&)>;

QString YesNo(bool yes) {
    return yes ? QStringLiteral("yes") : QStringLiteral("no");
}

const std::map<QString, Rule>& Rules() {
    static const std::map<QString, Rule> rules = {
        {QStringLiteral("split"),
         [](const QString& a, const QString&) -> QString {
             const SchemeAndRest s = SplitScheme(a);
             return (s.https ? QStringLiteral("https + ") : QString()) + s.rest;
         }},
        {QStringLiteral("entered"),
         [](const QString& a, const QString&) { return EnteredPartnerAddress(a); }},
        {QStringLiteral("host"), [](const QString& a, const QString&) { return AddressHost(a); }},
        {QStringLiteral("no www"),
         [](const QString& a, const QString&) { return WithoutLeadingWww(a); }},
        {QStringLiteral("same host"),
         [](const QString& a, const QString& b) { return YesNo(IsSameHost(a, b)); }},
        {QStringLiteral("key"), [](const QString& a, const QString&) { return PartnerKey(a); }},
        {QStringLiteral("ascii key"),
         [](const QString& a, const QString&) {
             PartnerKeyBuffer key;
             if (!AsciiPartnerKey(a, key))
                 return QStringLiteral("(not ASCII)");
             return QString(reinterpret_cast<const QChar*>(key.constData()), key.size());
         }},
        {QStringLiteral("every www"),
         [](const QString& a, const QString&) { return WithoutEveryWww(a); }},
    };
    return rules;
}
} // namespace

class PartnerAddressTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void rules_data() {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<QString>("result");
        const auto row = [](const char* rule, const char* a, const char* b, const char* result) {
            QTest::addRow("%s: %s %s", rule, a, b) << S(rule) << S(a) << S(b) << S(result);
        };
        row("split", "HTTPS://a.example/x", "", "https + a.example/x");
        row("split", "a.example/x", "", "a.example/x");
        row("split", "http://a.example/", "", "http://a.example/");
        row("split", "a.example/?u=https://b", "", "a.example/?u=https://b");
        row("entered", "HTTP://Partner.example.com/links.html ", "",
            "Partner.example.com/links.html ");
        row("entered", " HTTPS://a.example.org/x ", "", "https://a.example.org/x");
        row("entered", "https://a.example/?u=http://b", "", "https://a.example/?u=b");
        row("entered", "https:// ", "", " ");
        row("host", "https://WWW.A.example:8080/x/", "", "www.a.example");
        row("host", "a.example/", "", "a.example");
        row("host", "a.example", "", "a.example");
        row("no www", "WWW.a.example", "", "a.example");
        row("no www", "www.www.a.example", "", "www.a.example");
        row("no www", "awww.example", "", "awww.example");
        row("no www", "www.", "", "");
        row("same host", "a.example", "A.EXAMPLE", "yes");
        row("same host", "www.a.example", "a.example", "yes");
        row("same host", "a.example", "WWW.A.example", "yes");
        row("same host", "www.www.a.example", "www.a.example", "yes");
        row("same host", "www.www.a.example", "a.example", "no");
        row("same host", "www.a.example", "www.b.example", "no");
        row("same host", "awww.example", "example", "no");
        row("key", "HTTPS://www.P.Example/", "", "p.example/");
        row("key", "www.www.p.example/", "", "p.example/");
        row("key", "p.example/www.x", "", "p.example/x");
        row("key", "wwww.p.example", "", "wp.example");
        row("key", "WWW.p.example/", "", "www.p.example/");
        row("key", "Äb.example/", "", "äb.example/");
        row("ascii key", "WWW.P.example/www.x", "", "www.p.example/x");
        row("ascii key", "wwww.p.example", "", "wp.example");
        row("ascii key", "Äb.example/", "", "(not ASCII)");
        row("every www", "WWW.MySite.example/www.x", "", "MySite.example/x");
        row("every www", "awww.example/", "", "aexample/");
    }
    void rules() {
        QFETCH(QString, rule);
        QFETCH(QString, a);
        QFETCH(QString, b);
        const auto found = Rules().find(rule);
        QVERIFY2(found != Rules().end(), qPrintable(rule));
        QTEST(found->second(a, b), "result");
    }
};

CORVANTIS_TEST_MAIN(PartnerAddressTest)
#include "tst_partner_address.moc"
