#pragma once

#include <QString>

namespace corvantis::scan {

// Turns the raw value of an href found on a page into the scheme-less address
// the scan works with (host followed by path), using the page's host and its
// directory (ending in "/") as the base.
QString ResolveLink(const QString& link, const QString& currentHost, const QString& strCurDir);

// The directory that contains a scheme-less address, ending in "/".
QString ParentDirectory(const QString& address);

} // namespace corvantis::scan
