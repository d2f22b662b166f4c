// Micro benchmarks of the per-page and per-link work of a scan: screening and
// normalising a page and making its work-file bytes, taking the link out of a
// line, resolving it against the page, the "already queued?" index, and the
// tree reading of a page with a link back.

#include "page/link_parsing.h"
#include "page/link_value.h"
#include "page/page_encoding.h"
#include "page/substring_index.h"
#include "page/url_rules.h"
#include "site_generator.h"
#include "util/text_utils.h"

#include <benchmark/benchmark.h>

#include <QString>
#include <QStringList>

#include <random>

namespace {

using corvantis::scan::IsDirectLink;
using corvantis::scan::LinkValue;
using corvantis::scan::ResolveLink;
using corvantis::scan::StripForKnownUrl;
using corvantis::scan::SubstringIndex;

// Addresses shaped like a large partner site: one host, a few levels of
// directories and numbered pages, so texts share long prefixes.
QString SiteAddress(std::mt19937& rng, int page) {
    static const char* const kSections[] = {"products", "news",    "Archive", "links",
                                            "partners", "support", "blog",    "Catalog"};
    std::uniform_int_distribution<int> section(0, 7);
    std::uniform_int_distribution<int> topic(1, 40);
    return QStringLiteral("www.partner-site.example.com/%1/topic-%2/page-%3.html")
        .arg(QLatin1String(kSections[section(rng)]))
        .arg(topic(rng))
        .arg(page);
}

QStringList SiteAddresses(int count, unsigned seed) {
    std::mt19937 rng(seed);
    QStringList out;
    out.reserve(count);
    for (int i = 0; i < count; ++i)
        out.append(SiteAddress(rng, i));
    return out;
}

// The links a crawl meets: mostly addresses already queued (in another letter
// case now and then), their parent directories, and new pages of the same site.
QStringList Queries(const QStringList& texts, int count, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<qsizetype> pick(0, texts.size() - 1);
    QStringList out;
    out.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QString& known = texts[pick(rng)];
        switch (i % 4) {
        case 0:
            out.append(known);
            break;
        case 1:
            out.append(known.toUpper());
            break;
        case 2:
            out.append(known.left(known.lastIndexOf(QLatin1Char('/')) + 1));
            break;
        default:
            out.append(SiteAddress(rng, int(texts.size()) + i));
            break;
        }
    }
    return out;
}

void BM_SubstringIndexAdd(benchmark::State& state) {
    const QStringList texts = SiteAddresses(int(state.range(0)), 1);
    for (auto _ : state) {
        SubstringIndex index;
        for (const QString& t : texts)
            index.add(t);
        benchmark::DoNotOptimize(index.size());
    }
    state.SetItemsProcessed(state.iterations() * texts.size());
}
BENCHMARK(BM_SubstringIndexAdd)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_SubstringIndexQuery(benchmark::State& state) {
    const QStringList texts = SiteAddresses(int(state.range(0)), 1);
    SubstringIndex index;
    for (const QString& t : texts)
        index.add(t);
    const QStringList queries = Queries(texts, 4096, 2);
    qsizetype i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(index.anyContains(queries[i]));
        i = (i + 1) % queries.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SubstringIndexQuery)->Arg(1000)->Arg(10000)->Arg(100000);

// Lines as the page analysis sees them once every href starts a line.
void BM_LinkValue(benchmark::State& state) {
    const QStringList lines{
        QStringLiteral("href=\"page-12.html\">Page 12</a></li><li><a "),
        QStringLiteral("href=\"/news/topic-4/page-9.html\" class=\"nav\">News</a> | <a "),
        QStringLiteral("href='http://www.partner-site.example.com/blog/'>Blog</a></td></tr>"),
        QStringLiteral("href=\"mailto:webmaster@partner-site.example.com\">Mail us</a>"),
        QStringLiteral("href=\"javascript:void(0)\" onclick=\"toggle()\">Menu</a>"),
        QStringLiteral("href=\"/images/banner.gif\"><img src=\"/images/banner.gif\"></a>"),
        QStringLiteral("<p>Welcome to our partner pages, updated every week.</p>"),
        QStringLiteral("HREF=../topic-5/page-1.html#top>Back</A>")};
    qsizetype i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(LinkValue(lines[i]));
        i = (i + 1) % lines.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LinkValue);

void BM_ResolveLink(benchmark::State& state) {
    const QString host = QStringLiteral("www.partner-site.example.com");
    const QString dir = QStringLiteral("www.partner-site.example.com/products/topic-3/");
    const QStringList links{QStringLiteral("page-12.html"),
                            QStringLiteral("/news/topic-4/page-9.html"),
                            QStringLiteral("../topic-5/page-1.html"),
                            QStringLiteral("./index.html"),
                            QStringLiteral("http://www.partner-site.example.com/blog/"),
                            QStringLiteral("https://other.example.org/links.htm"),
                            QStringLiteral("sub/dir/page-3.php?id=7")};
    qsizetype i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ResolveLink(links[i], host, dir));
        i = (i + 1) % links.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ResolveLink);

// The whole per-line work of the page analysis: the value, its address, the
// form it is looked up in, and the link-back test.
void BM_LinkChain(benchmark::State& state) {
    const QString host = QStringLiteral("www.partner-site.example.com");
    const QString dir = QStringLiteral("www.partner-site.example.com/products/topic-3/");
    const QString domain = QStringLiteral("mysite.example.org");
    const QStringList lines{
        QStringLiteral("href=\"page-12.html\">Page 12</a></li><li><a "),
        QStringLiteral("href=\"/news/topic-4/page-9.html\" class=\"nav\">News</a> | <a "),
        QStringLiteral("href='http://www.partner-site.example.com/blog/'>Blog</a></td></tr>"),
        QStringLiteral("href=\"https://www.mysite.example.org/\">Our friends</a>"),
        QStringLiteral("href=\"../topic-5/page-1.html\">Back</a>"),
        QStringLiteral("href=\"/images/banner.gif\"><img src=\"/images/banner.gif\"></a>")};
    qsizetype i = 0;
    for (auto _ : state) {
        if (const auto value = LinkValue(lines[i])) {
            const QString address = StripForKnownUrl(ResolveLink(*value, host, dir));
            benchmark::DoNotOptimize(IsDirectLink(address, domain));
        }
        i = (i + 1) % lines.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LinkChain);

// The pages of the macro benchmark's site (5 to 20 KB, 20 to 60 links each).
const QStringList& SitePages() {
    static const QStringList pages = [] {
        const corvantis::bench::SiteGenerator site(64, 4);
        QStringList out;
        for (int page = 0; page < 64; ++page) {
            const std::string html = site.html(page);
            out.append(QString::fromLatin1(html.data(), qsizetype(html.size())));
        }
        return out;
    }();
    return pages;
}

// What capture does with a page before its links are read: the folded copy,
// the screening and marker searches, the "href=" split and both work files' bytes.
void BM_CapturePage(benchmark::State& state) {
    const QStringList& pages = SitePages();
    const QString domain = QStringLiteral("mysite-bench.com");
    qsizetype i = 0;
    qint64 chars = 0;
    for (auto _ : state) {
        const QString& page = pages[i];
        const corvantis::util::CaseFoldedText folded(page);
        benchmark::DoNotOptimize(corvantis::scan::ScreenPage(folded, domain));
        benchmark::DoNotOptimize(corvantis::scan::HasRedirectMarker(folded));
        benchmark::DoNotOptimize(corvantis::scan::BaseHref(page, folded));
        const QString text = corvantis::scan::NormaliseHrefs(page, folded);
        QByteArray bytes = text.toLatin1();
        benchmark::DoNotOptimize(corvantis::scan::MailWorkBytes(std::move(bytes)));
        chars += page.size();
        i = (i + 1) % pages.size();
    }
    state.SetBytesProcessed(chars);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CapturePage);

// The tree reading of a page with a link back: a page of about 100 KB (the
// site's pages one after another) with the link near its end, decoded from its
// bytes, parsed by the HTML5 parser and its link back valued.
void BM_LinkBackValue(benchmark::State& state) {
    QByteArray page;
    for (qsizetype i = 0; page.size() < 100 * 1024; ++i)
        page += SitePages()[i % SitePages().size()].toLatin1();
    page += "<p><a href=\"http://www.mysite-bench.com/\" rel=\"ugc\">Our friends</a></p>";
    const auto resolve = [](const QString& href) {
        return StripForKnownUrl(ResolveLink(corvantis::scan::CleanHref(href),
                                            QStringLiteral("www.partner-site.example.com"),
                                            QStringLiteral("www.partner-site.example.com/")));
    };
    const auto isLinkBack = [](const QString& address) {
        return IsDirectLink(address, QStringLiteral("mysite-bench.com"));
    };
    for (auto _ : state) {
        const QString text = corvantis::scan::DecodePage(page, {});
        benchmark::DoNotOptimize(corvantis::scan::ValueOfLinksBack(
            text, {}, QStringLiteral("www.partner-site.example.com/"), resolve, isLinkBack,
            corvantis::scan::RobotsRule::NotChecked));
    }
    state.SetBytesProcessed(state.iterations() * page.size());
    state.counters["page_bytes"] = double(page.size());
}
BENCHMARK(BM_LinkBackValue)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
