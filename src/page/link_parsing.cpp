#include "page/link_parsing.h"

#include "page/char_refs.h"
#include "page/url_rules.h"
#include "util/text_utils.h"

#include <QStringView>

#include <algorithm>
#include <cstring>

namespace corvantis::scan {

namespace {

const QLatin1String kHref("href=");
constexpr QStringView kHrefView = u"href=";

bool IsQuote(QChar c) {
    return c == u'"' || c == u'\'';
}

bool IsAsciiLetter(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool IsSchemeChar(QChar c) {
    return IsAsciiLetter(c) || (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.';
}

// A value that starts with a scheme the scan cannot fetch (tel:, ftp:, data:, ...).
bool HasForeignScheme(QStringView value) {
    if (value.isEmpty() || !IsAsciiLetter(value.front()))
        return false;
    qsizetype i = 1;
    while (i < value.size() && IsSchemeChar(value[i]))
        ++i;
    if (i >= value.size() || value[i] != u':')
        return false;
    const QStringView scheme = value.left(i);
    return scheme.compare(QLatin1String("http"), Qt::CaseInsensitive) != 0 &&
           scheme.compare(QLatin1String("https"), Qt::CaseInsensitive) != 0;
}

// File types that are never pages; compared with exact letter case.
constexpr QLatin1String kExcludedEndings[] = {
    QLatin1String(".js"),  QLatin1String(".rm"),  QLatin1String(".ra"),   QLatin1String(".mpg"),
    QLatin1String(".swf"), QLatin1String(".avi"), QLatin1String(".jpg"),  QLatin1String(".gif"),
    QLatin1String(".bmp"), QLatin1String(".mov"), QLatin1String(".mp3"),  QLatin1String(".wav"),
    QLatin1String(".pdf"), QLatin1String(".css"), QLatin1String(".exe"),  QLatin1String(".sit"),
    QLatin1String(".zip"), QLatin1String(".msi"), QLatin1String(".ppt"),  QLatin1String(".doc"),
    QLatin1String(".xls"), QLatin1String(".ico"), QLatin1String(".mpeg"), QLatin1String(".jpeg"),
};

const QStringView kRedirectMarkers[] = {
    u"302 Found",
    u"301 Moved Permanently",
    u"<title>Document Moved</title>",
    u"<title>Object moved</title>",
};

// Each ending is a dot and two to four characters, so only a dot at one of
// three places from the end can start one.
constexpr qsizetype kShortestEnding = 3;
constexpr qsizetype kLongestEnding = 5;
static_assert(std::all_of(std::begin(kExcludedEndings), std::end(kExcludedEndings),
                          [](QLatin1String e) {
                              return e.size() >= kShortestEnding && e.size() <= kLongestEnding &&
                                     e.data()[0] == '.';
                          }));

bool HasExcludedEnding(QStringView v) {
    for (qsizetype len = kShortestEnding; len <= kLongestEnding && len <= v.size(); ++len) {
        if (v[v.size() - len] != u'.')
            continue;
        const QStringView tail = v.right(len);
        for (QLatin1String ending : kExcludedEndings) {
            if (ending.size() == len && tail == ending)
                return true;
        }
    }
    return false;
}

// "javascript", "mailto", "file://" or "unsaved:" anywhere in any letter case,
// found in one walk that tries a word only where its first letter stands.
bool HasSkippedWord(QStringView v) {
    static constexpr QStringView kWords[] = {u"javascript", u"mailto", u"file://", u"unsaved:"};
    for (qsizetype i = 0; i < v.size(); ++i) {
        const char16_t c = v[i].unicode();
        // Most characters can start none of the words (past ASCII, some fold to a letter).
        switch (c | 0x20) {
        case u'j':
        case u'm':
        case u'f':
        case u'u':
            break;
        default:
            if (c < 0x80)
                continue;
        }
        const char16_t lower = c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
        for (QStringView word : kWords) {
            if ((c >= 0x80 || lower == word[0].unicode()) && word.size() <= v.size() - i &&
                util::EqualsLowerAsciiCI(v.mid(i, word.size()), word))
                return true;
        }
    }
    return false;
}

// "://" anywhere; most addresses hold no colon at all, which is found faster.
bool HasSchemeMark(QStringView t) {
    return t.contains(u':') && t.contains(u"://");
}

bool IsSkippedValue(QStringView v) {
    if (v.size() < 6)
        return true;
    return HasSkippedWord(v) || HasExcludedEnding(v) || HasForeignScheme(v);
}

// Removes each pattern in turn, every occurrence in any letter case. Every
// pattern holds "://", so an address without it is only trimmed.
template <std::size_t N>
QString StripSchemeRemnants(const QString& address, const QLatin1String (&patterns)[N]) {
    if (!HasSchemeMark(address))
        return util::TrimSpaces(address);
    QString a = address;
    for (QLatin1String p : patterns) {
        const qsizetype before = a.size();
        a.remove(p, Qt::CaseInsensitive);
        // Once the last "://" is gone no later pattern can match.
        if (a.size() != before && !a.contains(QLatin1String("://")))
            break;
    }
    return util::TrimSpaces(a);
}

// HTML's white space: between an attribute's name, its "=" and its value.
bool IsHtmlSpace(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

// Just past "href", the white space and "=" and the white space after it, or -1
// when no "=" follows: "href" alone is no attribute.
qsizetype PastAttributeEquals(QStringView page, qsizetype afterName, qsizetype end) {
    qsizetype i = afterName;
    while (i < end && IsHtmlSpace(page[i]))
        ++i;
    if (i >= end || page[i] != u'=')
        return -1;
    ++i;
    while (i < end && IsHtmlSpace(page[i]))
        ++i;
    return i;
}

void AppendPercentEncoded(QString& out, QStringView text) {
    static const char kHex[] = "0123456789ABCDEF";
    for (const char byte : text.toUtf8()) {
        const auto b = static_cast<unsigned char>(byte);
        out += QLatin1Char('%');
        out += QLatin1Char(kHex[b >> 4]);
        out += QLatin1Char(kHex[b & 15]);
    }
}

bool IsAsciiAlnum(QChar c) {
    return IsAsciiLetter(c) || (c >= u'0' && c <= u'9');
}

} // namespace

Screening ScreenPage(const QString& page, const QString& domain) {
    return ScreenPage(util::CaseFoldedText(page), domain);
}

Screening ScreenPage(const util::CaseFoldedText& folded, const QString& domain) {
    Screening s;
    // An empty domain is found in every page, as an empty search text is.
    if (domain.isEmpty() || folded.contains(domain)) {
        s.domainSeen = true;
        s.note = QStringLiteral("Possible Redirected URL");
    }
    if (folded.contains(u"You are seeing this text because"))
        s.note = QStringLiteral("Source Protected");
    if (folded.contains(u"<?php"))
        s.note = QStringLiteral("Server Script Error");
    return s;
}

QString NormaliseHrefs(const QString& page) {
    return NormaliseHrefs(page, util::CaseFoldedText(page));
}

QString NormaliseHrefs(const QString& page, const util::CaseFoldedText& folded) {
    QString out;
    out.reserve(page.size() + page.size() / 32 + 16);
    AppendNormalisedHrefs(out, page, folded, 0, page.size());
    return out;
}

void AppendNormalisedHrefs(QString& out, QStringView page, const util::CaseFoldedText& folded,
                           qsizetype begin, qsizetype end) {
    // Every "href" followed by "=" starts a line of its own, written "href=",
    // with the white space around the "=" taken out (a line break after it too).
    qsizetype pos = begin;
    for (qsizetype from = begin;;) {
        const qsizetype at = folded.indexOf(kHrefView.left(4), from);
        if (at < 0 || at >= end)
            break;
        const qsizetype value = PastAttributeEquals(page, at + 4, end);
        if (value < 0) {
            from = at + 1;
            continue;
        }
        out += page.mid(pos, at - pos);
        out += QLatin1String("\r\nhref=");
        pos = from = value;
    }
    out += page.mid(pos, end - pos);
}

qsizetype HrefSafeSplit(QStringView page, qsizetype near) {
    // Nothing of "href", the "=" and the white space around it can end just before the split.
    for (qsizetype p = std::max<qsizetype>(near, 1); p < page.size(); ++p) {
        switch (page[p - 1].unicode()) {
        case u'h':
        case u'H':
        case u'r':
        case u'R':
        case u'e':
        case u'E':
        case u'f':
        case u'F':
        case u'=':
        case u' ':
        case u'\t':
        case u'\n':
        case u'\r':
        case u'\f':
            continue;
        default:
            return p;
        }
    }
    return page.size();
}

QString MailWorkText(const QString& normalised) {
    QString out(normalised.size(), Qt::Uninitialized);
    QChar* d = out.data();
    qsizetype k = 0;
    for (const QChar c : normalised) {
        if (c != u'\r' && c != u'\n')
            d[k++] = c;
    }
    out.truncate(k);
    return out;
}

QByteArray MailWorkBytes(QStringView normalised) {
    return MailWorkBytes(normalised.toLatin1());
}

QByteArray MailWorkBytes(QByteArray bytes) {
    // The line ends squeezed out in place: the pieces between them are moved
    // down in blocks, and each kind of line end is searched for once over the text.
    char* const begin = bytes.data();
    char* const end = begin + bytes.size();
    const auto next = [end](char* from, char c) {
        char* at = static_cast<char*>(memchr(from, c, size_t(end - from)));
        return at ? at : end;
    };
    char* cr = next(begin, '\r');
    char* lf = next(begin, '\n');
    char* to = begin;
    for (char* from = begin;;) {
        char* const stop = std::min(cr, lf);
        if (to != from)
            memmove(to, from, size_t(stop - from));
        to += stop - from;
        if (stop == end)
            break;
        from = stop + 1;
        if (stop == cr)
            cr = next(from, '\r');
        else
            lf = next(from, '\n');
    }
    bytes.truncate(to - begin);
    return bytes;
}

QStringList SplitLines(const QString& text) {
    QStringList lines;
    const QStringView t(text);
    const qsizetype n = t.size();
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < n) {
        const QChar c = t[i];
        if (c == u'\r' || c == u'\n') {
            lines.append(t.mid(start, i - start).toString());
            i += (c == u'\r' && i + 1 < n && t[i + 1] == u'\n') ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < n)
        lines.append(t.mid(start).toString());
    return lines;
}

bool HasRedirectMarker(QStringView line) {
    return HasRedirectMarker(util::CaseFoldedText(line));
}

bool HasRedirectMarker(const util::CaseFoldedText& folded) {
    // Two searches for rare words instead of four: three markers hold "moved"
    // (looked for at its place in each), the fourth is "302 Found" itself.
    for (qsizetype at = folded.indexOf(u"moved"); at >= 0; at = folded.indexOf(u"moved", at + 1)) {
        if (folded.matchesAt(kRedirectMarkers[1], at - 4) ||
            folded.matchesAt(kRedirectMarkers[2], at - 16) ||
            folded.matchesAt(kRedirectMarkers[3], at - 14))
            return true;
    }
    return folded.contains(kRedirectMarkers[0]);
}

std::optional<QString> LinkValue(QStringView line) {
    const QStringView v = line;
    // Capture starts every href line with it; other callers may not.
    const qsizetype at = v.startsWith(kHrefView) ? 0 : util::IndexOfCI(v, kHrefView);
    if (at < 0)
        return std::nullopt;
    const qsizetype n = v.size();
    qsizetype i = at + kHref.size();
    while (i < n && IsHtmlSpace(v[i]))
        ++i;
    const QChar quote = i < n && IsQuote(v[i]) ? v[i++] : QChar();

    // A quoted value runs to its closing quote, an unquoted one to white space
    // or ">" (or the line's end). A later "href=" on the line loses the quote
    // after it, so that quote does not end the value. Only then is the value put
    // together from pieces; otherwise it is read in place and copied only when kept.
    QString joined;
    bool split = false;
    qsizetype chunk = i;
    while (i < n) {
        const QChar c = v[i];
        if (quote.isNull() ? (IsHtmlSpace(c) || c == u'>') : c == quote)
            break;
        if ((c == u'h' || c == u'H') && i + kHref.size() < n && IsQuote(v[i + kHref.size()]) &&
            v.mid(i, kHref.size()).compare(kHref, Qt::CaseInsensitive) == 0) {
            joined += v.mid(chunk, i + kHref.size() - chunk);
            split = true;
            i += kHref.size() + 1;
            chunk = i;
            continue;
        }
        ++i;
    }
    const QStringView last = v.mid(chunk, i - chunk);
    if (split)
        joined += last;
    const QString value = CleanHref(DecodeHref(split ? QStringView(joined) : last));
    // Markup shown as text (&lt;a href=&quot;x&quot;&gt;, or href=</span> in a
    // listing) gives a value that starts where no address does.
    if (IsSkippedValue(value) ||
        (quote.isNull() && (IsQuote(value.front()) || value.front() == u'<')))
        return std::nullopt;
    return value;
}

QString DecodeHref(QStringView raw) {
    qsizetype amp = raw.indexOf(u'&');
    if (amp < 0)
        return raw.toString();
    QString out;
    out.reserve(raw.size());
    qsizetype pos = 0;
    for (; amp >= 0; amp = raw.indexOf(u'&', pos)) {
        out += raw.mid(pos, amp - pos);
        // The reference and what may follow it: "#", letters and digits, a ";",
        // and an "=" (after which a name without ";" is no reference).
        qsizetype end = amp + 1;
        if (end < raw.size() && raw[end] == u'#')
            ++end;
        while (end < raw.size() && IsAsciiAlnum(raw[end]))
            ++end;
        if (end < raw.size() && (raw[end] == u';' || raw[end] == u'='))
            ++end;
        // The piece is ASCII, so any other character in its decoding came from a
        // reference: the address takes it as a browser sends it, in UTF-8 and
        // percent-encoded, never as a byte the server would read in another way.
        const QString decoded =
            DecodeCharacterReferences(raw.mid(amp, end - amp), ReferenceContext::Attribute);
        for (qsizetype k = 0; k < decoded.size(); ++k) {
            if (decoded[k].unicode() < 0x80) {
                out += decoded[k];
                continue;
            }
            qsizetype run = k;
            while (run < decoded.size() && decoded[run].unicode() >= 0x80)
                ++run;
            AppendPercentEncoded(out, QStringView(decoded).mid(k, run - k));
            k = run - 1;
        }
        pos = end;
    }
    out += raw.mid(pos);
    return out;
}

QString CleanHref(QStringView value) {
    // A browser takes white space off the ends and tabs and line breaks out of
    // an address, and keeps a fragment to itself: it names a place in the page.
    qsizetype begin = 0;
    qsizetype end = value.size();
    while (begin < end && IsHtmlSpace(value[begin]))
        ++begin;
    while (end > begin && IsHtmlSpace(value[end - 1]))
        --end;
    const qsizetype hash = value.indexOf(u'#', begin);
    if (hash >= 0 && hash < end)
        end = hash;
    const QStringView kept = value.mid(begin, end - begin);
    if (!kept.contains(u' ') && !kept.contains(u'\t') && !kept.contains(u'\n') &&
        !kept.contains(u'\r'))
        return kept.toString();
    QString out;
    out.reserve(kept.size() + 8);
    for (const QChar c : kept) {
        if (c == u' ')
            out += QLatin1String("%20");
        else if (c != u'\t' && c != u'\n' && c != u'\r')
            out += c;
    }
    return out;
}

std::optional<QString> BaseHref(QStringView page, const util::CaseFoldedText& folded) {
    for (qsizetype at = folded.indexOf(u"<base"); at >= 0; at = folded.indexOf(u"<base", at + 1)) {
        if (at + 5 >= page.size() || !(IsHtmlSpace(page[at + 5]) || page[at + 5] == u'/'))
            continue;
        const qsizetype close = page.indexOf(u'>', at);
        const QStringView tag = page.mid(at, (close < 0 ? page.size() : close) - at);
        // Only an href attribute of its own, not one a longer name ends in.
        for (qsizetype h = util::IndexOfCI(tag, u"href"); h >= 0;
             h = util::IndexOfCI(tag, u"href", h + 1)) {
            if (!IsHtmlSpace(tag[h - 1]) && tag[h - 1] != u'/' && !IsQuote(tag[h - 1]))
                continue;
            const qsizetype value = PastAttributeEquals(tag, h + 4, tag.size());
            if (value < 0)
                continue;
            QStringView v = tag.mid(value);
            if (!v.isEmpty() && IsQuote(v.front())) {
                const qsizetype closing = v.indexOf(v.front(), 1);
                v = v.mid(1, (closing < 0 ? v.size() : closing) - 1);
            } else {
                qsizetype k = 0;
                while (k < v.size() && !IsHtmlSpace(v[k]))
                    ++k;
                v = v.left(k);
            }
            return CleanHref(DecodeHref(v));
        }
        return std::nullopt; // the first <base> decides
    }
    return std::nullopt;
}

LinkBase BaseOfPage(const std::optional<QString>& baseHref, const QString& pageHost,
                    const QString& pageDir) {
    if (!baseHref || baseHref->isEmpty() || HasForeignScheme(*baseHref))
        return LinkBase{pageHost, pageDir};
    const QString base = ResolveLink(*baseHref, pageHost, pageDir);
    const qsizetype slash = base.indexOf(u'/');
    if (slash <= 0)
        return LinkBase{pageHost, pageDir};
    return LinkBase{base.left(slash), base.left(base.lastIndexOf(u'/') + 1)};
}

bool BrowserMayAddLinks(QStringView page, const util::CaseFoldedText& folded) {
    const auto endsName = [&page](qsizetype at) {
        return at >= page.size() || IsHtmlSpace(page[at]) || page[at] == u'/' || page[at] == u'>';
    };
    for (QStringView tag : {u"<script", u"<iframe", u"<frame", u"<object", u"<embed"}) {
        for (qsizetype at = folded.indexOf(tag); at >= 0; at = folded.indexOf(tag, at + 1))
            if (endsName(at + tag.size()))
                return true;
    }
    // An event handler: "on" and a name of letters starting an attribute, then "=".
    for (qsizetype at = folded.indexOf(u"on", 1); at >= 0; at = folded.indexOf(u"on", at + 2)) {
        const QChar before = page[at - 1];
        if (!IsHtmlSpace(before) && !IsQuote(before) && before != u'/')
            continue;
        qsizetype i = at + 2;
        while (i < page.size() && IsAsciiLetter(page[i]))
            ++i;
        if (i - at >= 4 && PastAttributeEquals(page, i, page.size()) >= 0)
            return true;
    }
    return false;
}

bool InTagOf(QStringView before, QStringView name) {
    const qsizetype lt = before.lastIndexOf(u'<');
    if (lt < 0 || before.indexOf(u'>', lt) >= 0 || lt + 1 + name.size() >= before.size())
        return false;
    return util::EqualsLowerAsciiCI(before.mid(lt + 1, name.size()), name) &&
           IsHtmlSpace(before[lt + 1 + name.size()]);
}

QString RedirectTarget(const QString& line) {
    if (!line.contains(kHref, Qt::CaseInsensitive))
        return line;
    QStringView t(line);
    for (QChar stop : {QChar(u' '), QChar(u'<'), QChar(u'>')}) {
        const qsizetype at = t.indexOf(stop);
        if (at >= 0)
            t = t.left(at);
    }
    QString target = t.toString();
    for (QLatin1String junk : {kHref, QLatin1String(">here</a></body"), QLatin1String("\""),
                               QLatin1String("'"), QLatin1String(" ")}) {
        target.remove(junk, Qt::CaseInsensitive);
    }
    return target;
}

QString StripForKnownUrl(const QString& address) {
    static const QLatin1String patterns[] = {
        QLatin1String("http://www."), QLatin1String("http://"), QLatin1String("ttp://www"),
        QLatin1String("ttp://ww"),    QLatin1String("ttp://w"), QLatin1String("ttp://"),
        QLatin1String("tp://"),       QLatin1String("p://"),    QLatin1String("://"),
    };
    return StripSchemeRemnants(address, patterns);
}

QString StripForResultPage(const QString& address) {
    static const QLatin1String patterns[] = {
        QLatin1String("http://"), QLatin1String("ttp://"), QLatin1String("tp://"),
        QLatin1String("p://"),    QLatin1String("://"),
    };
    return StripSchemeRemnants(address, patterns);
}

bool IsDirectLink(const QString& address, const QString& domain) {
    return domain.isEmpty() || util::ContainsCI(address, domain);
}

bool IsDomainLink(const QString& address, const QString& domain) {
    // Without a scheme anywhere the host is simply the text before the first "/".
    const auto plainHost = [](QStringView t) {
        const qsizetype slash = t.indexOf(u'/');
        return slash >= 0 ? t.left(slash) : t;
    };
    if (!HasSchemeMark(address) && !HasSchemeMark(domain))
        return plainHost(address) == plainHost(domain);
    return HostPart(address) == HostPart(domain);
}

QString HostPart(const QString& text) {
    // Both schemes hold a colon, and no other character folds to one.
    if (!text.contains(u':')) {
        const qsizetype slash = text.indexOf(u'/');
        return slash >= 0 ? text.left(slash) : text;
    }
    QString t = util::StripSchemes(text);
    const qsizetype slash = t.indexOf(u'/');
    if (slash >= 0)
        t.truncate(slash);
    return t;
}

} // namespace corvantis::scan
