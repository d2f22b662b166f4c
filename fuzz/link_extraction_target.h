#pragma once

// Fuzz body for the way a whole page is read for links: the page address is
// taken apart, the page screened, its href attributes normalised, its lines
// split, and every line's link value resolved and classified; redirect lines
// give their target. Input: page address, line feed, user's domain, line feed,
// page (the rest).

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

// Spaces right after each "href=" (any case), in page order.
inline QList<qsizetype> SpacesAfterHrefs(const QString& text) {
    QList<qsizetype> runs;
    qsizetype at = 0;
    while ((at = text.indexOf(QLatin1String("href="), at, Qt::CaseInsensitive)) >= 0) {
        at += 5;
        qsizetype n = 0;
        while (at + n < text.size() && text[at + n] == u' ')
            ++n;
        runs.append(n);
    }
    return runs;
}

// The text with line ends and spaces taken out, lower-cased: what the
// normalisation must leave unchanged.
inline QString Skeleton(const QString& text) {
    QString s = MailWorkText(text);
    s.remove(u' ');
    return s.toLower();
}

inline void CheckAddress(const QString& url) {
    const PageAddress a = SplitPageAddress(url);
    FUZZ_CHECK(a.slotPath.startsWith(u'/'), url, a.slotPath);
    FUZZ_CHECK(a.strCurDir.endsWith(u'/'), url, a.strCurDir);
    FUZZ_CHECK(!a.slotHost.contains(u'/'), url, a.slotHost);
    const QString joined = a.slotHost + a.slotPath;
    FUZZ_CHECK(joined == a.strCurUrl || joined == a.strCurUrl + QLatin1Char('/') ||
                   a.slotHost + QLatin1Char('/') + a.slotPath == a.strCurUrl,
               url, joined);
    // The request carries host and path byte for byte and nothing else varies.
    const QByteArray request = BuildRequest(a.slotHost, a.slotPath);
    const qsizetype fixed = BuildRequest(QString(), QString()).size();
    FUZZ_CHECK(request.size() == fixed + a.slotHost.size() + a.slotPath.size(), a.slotHost,
               a.slotPath);
    FUZZ_CHECK(request.endsWith("\r\n\r\n"), a.slotHost, a.slotPath);
}

inline void CheckNormalised(const QString& page, const QString& normalised) {
    // Every attribute stays, in the same order, now lower-case at a line start...
    const int hrefs = CountCaseInsensitive(page, QLatin1String("href="));
    FUZZ_CHECK(CountCaseInsensitive(normalised, QLatin1String("href=")) == hrefs, page, normalised);
    FUZZ_CHECK(int(normalised.count(QLatin1String("\r\nhref="))) == hrefs, page, normalised);
    // ...with the first 36 spaces after it gone...
    const QList<qsizetype> before = SpacesAfterHrefs(page);
    const QList<qsizetype> after = SpacesAfterHrefs(normalised);
    FUZZ_CHECK(before.size() == after.size(), page, normalised);
    for (qsizetype i = 0; i < before.size(); ++i)
        FUZZ_CHECK(after[i] == std::max<qsizetype>(0, before[i] - 36), page, normalised);
    // ...and nothing else changed but line ends, spaces and letter case.
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
    for (QChar c : {QChar(u'#'), QChar(u' '), QChar(u'"'), QChar(u'\''), QChar(u'>')})
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
        const QString resolved = ResolveLink(*value, a.slotHost, a.strCurDir);
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
