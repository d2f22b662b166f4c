#include "automation/link_import.h"

#include "page/link_parsing.h"
#include "page/partner_address.h"
#include "page/url_rules.h"
#include "util/text_utils.h"
#include "util/user_text_file.h"

#include <QStringMatcher>

#include <algorithm>
#include <utility>

namespace corvantis::automation {

namespace {

const QString kHref = QStringLiteral("href=");

// Links that are no partner sites: scripts, mail, fragments and files of these
// types. Containment tests, so ".ra" also rejects ".rar" and a host holding ".ra".
const QStringView kSkipped[] = {
    u"javascript", u"mailto", u".mpg", u".js",  u".mpeg", u".swf", u".avi", u".jpg", u".jpeg",
    u".gif",       u".bmp",   u".mov", u".rm",  u".mp3",  u".wav", u".ra",  u".pdf", u".css",
    u".exe",       u".sit",   u".zip", u".msi", u".ppt",  u".doc", u".xls", u".ico", u"#"};

bool IsSkippedImportValue(QStringView value) {
    for (QStringView s : kSkipped) {
        if (util::ContainsCI(value, s))
            return true;
    }
    return false;
}

bool EndsValue(QChar c) {
    return c == u'"' || c == u'\'' || c == u'>' || c == u'\r' || c == u'\n';
}

} // namespace

ImportBase ImportBaseFor(const QString& linksPageAddress) {
    ImportBase b;
    const QString bare = util::StripSchemes(linksPageAddress);
    b.base = scan::WithoutEveryWww(bare);
    const qsizetype slash = b.base.indexOf(u'/');
    if (slash >= 0)
        b.base.truncate(slash + 1);
    b.directory = scan::SplitPageAddress(bare).dir;
    return b;
}

QString ResolveImportLink(const QString& link, const ImportBase& base) {
    // The rule is picked by how the link starts once its schemes are gone, as
    // ResolveLink picks it; each rule is then ResolveLink's with another base.
    const QString bare = link.contains(u':') ? util::StripSchemes(link) : link;
    if (bare.startsWith(u'/'))
        return scan::ResolveLink(link, base.base, QString());
    if (bare.startsWith(QLatin1String("..")))
        return scan::ResolveLink(link, QString(), base.directory);
    if (bare.startsWith(QLatin1String("./"))) {
        QString dir = base.directory;
        if (dir.endsWith(u'/'))
            dir.chop(1);
        return scan::ResolveLink(link, dir, QString());
    }
    return scan::ResolveLink(link, QString(), base.base);
}

PageLinkExtractor::PageLinkExtractor(const QString& page, ImportBase base)
    : m_page(page), m_folded(m_page), m_base(std::move(base)), m_next(m_folded.indexOf(kHref)) {}

bool PageLinkExtractor::run(const QDeadlineTimer& deadline) {
    const qsizetype n = m_page.size();
    int sinceCheck = 0;
    // Every "href=" starts a line of its own, which ends at the next "href=" or
    // line break; the value runs from after the opening quote to the first
    // quote, ">" or the end of that line.
    while (m_next >= 0) {
        if (++sinceCheck == 64) {
            sinceCheck = 0;
            if (deadline.hasExpired())
                return false;
        }
        const qsizetype at = m_next;
        m_next = m_folded.indexOf(kHref, at + kHref.size());
        const qsizetype lineEnd = m_next >= 0 ? m_next : n;
        qsizetype begin = at + kHref.size();
        if (begin < lineEnd && (m_page[begin] == u'"' || m_page[begin] == u'\''))
            ++begin;
        qsizetype end = begin;
        while (end < lineEnd && !EndsValue(m_page[end]))
            ++end;
        const QStringView value = QStringView(m_page).mid(begin, end - begin);
        if (IsSkippedImportValue(value))
            continue;
        const QString address = ResolveImportLink(value.toString(), m_base);
        if (util::ContainsCI(address, m_base.base))
            continue; // a link into the user's own site
        m_result += address;
        m_result += QLatin1Char(',');
        ++m_count;
    }
    return true;
}

QString ExtractPageLinks(const QString& page, const ImportBase& base) {
    PageLinkExtractor e(page, base);
    e.run();
    return e.result();
}

const QStringList& DelimiterItems() {
    static const QStringList items = {QStringLiteral("Vertical Bar Symbol"),
                                      QStringLiteral("Percent Symbol"), QStringLiteral("Comma"),
                                      QStringLiteral("Exclamation Point")};
    return items;
}

std::optional<QString> ChosenDelimiter(int itemIndex, const QString& typedText) {
    static const QString delimiters[] = {QStringLiteral("|"), QStringLiteral("%"),
                                         QStringLiteral(","), QStringLiteral("!")};
    if (itemIndex >= 0 && itemIndex < int(std::size(delimiters)))
        return delimiters[itemIndex];
    // An empty delimiter would delete every space and run the entries together.
    if (typedText.isEmpty() || typedText == kDelimiterPrompt)
        return std::nullopt;
    return typedText;
}

TagStripper::TagStripper(QString text) : m_text(std::move(text)) {
    countTags();
}

void TagStripper::countTags() {
    m_tagCounts.clear();
    qsizetype from = m_read;
    for (qsizetype close = m_text.indexOf(u'>', from); close >= 0;
         close = m_text.indexOf(u'>', from)) {
        const qsizetype open = QStringView(m_text).mid(from, close - from).lastIndexOf(u'<');
        if (open >= 0)
            ++m_tagCounts[qHash(QStringView(m_text).mid(from + open, close - from - open + 1))];
        from = close + 1;
    }
}

void TagStripper::removeEverywhere(qsizetype open, qsizetype close) {
    // Occurrences cannot overlap: each holds one ">", at its end. They go in one
    // walk, left to right, the rest moved up in place.
    const QString tag = m_text.mid(open, close - open + 1);
    const QStringMatcher matcher(tag, Qt::CaseSensitive);
    QChar* d = m_text.data();
    qsizetype write = open;
    qsizetype read = open;
    for (qsizetype at = open; at >= 0; at = matcher.indexIn(m_text, read)) {
        if (write != read)
            std::copy(d + read, d + at, d + write);
        write += at - read;
        read = at + tag.size();
    }
    const qsizetype n = m_text.size();
    std::copy(d + read, d + n, d + write);
    m_text.truncate(write + (n - read));
}

bool TagStripper::run(const QDeadlineTimer& deadline) {
    for (;;) {
        const qsizetype open = m_text.indexOf(u'<', m_read);
        const qsizetype close = m_text.indexOf(u'>', m_read);
        if (open < 0 || close < 0 || close < open)
            return true;
        // Nothing before the tag can hold another copy of it: it is settled.
        m_done += QStringView(m_text).mid(m_read, open - m_read);
        const qsizetype nextOpen = m_text.indexOf(u'<', open + 1);
        const size_t hash = qHash(QStringView(m_text).mid(open, close - open + 1));
        if ((nextOpen < 0 || nextOpen > close) && m_tagCounts.value(hash) == 1) {
            // Its only copy: cut it from the front. The stretch after it keeps its tag.
            m_tagCounts.remove(hash);
            m_read = close + 1;
        } else {
            m_text.remove(0, open);
            m_read = 0;
            removeEverywhere(0, close - open);
            countTags();
        }
        if (deadline.hasExpired())
            return false;
    }
}

QString ScriptOutputWithoutLineEnds(const QString& output) {
    QString t = output;
    return t.remove(QLatin1String("\r\n"), Qt::CaseSensitive);
}

QString SpacesAsDelimiter(QString text, const QString& delimiter) {
    return text.replace(u' ', delimiter);
}

EntryReader::EntryReader(const QString& text, QString delimiter)
    : m_text(text), m_delimiter(std::move(delimiter)), m_done(text.isEmpty()) {
    if (!m_delimiter.isEmpty())
        m_delimiterFirst = m_delimiter.front().toCaseFolded();
}

bool EntryReader::delimiterAt(qsizetype pos) const {
    const qsizetype d = m_delimiter.size();
    return d > 0 && pos + d <= m_text.size() && m_text[pos].toCaseFolded() == m_delimiterFirst &&
           QStringView(m_text).mid(pos, d).compare(m_delimiter, Qt::CaseInsensitive) == 0;
}

QString EntryReader::next() {
    const qsizetype n = m_text.size();
    const qsizetype start = m_pos;
    while (m_pos < n) {
        const qsizetype at = m_pos;
        if (delimiterAt(at)) {
            m_pos += m_delimiter.size();
            return util::TrimSpaces(m_text.mid(start, at - start));
        }
        ++m_pos;
        if (m_text[at] == u',')
            return util::TrimSpaces(m_text.mid(start, at - start));
    }
    m_done = true;
    return util::TrimSpaces(m_text.mid(start));
}

QStringList ScriptEntries(const QString& output, const QString& delimiter) {
    TagStripper s(ScriptOutputWithoutLineEnds(output));
    s.run();
    QStringList rows;
    for (EntryReader r(SpacesAsDelimiter(s.text(), delimiter), delimiter); !r.atEnd();)
        rows.append(r.next());
    return rows;
}

QList<scan::PartnerSite> ParseImportLines(const QString& text) {
    QList<scan::PartnerSite> sites;
    for (const QString& line : scan::SplitLines(text)) {
        if (util::IsBlank(line))
            continue;
        const qsizetype bar = line.indexOf(u'|');
        scan::PartnerSite site;
        if (bar < 0) {
            site.address = util::TrimSpaces(line);
            site.linksExpected = QStringLiteral("1");
        } else {
            site.address = util::TrimSpaces(line.left(bar));
            const qsizetype next = line.indexOf(u'|', bar + 1);
            site.linksExpected = line.mid(bar + 1, next < 0 ? -1 : next - bar - 1);
        }
        sites.append(site);
    }
    return sites;
}

ImportFile ReadImportFile(const QString& path) {
    ImportFile f;
    const util::TextFileRead read = util::ReadUserTextFile(path);
    f.ok = read.ok;
    f.error = read.error;
    if (read.ok)
        f.sites = ParseImportLines(read.text);
    return f;
}

} // namespace corvantis::automation
