#include "page/substring_index.h"
#include "support/test_env.h"

#include <QElapsedTimer>
#include <QStringList>

#include <algorithm>
#include <limits>
#include <random>

using corvantis::scan::SubstringIndex;

namespace {

SubstringIndex IndexOf(const QStringList& texts) {
    SubstringIndex index;
    for (const QString& t : texts)
        index.add(t);
    return index;
}

bool AnyContains(const QStringList& texts, const QString& needle) {
    return std::any_of(texts.cbegin(), texts.cend(),
                       [&](const QString& t) { return t.contains(needle, Qt::CaseInsensitive); });
}

// Addresses of a large site: shared host, a few directories, numbered pages.
QString SiteAddress(int section, int topic, int page) {
    static const char* const kSections[] = {"products", "news", "Archive", "links", "blog"};
    return QStringLiteral("www.partner-site.example.com/%1/topic-%2/page-%3.html")
        .arg(QLatin1String(kSections[section % 5]))
        .arg(topic)
        .arg(page);
}

QString RandomText(std::mt19937& rng, const QString& alphabet, int maxLength) {
    const int length = std::uniform_int_distribution<int>(0, maxLength)(rng);
    std::uniform_int_distribution<qsizetype> pick(0, alphabet.size() - 1);
    QString s;
    for (int i = 0; i < length; ++i)
        s.append(alphabet[pick(rng)]);
    return s;
}

// A piece of a text with the case of some letters flipped and maybe one letter
// changed: mostly contained, sometimes narrowly not.
QString NeedleFrom(std::mt19937& rng, const QString& text, const QString& alphabet) {
    if (text.isEmpty())
        return text;
    const qsizetype from = std::uniform_int_distribution<qsizetype>(0, text.size() - 1)(rng);
    const qsizetype length = std::uniform_int_distribution<qsizetype>(1, text.size() - from)(rng);
    QString s = text.mid(from, length);
    for (QChar& c : s)
        if (rng() % 2)
            c = c.isUpper() ? c.toLower() : c.toUpper();
    if (rng() % 3 == 0)
        s[rng() % s.size()] = alphabet[rng() % alphabet.size()];
    return s;
}

} // namespace

class SubstringIndexTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void meaning_data() {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QString>("needle");
        QTest::addColumn<bool>("expected");

        const QStringList site{QStringLiteral("host.example.com/dir1/dir2/page-1.html"),
                               QStringLiteral("host.example.com/dir1/dir2/page-2.html"),
                               QStringLiteral("host.example.com/dir1/other/index.html")};
        QTest::newRow("whole text") << site << "host.example.com/dir1/dir2/page-2.html" << true;
        QTest::newRow("other letter case") << site << "HOST.Example.COM/DIR1/Other/" << true;
        QTest::newRow("shared prefix") << site << "host.example.com/dir1/" << true;
        QTest::newRow("inside a text") << site << "dir2/page-1" << true;
        QTest::newRow("end of a text") << site << "x.HTML" << true;
        QTest::newRow("new page") << site << "host.example.com/dir1/dir2/page-3.html" << false;
        QTest::newRow("longer than every text")
            << site << "host.example.com/dir1/dir2/page-1.html?x=1" << false;
        QTest::newRow("grams of two texts")
            << site << "host.example.com/dir1/dir2/index.html" << false;
        QTest::newRow("grams of one text out of order")
            << QStringList{QStringLiteral("abcdXbcde")} << "abcde" << false;
        QTest::newRow("grams far apart in one text")
            << QStringList{QStringLiteral("abcdXbcde")} << "bcde" << true;
        QTest::newRow("repeated gram, too short")
            << QStringList{QStringLiteral("aaaa")} << "aaaaa" << false;
        QTest::newRow("repeated gram") << QStringList{QStringLiteral("xaaaaay")} << "AAAAA" << true;

        QTest::newRow("one letter") << site << "X" << true;
        QTest::newRow("one letter absent") << site << "z" << false;
        QTest::newRow("two letters") << site << "-2" << true;
        QTest::newRow("two letters across texts")
            << QStringList{QStringLiteral("xa"), QStringLiteral("by")} << "ab" << false;
        QTest::newRow("three letters") << site << "R2/" << true;
        QTest::newRow("three letters absent") << site << "r3/" << false;
        QTest::newRow("short needle, short text")
            << QStringList{QStringLiteral("Ab")} << "aB" << true;
        QTest::newRow("needle longer than a short text")
            << QStringList{QStringLiteral("abc")} << "abcd" << false;

        QTest::newRow("empty needle") << site << "" << true;
        QTest::newRow("empty needle, empty text") << QStringList{QString()} << "" << true;
        QTest::newRow("empty needle, nothing added") << QStringList{} << "" << false;
        QTest::newRow("letter, empty text") << QStringList{QString()} << "a" << false;
        QTest::newRow("nothing added") << QStringList{} << "host" << false;

        const QStringList latin1{QStringLiteral("bücher.example.de/Größe/ÆØÅ-µm.html")};
        QTest::newRow("accented letters") << latin1 << "BÜCHER.EXAMPLE.DE/GRÖ" << true;
        QTest::newRow("Nordic letters") << latin1 << "/æøå-" << true;
        QTest::newRow("sharp s is not ss") << latin1 << "grösse" << false;
        QTest::newRow("micro sign and Greek mu") << latin1 << "å-\u039cM" << true;
        QTest::newRow("y with diaeresis")
            << QStringList{QStringLiteral("caf\u00ff")} << "CAF\u0178" << true;
        QTest::newRow("accent differs") << latin1 << "bucher" << false;

        const QStringList astral{QStringLiteral("x\U00010400y")};
        QTest::newRow("pair, other case") << astral << "x\U00010428" << true;
        QTest::newRow("pair, absent") << astral << "\U00010401" << false;
        QTest::newRow("around a pair") << astral << "Y" << true;
        QTest::newRow("across a pair") << astral << "xy" << false;
    }
    void meaning() {
        QFETCH(QStringList, texts);
        QFETCH(QString, needle);
        QFETCH(bool, expected);
        QCOMPARE(AnyContains(texts, needle) || (needle.isEmpty() && !texts.isEmpty()), expected);
        const SubstringIndex index = IndexOf(texts);
        QCOMPARE(index.size(), texts.size());
        QCOMPARE(index.anyContains(needle), expected);
    }

    void clearForgetsEverything() {
        SubstringIndex index = IndexOf({QStringLiteral("host.example.com/a.html")});
        index.clear();
        QCOMPARE(index.size(), 0);
        QVERIFY(!index.anyContains(QStringLiteral("host.example.com/a.html")));
        QVERIFY(!index.anyContains(QStringLiteral("a")));
        QVERIFY(!index.anyContains(QString()));

        index.add(QStringLiteral("other.example.com/b.html"));
        QCOMPARE(index.size(), 1);
        QVERIFY(index.anyContains(QStringLiteral("OTHER.example.com/b")));
        QVERIFY(!index.anyContains(QStringLiteral("host.example.com")));
    }

    void movedIndexKeepsTexts() {
        SubstringIndex first = IndexOf({QStringLiteral("a.example.com/x"), QStringLiteral("a")});
        SubstringIndex second(std::move(first));
        QCOMPARE(second.size(), 2);
        QVERIFY(second.anyContains(QStringLiteral("E.COM/X")));
        SubstringIndex third;
        third = std::move(second);
        QVERIFY(third.anyContains(QStringLiteral("example")));
        QVERIFY(!third.anyContains(QStringLiteral("example.org")));
    }

    // Texts far apart in the order of adding: the gaps between the ids that
    // share a gram take several bytes.
    void textsFarApart() {
        SubstringIndex index;
        index.add(QStringLiteral("alpha-zeta"));
        for (int i = 0; i < 20000; ++i)
            index.add(QStringLiteral("f%1").arg(i));
        index.add(QStringLiteral("alpha-omega"));
        index.add(QStringLiteral("alpha-zeta-2"));
        QVERIFY(index.anyContains(QStringLiteral("alpha-omega")));
        QVERIFY(index.anyContains(QStringLiteral("ALPHA-ZETA-2")));
        QVERIFY(index.anyContains(QStringLiteral("f19999")));
        QVERIFY(!index.anyContains(QStringLiteral("alpha-omegA-")));
        QVERIFY(!index.anyContains(QStringLiteral("alpha-zeta-3")));
        QVERIFY(!index.anyContains(QStringLiteral("f20000")));
    }

    // Random texts and needles over a small alphabet, so that grams repeat a
    // lot, against QString's own case-insensitive search.
    void agreesWithQString() {
        const QString alphabet = QStringLiteral("aAbB/.éÉµ\u039c-");
        std::mt19937 rng(20240611);
        QStringList texts;
        SubstringIndex index;
        for (int round : {200, 2000}) {
            while (texts.size() < round) {
                texts.append(RandomText(rng, alphabet, 16));
                index.add(texts.last());
            }
            for (int i = 0; i < 2000; ++i) {
                const QString needle = i % 2
                                           ? RandomText(rng, alphabet, 8)
                                           : NeedleFrom(rng, texts[rng() % texts.size()], alphabet);
                const bool expected = needle.isEmpty() || AnyContains(texts, needle);
                if (index.anyContains(needle) != expected)
                    QFAIL(qPrintable(QStringLiteral("needle \"%1\" over %2 texts: expected %3")
                                         .arg(needle)
                                         .arg(texts.size())
                                         .arg(expected)));
            }
        }
    }

    // The same number of queries against a site a hundred times larger must
    // not cost a hundred times more; a plain scan over the texts would.
    void costGrowsSlowlyWithTexts() {
        const qint64 small = timeQueries(1000, std::numeric_limits<qint64>::max());
        QVERIFY2(small > 0, "wrong answers over 1,000 texts");
        const qint64 large = timeQueries(100000, 20 * small);
        QVERIFY2(large > 0, "wrong answers over 100,000 texts");
        qInfo("%d queries: %lld us over 1,000 texts, %lld us over 100,000 texts", kQueries,
              small / 1000, large / 1000);
        QVERIFY2(large < 20 * small, "cost grows with the number of texts");
    }

private:
    static constexpr int kQueries = 20000;

    // Best time of three runs of kQueries queries over a site of the given
    // size: pages already queued (in capitals), their directories and pages not
    // queued yet. -1 on a wrong answer; stops as soon as the budget is spent.
    static qint64 timeQueries(int pages, qint64 budgetNs) {
        SubstringIndex index;
        for (int p = 0; p < pages; ++p)
            index.add(SiteAddress(p, p % 37, p));
        QStringList queries;
        QList<bool> expected;
        for (int q = 0; q < kQueries; ++q) {
            const int p = (q * 7919) % pages;
            const QString known = SiteAddress(p, p % 37, p);
            queries.append(q % 3 == 0   ? known.toUpper()
                           : q % 3 == 1 ? known.section(u'/', 0, 2) + QLatin1Char('/')
                                        : SiteAddress(p, p % 37, pages + q));
            expected.append(q % 3 != 2);
        }
        qint64 best = std::numeric_limits<qint64>::max();
        for (int run = 0; run < 3; ++run) {
            QElapsedTimer timer;
            timer.start();
            for (int q = 0; q < kQueries; ++q) {
                if (index.anyContains(queries[q]) != expected[q])
                    return -1;
                if (q % 100 == 0 && timer.nsecsElapsed() > budgetNs)
                    return timer.nsecsElapsed();
            }
            best = std::min(best, timer.nsecsElapsed());
        }
        return best;
    }
};

CORVANTIS_TEST_MAIN(SubstringIndexTest)
#include "tst_substring_index.moc"
