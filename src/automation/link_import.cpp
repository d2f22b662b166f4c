#include "automation/link_import.h"

#include "scan/http_response.h"
#include "scan/link_parsing.h"
#include "scan/url_rules.h"
#include "util/user_text_file.h"

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

QString WithoutSchemes(const QString& text) {
    QString t = util::ReplaceAllCI(text, u"http://", u"");
    return util::ReplaceAllCI(t, u"https://", u"");
}

bool EndsValue(QChar c) {
    return c == u'"' || c == u'\'' || c == u'>' || c == u'\r' || c == u'\n';
}

} // namespace

ImportBase ImportBaseFor(const QString& linksPageAddress) {
    ImportBase b;
    const QString bare = WithoutSchemes(linksPageAddress);
    b.base = util::ReplaceAllCI(bare, u"www.", u"");
    const qsizetype slash = b.base.indexOf(u'/');
    if (slash >= 0)
        b.base.truncate(slash + 1);
    b.directory = scan::SplitPageAddress(bare).strCurDir;
    return b;
}

QString ResolveImportLink(const QString& link, const ImportBase& base) {
    // The rule is picked by how the link starts once its schemes are gone, as
    // ResolveLink picks it; each rule is then ResolveLink's with another base.
    const QString bare = link.contains(u':') ? WithoutSchemes(link) : link;
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

bool TagStripper::run(const QDeadlineTimer& deadline) {
    for (;;) {
        const qsizetype open = m_text.indexOf(u'<', m_from);
        const qsizetype close = m_text.indexOf(u'>', m_from);
        if (open < 0 || close < 0 || close < open)
            return true;
        // Every occurrence starts with "<", so none lies before `open`: only the
        // rest of the text is rewritten.
        const QString tag = m_text.mid(open, close - open + 1);
        QString rest = m_text.mid(open);
        rest.replace(tag, QString(), Qt::CaseSensitive);
        m_text.truncate(open);
        m_text += rest;
        m_from = open;
        if (deadline.hasExpired())
            return false;
    }
}

QString ScriptOutputWithoutLineEnds(const QString& output) {
    QString t = output;
    return t.remove(QLatin1String("\r\n"), Qt::CaseSensitive);
}

QString SeparateEntries(QString text, const QString& delimiter) {
    text.replace(u' ', delimiter);
    return util::ReplaceAllCI(text, delimiter, u",");
}

QString ScriptListText(const QString& output, const QString& delimiter) {
    TagStripper s(ScriptOutputWithoutLineEnds(output));
    s.run();
    return SeparateEntries(s.text(), delimiter);
}

QString TrimSpaces(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.mid(begin, end - begin);
}

QStringList ListEntries(const QString& listText) {
    QStringList rows;
    if (listText.isEmpty())
        return rows;
    for (QStringView piece : QStringView(listText).split(u','))
        rows.append(TrimSpaces(piece.toString()));
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
            site.address = TrimSpaces(line);
            site.linksExpected = QStringLiteral("1");
        } else {
            site.address = TrimSpaces(line.left(bar));
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
