#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace corvantis::bench {

// A synthetic partner site for the macro benchmark, the same for every run
// with the same size. Page 0 is the start page "/"; the others sit in a tree
// of directories (d00/, d00/d03/, ...) and are named p<6 digits>.html, every
// tenth one p<6 digits>.php?id=<n>. With fixed-width, unique numbers no page
// address is a prefix (and so, all addresses starting with the one host, no
// substring) of another, which keeps the scanner's "already known" rule from
// hiding any page: a full downward crawl fetches every page exactly once.
//
// Each page carries 20 to 60 links of every kind a real page has (downward,
// upward, sideways, external, images, scripts, mail, fragments, queries) in
// 5 to 20 KB of HTML. The last pages of the crawl link to the user's site.
class SiteGenerator {
public:
    static constexpr std::string_view kHost = "partner-bench.com";
    static constexpr std::string_view kUserSite = "www.mysite-bench.com";
    static constexpr std::string_view kUserDomain = "mysite-bench.com";

    // pages >= 1; linksBack is clamped to [0, pages].
    SiteGenerator(int pages, int linksBack);

    int pageCount() const { return m_pages; }
    int linksBackCount() const { return m_linksBack; }

    // Request target of a page, as the scanner sends it ("/" for page 0).
    const std::string& path(int page) const { return m_paths[page]; }
    // The page a request target names, or -1.
    int find(std::string_view target) const;
    // The page's HTML. Cheap enough to build per request.
    std::string html(int page) const { return html(page, linksBack(page)); }
    // The same page with or without its link to the user's site.
    std::string html(int page, bool withLinkBack) const;
    // The page's href values in the order the HTML holds them, without
    // building the text around them.
    std::vector<std::string> hrefs(int page, bool withLinkBack) const;
    bool linksBack(int page) const { return m_linkBack[page] != 0; }
    // Pages in the order a scanner that follows only downward links fetches them.
    const std::vector<int>& crawlOrder() const { return m_crawlOrder; }
    // Empty when the pages chosen to link back could be placed as intended.
    const std::string& problem() const { return m_problem; }

private:
    struct Link {
        std::string href;
        std::string_view text;
        char quote = '"';
    };
    // The links of a page, drawn from the page's own random sequence so the
    // HTML and the bare link list always agree.
    struct Plan {
        std::vector<Link> nav;   // before the content
        std::vector<Link> extra; // in paragraphs (the first inlineCount), then a table
        size_t inlineCount = 0;
        size_t linkBackAt = 0; // the link to the user's site goes before extra[linkBackAt]
    };

    struct Dir {
        int parent = -1;  // -1 for the root
        std::string path; // "/", "/d03/", "/d03/d01/"
        int firstPage = 0;
        int pageCount = 0;
        std::vector<int> children;
    };

    Plan plan(int page) const;
    int dirOf(int page) const;
    int randomPageIn(int dir, uint64_t& rng) const;
    int randomDescendantPage(int dir, uint64_t& rng) const;

    int m_pages;
    int m_linksBack;
    std::vector<Dir> m_dirs;
    std::vector<std::string> m_paths;
    std::unordered_map<std::string, int> m_byPath;
    std::vector<char> m_linkBack;
    std::vector<int> m_crawlOrder;
    std::string m_problem;
};

} // namespace corvantis::bench
