#include "page/url_rules.h"
#include "support/test_env.h"
#include "util/text_utils.h"

#include <QElapsedTimer>
#include <QRegularExpression>

#include <random>

using namespace corvantis::scan;

namespace {
const char* const kHost = "partner.example.com";
const char* const kDir = "partner.example.com/links/";

// The link rules written the plain way, one whole-text search or rewrite per
// step (the ".." steps read literally): the reference the quicker code must match.
QString ReferenceResolveLink(const QString& link, const QString& host, const QString& dir) {
    QString l = link;
    bool absolute = l.startsWith(QLatin1String("//"));
    if (absolute)
        l = l.mid(2);
    for (QStringView scheme : {QStringView(u"http://"), QStringView(u"https://")}) {
        absolute = absolute || l.startsWith(scheme, Qt::CaseInsensitive);
        l = corvantis::util::ReplaceAllCI(l, scheme, u"");
    }
    const auto collapse = [](QString& t) { t.replace(QLatin1String("//"), QLatin1String("/")); };
    if (l.startsWith(u'/')) {
        l.prepend(host);
        collapse(l);
    } else if (l.startsWith(QLatin1String(".."))) {
        QString d = dir;
        while (l.startsWith(QLatin1String(".."))) {
            d = ParentDirectory(d);
            l = l.mid(3);
            l.replace(QLatin1String("/."), QLatin1String("."));
        }
        l = d + l;
    } else {
        if (l.startsWith(QLatin1String("./"))) {
            l.remove(QLatin1String("./"));
            l = host + QLatin1Char('/') + l;
            absolute = true;
        }
        // Only a first segment that is no page's file name can name a host.
        const QString first = l.left(l.indexOf(QRegularExpression(QStringLiteral("[/?\\\\]"))));
        bool marker = false;
        for (QStringView m : {u".com", u"www.", u".net", u".edu", u".gov", u"ww2."})
            marker = marker || corvantis::util::ContainsCI(first, m);
        static const QRegularExpression pageFile(
            QStringLiteral("\\.(html|htm|shtml|xhtml|php[345]?|aspx?|jsp|cfm|cgi|pl|txt|xml)$"),
            QRegularExpression::CaseInsensitiveOption);
        marker = marker && !pageFile.match(first).hasMatch();
        if (!absolute && !marker)
            l = dir + QLatin1Char('/') + l;
    }
    if (!l.contains(u'/'))
        l += QLatin1Char('/');
    for (int pass = 0; pass < 4; ++pass)
        collapse(l);
    if (l.size() > 6) {
        const auto tail = [&](const char* t) {
            return l.endsWith(QLatin1String(t), Qt::CaseInsensitive);
        };
        if (tail(".as"))
            l.replace(l.size() - 3, 3, QLatin1String(".asp"));
        if (tail(".ht"))
            l.replace(l.size() - 3, 3, QLatin1String(".htm"));
        if (tail(".ph"))
            l.replace(l.size() - 3, 3, QLatin1String(".php"));
        if (tail("/hre"))
            l.chop(4);
        if (tail("/href"))
            l.chop(5);
        if (tail("/http:"))
            l.chop(6);
        if (tail("/http"))
            l.chop(5);
    }
    return l;
}

// A text of random pieces that the rules react to, in random letter case; the
// long s and the Kelvin sign fold to ASCII letters, "\u00e9" does not.
QString RandomPieces(std::mt19937& rng, const QStringList& pieces, int maxPieces) {
    std::uniform_int_distribution<int> count(0, maxPieces);
    std::uniform_int_distribution<qsizetype> pick(0, pieces.size() - 1);
    std::bernoulli_distribution upper(0.3);
    QString out;
    for (int n = count(rng); n > 0; --n) {
        for (QChar c : pieces[pick(rng)])
            out += upper(rng) ? c.toUpper() : c;
    }
    return out;
}
} // namespace

class UrlRulesTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void resolveLink_data() {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("dir");
        QTest::addColumn<QString>("expected");

        // Worked examples on partner.example.com/links/.
        QTest::newRow("absolute http") << "http://other.example.com/page.html" << kHost << kDir
                                       << "other.example.com/page.html";
        QTest::newRow("scheme in capitals, host only")
            << "HTTP://other.example.com" << kHost << kDir << "other.example.com/";
        QTest::newRow("https") << "https://shop.example.org/a" << kHost << kDir
                               << "shop.example.org/a";
        QTest::newRow("host-rooted path")
            << "/about/us.html" << kHost << kDir << "partner.example.com/about/us.html";
        QTest::newRow("one level up")
            << "../index.html" << kHost << kDir << "partner.example.com/index.html";
        QTest::newRow("two levels up") << "../../x.html" << kHost << "partner.example.com/a/b/"
                                       << "partner.example.com/x.html";
        QTest::newRow("dot slash is the host root")
            << "./friends.html" << kHost << kDir << "partner.example.com/friends.html";
        QTest::newRow("relative file")
            << "friends.html" << kHost << kDir << "partner.example.com/links/friends.html";
        QTest::newRow("bare host with marker")
            << "mysite.example.com" << kHost << kDir << "mysite.example.com/";
        QTest::newRow("relative .as repaired")
            << "reviews/page.as" << kHost << kDir << "partner.example.com/links/reviews/page.asp";
        QTest::newRow("trailing /href dropped")
            << "http://mysite.example.com/href" << kHost << kDir << "mysite.example.com";
        QTest::newRow("host without marker is relative")
            << "example.org/x" << kHost << kDir << "partner.example.com/links/example.org/x";

        // Edge cases.
        QTest::newRow("scheme and host only")
            << "http://a.example.com" << kHost << kDir << "a.example.com/";
        QTest::newRow("https marks absolute without marker")
            << "https://example.org/x" << kHost << kDir << "example.org/x";
        QTest::newRow("up beyond the host stops at the host")
            << "../../../../x.html" << kHost << kDir << "partner.example.com/x.html";
        QTest::newRow("dots that are no step lose three characters")
            << "..gallery.html" << kHost << kDir << "partner.example.com/allery.html";
        QTest::newRow("every ./ removed")
            << "./a/./b.html" << kHost << kDir << "partner.example.com/a/b.html";
        QTest::newRow("exactly six characters: no repair")
            << "http://a/b.ht" << kHost << kDir << "a/b.ht";
        QTest::newRow("seven characters: repaired")
            << "http://a/bc.ht" << kHost << kDir << "a/bc.htm";
        QTest::newRow("repair touches only the tail")
            << "http://photos.example.com/a.ph" << kHost << kDir << "photos.example.com/a.php";
        QTest::newRow("repair test ignores case")
            << "http://x.example.com/PAGE.HT" << kHost << kDir << "x.example.com/PAGE.htm";
        QTest::newRow("repairs apply in turn")
            << "http://a.example.com/href/hre" << kHost << kDir << "a.example.com";
        QTest::newRow("/http: tail")
            << "http://a.example.com/x/http:" << kHost << kDir << "a.example.com/x";
        QTest::newRow("/http tail")
            << "http://a.example.com/x/http" << kHost << kDir << "a.example.com/x";
        QTest::newRow("protocol-relative names its host")
            << "//other.example.com/x" << kHost << kDir << "other.example.com/x";
        QTest::newRow("scheme inside the link is removed")
            << "/go.php?url=http://other.example.com" << kHost << kDir
            << "partner.example.com/go.php?url=other.example.com";
        QTest::newRow("https inside, any case") << "/go?u=HTTPS://x.example.com/" << kHost << kDir
                                                << "partner.example.com/go?u=x.example.com/";
        QTest::newRow("marker inside a file name: a path")
            << "reviews.com.html" << kHost << kDir << "partner.example.com/links/reviews.com.html";
        QTest::newRow(".com starting a file name: a path")
            << "email.compat32-message.html" << kHost << kDir
            << "partner.example.com/links/email.compat32-message.html";
        QTest::newRow("marker after the first segment: a path")
            << "go.php?u=www.x.example/" << kHost << kDir
            << "partner.example.com/links/go.php?u=www.x.example/";
        QTest::newRow("scheme in a relative link's query: a path")
            << "out.php?to=http://www.x.com" << kHost << kDir
            << "partner.example.com/links/out.php?to=www.x.com";
        QTest::newRow(".com host with a path")
            << "partner.com/x" << kHost << kDir << "partner.com/x";
        QTest::newRow("www. marker") << "www.example.org/a" << kHost << kDir << "www.example.org/a";
        QTest::newRow("sixteen slashes collapse")
            << (QStringLiteral("http://a.example.com") + QString(16, QLatin1Char('/')) +
                QStringLiteral("x"))
            << kHost << kDir << "a.example.com/x";
        QTest::newRow("seventeen slashes leave two")
            << (QStringLiteral("http://a.example.com") + QString(17, QLatin1Char('/')) +
                QStringLiteral("x"))
            << kHost << kDir << "a.example.com//x";

        // A ".." step rewrites "/." to "." in the rest, which can make the next step.
        QTest::newRow("/. inside the rest")
            << "../a/./b.html" << kHost << kDir << "partner.example.com/a./b.html";
        QTest::newRow("rewrite makes another step")
            << "..//../y.html" << kHost << "partner.example.com/a/b/"
            << "partner.example.com/y.html";
        QTest::newRow("slash run before a dot shrinks by one per step")
            << "..///..y.html" << kHost << "partner.example.com/a/b/"
            << "partner.example.com/a/..y.html";
        QTest::newRow("NUL is an ordinary character")
            << (QStringLiteral("../a") + QChar(0) + QStringLiteral("b.html")) << kHost << kDir
            << (QStringLiteral("partner.example.com/a") + QChar(0) + QStringLiteral("b.html"));
        QTest::newRow("up from a directory without slash") << "../x.html" << kHost << ""
                                                           << "/x.html";

        // "./" on a host without any marker stays at the host root.
        QTest::newRow("dot slash on a host without marker") << "./friends.html"
                                                            << "partner.example.org"
                                                            << "partner.example.org/links/"
                                                            << "partner.example.org/friends.html";
        QTest::newRow("dot slash, deeper path, host without marker")
            << "./a/b.html"
            << "partner.example.org"
            << "partner.example.org/x/y/"
            << "partner.example.org/a/b.html";
    }
    void resolveLink() {
        QFETCH(QString, link);
        QFETCH(QString, host);
        QFETCH(QString, dir);
        QFETCH(QString, expected);
        QCOMPARE(ResolveLink(link, host, dir), expected);
    }

    void splitPageAddress_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("pageUrl");
        QTest::addColumn<QString>("dir");
        QTest::newRow("directory with slash") << "partner.example.com/links/"
                                              << "partner.example.com"
                                              << "/links"
                                              << "partner.example.com/links"
                                              << "partner.example.com/links/";
        QTest::newRow("file") << "partner.example.com/links/page.html"
                              << "partner.example.com"
                              << "/links/page.html"
                              << "partner.example.com/links/page.html"
                              << "partner.example.com/links/";
        QTest::newRow("host only") << "partner.example.com"
                                   << "partner.example.com"
                                   << "/"
                                   << "partner.example.com"
                                   << "partner.example.com/";
        QTest::newRow("last part without dot is a directory") << "partner.example.com/index"
                                                              << "partner.example.com"
                                                              << "/index"
                                                              << "partner.example.com/index"
                                                              << "partner.example.com/index/";
        QTest::newRow("scheme removed, case kept") << "http://Partner.example.com/a.php?id=1"
                                                   << "Partner.example.com"
                                                   << "/a.php?id=1"
                                                   << "Partner.example.com/a.php?id=1"
                                                   << "Partner.example.com/";
        QTest::newRow("https is fetched as plain http") << "HTTPS://partner.example.com/x.html"
                                                        << "partner.example.com"
                                                        << "/x.html"
                                                        << "partner.example.com/x.html"
                                                        << "partner.example.com/";
        QTest::newRow("port stays in the host") << "partner.example.com:8080/x"
                                                << "partner.example.com:8080"
                                                << "/x"
                                                << "partner.example.com:8080/x"
                                                << "partner.example.com:8080/x/";
        QTest::newRow("path repeating the host is kept whole")
            << "partner.example.com/go?to=partner.example.com/x"
            << "partner.example.com"
            << "/go?to=partner.example.com/x"
            << "partner.example.com/go?to=partner.example.com/x"
            << "partner.example.com/go?to=partner.example.com/x/";
        QTest::newRow("host root with slash") << "http://a.example.com/"
                                              << "a.example.com"
                                              << "/"
                                              << "a.example.com"
                                              << "a.example.com/";
        QTest::newRow("double slash keeps its path slash") << "a.example.com//b.html"
                                                           << "a.example.com"
                                                           << "/b.html"
                                                           << "a.example.com//b.html"
                                                           << "a.example.com//";
    }
    void splitPageAddress() {
        QFETCH(QString, url);
        QFETCH(QString, host);
        QFETCH(QString, path);
        QFETCH(QString, pageUrl);
        QFETCH(QString, dir);
        const PageAddress a = SplitPageAddress(url);
        QCOMPARE(a.host, host);
        QCOMPARE(a.path, path);
        QCOMPARE(a.url, pageUrl);
        QCOMPARE(a.dir, dir);
    }

    void parentDirectory_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("expected");
        QTest::newRow("directory") << "partner.example.com/links/"
                                   << "partner.example.com/";
        QTest::newRow("file-like last part") << "partner.example.com/a/b"
                                             << "partner.example.com/a/";
        QTest::newRow("host root") << "partner.example.com/"
                                   << "partner.example.com/";
        QTest::newRow("host only") << "partner.example.com"
                                   << "partner.example.com/";
        QTest::newRow("empty") << ""
                               << "/";
        QTest::newRow("only one trailing slash dropped") << "a.example.com/b//"
                                                         << "a.example.com/b/";
        QTest::newRow("slash alone") << "/"
                                     << "/";
    }
    void parentDirectory() {
        QFETCH(QString, address);
        QFETCH(QString, expected);
        QCOMPARE(ParentDirectory(address), expected);
    }

    // Generated links (fixed seed) against the plain form of the rules.
    void resolveLinkMatchesReference() {
        const QStringList pieces{
            QStringLiteral("http://"),    QStringLiteral("https://"), QStringLiteral("/"),
            QString(9, QLatin1Char('/')), QStringLiteral("../"),      QStringLiteral("./"),
            QStringLiteral(".."),         QStringLiteral("."),        QStringLiteral("www."),
            QStringLiteral("ww2."),       QStringLiteral(".com"),     QStringLiteral(".net"),
            QStringLiteral(".edu"),       QStringLiteral(".gov"),     QStringLiteral("co"),
            QStringLiteral("ww"),         QStringLiteral("page"),     QStringLiteral("x"),
            QStringLiteral(".a"),         QStringLiteral(".as"),      QStringLiteral(".ht"),
            QStringLiteral(".ph"),        QStringLiteral("/hre"),     QStringLiteral("/href"),
            QStringLiteral("/http:"),     QStringLiteral("/http"),    QStringLiteral(":"),
            QStringLiteral("htt"),        QStringLiteral("p:/"),      QString(QChar(0x17F)),
            QString(QChar(0x212A)),       QString(QChar(0xE9)),       QStringLiteral("?u="),
        };
        const QStringList hosts{QStringLiteral("partner.example.com"), QStringLiteral("a"),
                                QString(), QStringLiteral("Www.X.NET")};
        const QStringList dirs{QStringLiteral("partner.example.com/links/"),
                               QStringLiteral("partner.example.com/a/b/"), QStringLiteral("d"),
                               QString(), QStringLiteral("x.example.com//y/")};
        std::mt19937 rng(20261207);
        std::uniform_int_distribution<qsizetype> host(0, hosts.size() - 1);
        std::uniform_int_distribution<qsizetype> dir(0, dirs.size() - 1);
        for (int i = 0; i < 20000; ++i) {
            const QString link = RandomPieces(rng, pieces, 9);
            const QString& h = hosts[host(rng)];
            const QString& d = dirs[dir(rng)];
            QCOMPARE(ResolveLink(link, h, d), ReferenceResolveLink(link, h, d));
        }
    }

    // A hostile page can carry an enormous "../../.." chain; it must not cost
    // time in proportion to the square of its length.
    void longParentChainIsFast() {
        const int steps = 200000;
        QString link;
        for (int i = 0; i < steps; ++i)
            link += QStringLiteral("../");
        link += QStringLiteral("x.html");
        QString dir = QStringLiteral("partner.example.com/");
        for (int i = 0; i < 1000; ++i)
            dir += QStringLiteral("d/");
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(ResolveLink(link, QStringLiteral("partner.example.com"), dir),
                 QStringLiteral("partner.example.com/x.html"));
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
    }
};

CORVANTIS_TEST_MAIN(UrlRulesTest)
#include "tst_url_rules.moc"
