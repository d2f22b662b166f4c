#pragma once

#include <QString>

namespace corvantis::scan {

// Turns the raw value of an href found on a page into the scheme-less address
// the scan works with (host followed by path), using the page's host and its
// directory (ending in "/") as the base.
QString ResolveLink(const QString& link, const QString& currentHost, const QString& currentDir);

// The directory that contains a scheme-less address, ending in "/".
QString ParentDirectory(const QString& address);

// A queued address taken apart for the fetch and the crawl's rules.
struct PageAddress {
    QString host; // host name (with its port, if any), no scheme, no slash
    QString path; // what is asked for on the host: always starts with "/"
    QString url;  // the page's scheme-less address
    QString dir;  // its directory, ending in "/": a last part without a dot counts as one
};

// Takes an address from the queue apart: a scheme and a trailing slash are dropped.
PageAddress SplitPageAddress(const QString& address);

} // namespace corvantis::scan
