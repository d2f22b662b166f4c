#pragma once

#include <QString>

#include <optional>

namespace corvantis::util {

// Longest text UrlEncode takes; longer input is refused.
inline constexpr qsizetype kUrlEncodeMaxLength = 32767;

// Percent-encodes a text for an address: letters, digits and "*-._" stay, a space
// becomes "+", every other byte becomes "%XX" (upper-case hex; characters beyond
// Latin-1 as their UTF-8 bytes). Every "http://" is taken out and one is put back
// in front. Returns no value for input longer than kUrlEncodeMaxLength.
std::optional<QString> UrlEncode(const QString& text);

} // namespace corvantis::util
