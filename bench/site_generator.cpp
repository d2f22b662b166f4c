#include "site_generator.h"

#include "site_crawl.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <deque>
#include <map>

namespace corvantis::bench {

namespace {

constexpr int kPagesPerDir = 40;
constexpr int kTopDirs = 8;
constexpr int kSubDirs = 6;

// splitmix64: small, fast and the same everywhere.
uint64_t Next(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

int Below(uint64_t& state, int n) {
    return n <= 0 ? 0 : int(Next(state) % uint64_t(n));
}

std::string PageName(int page) {
    char buf[40];
    if (page % 10 == 7)
        std::snprintf(buf, sizeof buf, "p%06d.php?id=%d", page, page);
    else
        std::snprintf(buf, sizeof buf, "p%06d.html", page);
    return buf;
}

std::string DirName(int index) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "d%02d", index);
    return buf;
}

constexpr std::array<std::string_view, 96> kWords = {
    "garden",   "widget",    "review",   "quality",   "service",  "travel",   "guide",
    "local",    "business",  "homes",    "design",    "classic",  "modern",   "simple",
    "small",    "great",     "useful",   "free",      "online",   "shop",     "prices",
    "news",     "friends",   "partners", "resources", "links",    "articles", "tools",
    "family",   "health",    "sports",   "music",     "books",    "recipes",  "kitchen",
    "outdoor",  "camping",   "fishing",  "photos",    "gallery",  "history",  "science",
    "computer", "software",  "hardware", "network",   "support",  "forum",    "weekly",
    "update",   "report",    "notes",    "tips",      "advice",   "about",    "contact",
    "company",  "products",  "catalog",  "order",     "delivery", "custom",   "handmade",
    "vintage",  "antique",   "country",  "city",      "river",    "mountain", "coast",
    "island",   "winter",    "summer",   "spring",    "autumn",   "market",   "trade",
    "exchange", "directory", "listing",  "category",  "section",  "page",     "read",
    "more",     "best",      "top",      "new",       "old",      "our",      "your",
    "with",     "from",      "and",      "the",       "for",
};

std::string Words(uint64_t& rng, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        if (i)
            out += ' ';
        out += kWords[size_t(Below(rng, int(kWords.size())))];
    }
    if (!out.empty())
        out[0] = char(out[0] - 'a' + 'A');
    return out;
}

// Sentences and titles made once from a fixed seed; pages pick from them, so
// building a page is mostly copying and cheap enough to do per request.
struct TextPool {
    std::vector<std::string> sentences;
    std::vector<std::string> titles;
    TextPool() {
        uint64_t rng = 0x5EED5EEDull;
        for (int i = 0; i < 2048; ++i)
            sentences.push_back(Words(rng, 6 + Below(rng, 12)) + (Below(rng, 8) ? "." : "!"));
        for (int i = 0; i < 1024; ++i)
            titles.push_back(Words(rng, 1 + Below(rng, 4)));
    }
    const std::string& sentence(uint64_t& rng) const {
        return sentences[size_t(Below(rng, int(sentences.size())))];
    }
    const std::string& title(uint64_t& rng) const {
        return titles[size_t(Below(rng, int(titles.size())))];
    }
};

const TextPool& Pool() {
    static const TextPool pool;
    return pool;
}

void AppendAnchor(std::string& out, std::string_view href, std::string_view text, char quote) {
    out += "<a href=";
    out += quote;
    out += href;
    out += quote;
    out += '>';
    out += text;
    out += "</a>";
}

constexpr std::string_view kStyleSheet = "/css/site.css";
constexpr std::string_view kFooterMail = "mailto:webmaster@other-example.com";

} // namespace

// ---- the site --------------------------------------------------------------

SiteGenerator::SiteGenerator(int pages, int linksBack)
    : m_pages(std::max(1, pages)), m_linksBack(std::clamp(linksBack, 0, std::max(1, pages))) {
    const int dirCount = 1 + (m_pages - 1 + kPagesPerDir - 1) / kPagesPerDir;
    m_dirs.resize(size_t(dirCount));
    // assign(1, '/'): g++ 12 at -O3 warns falsely about assigning "/" here.
    m_dirs[0].path.assign(1, '/');
    m_dirs[0].firstPage = 0;
    m_dirs[0].pageCount = 1;
    for (int j = 1; j < dirCount; ++j) {
        Dir& dir = m_dirs[size_t(j)];
        dir.parent = j <= kTopDirs ? 0 : (j - kTopDirs - 1) / kSubDirs + 1;
        const int nameIndex = j <= kTopDirs ? j - 1 : (j - kTopDirs - 1) % kSubDirs;
        dir.path = m_dirs[size_t(dir.parent)].path + DirName(nameIndex) + "/";
        dir.firstPage = 1 + (j - 1) * kPagesPerDir;
        dir.pageCount = std::min(kPagesPerDir, m_pages - dir.firstPage);
        m_dirs[size_t(dir.parent)].children.push_back(j);
    }
    m_paths.resize(size_t(m_pages));
    m_paths[0].assign(1, '/');
    for (int p = 1; p < m_pages; ++p)
        m_paths[size_t(p)] = m_dirs[size_t(dirOf(p))].path + PageName(p);
    m_byPath.reserve(size_t(m_pages) + 1);
    for (int p = 0; p < m_pages; ++p)
        m_byPath.emplace(m_paths[size_t(p)], p);
    m_byPath.emplace("/index.html", 0);

    // The links back go on the last pages of the crawl: by then every page is
    // queued, so the extra queue entries the scanner makes for result rows
    // cannot push a page address out of its memory of queued addresses.
    m_linkBack.assign(size_t(m_pages), 0);
    const CrawlResult crawl = CrawlSite(*this, false, false);
    for (const std::string& address : crawl.fetched) {
        const size_t slash = address.find('/');
        const int page = find(slash == std::string::npos ? "/" : address.substr(slash));
        if (page >= 0)
            m_crawlOrder.push_back(page);
    }
    if (!crawl.problem.empty())
        m_problem = crawl.problem;
    else if (int(m_crawlOrder.size()) != m_pages)
        m_problem = "the crawl reaches " + std::to_string(m_crawlOrder.size()) + " pages";
    const int n = std::min<int>(m_linksBack, int(m_crawlOrder.size()));
    for (int i = 0; i < n; ++i)
        m_linkBack[size_t(m_crawlOrder[m_crawlOrder.size() - 1 - size_t(i)])] = 1;
}

int SiteGenerator::find(std::string_view target) const {
    const auto it = m_byPath.find(std::string(target));
    return it == m_byPath.end() ? -1 : it->second;
}

int SiteGenerator::dirOf(int page) const {
    return page == 0 ? 0 : 1 + (page - 1) / kPagesPerDir;
}

int SiteGenerator::randomPageIn(int dir, uint64_t& rng) const {
    const Dir& d = m_dirs[size_t(dir)];
    return d.firstPage + Below(rng, d.pageCount);
}

// A page in the directory or below it, at most two levels down; from the
// start page's directory always at least one level down.
int SiteGenerator::randomDescendantPage(int dir, uint64_t& rng) const {
    int at = dir;
    for (int depth = 0; depth < 2; ++depth) {
        const Dir& d = m_dirs[size_t(at)];
        if (d.children.empty() || (at != 0 && Below(rng, 3) == 0))
            break;
        at = d.children[size_t(Below(rng, int(d.children.size())))];
    }
    if (at == 0)
        return 0;
    return randomPageIn(at, rng);
}

SiteGenerator::Plan SiteGenerator::plan(int page) const {
    uint64_t rng = 0xC0FFEEull ^ (uint64_t(page) * 0x100000001B3ull);
    const TextPool& pool = Pool();
    const int dirIndex = dirOf(page);
    const Dir& dir = m_dirs[size_t(dirIndex)];
    const bool root = page == 0;
    const std::string host(kHost);
    Plan plan;

    // Address of a page relative to this page's directory (it must lie below).
    auto relative = [&](int target) { return m_paths[size_t(target)].substr(dir.path.size()); };
    auto add = [&](std::vector<Link>& to, std::string href, char quote = '"') {
        to.push_back(Link{std::move(href), pool.title(rng), quote});
    };

    // The links that keep the site connected: the next page of the directory,
    // and from a directory's first page the first page of each sub-directory.
    if (!root && page + 1 < dir.firstPage + dir.pageCount)
        add(plan.nav, relative(page + 1));
    if (page == dir.firstPage)
        for (int child : dir.children)
            add(plan.nav, relative(m_dirs[size_t(child)].firstPage));
    // On the start page the home link comes after a page below it is queued.
    plan.nav.push_back(Link{"/", "Home", '"'});

    const int anchorTotal = 20 + Below(rng, 40);
    // The footer's "top" and mail links are fixed.
    const int fill = std::max(0, anchorTotal - 2 - int(plan.nav.size()));
    for (int i = 0; i < fill; ++i) {
        int kind = Below(rng, 100);
        if (root && kind >= 36 && kind < 56)
            kind = Below(rng, 36); // from the start page every same-host link is downward
        std::string href;
        char quote = '"';
        if (kind < 16) { // sibling, relative
            href = relative(root ? randomDescendantPage(0, rng) : randomPageIn(dirIndex, rng));
        } else if (kind < 24) { // below, relative through sub-directories
            href = relative(randomDescendantPage(dirIndex, rng));
        } else if (kind < 30) { // below, absolute
            href = (Below(rng, 4) == 0 ? "https://" : "http://") + host +
                   m_paths[size_t(randomDescendantPage(dirIndex, rng))];
        } else if (kind < 36) { // own directory, from the host root
            href =
                m_paths[size_t(root ? randomDescendantPage(0, rng) : randomPageIn(dirIndex, rng))];
        } else if (kind < 42) { // upward
            href = dir.parent <= 0 ? std::string("../index.html")
                                   : "../" + PageName(randomPageIn(dir.parent, rng));
        } else if (kind < 50) { // sideways, anywhere on the site
            href = m_paths[size_t(Below(rng, m_pages))];
        } else if (kind < 53) { // sideways, a sister directory
            const Dir& parent = m_dirs[size_t(dir.parent)];
            const int sister = parent.children[size_t(Below(rng, int(parent.children.size())))];
            href = "../" + m_paths[size_t(randomPageIn(sister, rng))].substr(parent.path.size());
        } else if (kind < 56) { // a script with a query, on this host
            href = "/search.php?q=" + std::string(kWords[size_t(Below(rng, 96))]) +
                   "&page=" + std::to_string(1 + Below(rng, 9));
        } else if (kind < 68) { // elsewhere
            static constexpr std::array<std::string_view, 5> kOther = {
                "http://www.other-example.com/", "http://blog.other-example.net/",
                "https://news.example.org/", "http://www.example.edu/~staff/",
                "http://directory.other-example.com/"};
            href = std::string(kOther[size_t(Below(rng, int(kOther.size())))]);
            if (Below(rng, 3) != 0)
                href += std::string(kWords[size_t(Below(rng, 96))]) + "/" +
                        std::to_string(Below(rng, 10000)) + ".html";
        } else if (kind < 72) { // elsewhere, with a query
            href = "http://www.other-example.com/cgi-bin/go.cgi?id=" +
                   std::to_string(Below(rng, 100000)) + "&ref=partner";
        } else if (kind < 78) { // pictures
            static constexpr std::array<std::string_view, 4> kPics = {"images/photo", "/img/banner",
                                                                      "gallery/big", "/img/shot"};
            href = std::string(kPics[size_t(Below(rng, 4))]) + std::to_string(Below(rng, 500)) +
                   (Below(rng, 2) ? ".jpg" : ".gif");
        } else if (kind < 83) { // scripts
            static constexpr std::array<std::string_view, 4> kScripts = {
                "javascript:void(0)", "javascript:window.print()", "scripts/popup.js",
                "javascript:openWindow(1)"};
            href = std::string(kScripts[size_t(Below(rng, 4))]);
        } else if (kind < 86) { // mail
            href = "mailto:" + std::string(kWords[size_t(Below(rng, 96))]) + "@other-example.com";
        } else if (kind < 92) { // fragments
            href = Below(rng, 2) ? "#section" + std::to_string(Below(rng, 9))
                                 : relative(root ? randomDescendantPage(0, rng)
                                                 : randomPageIn(dirIndex, rng)) +
                                       "#comments";
        } else if (kind < 96) { // files the scanner never fetches
            static constexpr std::array<std::string_view, 4> kFiles = {
                "files/brochure.pdf", "files/price-list.xls", "media/intro.swf", "files/setup.zip"};
            href = std::string(kFiles[size_t(Below(rng, 4))]);
        } else { // apostrophes around the value
            href = relative(root ? randomDescendantPage(0, rng) : randomPageIn(dirIndex, rng));
            quote = '\'';
        }
        add(plan.extra, std::move(href), quote);
    }
    plan.inlineCount = plan.extra.size() / 2;
    plan.linkBackAt = size_t(Below(rng, int(plan.inlineCount + 1)));
    return plan;
}

std::vector<std::string> SiteGenerator::hrefs(int page, bool withLinkBack) const {
    const Plan p = plan(page);
    const std::string userLink = "http://" + std::string(kUserSite) + "/";
    std::vector<std::string> out;
    out.reserve(p.nav.size() + p.extra.size() + 4);
    out.emplace_back(kStyleSheet);
    for (const Link& link : p.nav)
        out.push_back(link.href);
    for (size_t i = 0; i < p.extra.size(); ++i) {
        if (withLinkBack && i == p.linkBackAt)
            out.push_back(userLink);
        out.push_back(p.extra[i].href);
    }
    if (withLinkBack && p.linkBackAt >= p.extra.size())
        out.push_back(userLink);
    out.emplace_back("#top");
    out.emplace_back(kFooterMail);
    return out;
}

std::string SiteGenerator::html(int page, bool withLinkBack) const {
    const Plan p = plan(page);
    const TextPool& pool = Pool();
    uint64_t rng = 0xBEEFull ^ (uint64_t(page) * 0x9E3779B97F4A7C15ull);
    const size_t target = 5000 + size_t(Below(rng, 14000));
    std::string out;
    out.reserve(target + 4096);

    const std::string pageTitle = pool.title(rng) + " " + pool.title(rng);
    out += "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\n<html>\n<head>\n";
    out += "<title>" + pageTitle + " - Partner Bench</title>\n";
    out += "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">\n";
    out += "<meta name=\"description\" content=\"" + pool.sentence(rng) + "\">\n";
    out +=
        "<link rel=\"stylesheet\" type=\"text/css\" href=\"" + std::string(kStyleSheet) + "\">\n";
    out += "<script type=\"text/javascript\" src=\"/js/menu.js\"></script>\n";
    out += "</head>\n<body bgcolor=\"#FFFFFF\" topmargin=\"0\">\n<a name=\"top\"></a>\n";
    out += "<table width=\"100%\" cellpadding=\"4\" cellspacing=\"0\"><tr>\n<td>";
    out += "<img src=\"/img/logo.gif\" width=\"200\" height=\"60\" alt=\"Partner Bench\"></td>\n";
    out += "<td align=\"right\">" + pool.title(rng) + "</td>\n</tr></table>\n";

    out += "<div id=\"nav\"><ul>\n";
    for (const Link& link : p.nav) {
        out += "<li>";
        AppendAnchor(out, link.href, link.text, link.quote);
        out += "</li>\n";
    }
    out += "</ul></div>\n<div id=\"content\">\n<h1>" + pageTitle + "</h1>\n";

    // Paragraphs with one or two links each; the link to the user's site is a
    // paragraph of its own, just before the link it was planned before.
    bool linkBackDue = withLinkBack;
    size_t next = 0;
    while (next < p.inlineCount || (linkBackDue && next == p.linkBackAt)) {
        if (linkBackDue && next == p.linkBackAt) {
            out += "<p>We recommend <a href=\"http://" + std::string(kUserSite) + "/\">" +
                   pool.title(rng) + "</a> to our visitors.</p>\n";
            linkBackDue = false;
            continue;
        }
        const size_t want = 1 + size_t(Below(rng, 2));
        size_t stop = std::min(p.inlineCount, next + want);
        if (linkBackDue && p.linkBackAt > next && p.linkBackAt < stop)
            stop = p.linkBackAt;
        out += "<p>";
        const int sentences = 3 + Below(rng, 5);
        for (int s = 0; s < sentences; ++s) {
            if (s)
                out += ' ';
            out += pool.sentence(rng);
            while (next < stop && (s == sentences - 1 || Below(rng, 3) == 0)) {
                out += ' ';
                AppendAnchor(out, p.extra[next].href, p.extra[next].text, p.extra[next].quote);
                ++next;
            }
        }
        out += "</p>\n";
        if (Below(rng, 4) == 0)
            out += "<img src=\"images/pic" + std::to_string(Below(rng, 300)) +
                   ".jpg\" align=\"left\" alt=\"" + pool.title(rng) + "\">\n";
    }
    out += "<h2>" + pool.title(rng) + "</h2>\n<table border=\"0\" cellpadding=\"3\">\n";
    for (; next < p.extra.size(); ++next) {
        out += "<tr><td>";
        AppendAnchor(out, p.extra[next].href, p.extra[next].text, p.extra[next].quote);
        out += "</td><td>" + pool.sentence(rng) + "</td></tr>\n";
    }
    out += "</table>\n";
    std::string footer =
        "</div>\n<div id=\"footer\"><p><a href=\"#top\">Back to top</a> | <a href=\"";
    footer += kFooterMail;
    footer += "\">Contact the webmaster</a></p>\n"
              "<p>Copyright 2004 Partner Bench. All rights reserved.</p></div>\n</body>\n</html>\n";
    while (out.size() + footer.size() < target) {
        out += "<p>";
        const int sentences = 3 + Below(rng, 5);
        for (int s = 0; s < sentences; ++s) {
            if (s)
                out += ' ';
            out += pool.sentence(rng);
        }
        out += "</p>\n";
    }
    out += footer;
    return out;
}

} // namespace corvantis::bench
