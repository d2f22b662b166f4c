#pragma once

#include <QString>

#include <optional>

namespace corvantis::util {

// Longest address handed to a browser; the browser engine refuses longer ones.
inline constexpr qsizetype kMaxBrowseAddressLength = 2 * 1024 * 1024;

// Makes the address of a result or error row ready to open in a browser.
// Spaces around it are dropped; an address that does not start with "http://"
// or "https://" (any letter case) gets "http://" in front; characters an
// address cannot hold (spaces, control characters, non-ASCII and " < > \ ^ ` { | })
// are percent-encoded as UTF-8, and everything else, "/?&=#%" included, stays.
// Returns no value for what is not a web address: another scheme ("file:",
// "javascript:", "ftp://"), no host, a malformed result or one longer than
// kMaxBrowseAddressLength. Row texts come from partner pages and project files.
std::optional<QString> PrepareBrowseAddress(const QString& address);

} // namespace corvantis::util
