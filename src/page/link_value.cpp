#include "page/link_value.h"

#include "page/link_parsing.h"
#include "util/text_utils.h"

#include <gumbo.h>
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

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

// At most kMaxAnchorLength UTF-16 units, less one where the cut would split a
// surrogate pair.
QString Cut(QString text) {
    if (text.size() > kMaxAnchorLength)
        text.truncate(text[kMaxAnchorLength - 1].isHighSurrogate() ? kMaxAnchorLength - 1
                                                                   : kMaxAnchorLength);
    return text;
}

QString Folded(const QString& text) {
    return Cut(text.simplified());
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

bool IsTagSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

// Past the "-->" (or "--!>") that ends a comment whose text starts at p; a
// comment's markup nests nothing.
const char* CommentEnd(const char* p, const char* end) {
    if (p < end && *p == '>')
        return p + 1; // <!-->
    if (end - p >= 2 && p[0] == '-' && p[1] == '>')
        return p + 2; // <!--->
    for (;;) {
        const auto* dashes = static_cast<const char*>(memmem(p, size_t(end - p), "--", 2));
        if (!dashes)
            return end;
        if (end - dashes > 2 && dashes[2] == '>')
            return dashes + 3;
        if (end - dashes > 3 && dashes[2] == '!' && dashes[3] == '>')
            return dashes + 4;
        p = dashes + 1;
    }
}

// Past the end tag of a script, style or other element whose content is text,
// which starts at p; name is its lower-case tag name.
const char* RawTextEnd(const char* p, const char* end, std::string_view name) {
    for (;;) {
        const auto* open = static_cast<const char*>(memmem(p, size_t(end - p), "</", 2));
        if (!open)
            return end;
        const char* after = open + 2 + name.size();
        if (after <= end && strncasecmp(open + 2, name.data(), name.size()) == 0 &&
            (after == end || IsTagSpace(*after) || *after == '/' || *after == '>')) {
            const auto* close = static_cast<const char*>(memchr(after, '>', size_t(end - after)));
            return close ? close + 1 : end;
        }
        p = open + 2;
    }
}

// Past the ">" of a tag whose attributes start at p (a quoted value may hold
// one); selfClosing tells whether "/>" ends it.
const char* TagEnd(const char* p, const char* end, bool& selfClosing) {
    char last = 0; // the last character before p other than white space
    for (; p < end; ++p) {
        const char c = *p;
        if (c == '>') {
            selfClosing = last == '/';
            return p + 1;
        }
        if ((c == '"' || c == '\'') && last == '=') {
            p = static_cast<const char*>(memchr(p + 1, c, size_t(end - p - 1)));
            if (!p)
                return end;
        }
        if (!IsTagSpace(c))
            last = c;
    }
    selfClosing = false;
    return end;
}

// How deep the page's elements could nest: start tags less end tags, leaving out
// the elements that hold nothing or end where their like begins (a link left
// open ends at the next one), the self-closing tags of SVG and MathML, and what
// comments and elements holding text (scripts, styles, textarea, ...) hold. One
// pass over the page, nothing allocated.
int NestingBound(const QByteArray& html) {
    static constexpr std::string_view kFlat[] = {
        "!doctype", "a",     "area",     "base",   "body", "br",    "col",    "dd",
        "dt",       "embed", "head",     "hr",     "html", "img",   "input",  "li",
        "link",     "meta",  "optgroup", "option", "p",    "param", "source", "tbody",
        "td",       "tfoot", "th",       "thead",  "tr",   "track", "wbr"};
    static constexpr std::string_view kText[] = {"iframe", "noembed",  "noframes", "script",
                                                 "style",  "textarea", "title",    "xmp"};
    int depth = 0;
    int deepest = 0;
    int foreign = 0; // <svg> and <math> open around this place
    const char* const end = html.constData() + html.size();
    for (const char* p = html.constData();
         (p = static_cast<const char*>(memchr(p, '<', size_t(end - p)))) != nullptr;) {
        ++p;
        if (end - p >= 3 && memcmp(p, "!--", 3) == 0) {
            p = CommentEnd(p + 3, end);
            continue;
        }
        const bool closing = p < end && *p == '/';
        const char* const name = closing ? p + 1 : p;
        if (name >= end || !std::isalpha(static_cast<unsigned char>(*name)))
            continue;
        char lower[16];
        std::size_t n = 0;
        const char* q = name;
        for (; q < end && (std::isalnum(static_cast<unsigned char>(*q)) || *q == '!'); ++q)
            if (n < sizeof lower)
                lower[n++] = char(std::tolower(static_cast<unsigned char>(*q)));
        const std::string_view tag(lower, n);
        bool selfClosing = false;
        p = TagEnd(q, end, selfClosing);
        const bool isForeignRoot = tag == "svg" || tag == "math";
        if (!closing && tag == "plaintext")
            break; // the rest of the page is its text
        if (!closing && std::binary_search(std::begin(kText), std::end(kText), tag)) {
            p = RawTextEnd(p, end, tag);
            continue;
        }
        if (std::binary_search(std::begin(kFlat), std::end(kFlat), tag))
            continue;
        if (closing) {
            depth = std::max(depth - 1, 0);
            if (isForeignRoot)
                foreign = std::max(foreign - 1, 0);
            continue;
        }
        if (selfClosing && (foreign > 0 || isForeignRoot))
            continue;
        foreign += isForeignRoot;
        deepest = std::max(deepest, ++depth);
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

// The href of an <a> or <area>, or null.
const GumboAttribute* LinkHref(const GumboElement& e) {
    return e.tag == GUMBO_TAG_A || e.tag == GUMBO_TAG_AREA ? Attribute(e, "href") : nullptr;
}

// An attribute as name="value" (its value decoded), in quotes the value does not hold.
QString AttributeAsText(const GumboAttribute& a) {
    const QString value = Utf8(a.value);
    const QChar quote = value.contains(u'"') ? u'\'' : u'"';
    return Utf8(a.name) + u'=' + quote + value + quote;
}

// An inline style's word on display and visibility, by CSS's cascade within one
// declaration block: a declaration whose value is not valid for its property is
// dropped, an !important one beats one without, and of two alike the later wins.
struct InlineStyle {
    // true for none, false for any other display; empty without a word of its
    // own, or for revert (the browser's own sheet again: the hidden attribute).
    // inherit, initial and unset are not none: display is not inherited, and a
    // parent that shows nothing hides its children anyway.
    std::optional<bool> displayNone;
    // true for hidden or collapse, false for visible (and initial); empty for
    // the parent's (no word, inherit, unset, revert: visibility is inherited
    // and the browser's sheet does not set it).
    std::optional<bool> invisible;
};

// The declarations of a style attribute, split at ";" outside strings and
// brackets ("font-family:'a;b'", "url(a;b)"), comments left out.
QStringList Declarations(QStringView style) {
    QStringList out;
    QString current;
    QChar quote;
    int depth = 0;
    for (qsizetype i = 0; i < style.size(); ++i) {
        const QChar c = style[i];
        if (!quote.isNull()) {
            current += c;
            if (c == u'\\' && i + 1 < style.size())
                current += style[++i];
            else if (c == quote)
                quote = QChar();
            continue;
        }
        if (c == u'/' && i + 1 < style.size() && style[i + 1] == u'*') {
            const qsizetype close = style.indexOf(u"*/", i + 2);
            i = close < 0 ? style.size() : close + 1;
            continue;
        }
        if (c == u';' && depth == 0) {
            out.append(current);
            current.clear();
            continue;
        }
        if (c == u'"' || c == u'\'')
            quote = c;
        else if (c == u'(' || c == u'[' || c == u'{')
            ++depth;
        else if (c == u')' || c == u']' || c == u'}')
            depth = std::max(depth - 1, 0);
        current += c;
    }
    out.append(current);
    return out;
}

bool IsCssWide(const QString& value) {
    return value == u"inherit" || value == u"initial" || value == u"unset" || value == u"revert" ||
           value == u"revert-layer";
}

// A display value a browser takes (lower case, white space folded).
bool ValidDisplay(const QString& value) {
    static const QStringList kSingle =
        QStringLiteral("none contents block inline inline-block flow flow-root flex inline-flex "
                       "grid inline-grid list-item run-in table inline-table table-row-group "
                       "table-header-group table-footer-group table-row table-cell "
                       "table-column-group table-column table-caption ruby ruby-base ruby-text "
                       "ruby-base-container ruby-text-container math -webkit-box "
                       "-webkit-inline-box -webkit-flex -webkit-inline-flex -moz-box "
                       "-moz-inline-box -ms-flexbox -ms-inline-flexbox")
            .split(u' ');
    // The keywords that combine: "inline flex", "block flow-root", "inline list-item".
    static const QStringList kPart =
        QStringLiteral("block inline run-in flow flow-root table flex grid ruby math list-item")
            .split(u' ');
    if (IsCssWide(value) || kSingle.contains(value))
        return true;
    const QStringList words = value.split(u' ');
    if (words.size() > 3)
        return false;
    for (qsizetype i = 0; i < words.size(); ++i)
        if (!kPart.contains(words[i]) || words.indexOf(words[i]) != i)
            return false;
    return true;
}

InlineStyle ReadStyle(const QString& style) {
    struct Won {
        bool declared = false;
        bool important = false;
        QString value;
    } display, visibility;
    for (const QString& declaration : Declarations(style)) {
        const qsizetype colon = declaration.indexOf(u':');
        if (colon < 0)
            continue;
        const QString property = declaration.left(colon).trimmed().toLower();
        Won* won = property == u"display"      ? &display
                   : property == u"visibility" ? &visibility
                                               : nullptr;
        if (!won)
            continue;
        QString value = declaration.mid(colon + 1).toLower();
        const qsizetype bang = value.lastIndexOf(u'!');
        const bool important = bang >= 0 && value.mid(bang + 1).trimmed() == u"important";
        if (important)
            value.truncate(bang);
        value = value.simplified();
        const bool valid = won == &display ? ValidDisplay(value)
                                           : IsCssWide(value) || value == u"visible" ||
                                                 value == u"hidden" || value == u"collapse";
        if (!valid || (won->important && !important))
            continue;
        *won = {true, important, value};
    }
    InlineStyle out;
    if (display.declared && !display.value.startsWith(u"revert"))
        out.displayNone = display.value == u"none";
    if (visibility.declared && !IsCssWide(visibility.value))
        out.invisible = visibility.value != u"visible";
    else if (visibility.value == u"initial")
        out.invisible = false;
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

// The hidden attribute hides HTML's own elements (not an SVG <g hidden>).
bool HasHiddenAttribute(const GumboElement& e) {
    return e.tag_namespace == GUMBO_NAMESPACE_HTML && Attribute(e, "hidden") != nullptr;
}

// Whether an element's own markup keeps it and what it holds from showing.
bool Hides(const GumboElement& e) {
    const InlineStyle style = ReadStyle(AttributeText(e, "style"));
    return style.displayNone.value_or(HasHiddenAttribute(e)) || style.invisible.value_or(false);
}

// Elements a browser sets on lines of their own, and those it draws as a box in
// the line: their text is no part of the words around them.
bool PartsWords(const GumboElement& e) {
    static constexpr GumboTag kParting[] = {
        GUMBO_TAG_BR,         GUMBO_TAG_IMG,      GUMBO_TAG_IMAGE,      GUMBO_TAG_P,
        GUMBO_TAG_DIV,        GUMBO_TAG_LI,       GUMBO_TAG_UL,         GUMBO_TAG_OL,
        GUMBO_TAG_MENU,       GUMBO_TAG_DIR,      GUMBO_TAG_DL,         GUMBO_TAG_DT,
        GUMBO_TAG_DD,         GUMBO_TAG_TABLE,    GUMBO_TAG_CAPTION,    GUMBO_TAG_COLGROUP,
        GUMBO_TAG_THEAD,      GUMBO_TAG_TBODY,    GUMBO_TAG_TFOOT,      GUMBO_TAG_TR,
        GUMBO_TAG_TD,         GUMBO_TAG_TH,       GUMBO_TAG_H1,         GUMBO_TAG_H2,
        GUMBO_TAG_H3,         GUMBO_TAG_H4,       GUMBO_TAG_H5,         GUMBO_TAG_H6,
        GUMBO_TAG_HGROUP,     GUMBO_TAG_SECTION,  GUMBO_TAG_ARTICLE,    GUMBO_TAG_HEADER,
        GUMBO_TAG_FOOTER,     GUMBO_TAG_NAV,      GUMBO_TAG_ASIDE,      GUMBO_TAG_MAIN,
        GUMBO_TAG_BLOCKQUOTE, GUMBO_TAG_PRE,      GUMBO_TAG_LISTING,    GUMBO_TAG_ADDRESS,
        GUMBO_TAG_CENTER,     GUMBO_TAG_FIGURE,   GUMBO_TAG_FIGCAPTION, GUMBO_TAG_HR,
        GUMBO_TAG_FORM,       GUMBO_TAG_FIELDSET, GUMBO_TAG_LEGEND,     GUMBO_TAG_DETAILS,
        GUMBO_TAG_SUMMARY};
    return e.tag_namespace == GUMBO_NAMESPACE_HTML &&
           std::find(std::begin(kParting), std::end(kParting), e.tag) != std::end(kParting);
}

bool IsAsciiSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// An anchor's words with white space folded as they come, so that a long run of
// it costs nothing of the length; full once it has more than the anchor shows.
class Words {
public:
    bool full() const { return m_text.size() > kMaxAnchorLength; }
    void space() { m_space = !m_text.isEmpty(); }
    // UTF-8 text, taken a piece at a time: a run of ASCII white space is passed
    // over without decoding.
    void add(const char* text, std::size_t length) {
        constexpr std::size_t kPiece = 4 * kMaxAnchorLength + 4;
        for (std::size_t i = 0; i < length && !full();) {
            if (IsAsciiSpace(text[i])) {
                space();
                ++i;
                continue;
            }
            std::size_t j = i;
            while (j < length && j - i < kPiece && !IsAsciiSpace(text[j]))
                ++j;
            while (j < length && j > i + 1 && (static_cast<unsigned char>(text[j]) & 0xC0) == 0x80)
                --j; // not inside a character
            for (const QChar c : QString::fromUtf8(text + i, qsizetype(j - i))) {
                if (c.isSpace()) {
                    space();
                    continue;
                }
                if (m_space)
                    m_text += u' ';
                m_space = false;
                m_text += c;
            }
            i = j;
        }
    }
    QString text() const { return Cut(m_text); }

private:
    QString m_text;
    bool m_space = false; // white space before the next word
};

// The text of an element as the anchor shows it: its words, or the alt text of
// its first image with one that is not blank when it has none. Inline elements
// join words; lines and boxes (PartsWords) part them. Scripts, styles, template
// content, noscript (a browser that runs scripts shows it not) and what the
// element hides are no words. The walk stops once the anchor is full, after so
// many nodes or so much text.
QString AnchorText(const GumboNode* anchor) {
    constexpr std::size_t kMaxText = 64 * 1024;
    Words words;
    QString alt;
    std::size_t read = 0;
    std::vector<const GumboNode*> todo{anchor}; // nullptr: white space after an element
    for (int visited = 0; !todo.empty() && !words.full() && read < kMaxText && visited < 100000;
         ++visited) {
        const GumboNode* n = todo.back();
        todo.pop_back();
        if (!n) {
            words.space();
            continue;
        }
        if (n->type == GUMBO_NODE_TEXT || n->type == GUMBO_NODE_WHITESPACE ||
            n->type == GUMBO_NODE_CDATA) {
            const std::size_t length = strnlen(n->v.text.text, kMaxText - read);
            words.add(n->v.text.text, length);
            read += length;
            continue;
        }
        if (n->type != GUMBO_NODE_ELEMENT)
            continue;
        const GumboElement& e = n->v.element;
        if (e.tag == GUMBO_TAG_SCRIPT || e.tag == GUMBO_TAG_STYLE ||
            (e.tag == GUMBO_TAG_NOSCRIPT && e.tag_namespace == GUMBO_NAMESPACE_HTML) ||
            (n != anchor && Hides(e)))
            continue;
        if ((e.tag == GUMBO_TAG_IMG || e.tag == GUMBO_TAG_IMAGE) && alt.isEmpty())
            alt = Folded(AttributeText(e, "alt"));
        if (n != anchor && PartsWords(e)) {
            words.space();
            todo.push_back(nullptr);
        }
        for (unsigned i = e.children.length; i > 0; --i)
            todo.push_back(static_cast<const GumboNode*>(e.children.data[i - 1]));
    }
    const QString text = words.text();
    return text.isEmpty() ? alt : text;
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
                addText(f.inert ? LinkPlace::Text : LinkPlace::Comment, n->v.text.text);
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
                    // Markup in a template's content is text until a script uses
                    // it; a link's tag as written holds its rel.
                    const GumboAttribute* href = LinkHref(e);
                    if (href) {
                        const QString tag = Utf8(e.original_tag);
                        m_out.texts.append({LinkPlace::Text, util::ContainsCI(tag, u"href")
                                                                 ? tag
                                                                 : AttributeAsText(*href)});
                    }
                    attributesAsText(e, href);
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
        displayNone = displayNone || style.displayNone.value_or(HasHiddenAttribute(e));
        invisible = style.invisible.value_or(invisible);
        const GumboAttribute* href = LinkHref(e);
        if (href) {
            m_out.anchors.append(AnchorElement{
                Utf8(href->value), RelTokens(AttributeText(e, "rel")),
                e.tag == GUMBO_TAG_AREA ? Folded(AttributeText(e, "alt")) : AnchorText(n),
                displayNone || invisible});
        }
        attributesAsText(e, href);
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

    // An address in an attribute other than a link's href (a "link to us" box's
    // value, the href of a <link>) is text to a reader, as the attribute's value
    // reads once its character references are decoded.
    void attributesAsText(const GumboElement& e, const GumboAttribute* href) {
        for (unsigned i = 0; i < e.attributes.length; ++i) {
            const auto* a = static_cast<const GumboAttribute*>(e.attributes.data[i]);
            if (a != href && (MentionsHref(a->name) || MentionsHref(a->value)))
                m_out.texts.append({LinkPlace::Text, AttributeAsText(*a)});
        }
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
