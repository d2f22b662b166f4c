#include "page/url_rules.h"

#include "util/text_utils.h"

#include <QStringView>

#include <algorithm>
#include <utility>

namespace corvantis::scan {

namespace {

// Texts that make a link without a scheme count as a host name rather than a
// file next to the current page: a dot followed by a top-level name, or a dot
// after a host prefix.
const QStringView kDotNames[] = {u".com", u".net", u".edu", u".gov"};
const QStringView kDotPrefixes[] = {u"www.", u"ww2."};

bool HasHostMarker(QStringView link) {
    // Every marker holds a dot and nothing else folds to one, so only the places
    // around each dot need a look, not six searches of the whole link.
    for (qsizetype dot = link.indexOf(u'.'); dot >= 0; dot = link.indexOf(u'.', dot + 1)) {
        if (dot + 4 <= link.size()) {
            const QStringView after = link.mid(dot, 4);
            for (QStringView m : kDotNames) {
                if (util::EqualsLowerAsciiCI(after, m))
                    return true;
            }
        }
        if (dot >= 3) {
            const QStringView before = link.mid(dot - 3, 4);
            for (QStringView m : kDotPrefixes) {
                if (util::EqualsLowerAsciiCI(before, m))
                    return true;
            }
        }
    }
    return false;
}

// The last part of a name after its last dot is one of the endings of pages:
// "email.compat32-message.html" is a file, whatever its other parts spell.
bool IsPageFileName(QStringView name) {
    static constexpr QStringView kPageEndings[] = {
        u"html", u"htm",  u"shtml", u"xhtml", u"php", u"php3", u"php4", u"php5",
        u"asp",  u"aspx", u"jsp",   u"cfm",   u"cgi", u"pl",   u"txt",  u"xml"};
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0)
        return false;
    const QStringView ending = name.mid(dot + 1);
    for (QStringView e : kPageEndings)
        if (ending.size() == e.size() && util::EqualsLowerAsciiCI(ending, e))
            return true;
    return false;
}

// Whether a link without a scheme names a host ("www.partner.example/page.html",
// "partner.com/x") rather than a path below the current directory. Only its first
// segment can be a host: it must hold a host marker and be no page's file name,
// so "email.compat32-message.html", "reviews.com.html" and
// "go.php?u=www.x.example" are paths.
bool NamesHost(QStringView link) {
    qsizetype end = link.size();
    for (QChar stop : {QChar(u'/'), QChar(u'?'), QChar(u'\\')}) {
        const qsizetype at = link.indexOf(stop);
        if (at >= 0 && at < end)
            end = at;
    }
    const QStringView first = link.left(end);
    return HasHostMarker(first) && !IsPageFileName(first);
}

// Passes of a plain "//" -> "/" replace, all in one walk: each pass turns a run
// of n slashes into ceil(n / 2). Most addresses have no "//" and stay untouched.
void CollapseSlashes(QString& text, int passes) {
    qsizetype first = text.indexOf(u'/');
    while (first >= 0 && (first + 1 >= text.size() || text[first + 1] != u'/'))
        first = text.indexOf(u'/', first + 2);
    if (first < 0)
        return;
    const qsizetype n = text.size();
    QChar* d = text.data();
    qsizetype out = first;
    qsizetype i = first;
    while (i < n) {
        if (d[i] != u'/') {
            d[out++] = d[i++];
            continue;
        }
        qsizetype run = 0;
        while (i < n && d[i] == u'/') {
            ++run;
            ++i;
        }
        for (int pass = 0; pass < passes; ++pass)
            run = (run + 1) / 2;
        while (run-- > 0)
            d[out++] = u'/';
    }
    text.truncate(out);
}

// The directory one level up, kept as a length into the original directory text
// (plus a slash of our own once no slash is left), so a long chain of ".." steps
// does not copy the directory again and again.
class DirectoryCursor {
public:
    explicit DirectoryCursor(QStringView dir) : m_dir(dir), m_length(dir.size()) {}

    void StepUp() {
        if (m_appendedSlash)
            return; // "host/" of a slash-less text goes up to itself
        QStringView t = m_dir.left(m_length);
        if (t.endsWith(u'/'))
            t.chop(1);
        const qsizetype slash = t.lastIndexOf(u'/');
        if (slash >= 0) {
            m_length = slash + 1;
        } else {
            m_length = t.size();
            m_appendedSlash = true;
        }
    }

    QString Text() const {
        QString out = m_dir.left(m_length).toString();
        if (m_appendedSlash)
            out += QLatin1Char('/');
        return out;
    }

private:
    QStringView m_dir;
    qsizetype m_length;
    bool m_appendedSlash = false;
};

// The ".." branch. Each step moves the directory up, drops the first three
// characters of the link and turns every "/." of the rest into "." (one pass).
// Rewriting the whole link on every step would make a long "../../.." chain
// quadratic, so the steps are counted instead: one pass takes one slash off each
// run of slashes that stands right before a dot and changes nothing else, and
// the front of the link is read through that rule.
class RewrittenLink {
public:
    static constexpr int kEnd = -1;

    // A position in the rewritten link: an index into the link and, when that
    // index starts a run of slashes, how many of them were dropped from the front.
    struct Cursor {
        qsizetype index = 0;
        qsizetype taken = 0;
    };

    explicit RewrittenLink(QStringView link) : m_link(link), m_n(link.size()) {}

    void addPass() { ++m_passes; }

    // Moves past vanished slash runs; returns the character at the cursor, or
    // kEnd at the end (a NUL is an ordinary character of the link).
    int peek(Cursor& c) const {
        while (c.index < m_n) {
            if (m_link[c.index] != u'/')
                return m_link[c.index].unicode();
            const Run run = runAt(c.index);
            if (visibleSlashes(c.index, run, c.taken) > 0)
                return '/';
            c.index = run.end;
            c.taken = 0;
        }
        return kEnd;
    }

    void consume(Cursor& c) const {
        if (peek(c) == kEnd)
            return;
        if (m_link[c.index] == u'/') {
            ++c.taken;
        } else {
            ++c.index;
            c.taken = 0;
        }
    }

    // Appends the rewritten link from the cursor on.
    void appendRest(QString& out, Cursor c) const {
        out.reserve(out.size() + (m_n - c.index));
        while (peek(c) != kEnd) {
            if (m_link[c.index] == u'/') {
                const Run run = runAt(c.index);
                out += QString(visibleSlashes(c.index, run, c.taken), QLatin1Char('/'));
                c.index = run.end;
            } else {
                // Copy up to the next slash in one go.
                qsizetype next = m_link.indexOf(u'/', c.index);
                if (next < 0)
                    next = m_n;
                out += m_link.mid(c.index, next - c.index);
                c.index = next;
            }
            c.taken = 0;
        }
    }

private:
    struct Run {
        qsizetype end;
        bool shrinks; // followed by a dot
    };

    Run runAt(qsizetype i) const {
        qsizetype j = i;
        while (j < m_n && m_link[j] == u'/')
            ++j;
        return Run{j, j < m_n && m_link[j] == u'.'};
    }

    // Slashes of the run starting at i that are still there, after `taken` of
    // them went with the dropped front characters.
    qsizetype visibleSlashes(qsizetype i, const Run& run, qsizetype taken) const {
        const qsizetype left = (run.end - i) - taken - (run.shrinks ? m_passes : 0);
        return std::max<qsizetype>(left, 0);
    }

    QStringView m_link;
    qsizetype m_n;
    qsizetype m_passes = 0;
};

QString ResolveParentSteps(QStringView link, QStringView curDir) {
    RewrittenLink rewritten(link);
    DirectoryCursor dir(curDir);
    RewrittenLink::Cursor front;
    for (;;) {
        RewrittenLink::Cursor c = front;
        if (rewritten.peek(c) != '.')
            break;
        rewritten.consume(c);
        if (rewritten.peek(c) != '.')
            break;
        rewritten.consume(c);
        rewritten.consume(c); // the third character, usually the slash of "../"
        dir.StepUp();
        front = c;
        rewritten.addPass();
    }
    QString out = dir.Text();
    rewritten.appendRest(out, front);
    return out;
}

// Case-insensitive "ends with" for a lower-case ASCII tail; most addresses
// already differ in the last character.
bool TailIs(QStringView text, QStringView tail) {
    return text.size() >= tail.size() && util::EqualsLowerAsciiCI(text.right(tail.size()), tail);
}

// Half-written endings left by links cut short on the page ("page.as", ".../href").
// The checks run in turn: a chop can leave an ending that a later one takes.
void RepairEnding(QString& l) {
    if (l.size() <= 6)
        return;
    if (TailIs(l, u".as"))
        l.replace(l.size() - 3, 3, QLatin1String(".asp"));
    if (TailIs(l, u".ht"))
        l.replace(l.size() - 3, 3, QLatin1String(".htm"));
    if (TailIs(l, u".ph"))
        l.replace(l.size() - 3, 3, QLatin1String(".php"));
    if (TailIs(l, u"/hre"))
        l.chop(4);
    if (TailIs(l, u"/href"))
        l.chop(5);
    if (TailIs(l, u"/http:"))
        l.chop(6);
    if (TailIs(l, u"/http"))
        l.chop(5);
}

} // namespace

QString ResolveLink(const QString& link, const QString& currentHost, const QString& currentDir) {
    QString l = link;
    // An address that starts with a scheme, or with "//" (the page's own scheme),
    // names its host; a scheme further on (in a query) is taken out all the same.
    bool absolute = l.startsWith(QLatin1String("//"));
    if (absolute)
        l.remove(0, 2);
    // Both schemes hold a colon, and no other character folds to one.
    if (l.contains(u':')) {
        for (QStringView scheme : {QStringView(u"http://"), QStringView(u"https://")}) {
            if (l.startsWith(scheme, Qt::CaseInsensitive))
                absolute = true;
            l = util::ReplaceAllCI(l, scheme, u"");
        }
    }

    int slashPasses = 4;
    if (l.startsWith(u'/')) {
        l.prepend(currentHost);
        ++slashPasses;
    } else if (l.startsWith(QLatin1String(".."))) {
        l = ResolveParentSteps(l, currentDir);
    } else {
        if (l.startsWith(QLatin1String("./"))) {
            // "./" means the host root here, and the result is a full address:
            // it must not be made relative to the current directory as well.
            l.remove(QLatin1String("./"), Qt::CaseSensitive);
            l = currentHost + QLatin1Char('/') + l;
            absolute = true;
        }
        if (!absolute && !NamesHost(l))
            l = currentDir + QLatin1Char('/') + l;
    }

    if (!l.contains(u'/'))
        l += QLatin1Char('/');
    // The host-rooted text keeps its slash, so nothing above comes between its
    // own pass and the other four: all run in one walk.
    CollapseSlashes(l, slashPasses);
    RepairEnding(l);
    return l;
}

QString ParentDirectory(const QString& address) {
    QStringView t(address);
    if (t.endsWith(u'/'))
        t.chop(1);
    const qsizetype slash = t.lastIndexOf(u'/');
    if (slash >= 0)
        return t.left(slash + 1).toString();
    return t.toString() + QLatin1Char('/');
}

PageAddress SplitPageAddress(const QString& address) {
    QString url = address;
    if (url.endsWith(u'/'))
        url.chop(1);
    url = util::StripSchemes(url);

    PageAddress a;
    a.url = url;
    a.dir = url;
    // A last segment without a dot is taken to be a directory.
    const qsizetype lastSlash = url.lastIndexOf(u'/');
    if (lastSlash >= 0) {
        const QStringView tail = QStringView(url).mid(lastSlash);
        if (!tail.contains(u'.') && tail != u"/")
            a.dir += QLatin1Char('/');
    }
    if (!a.dir.endsWith(u'/'))
        a.dir = ParentDirectory(a.dir);

    const qsizetype firstSlash = url.indexOf(u'/');
    if (firstSlash >= 0) {
        a.host = url.left(firstSlash);
        a.path = url.mid(firstSlash + 1);
    } else {
        a.host = url;
        a.path = QStringLiteral("/");
    }
    if (a.path.isEmpty())
        a.path = QStringLiteral("/");
    else if (!a.path.startsWith(u'/'))
        a.path.prepend(QLatin1Char('/'));
    return a;
}

} // namespace corvantis::scan
