#pragma once

#include "util/text_utils.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace corvantis::scan {

// Screening of a fetched page: whether the user's domain text occurs in it and
// the last remark it earns ("Possible Redirected URL", "Source Protected",
// "Server Script Error"; empty when none).
struct Screening {
    bool domainSeen = false;
    QString note;
};
Screening ScreenPage(const QString& page, const QString& domain);
// The same on a page already folded for searching.
Screening ScreenPage(const util::CaseFoldedText& page, const QString& domain);

// Puts every href attribute at the start of a line of its own, written "href="
// with no white space around the "=".
QString NormaliseHrefs(const QString& page);
QString NormaliseHrefs(const QString& page, const util::CaseFoldedText& folded);
// The same for the part [begin, end) of a page, appended to out; the ends must be
// places HrefSafeSplit gives, so a large page can be done a piece at a time.
void AppendNormalisedHrefs(QString& out, QStringView page, const util::CaseFoldedText& folded,
                           qsizetype begin, qsizetype end);
// The first place at or after near where a page can be cut without cutting an
// "href=" or the spaces after it.
qsizetype HrefSafeSplit(QStringView page, qsizetype near);

// The page text on one line: every CR and LF taken out.
QString MailWorkText(const QString& normalised);
// The same as the bytes of the work file (one byte per character).
QByteArray MailWorkBytes(QStringView normalised);
// The same from the page's bytes (one byte per character), squeezed in place.
QByteArray MailWorkBytes(QByteArray bytes);

// Splits a text into lines at CR LF, CR or LF.
QStringList SplitLines(const QString& text);

// True when the line holds one of the redirect markers ("302 Found", ...).
bool HasRedirectMarker(QStringView line);
bool HasRedirectMarker(const util::CaseFoldedText& text);

// The href value of a line when it is a link worth following: cut from the line
// as HTML reads an attribute value, its character references decoded, cleaned
// (CleanHref), and not a script, mail, other-scheme, file or excluded file type.
std::optional<QString> LinkValue(QStringView line);

// An attribute value as written with its character references decoded; a
// character beyond ASCII that a reference gave is percent-encoded in UTF-8, as a
// browser sends it, and the page's own bytes stay as they are.
QString DecodeHref(QStringView raw);
// An href value as a browser takes it: white space off its ends, tabs and line
// breaks out, a space as "%20", without its fragment ("page.html#top" is
// "page.html"; "#top" is empty).
QString CleanHref(QStringView value);

// Where a page's relative links start: a host and a directory ending in "/".
struct LinkBase {
    QString host;
    QString dir;
};
// The href of a page's first <base> element, decoded and cleaned, or nothing.
std::optional<QString> BaseHref(QStringView page, const util::CaseFoldedText& folded);
// The base of the links of a page at pageHost and pageDir: its <base href>
// resolved against the page's own address, or the page's own.
LinkBase BaseOfPage(const std::optional<QString>& baseHref, const QString& pageHost,
                    const QString& pageDir);
// Whether a browser could show links on the page that its HTML does not hold: it
// has a <script> element, an inline event handler (onload=, onclick=, ...), or a
// frame, iframe, object or embed. A page without any of them is shown as written.
bool BrowserMayAddLinks(QStringView page, const util::CaseFoldedText& folded);

// True when the text before a place ends inside an opening tag of that name
// (lower case): "<base target=x " for "base".
bool InTagOf(QStringView before, QStringView name);

// The target address written on the line that follows a redirect marker; empty
// when nothing is left (the caller then uses the page's own address).
QString RedirectTarget(const QString& line);

// The rewrite that the "already known" rule applies to an address before looking it up.
QString StripForKnownUrl(const QString& address);
// The rewrite that the "already a result page" rule applies.
QString StripForResultPage(const QString& address);

// Links back to the user's site: the address contains the domain text (direct),
// or its host equals the domain's host exactly (domain link).
bool IsDirectLink(const QString& address, const QString& domain);
bool IsDomainLink(const QString& address, const QString& domain);
// Host part of a text: without "http://" and "https://", cut before the first "/".
QString HostPart(const QString& text);

} // namespace corvantis::scan
