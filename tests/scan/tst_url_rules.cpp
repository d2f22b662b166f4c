#include "scan/url_rules.h"
#include "support/test_env.h"

#include <QElapsedTimer>

using namespace corvantis::scan;

namespace {
const char* const kHost = "partner.example.com";
const char* const kDir = "partner.example.com/links/";
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
        QTest::newRow("protocol-relative is a path on this host")
            << "//other.example.com/x" << kHost << kDir
            << "partner.example.com/other.example.com/x";
        QTest::newRow("scheme inside the link is removed")
            << "/go.php?url=http://other.example.com" << kHost << kDir
            << "partner.example.com/go.php?url=other.example.com";
        QTest::newRow("https inside, any case") << "/go?u=HTTPS://x.example.com/" << kHost << kDir
                                                << "partner.example.com/go?u=x.example.com/";
        QTest::newRow("marker inside a file name keeps it as it is")
            << "reviews.com.html" << kHost << kDir << "reviews.com.html/";
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
