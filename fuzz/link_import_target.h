#pragma once

// Fuzz body for the link import: the lines of an import file, the entries of a
// script's output and the outgoing links of the user's links page.
// Input: links page address, line feed, delimiter, line feed, the text (the
// rest), read as the import file, as the script output and as the page.

#include "automation/link_import.h"
#include "fuzz_support.h"
#include "page/link_parsing.h"
#include "util/user_text_file.h"

namespace corvantis::fuzz {

using namespace corvantis::automation;

namespace link_import_detail {

inline QString Describe(const QList<scan::PartnerSite>& sites) {
    QString out;
    for (const auto& s : sites)
        out += s.address + u'|' + s.linksExpected + u'\n';
    return out;
}

inline void CheckImportLines(const QString& text) {
    const QList<scan::PartnerSite> sites = ParseImportLines(text);
    qsizetype filled = 0;
    for (const QString& line : scan::SplitLines(text))
        filled += util::IsBlank(line) ? 0 : 1;
    FUZZ_CHECK(sites.size() == filled, text, Describe(sites));
    for (const auto& s : sites) {
        FUZZ_CHECK(!s.address.contains(u'|') && !s.linksExpected.contains(u'|'), text,
                   Describe(sites));
        FUZZ_CHECK(util::TrimSpaces(s.address) == s.address, text, Describe(sites));
    }
    // Written in the file's own form and read again, the sites come back as they were.
    QStringList lines;
    for (const auto& s : sites)
        lines.append(s.address + u'|' + s.linksExpected);
    const QList<scan::PartnerSite> again = ParseImportLines(util::JoinCrLf(lines));
    FUZZ_CHECK(again == sites, Describe(sites), Describe(again));
}

// The tag rule read literally: the first tag removed everywhere, again and again.
// Slow on long texts, which is why the real code works otherwise; here it checks it.
inline QString LiteralStripTags(QString text) {
    for (;;) {
        const qsizetype open = text.indexOf(u'<');
        const qsizetype close = text.indexOf(u'>');
        if (open < 0 || close < 0 || close < open)
            return text;
        text.remove(text.mid(open, close - open + 1), Qt::CaseSensitive);
    }
}

inline void CheckTagStripper(const QString& output) {
    TagStripper whole(output);
    FUZZ_CHECK(whole.run(), output, whole.text());
    const QString stripped = whole.text();
    const qsizetype open = stripped.indexOf(u'<');
    const qsizetype close = stripped.indexOf(u'>');
    FUZZ_CHECK(open < 0 || close < 0 || close < open, output, stripped);
    if (output.size() <= 4096) {
        const QString literal = LiteralStripTags(output);
        FUZZ_CHECK(stripped == literal, output, stripped + QLatin1String(" != ") + literal);
    }
    // A step at a time, the same text.
    TagStripper steps(output);
    qsizetype calls = 1;
    while (!steps.run(QDeadlineTimer(0))) {
        ++calls;
        FUZZ_CHECK(calls <= output.size() + 1, output, steps.text());
    }
    FUZZ_CHECK(steps.text() == stripped, stripped, steps.text());
}

inline void CheckScriptEntries(const QString& output, const QString& delimiter) {
    const QStringList entries = ScriptEntries(output, delimiter);
    for (const QString& e : entries) {
        FUZZ_CHECK(!e.contains(u',') && !e.contains(delimiter, Qt::CaseInsensitive),
                   output + QLatin1String(" / ") + delimiter, e);
        FUZZ_CHECK(!e.startsWith(u' ') && !e.endsWith(u' '), output, e);
    }
    TagStripper s(ScriptOutputWithoutLineEnds(output));
    s.run();
    FUZZ_CHECK(entries.isEmpty() == s.text().isEmpty(), output, entries.join(u'\n'));
}

inline bool HasScheme(const QString& text) {
    return text.contains(QLatin1String("http://"), Qt::CaseInsensitive) ||
           text.contains(QLatin1String("https://"), Qt::CaseInsensitive);
}

inline bool HasAny(const QString& text, QStringView chars) {
    for (const QChar c : chars) {
        if (text.contains(c))
            return true;
    }
    return false;
}

inline void CheckPageLinks(const QString& address, const QString& page) {
    const ImportBase base = ImportBaseFor(address);
    FUZZ_CHECK(base.directory.endsWith(u'/'), address, base.directory);
    const qsizetype slash = base.base.indexOf(u'/');
    FUZZ_CHECK(slash < 0 || slash == base.base.size() - 1, address, base.base);

    PageLinkExtractor whole(page, base);
    FUZZ_CHECK(whole.run(), page, whole.result());
    const QString result = whole.result();
    FUZZ_CHECK(result.isEmpty() == (whole.count() == 0), page, result);
    FUZZ_CHECK(result.isEmpty() || result.endsWith(u','), page, result);
    FUZZ_CHECK(whole.count() <= page.count(QLatin1String("href="), Qt::CaseInsensitive), page,
               result);
    FUZZ_CHECK(ExtractPageLinks(page, base) == result, page, result);

    PageLinkExtractor steps(page, base);
    qsizetype calls = 1;
    while (!steps.run(QDeadlineTimer(0))) {
        ++calls;
        FUZZ_CHECK(calls <= page.size() + 1, page, steps.result());
    }
    FUZZ_CHECK(steps.result() == result && steps.count() == whole.count(), result, steps.result());

    // With no "," in what they are built from, the addresses can be told apart:
    // none is on the user's own site and none runs past its value's end.
    if (HasAny(address, u",") || HasAny(page, u","))
        return;
    const QStringList links = result.split(u',');
    FUZZ_CHECK(links.size() == whole.count() + 1, page, result);
    for (qsizetype i = 0; i < whole.count(); ++i) {
        FUZZ_CHECK(!links.at(i).contains(base.base, Qt::CaseInsensitive), base.base, links.at(i));
        if (!HasAny(address, u"\"'>\r\n"))
            FUZZ_CHECK(!HasAny(links.at(i), u"\"'>\r\n"), page, links.at(i));
    }
}

// A host-rooted link stays below the user's site, whose name is kept as it is.
inline void CheckRootedLink(const QString& address, const QString& link) {
    const ImportBase base = ImportBaseFor(address);
    if (!link.startsWith(u'/') || link.contains(u':') || base.base.isEmpty())
        return;
    const QString resolved = ResolveImportLink(link, base);
    const QString host = base.base.endsWith(u'/') ? base.base.chopped(1) : base.base;
    FUZZ_CHECK(HasPrefix(resolved, host), base.base, resolved);
}

} // namespace link_import_detail

inline int LinkImportOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace link_import_detail;
    const QStringList f = Fields(Latin1(data, size), 3);
    const QString& address = f[0];
    const QString& text = f[2];
    // The delimiter box never gives an empty delimiter.
    const QString delimiter = ChosenDelimiter(-1, f[1]).value_or(QStringLiteral("|"));

    CheckImportLines(util::DecodeUserText(text.toLatin1()));
    CheckTagStripper(text);
    CheckScriptEntries(text, delimiter);
    CheckPageLinks(address, text);
    CheckRootedLink(address, f[1]);
    return 0;
}

} // namespace corvantis::fuzz
