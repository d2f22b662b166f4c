#include "page/link_value.h"

#include "page/link_parsing.h"
#include "util/text_utils.h"

#include <gumbo.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <string_view>

#include <iterator>
#include <optional>

namespace corvantis::scan {

namespace {

QStringList Tokens(const QString& value, QChar separator = u' ') {
    QStringList out;
    for (const QString& t : value.toLower().split(separator, Qt::SkipEmptyParts)) {
        const QString trimmed = t.trimmed();
        if (!trimmed.isEmpty())
            out << trimmed;
    }
    return out;
}
// rel splits on ASCII white space and compares without letter case.
QStringList RelTokens(const QString& rel) {
    QString folded = rel.toLower();
    for (QChar& c : folded)
        if (c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f')
            c = u' ';
    return folded.split(u' ', Qt::SkipEmptyParts);
}

QString Folded(const QString& text) {
    return text.simplified().left(kMaxAnchorLength);
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

// Gumbo's parser slows down with the square of how deep elements nest; real
// pages nest a few dozen deep. A page whose tags could nest deeper than this is
// not made into a tree (its links back get no value rather than the scan a stall).
constexpr int kMaxTreeDepth = 3000;

// How deep the page's elements could nest: start tags less end tags, leaving out
// the elements that hold nothing or end where their like begins (a link left
// open ends at the next one).
int NestingBound(const QByteArray& html) {
    static constexpr std::string_view kFlat[] = {
        "!doctype", "a",     "area",     "base",   "body", "br",    "col",    "dd",
        "dt",       "embed", "head",     "hr",     "html", "img",   "input",  "li",
        "link",     "meta",  "optgroup", "option", "p",    "param", "source", "tbody",
        "td",       "tfoot", "th",       "thead",  "tr",   "track", "wbr"};
    int depth = 0;
    int deepest = 0;
    const char* const end = html.constData() + html.size();
    for (const char* p = html.constData();
         (p = static_cast<const char*>(memchr(p, '<', size_t(end - p)))) != nullptr;) {
        ++p;
        const bool closing = p < end && *p == '/';
        const char* const name = closing ? p + 1 : p;
        if (name >= end || !std::isalpha(static_cast<unsigned char>(*name)))
            continue;
        char lower[16];
        std::size_t n = 0;
        for (const char* q = name; q < end && n < sizeof lower &&
                                   (std::isalnum(static_cast<unsigned char>(*q)) || *q == '!');
             ++q)
            lower[n++] = char(std::tolower(static_cast<unsigned char>(*q)));
        if (std::binary_search(std::begin(kFlat), std::end(kFlat), std::string_view(lower, n)))
            continue;
        depth = closing ? std::max(depth - 1, 0) : depth + 1;
        deepest = std::max(deepest, depth);
    }
    return deepest;
}

// "href" in a text of the tree, in any letter case.
bool MentionsHref(const char* text) {
    return text && strcasestr(text, "href") != nullptr;
}

QString Utf8(const char* text) {
    return text ? QString::fromUtf8(text) : QString();
}
QString Utf8(const GumboStringPiece& piece) {
    return QString::fromUtf8(piece.data, qsizetype(piece.length));
}

const GumboAttribute* Attribute(const GumboElement& e, const char* name) {
    return gumbo_get_attribute(&e.attributes, name);
}
QString AttributeText(const GumboElement& e, const char* name) {
    const GumboAttribute* a = Attribute(e, name);
    return a ? Utf8(a->value) : QString();
}

// An inline style's word on display and visibility, by CSS's cascade within one
// declaration block: an !important declaration beats one without, and of two
// alike the later wins.
struct InlineStyle {
    std::optional<bool> displayNone;
    std::optional<bool> invisible; // visibility hidden or collapse; false for visible
};
InlineStyle ReadStyle(QString style) {
    for (qsizetype c = style.indexOf(QLatin1String("/*")); c >= 0;
         c = style.indexOf(QLatin1String("/*"), c)) {
        const qsizetype close = style.indexOf(QLatin1String("*/"), c + 2);
        style.remove(c, close < 0 ? style.size() - c : close + 2 - c);
    }
    InlineStyle out;
    bool displayImportant = false;
    bool visibilityImportant = false;
    for (const QString& declaration : style.split(u';')) {
        const qsizetype colon = declaration.indexOf(u':');
        if (colon < 0)
            continue;
        const QString property = declaration.left(colon).trimmed().toLower();
        QString value = declaration.mid(colon + 1).trimmed().toLower();
        const bool important = value.endsWith(QLatin1String("important")) && value.contains(u'!');
        if (important)
            value = value.left(value.lastIndexOf(u'!')).trimmed();
        if (property == u"display" && (important || !displayImportant)) {
            out.displayNone = value == u"none";
            displayImportant = important;
        } else if (property == u"visibility" && (important || !visibilityImportant)) {
            out.invisible = value == u"hidden" || value == u"collapse";
            visibilityImportant = important;
        }
    }
    return out;
}

// Elements whose content a browser shows as text, never as markup.
bool HoldsText(GumboTag tag) {
    switch (tag) {
    case GUMBO_TAG_TEXTAREA:
    case GUMBO_TAG_TITLE:
    case GUMBO_TAG_XMP:
    case GUMBO_TAG_IFRAME:
    case GUMBO_TAG_NOEMBED:
    case GUMBO_TAG_NOFRAMES:
    case GUMBO_TAG_PLAINTEXT:
        return true;
    default:
        return false;
    }
}

// Whether an element's own markup keeps it and what it holds from showing.
bool Hides(const GumboElement& e) {
    const InlineStyle style = ReadStyle(AttributeText(e, "style"));
    return style.displayNone.value_or(Attribute(e, "hidden") != nullptr) ||
           style.invisible.value_or(false);
}

// The text of an element as the anchor shows it: its words, or the alt text of
// its first image when it has none. Scripts, styles, template content and what
// the element hides are no words; the walk stops once it has more than the anchor can show.
QString AnchorText(const GumboNode* anchor) {
    const qsizetype keep = 8 * kMaxAnchorLength;
    QString words;
    QString alt;
    std::vector<const GumboNode*> todo{anchor};
    for (int visited = 0; !todo.empty() && words.size() < keep && visited < 100000; ++visited) {
        const GumboNode* n = todo.back();
        todo.pop_back();
        if (n->type == GUMBO_NODE_TEXT || n->type == GUMBO_NODE_WHITESPACE ||
            n->type == GUMBO_NODE_CDATA) {
            words += Utf8(n->v.text.text);
            continue;
        }
        if (n->type != GUMBO_NODE_ELEMENT)
            continue;
        const GumboElement& e = n->v.element;
        if (e.tag == GUMBO_TAG_SCRIPT || e.tag == GUMBO_TAG_STYLE || (n != anchor && Hides(e)))
            continue;
        if (e.tag == GUMBO_TAG_IMG && alt.isEmpty())
            alt = AttributeText(e, "alt");
        if (n != anchor)
            words += u' '; // elements part words
        for (unsigned i = e.children.length; i > 0; --i)
            todo.push_back(static_cast<const GumboNode*>(e.children.data[i - 1]));
    }
    QString text = Folded(words);
    return text.isEmpty() ? Folded(alt) : text;
}

// One walk over the tree, with what the elements around a node say of it.
class TreeReader {
public:
    explicit TreeReader(PageTree& out) : m_out(out) {}

    void read(const GumboNode* root) {
        std::vector<Frame> todo{{root, false, false, false}};
        while (!todo.empty()) {
            const Frame f = todo.back();
            todo.pop_back();
            const GumboNode* n = f.node;
            if (n->type == GUMBO_NODE_COMMENT) {
                addText(LinkPlace::Comment, n->v.text.text);
                continue;
            }
            // Markup written out for the reader (&lt;a href=...&gt;) is text.
            if (n->type == GUMBO_NODE_TEXT || n->type == GUMBO_NODE_CDATA) {
                addText(LinkPlace::Text, n->v.text.text);
                continue;
            }
            const GumboVector* children = nullptr;
            Frame inner = f;
            if (n->type == GUMBO_NODE_DOCUMENT) {
                children = &n->v.document.children;
            } else if (n->type == GUMBO_NODE_ELEMENT || n->type == GUMBO_NODE_TEMPLATE) {
                const GumboElement& e = n->v.element;
                if (f.inert) {
                    // Markup in a template's content is text until a script uses it.
                    const QString tag = Utf8(e.original_tag);
                    if (util::ContainsCI(tag, u"href"))
                        m_out.texts.append({LinkPlace::Text, tag});
                } else {
                    inner = element(n, f.displayNone, f.invisible);
                }
                inner.inert =
                    f.inert || n->type == GUMBO_NODE_TEMPLATE || e.tag == GUMBO_TAG_TEMPLATE;
                if (!inner.inert && e.tag_namespace == GUMBO_NAMESPACE_HTML &&
                    (e.tag == GUMBO_TAG_SCRIPT || e.tag == GUMBO_TAG_STYLE || HoldsText(e.tag))) {
                    const LinkPlace place = HoldsText(e.tag) ? LinkPlace::Text : LinkPlace::Script;
                    for (unsigned i = 0; i < e.children.length; ++i) {
                        const auto* c = static_cast<const GumboNode*>(e.children.data[i]);
                        if (c->type == GUMBO_NODE_TEXT || c->type == GUMBO_NODE_WHITESPACE)
                            addText(place, c->v.text.text);
                    }
                    continue;
                }
                children = &e.children;
            }
            if (!children)
                continue;
            for (unsigned i = children->length; i > 0; --i)
                todo.push_back({static_cast<const GumboNode*>(children->data[i - 1]),
                                inner.displayNone, inner.invisible, inner.inert});
        }
    }

private:
    struct Frame {
        const GumboNode* node;
        bool displayNone; // this element or one around it is not shown at all
        bool invisible;   // the visibility it inherits or sets
        bool inert;       // template content: parsed, never shown
    };

    // Reads an element outside template content; returns what its children inherit.
    Frame element(const GumboNode* n, bool displayNone, bool invisible) {
        const GumboElement& e = n->v.element;
        const InlineStyle style = ReadStyle(AttributeText(e, "style"));
        // The hidden attribute is the browser's own display: none, which a
        // display of the element's inline style overrides.
        displayNone = displayNone || style.displayNone.value_or(Attribute(e, "hidden") != nullptr);
        invisible = style.invisible.value_or(invisible);
        const bool isLink = e.tag == GUMBO_TAG_A || e.tag == GUMBO_TAG_AREA;
        const GumboAttribute* href = isLink ? Attribute(e, "href") : nullptr;
        if (href) {
            m_out.anchors.append(AnchorElement{
                Utf8(href->value), RelTokens(AttributeText(e, "rel")),
                e.tag == GUMBO_TAG_AREA ? Folded(AttributeText(e, "alt")) : AnchorText(n),
                displayNone || invisible});
        }
        // An address in any other attribute (a "link to us" box's value, the
        // href of a <link>) is text to a reader.
        for (unsigned i = 0; i < e.attributes.length; ++i) {
            const auto* a = static_cast<const GumboAttribute*>(e.attributes.data[i]);
            if (a == href)
                continue;
            if (MentionsHref(a->name) || MentionsHref(a->value))
                m_out.texts.append(
                    {LinkPlace::Text, Utf8(a->name) + QLatin1Char('=') + Utf8(a->original_value)});
        }
        if (e.tag == GUMBO_TAG_META) {
            const QString name = AttributeText(e, "name").trimmed().toLower();
            if (name == u"robots" || name == u"googlebot")
                ApplyRobotsTokens(Tokens(AttributeText(e, "content"), u','),
                                  m_out.robots.metaNoindex, m_out.robots.metaNofollow);
        } else if (e.tag == GUMBO_TAG_LINK && m_out.robots.canonical.isEmpty() &&
                   RelTokens(AttributeText(e, "rel")).contains(QStringLiteral("canonical"))) {
            m_out.robots.canonical = AttributeText(e, "href").trimmed();
        }
        return {n, displayNone, invisible, false};
    }

    void addText(LinkPlace place, const char* text) {
        if (MentionsHref(text))
            m_out.texts.append({place, Utf8(text)});
    }

    PageTree& m_out;
};

} // namespace

namespace {
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

PageTree ReadPageTree(QStringView page) {
    PageTree tree;
    const QByteArray html = page.toUtf8();
    if (NestingBound(html) > kMaxTreeDepth) {
        tree.read = false;
        return tree;
    }
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0; // the parse errors are of no use here
    const std::unique_ptr<GumboOutput, void (*)(GumboOutput*)> output(
        gumbo_parse_with_options(&options, html.constData(), size_t(html.size())),
        [](GumboOutput* o) { gumbo_destroy_output(&kGumboDefaultOptions, o); });
    TreeReader(tree).read(output->document);
    return tree;
}

QList<AnchorElement> FindAnchors(QStringView page) {
    return ReadPageTree(page).anchors;
}

PageRobots ReadPageRobots(QStringView page, QStringView headerBlock) {
    PageRobots r = ReadPageTree(page).robots;
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
                                         "in a script",
                                         "as text",
                                         "after JavaScript"};
    static_assert(std::size(kTexts) == size_t(ValueReason::AfterJavaScript) + 1);
    return QLatin1String(kTexts[int(reason)]);
}

QList<ValueReason> ValueReasons(const QStringList& rel, const PageRobots& page, RobotsRule robots,
                                bool canonicalElsewhere, LinkPlace place, bool hidden) {
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
        {place == LinkPlace::Comment, InComment},
        {hidden, Hidden},
        {place == LinkPlace::Script, InScript},
        {place == LinkPlace::Text, AsText}};
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
    PageTree tree = ReadPageTree(page);
    if (!tree.read)
        return {};
    PageRobots& robotsOfPage = tree.robots;
    ReadRobotsHeaders(headerBlock, robotsOfPage);
    const bool canonicalElsewhere =
        !robotsOfPage.canonical.isEmpty() &&
        resolve(robotsOfPage.canonical).compare(pageAddress, Qt::CaseInsensitive) != 0;
    const auto reasons = [&](const QStringList& rel, LinkPlace place, bool hidden) {
        return ValueReasons(rel, robotsOfPage, robots, canonicalElsewhere, place, hidden);
    };
    std::optional<LinkBackValue> first;
    for (const AnchorElement& a : tree.anchors) {
        if (!isLinkBack(resolve(a.href)))
            continue;
        LinkBackValue v{reasons(a.rel, LinkPlace::Element, a.hidden), a.text};
        if (v.reasons->isEmpty())
            return v;
        if (!first)
            first = std::move(v);
    }
    if (first)
        return *first;
    // The scan finds links in the page's text wherever it stands; a browser and
    // a search engine read no link in a comment, a script or text. The first
    // such place in the page tells where: read as markup, or failing that as the
    // scan reads links.
    for (const TextPlace& t : tree.texts) {
        for (const AnchorElement& a : ReadPageTree(t.text).anchors)
            if (isLinkBack(resolve(a.href)))
                return {reasons(a.rel, t.place, false), {}};
        const QString lines = NormaliseHrefs(t.text);
        for (QStringView line : QStringView(lines).split(u'\n')) {
            const std::optional<QString> value = LinkValue(line.trimmed());
            if (value && isLinkBack(resolve(*value)))
                return {reasons({}, t.place, false), {}};
        }
    }
    return {};
}

} // namespace corvantis::scan
