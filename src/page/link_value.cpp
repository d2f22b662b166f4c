#include "page/link_value.h"

#include <iterator>
#include <optional>

namespace corvantis::scan {

namespace {

struct Tag {
    QString name; // lower case
    bool closing = false;
    qsizetype end = 0;                             // just past its '>'
    QList<std::pair<QString, QString>> attributes; // names in lower case, values decoded

    QString attribute(QStringView wanted) const {
        for (const auto& [name, value] : attributes)
            if (name == wanted)
                return value;
        return {};
    }
    bool has(QStringView wanted) const {
        for (const auto& a : attributes)
            if (a.first == wanted)
                return true;
        return false;
    }
};

bool IsSpace(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

bool IsNameChar(QChar c) {
    return c.isLetterOrNumber() || c == u'-' || c == u'_' || c == u':' || c == u'.';
}

// The character references pages use in addresses and link texts.
QString DecodeEntities(QStringView s) {
    if (!s.contains(u'&'))
        return s.toString();
    static const std::pair<QStringView, QChar> named[] = {
        {u"amp;", u'&'},  {u"lt;", u'<'},    {u"gt;", u'>'},
        {u"quot;", u'"'}, {u"apos;", u'\''}, {u"nbsp;", QChar(0xA0)}};
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] != u'&') {
            out += s[i];
            continue;
        }
        const QStringView rest = s.mid(i + 1);
        bool done = false;
        for (const auto& [name, c] : named)
            if (rest.startsWith(name, Qt::CaseInsensitive)) {
                out += c;
                i += name.size();
                done = true;
                break;
            }
        if (!done && rest.startsWith(u'#')) {
            const qsizetype semi = rest.indexOf(u';');
            if (semi > 1 && semi < 10) {
                const bool hex = rest[1] == u'x' || rest[1] == u'X';
                bool ok = false;
                const uint code =
                    rest.mid(hex ? 2 : 1, semi - (hex ? 2 : 1)).toUInt(&ok, hex ? 16 : 10);
                if (ok && code > 0 && code <= 0x10FFFF) {
                    out += QString::fromUcs4(reinterpret_cast<const char32_t*>(&code), 1);
                    i += semi + 1;
                    done = true;
                }
            }
        }
        if (!done)
            out += u'&';
    }
    return out;
}

// The tag whose '<' stands at pos, or none when the '<' starts no tag.
std::optional<Tag> ReadTag(QStringView page, qsizetype pos) {
    const qsizetype n = page.size();
    qsizetype i = pos + 1;
    Tag tag;
    if (i < n && page[i] == u'/') {
        tag.closing = true;
        ++i;
    }
    const qsizetype nameStart = i;
    while (i < n && IsNameChar(page[i]))
        ++i;
    if (i == nameStart || !page[nameStart].isLetter())
        return std::nullopt;
    tag.name = page.mid(nameStart, i - nameStart).toString().toLower();
    while (i < n && page[i] != u'>') {
        if (IsSpace(page[i]) || page[i] == u'/') {
            ++i;
            continue;
        }
        const qsizetype a = i;
        while (i < n && !IsSpace(page[i]) && page[i] != u'=' && page[i] != u'>' && page[i] != u'/')
            ++i;
        const QString name = page.mid(a, i - a).toString().toLower();
        while (i < n && IsSpace(page[i]))
            ++i;
        QString value;
        if (i < n && page[i] == u'=') {
            ++i;
            while (i < n && IsSpace(page[i]))
                ++i;
            if (i < n && (page[i] == u'"' || page[i] == u'\'')) {
                const QChar quote = page[i];
                const qsizetype close = page.indexOf(quote, i + 1);
                const qsizetype stop = close < 0 ? n : close;
                value = DecodeEntities(page.mid(i + 1, stop - i - 1));
                i = close < 0 ? n : close + 1;
            } else {
                const qsizetype v = i;
                while (i < n && !IsSpace(page[i]) && page[i] != u'>')
                    ++i;
                value = DecodeEntities(page.mid(v, i - v));
            }
        }
        if (!name.isEmpty())
            tag.attributes.append({name, value});
    }
    tag.end = i < n ? i + 1 : n;
    return tag;
}

// Just past the end of a comment, or of the element whose contents are no markup.
qsizetype SkipComment(QStringView page, qsizetype pos) {
    const qsizetype close = page.indexOf(u"-->", pos + 4);
    return close < 0 ? page.size() : close + 3;
}
qsizetype SkipRawText(QStringView page, const Tag& tag) {
    const QString close = QStringLiteral("</") + tag.name;
    const qsizetype at = page.indexOf(close, tag.end, Qt::CaseInsensitive);
    return at < 0 ? page.size() : at;
}
bool IsRawText(const Tag& tag) {
    return !tag.closing && (tag.name == u"script" || tag.name == u"style");
}

QStringList Tokens(const QString& value, QChar separator = u' ') {
    QStringList out;
    for (const QString& t : value.toLower().split(separator, Qt::SkipEmptyParts)) {
        const QString trimmed = t.trimmed();
        if (!trimmed.isEmpty())
            out << trimmed;
    }
    return out;
}
QStringList RelTokens(const QString& rel) {
    return rel.simplified().toLower().split(u' ', Qt::SkipEmptyParts);
}

QString Folded(const QString& text) {
    return text.simplified().left(kMaxAnchorLength);
}

// The anchor text from just past an <a ...> tag to its end: the words, or the
// first image's alt text when there are none. Returns where the scan goes on.
qsizetype ReadAnchorText(QStringView page, qsizetype from, QString& text) {
    QString words;
    QString alt;
    const auto finish = [&](qsizetype next) {
        text = Folded(words);
        if (text.isEmpty())
            text = Folded(alt);
        return next;
    };
    // Enough for the longest text once white space is folded, in all but odd pages.
    const qsizetype keep = 8 * kMaxAnchorLength;
    qsizetype i = from;
    while (i < page.size()) {
        const qsizetype lt = page.indexOf(u'<', i);
        const qsizetype stop = lt < 0 ? page.size() : lt;
        if (words.size() < keep)
            words += DecodeEntities(page.mid(i, qMin(stop - i, keep)));
        if (lt < 0)
            break;
        if (page.mid(lt).startsWith(u"<!--")) {
            i = SkipComment(page, lt);
            continue;
        }
        const std::optional<Tag> tag = ReadTag(page, lt);
        if (!tag) {
            words += u'<';
            i = lt + 1;
            continue;
        }
        if (tag->name == u"a") // its end, or a new link that ends it
            return finish(tag->closing ? tag->end : lt);
        if (!tag->closing && tag->name == u"img" && alt.isEmpty())
            alt = tag->attribute(u"alt");
        words += u' '; // tags separate words
        i = IsRawText(*tag) ? SkipRawText(page, *tag) : tag->end;
    }
    return finish(page.size());
}

// Calls visit(tag) for every tag outside comments, scripts and styles; visit
// may return where the scan goes on (or -1 for just past the tag). The text of
// each comment goes to comments, when given.
template <typename Visit>
void ForEachTag(QStringView page, QList<QStringView>* comments, Visit visit) {
    qsizetype i = 0;
    while ((i = page.indexOf(u'<', i)) >= 0) {
        if (page.mid(i).startsWith(u"<!--")) {
            const qsizetype end = SkipComment(page, i);
            if (comments)
                comments->append(page.mid(i + 4, end - i - 4));
            i = end;
            continue;
        }
        const std::optional<Tag> tag = ReadTag(page, i);
        if (!tag) {
            ++i;
            continue;
        }
        if (IsRawText(*tag)) {
            i = SkipRawText(page, *tag);
            continue;
        }
        const qsizetype next = visit(*tag);
        i = next >= 0 ? next : tag->end;
    }
}

void ApplyRobotsTokens(const QStringList& tokens, bool& noindex, bool& nofollow) {
    for (const QString& t : tokens) {
        noindex = noindex || t == u"noindex" || t == u"none";
        nofollow = nofollow || t == u"nofollow" || t == u"none";
    }
}

// An X-Robots-Tag value may name the crawler it is for: "googlebot: noindex".
// Directives with values of their own ("unavailable_after: ...") name none.
bool HeaderAppliesToUs(QString& value) {
    const qsizetype colon = value.indexOf(u':');
    if (colon < 0)
        return true;
    const QString before = value.left(colon).trimmed().toLower();
    static const QStringList withValues = {
        QStringLiteral("unavailable_after"), QStringLiteral("max-snippet"),
        QStringLiteral("max-image-preview"), QStringLiteral("max-video-preview")};
    if (before.contains(u',') || before.contains(u' ') || withValues.contains(before))
        return true;
    value = value.mid(colon + 1);
    return before == u"googlebot";
}

} // namespace

namespace {
// Whether an element's own markup keeps it from showing: the hidden attribute,
// or display: none or visibility: hidden in its inline style.
bool HidesItself(const Tag& tag) {
    if (tag.has(u"hidden"))
        return true;
    for (const QString& declaration : tag.attribute(u"style").split(u';')) {
        const qsizetype colon = declaration.indexOf(u':');
        if (colon < 0)
            continue;
        const QString property = declaration.left(colon).trimmed().toLower();
        QString value = declaration.mid(colon + 1).trimmed().toLower();
        value.remove(QStringLiteral("!important"));
        value = value.trimmed();
        if ((property == u"display" && value == u"none") ||
            (property == u"visibility" && (value == u"hidden" || value == u"collapse")))
            return true;
    }
    return false;
}

// The elements open at a point of the page, as far as hiding goes: how many of
// them hide what is inside. An end tag closes the last open element of its
// name; an element that ends when its like begins right inside it (li, p,
// option, ...) does so; elements that hold nothing are never open.
class OpenElements {
public:
    void step(const Tag& tag) {
        static const QStringList kEmpty = {
            QStringLiteral("area"),  QStringLiteral("base"),  QStringLiteral("br"),
            QStringLiteral("col"),   QStringLiteral("embed"), QStringLiteral("hr"),
            QStringLiteral("img"),   QStringLiteral("input"), QStringLiteral("link"),
            QStringLiteral("meta"),  QStringLiteral("param"), QStringLiteral("source"),
            QStringLiteral("track"), QStringLiteral("wbr")};
        static const QStringList kEndedByItsLike = {QStringLiteral("li"), QStringLiteral("p"),
                                                    QStringLiteral("dt"), QStringLiteral("dd"),
                                                    QStringLiteral("tr"), QStringLiteral("td"),
                                                    QStringLiteral("th"), QStringLiteral("option")};
        if (kEmpty.contains(tag.name))
            return;
        if (tag.closing) {
            for (qsizetype i = m_open.size() - 1; i >= 0; --i)
                if (m_open[i].first == tag.name) {
                    popTo(i);
                    break;
                }
            return;
        }
        if (kEndedByItsLike.contains(tag.name) && !m_open.isEmpty() &&
            m_open.last().first == tag.name)
            popTo(m_open.size() - 1);
        // A page nested deeper than any real one counts only as deep as this.
        if (m_open.size() >= 4096)
            return;
        const bool hides = HidesItself(tag);
        m_open.append({tag.name, hides});
        m_hiding += hides ? 1 : 0;
    }
    bool hidden() const { return m_hiding > 0; }

private:
    void popTo(qsizetype size) {
        for (qsizetype j = size; j < m_open.size(); ++j)
            m_hiding -= m_open[j].second ? 1 : 0;
        m_open.resize(size);
    }

    QList<std::pair<QString, bool>> m_open;
    qsizetype m_hiding = 0;
};

// One pass over the page for what a link back's value needs: the robots meta
// tags and the canonical link, and (when given) every <a> element and the text
// of every comment.
void ReadPage(QStringView page, PageRobots& r, QList<AnchorElement>* anchors,
              QList<QStringView>* comments = nullptr) {
    OpenElements open;
    ForEachTag(page, comments, [&](const Tag& tag) -> qsizetype {
        if (anchors && tag.name != u"a")
            open.step(tag);
        if (tag.closing)
            return -1;
        if (tag.name == u"a" && anchors && tag.has(u"href")) {
            AnchorElement a{tag.attribute(u"href").trimmed(),
                            RelTokens(tag.attribute(u"rel")),
                            {},
                            open.hidden() || HidesItself(tag)};
            const qsizetype next = ReadAnchorText(page, tag.end, a.text);
            anchors->append(std::move(a));
            return next;
        }
        if (tag.name == u"meta") {
            const QString name = tag.attribute(u"name").trimmed().toLower();
            if (name == u"robots" || name == u"googlebot")
                ApplyRobotsTokens(Tokens(tag.attribute(u"content"), u','), r.metaNoindex,
                                  r.metaNofollow);
        } else if (tag.name == u"link" && r.canonical.isEmpty() &&
                   RelTokens(tag.attribute(u"rel")).contains(QStringLiteral("canonical"))) {
            r.canonical = tag.attribute(u"href").trimmed();
        }
        return -1;
    });
}

void ReadRobotsHeaders(QStringView headerBlock, PageRobots& r) {
    for (QStringView line : headerBlock.split(u'\n')) {
        const qsizetype colon = line.indexOf(u':');
        if (colon < 0 || line.left(colon).trimmed().compare(u"x-robots-tag", Qt::CaseInsensitive))
            continue;
        QString value = line.mid(colon + 1).trimmed().toString();
        if (HeaderAppliesToUs(value))
            ApplyRobotsTokens(Tokens(value, u','), r.headerNoindex, r.headerNofollow);
    }
}
} // namespace

QList<AnchorElement> FindAnchors(QStringView page) {
    PageRobots ignored;
    QList<AnchorElement> out;
    ReadPage(page, ignored, &out);
    return out;
}

PageRobots ReadPageRobots(QStringView page, QStringView headerBlock) {
    PageRobots r;
    ReadPage(page, r, nullptr);
    ReadRobotsHeaders(headerBlock, r);
    return r;
}

QString ValueReasonText(ValueReason reason) {
    static const char* const kTexts[] = {"nofollow",
                                         "sponsored",
                                         "ugc",
                                         "noindex (meta)",
                                         "nofollow (meta)",
                                         "noindex (header)",
                                         "nofollow (header)",
                                         "blocked by robots.txt",
                                         "robots.txt unreachable",
                                         "canonical elsewhere",
                                         "in a comment",
                                         "hidden",
                                         "after JavaScript"};
    static_assert(std::size(kTexts) == size_t(ValueReason::AfterJavaScript) + 1);
    return QLatin1String(kTexts[int(reason)]);
}

QList<ValueReason> ValueReasons(const QStringList& rel, const PageRobots& page, RobotsRule robots,
                                bool canonicalElsewhere, bool inComment, bool hidden) {
    using enum ValueReason;
    const std::pair<bool, ValueReason> flags[] = {
        {rel.contains(QLatin1String("nofollow")), Nofollow},
        {rel.contains(QLatin1String("sponsored")), Sponsored},
        {rel.contains(QLatin1String("ugc")), Ugc},
        {page.metaNoindex, NoindexMeta},
        {page.metaNofollow, NofollowMeta},
        {page.headerNoindex, NoindexHeader},
        {page.headerNofollow, NofollowHeader},
        {robots == RobotsRule::Blocked, BlockedByRobotsTxt},
        {robots == RobotsRule::Unreachable, RobotsTxtUnreachable},
        {canonicalElsewhere, CanonicalElsewhere},
        {inComment, InComment},
        {hidden, Hidden}};
    QList<ValueReason> out;
    for (const auto& [on, reason] : flags)
        if (on)
            out.append(reason);
    return out;
}

QString LinkValueText(const QList<ValueReason>& reasons) {
    if (reasons.isEmpty())
        return kLinkCounts;
    QStringList texts;
    for (const ValueReason reason : reasons)
        texts.append(ValueReasonText(reason));
    return texts.join(QStringLiteral(", "));
}

LinkBackValue ValueOfLinksBack(QStringView page, QStringView headerBlock,
                               const QString& pageAddress,
                               const std::function<QString(const QString&)>& resolve,
                               const std::function<bool(const QString&)>& isLinkBack,
                               RobotsRule robots) {
    // The page is read once, for its robots tags and its links alike.
    PageRobots robotsOfPage;
    QList<AnchorElement> anchors;
    QList<QStringView> comments;
    ReadPage(page, robotsOfPage, &anchors, &comments);
    ReadRobotsHeaders(headerBlock, robotsOfPage);
    const bool canonicalElsewhere =
        !robotsOfPage.canonical.isEmpty() &&
        resolve(robotsOfPage.canonical).compare(pageAddress, Qt::CaseInsensitive) != 0;
    std::optional<LinkBackValue> first;
    for (const AnchorElement& a : anchors) {
        if (!isLinkBack(resolve(a.href)))
            continue;
        LinkBackValue v{
            ValueReasons(a.rel, robotsOfPage, robots, canonicalElsewhere, false, a.hidden), a.text};
        if (v.reasons->isEmpty())
            return v;
        if (!first)
            first = std::move(v);
    }
    if (first)
        return *first;
    // The scan finds links in the page's text, comments included; a search
    // engine reads no link there.
    for (const QStringView comment : comments)
        for (const AnchorElement& a : FindAnchors(comment))
            if (isLinkBack(resolve(a.href)))
                return {ValueReasons(a.rel, robotsOfPage, robots, canonicalElsewhere, true, false),
                        {}};
    return {};
}

} // namespace corvantis::scan
