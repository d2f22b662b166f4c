#pragma once

#include "site_generator.h"

#include <string>
#include <vector>

namespace corvantis::bench {

// The outcome of crawling the site the way the scanner does.
struct CrawlResult {
    std::vector<std::string> fetched; // scheme-less addresses, in fetch order
    int linkBackPages = 0;            // pages on which a link to the user's site was found
    std::string problem;              // empty when the crawl could be followed exactly
};

// Crawls from the start page with the scan library's own rules: each page's
// text normalised as capture does, its links cut, skipped and resolved by the
// link rules, an address queued when it lies in the page's directory, is no
// partner's and no queued address contains it, and a link back counted once
// per page. Nothing is fetched: the pages come from the generator, as HTML or
// (quicker, for planning the site) as the generator's lists of href values.
CrawlResult CrawlSite(const SiteGenerator& site, bool withLinkBacks = true, bool fromHtml = true);

} // namespace corvantis::bench
