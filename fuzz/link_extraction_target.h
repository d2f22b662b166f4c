#pragma once

// Fuzz body for the way a whole page is read for links: the page address is
// taken apart, the page screened, its href attributes normalised, its lines
// split, and every line's link value resolved and classified; redirect lines
// give their target; the page's tree gives the value of its links back. Input: page address, line
// feed, user's domain, line feed, page (the rest).

#include "fuzz_support.h"
#include "page/http_response.h"
#include "page/link_parsing.h"
#include "page/link_value.h"
#include "page/url_rules.h"

#include <QList>

#include <algorithm>

namespace corvantis::fuzz {

using namespace corvantis::scan;

namespace link_extraction_detail {

inline bool IsHtmlSpace(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

// How many href attributes the text holds: "href", white space, "=" (any case).
inline int CountHrefAttributes(const QString& text) {
    int count = 0;
    for (qsizetype at = 0;
         (at = text.indexOf(QLatin1String("href"), at, Qt::CaseInsensitive)) >= 0;) {
        at += 4;
        qsizetype i = at;
        while (i < text.size() && IsHtmlSpace(text[i]))
            ++i;
        count += i < text.size() && text[i] == u'=' ? 1 : 0;
    }
    return count;
}

// The text with white space taken out, lower-cased: what the normalisation
// must leave unchanged.
inline QString Skeleton(const QString& text) {
    QString s;
    for (QChar c : text)
        if (!IsHtmlSpace(c))
            s += c.toLower();
    return s;
}

inline void CheckAddress(const QString& url) {
    const PageAddress a = SplitPageAddress(url);
    FUZZ_CHECK(a.path.startsWith(u'/'), url, a.path);
    FUZZ_CHECK(a.dir.endsWith(u'/'), url, a.dir);
    FUZZ_CHECK(!a.host.contains(u'/'), url, a.host);
    const QString joined = a.host + a.path;
    FUZZ_CHECK(joined == a.url || joined == a.url + QLatin1Char('/') ||
                   a.host + QLatin1Char('/') + a.path == a.url,
               url, joined);
    // The request carries host and path byte for byte and nothing else varies.
    const QByteArray request = BuildRequest(a.host, a.path);
    const qsizetype fixed = BuildRequest(QString(), QString()).size();
    FUZZ_CHECK(request.size() == fixed + a.host.size() + a.path.size(), a.host, a.path);
    FUZZ_CHECK(request.endsWith("\r\n\r\n"), a.host, a.path);
}

inline void CheckNormalised(const QString& page, const QString& normalised) {
    // Every attribute stays, in the same order, now "href=" at a line start with
    // no white space after it...
    const int hrefs = CountHrefAttributes(page);
    FUZZ_CHECK(int(normalised.count(QLatin1String("\r\nhref="))) == hrefs, page, normalised);
    FUZZ_CHECK(CountHrefAttributes(normalised) == hrefs, page, normalised);
    for (qsizetype at = 0; (at = normalised.indexOf(QLatin1String("\r\nhref="), at)) >= 0;) {
        at += 7;
        FUZZ_CHECK(at >= normalised.size() || !IsHtmlSpace(normalised[at]) ||
                       normalised.mid(at).startsWith(QLatin1String("\r\nhref=")),
                   page, normalised);
    }
    // ...and nothing else changed but white space and letter case.
    FUZZ_CHECK(Skeleton(page) == Skeleton(normalised), page, normalised);
}

inline void CheckLines(const QString& normalised, const QStringList& lines) {
    qsizetype characters = 0;
    for (const QString& line : lines) {
        FUZZ_CHECK(!line.contains(u'\r') && !line.contains(u'\n'), normalised, line);
        // Each attribute begins a line of its own.
        const qsizetype at = line.indexOf(QLatin1String("href="), 0, Qt::CaseInsensitive);
        FUZZ_CHECK(at <= 0, normalised, line);
        if (at == 0)
            FUZZ_CHECK(line.indexOf(QLatin1String("href="), 1, Qt::CaseInsensitive) < 0, normalised,
                       line);
        characters += line.size();
    }
    const qsizetype lineEnds = normalised.count(u'\r') + normalised.count(u'\n');
    FUZZ_CHECK(characters == normalised.size() - lineEnds, normalised, QString());
}

inline void CheckValue(const QString& line, const QString& value) {
    FUZZ_CHECK(value.size() >= 6, line, value);
    for (QChar c : {QChar(u'#'), QChar(u' '), QChar(u'\t'), QChar(u'\r'), QChar(u'\n')})
        FUZZ_CHECK(!value.contains(c), line, value);
    for (QLatin1String bad : {QLatin1String("javascript"), QLatin1String("mailto"),
                              QLatin1String("file://"), QLatin1String("unsaved:")})
        FUZZ_CHECK(!value.contains(bad, Qt::CaseInsensitive), line, value);
}

// The page's <a> elements as the link value reads them: the same ones after an
// element that hides what follows it, none of them unhidden there.
inline void CheckAnchors(const QString& page) {
    const QList<AnchorElement> plain = FindAnchors(page);
    const QList<AnchorElement> wrapped =
        FindAnchors(QString(QStringLiteral("<div hidden>") + page));
    FUZZ_CHECK(plain.size() == wrapped.size(), page, QString::number(wrapped.size()));
    for (qsizetype i = 0; i < plain.size() && i < wrapped.size(); ++i) {
        FUZZ_CHECK(plain[i].href == wrapped[i].href, plain[i].href, wrapped[i].href);
        FUZZ_CHECK(plain[i].text.size() <= kMaxAnchorLength, page, plain[i].text);
        FUZZ_CHECK(!plain[i].hidden || wrapped[i].hidden, page, plain[i].href);
    }
}

// The link value read from the page's tree: whatever the page, reasons in
// their order, an anchor no longer than shown; the tree holds the anchors of
// the page read on its own (a link back inside a comment is one of them when the
// comment is taken away).
inline void CheckTreeReading(const QString& page, const QString& domain) {
    const auto resolve = [](const QString& href) {
        return ResolveLink(CleanHref(href), QStringLiteral("p.test"), QStringLiteral("p.test/"));
    };
    const auto isLinkBack = [&domain](const QString& a) { return IsDirectLink(a, domain); };
    const LinkBackValue v = ValueOfLinksBack(page, QString(), QStringLiteral("p.test/"), resolve,
                                             isLinkBack, RobotsRule::NotChecked);
    FUZZ_CHECK(v.anchor.size() <= kMaxAnchorLength, page, v.anchor);
    if (v.reasons) {
        FUZZ_CHECK(std::is_sorted(v.reasons->begin(), v.reasons->end()), page,
                   LinkValueText(*v.reasons));
        const int places =
            int(v.reasons->count(ValueReason::InComment) + v.reasons->count(ValueReason::InScript) +
                v.reasons->count(ValueReason::AsText));
        FUZZ_CHECK(places <= 1, page, LinkValueText(*v.reasons));
        FUZZ_CHECK(places == 0 || v.anchor.isEmpty(), page, v.anchor);
    }
}

} // namespace link_extraction_detail

inline int LinkExtractionOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace link_extraction_detail;
    const QStringList f = Fields(Latin1(data, size), 3);
    const QString& url = f[0];
    const QString& domain = f[1];
    const QString& page = f[2];

    CheckAddress(url);
    const PageAddress a = SplitPageAddress(url);
    CheckAnchors(page);
    CheckTreeReading(page, domain);

    const Screening screening = ScreenPage(page, domain);
    if (screening.domainSeen)
        FUZZ_CHECK(!screening.note.isEmpty(), page, domain);

    const QString normalised = NormaliseHrefs(page);
    CheckNormalised(page, normalised);
    const QStringList lines = SplitLines(normalised);
    CheckLines(normalised, lines);

    bool afterMarker = false;
    for (const QString& line : lines) {
        if (HasRedirectMarker(line))
            afterMarker = true;
        const bool hasHref = line.contains(QLatin1String("href="), Qt::CaseInsensitive);
        if (afterMarker && hasHref) {
            const QString target = RedirectTarget(line);
            for (QChar c : {QChar(u' '), QChar(u'<'), QChar(u'>'), QChar(u'"'), QChar(u'\'')})
                FUZZ_CHECK(!target.contains(c), line, target);
            afterMarker = false;
        }
        const auto value = LinkValue(line);
        if (!hasHref)
            FUZZ_CHECK(!value, line, *value);
        if (!value)
            continue;
        CheckValue(line, *value);
        FUZZ_CHECK(CleanHref(*value) == *value, line, *value);
        const QString resolved = ResolveLink(*value, a.host, a.dir);
        for (const QString& stripped : {StripForKnownUrl(resolved), StripForResultPage(resolved)}) {
            FUZZ_CHECK(!stripped.startsWith(u' ') && !stripped.endsWith(u' '), resolved, stripped);
        }
        FUZZ_CHECK(IsDirectLink(resolved, resolved), resolved, resolved);
        FUZZ_CHECK(IsDomainLink(resolved, resolved), resolved, resolved);
        (void)IsDirectLink(resolved, domain);
        (void)IsDomainLink(resolved, domain);
    }
    return 0;
}

} // namespace corvantis::fuzz
