#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>
#include <optional>

namespace corvantis::scan {

// What the partner's robots.txt says of the page a link back stands on.
enum class RobotsRule { NotChecked, Allowed, Blocked, Unreachable };

// Whether a link back passes its value: "Counts", or the reasons it does not,
// in a fixed order, joined by ", ".
inline const QString kLinkCounts = QStringLiteral("Counts");

// One <a> or <area> element of a page: its href with character references
// decoded, its rel tokens (lower case), its anchor text (the text it holds with
// white space folded, words parted only by white space, lines and images; or
// the first alt text of an image in it that is not blank; or an area's alt; at
// most kMaxAnchorLength UTF-16 units, a surrogate pair never cut), and whether
// its inline style or the hidden attribute, on it or an element around it,
// keeps it from showing.
struct AnchorElement {
    QString href;
    QStringList rel;
    QString text;
    bool hidden = false;
};
inline constexpr qsizetype kMaxAnchorLength = 200;

// What a page says of the links on it, as a search engine reads it.
struct PageRobots {
    bool metaNoindex = false;
    bool metaNofollow = false;
    bool headerNoindex = false;
    bool headerNofollow = false;
    QString canonical; // the href of <link rel="canonical">, as written; empty when none
};

// Where a link's markup stands on a page: an element a browser shows as a link,
// or a comment, a script's or style's text, or text a browser shows as such
// (textarea, title, xmp, iframe, noembed, noframes, plaintext, template content,
// an attribute's value).
enum class LinkPlace { Element, Comment, Script, Text };

// A text of a page that mentions "href" where no link can be.
struct TextPlace {
    LinkPlace place;
    QString text;
};

// A page as HTML's parser builds its tree: its links in tree order, the texts
// that mention "href" outside links, in page order, and its robots tags. A page
// whose tags nest too deep to parse in good time is not read.
struct PageTree {
    PageRobots robots;
    QList<AnchorElement> anchors;
    QList<TextPlace> texts;
    bool read = true;
};
PageTree ReadPageTree(QStringView page);

// Every <a> and <area> element with an href, in tree order.
QList<AnchorElement> FindAnchors(QStringView page);

// Why a link back does not pass its value, in the order users read them.
enum class ValueReason {
    Nofollow,
    Sponsored,
    Ugc,
    NoindexMeta,
    NofollowMeta,
    NoindexHeader,
    NofollowHeader,
    BlockedByRobotsTxt,
    RobotsTxtUnreachable,
    CanonicalElsewhere,
    InComment,
    Hidden,
    InScript,
    AsText,
    AfterJavaScript, // found only once the page's scripts had run
};

// A reason as the result list, the report and the history show it.
QString ValueReasonText(ValueReason reason);

// The reasons of one link back, in the order of the enumeration.
QList<ValueReason> ValueReasons(const QStringList& rel, const PageRobots& page, RobotsRule robots,
                                bool canonicalElsewhere, LinkPlace place, bool hidden);

// "Counts", or the reasons' texts joined by ", ".
QString LinkValueText(const QList<ValueReason>& reasons);

// The value reasons and anchor text a result row shows for a page's links back,
// read from the page's tree (page is its text, decoded): of the links whose
// resolved address isLinkBack accepts, the first that counts, else the first.
// resolve turns an href into the address the scan compares (the canonical link
// too: it points elsewhere when its address differs from pageAddress). Without
// such a link, the reasons of the first comment, script or text that holds one
// ("in a comment", "in a script" or "as text" among them) and no anchor text; no
// reasons when there is none there either, or the page could not be read.
struct LinkBackValue {
    std::optional<QList<ValueReason>> reasons;
    QString anchor;
};
LinkBackValue ValueOfLinksBack(QStringView page, QStringView headerBlock,
                               const QString& pageAddress,
                               const std::function<QString(const QString&)>& resolve,
                               const std::function<bool(const QString&)>& isLinkBack,
                               RobotsRule robots);

} // namespace corvantis::scan
