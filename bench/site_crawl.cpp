#include "site_crawl.h"

#include "page/line_cursor.h"
#include "page/link_parsing.h"
#include "page/substring_index.h"
#include "page/url_rules.h"
#include "session/scan_model.h"
#include "util/text_utils.h"

#include <deque>

namespace corvantis::bench {

namespace {
QString Text(std::string_view s) {
    return QString::fromLatin1(s.data(), qsizetype(s.size()));
}
std::string Bytes(const QString& s) {
    return s.toStdString();
}
} // namespace

CrawlResult CrawlSite(const SiteGenerator& site, bool withLinkBacks, bool fromHtml) {
    CrawlResult result;
    const QString partner = Text(SiteGenerator::kHost) + QLatin1Char('/');
    const QString domain = Text(SiteGenerator::kUserDomain);
    scan::PartnerListModel partners;
    partners.append(scan::PartnerSite{partner, QStringLiteral("1"), {}, {}, {}});
    scan::SubstringIndex known;   // every address queued for the site
    scan::SubstringIndex results; // addresses of pages with a result row
    std::deque<QString> queue{partner};
    known.add(partner);
    const size_t fetchLimit = size_t(site.pageCount()) * 2 + 10;

    while (!queue.empty() && result.problem.empty()) {
        if (result.fetched.size() >= fetchLimit) {
            result.problem = "the crawl does not end";
            break;
        }
        const scan::PageAddress a = scan::SplitPageAddress(queue.front());
        queue.pop_front();
        result.fetched.push_back(Bytes(a.url));
        const int page = site.find(Bytes(a.path));
        if (!util::EqualsCI(a.host, Text(SiteGenerator::kHost)) || page < 0) {
            result.problem = "the crawl fetches " + Bytes(a.url) + ", which is no page";
            break;
        }
        const bool linkBack = withLinkBacks && site.linksBack(page);
        QString text;
        if (fromHtml) {
            const QString html = Text(site.html(page, linkBack));
            if (scan::HasRedirectMarker(util::CaseFoldedText(html))) {
                result.problem = "a page holds a redirect marker";
                break;
            }
            text = scan::NormaliseHrefs(html);
        } else {
            for (const std::string& href : site.hrefs(page, linkBack))
                text += QStringLiteral("href=\"") + Text(href) + QStringLiteral("\"\r\n");
        }
        bool pageIsResult = results.anyContains(scan::StripForResultPage(a.url));
        scan::LineCursor lines;
        lines.reset(text);
        while (!lines.atEnd()) {
            const QStringView line = lines.next();
            const std::optional<QString> value =
                line.startsWith(u"href=") ? scan::LinkValue(line) : std::nullopt;
            if (!value)
                continue;
            const QString l = scan::StripForKnownUrl(scan::ResolveLink(*value, a.host, a.dir));
            if (util::ContainsCI(l, a.dir) && !partners.isPartnerAddress(l) &&
                !known.anyContains(l)) {
                known.add(l);
                queue.push_back(l);
            }
            if (!pageIsResult && (scan::IsDirectLink(l, domain) || scan::IsDomainLink(l, domain))) {
                results.add(a.url);
                pageIsResult = true;
                ++result.linkBackPages;
            }
        }
    }
    return result;
}

} // namespace corvantis::bench
