#include "scan/url_rules.h"

#include "util/text_utils.h"

#include <QStringView>

#include <algorithm>

namespace corvantis::scan {

namespace {


// Texts that make a link without a scheme count as a host name rather than a
// file next to the current page.
const QStringView kHostMarkers[] = {u".com", u"www.", u".net", u".edu", u".gov", u"ww2."};

bool HasHostMarker(const QString& link) {
    return std::any_of(std::begin(kHostMarkers), std::end(kHostMarkers),
                       [&](QStringView m) { return util::ContainsCI(link, m); });
}

// One left-to-right pass, as a plain text replace does it: a run of n slashes
// becomes ceil(n / 2).
void CollapseSlashesOnce(QString& text) {
    text.replace(QLatin1String("//"), QLatin1String("/"), Qt::CaseSensitive);
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
QString ResolveParentSteps(QStringView link, QStringView curDir) {
    const qsizetype n = link.size();

    struct Run {
        qsizetype end;
        bool shrinks; // followed by a dot
    };
    auto runAt = [&](qsizetype i) {
        qsizetype j = i;
        while (j < n && link[j] == u'/')
            ++j;
        return Run{j, j < n && link[j] == u'.'};
    };

    qsizetype passes = 0;
    // Slashes of the run starting at i that are still there, after `taken` of
    // them went with the dropped front characters.
    auto visibleSlashes = [&](qsizetype i, const Run& run, qsizetype taken) {
        const qsizetype left = (run.end - i) - taken - (run.shrinks ? passes : 0);
        return std::max<qsizetype>(left, 0);
    };

    // A position in the rewritten link: an index into `link` and, when that index
    // starts a run of slashes, how many of them were dropped from the front.
    struct Cursor {
        qsizetype index = 0;
        qsizetype taken = 0;
    };
    // Moves past vanished slash runs; returns the character at the cursor, or
    // kEnd at the end (a NUL is an ordinary character of the link).
    constexpr int kEnd = -1;
    auto peek = [&](Cursor& c) -> int {
        while (c.index < n) {
            if (link[c.index] != u'/')
                return link[c.index].unicode();
            const Run run = runAt(c.index);
            if (visibleSlashes(c.index, run, c.taken) > 0)
                return '/';
            c.index = run.end;
            c.taken = 0;
        }
        return kEnd;
    };
    auto consume = [&](Cursor& c) {
        if (peek(c) == kEnd)
            return;
        if (link[c.index] == u'/') {
            ++c.taken;
        } else {
            ++c.index;
            c.taken = 0;
        }
    };

    DirectoryCursor dir(curDir);
    Cursor front;
    for (;;) {
        Cursor c = front;
        if (peek(c) != '.')
            break;
        consume(c);
        if (peek(c) != '.')
            break;
        consume(c);
        consume(c); // the third character, usually the slash of "../"
        dir.StepUp();
        front = c;
        ++passes;
    }

    QString out = dir.Text();
    out.reserve(out.size() + (n - front.index));
    Cursor c = front;
    while (peek(c) != kEnd) {
        if (link[c.index] == u'/') {
            const Run run = runAt(c.index);
            out += QString(visibleSlashes(c.index, run, c.taken), QLatin1Char('/'));
            c.index = run.end;
            c.taken = 0;
        } else {
            // Copy up to the next slash in one go.
            qsizetype next = link.indexOf(u'/', c.index);
            if (next < 0)
                next = n;
            out += link.mid(c.index, next - c.index);
            c.index = next;
            c.taken = 0;
        }
    }
    return out;
}

bool TailIs(const QString& text, QLatin1String tail) {
    return text.endsWith(tail, Qt::CaseInsensitive);
}

// Half-written endings left by links cut short on the page ("page.as", ".../href").
void RepairEnding(QString& l) {
    if (l.size() <= 6)
        return;
    if (TailIs(l, QLatin1String(".as")))
        l.replace(l.size() - 3, 3, QLatin1String(".asp"));
    if (TailIs(l, QLatin1String(".ht")))
        l.replace(l.size() - 3, 3, QLatin1String(".htm"));
    if (TailIs(l, QLatin1String(".ph")))
        l.replace(l.size() - 3, 3, QLatin1String(".php"));
    if (TailIs(l, QLatin1String("/hre")))
        l.chop(4);
    if (TailIs(l, QLatin1String("/href")))
        l.chop(5);
    if (TailIs(l, QLatin1String("/http:")))
        l.chop(6);
    if (TailIs(l, QLatin1String("/http")))
        l.chop(5);
}

} // namespace

QString ResolveLink(const QString& link, const QString& currentHost, const QString& strCurDir) {
    QString l = link;
    bool absolute = false;
    for (QStringView scheme : {QStringView(u"http://"), QStringView(u"https://")}) {
        if (util::ContainsCI(l, scheme)) {
            l = util::ReplaceAllCI(l, scheme, u"");
            absolute = true;
        }
    }

    if (l.startsWith(u'/')) {
        l.prepend(currentHost);
        CollapseSlashesOnce(l);
    } else if (l.startsWith(QLatin1String(".."))) {
        l = ResolveParentSteps(l, strCurDir);
    } else {
        if (l.startsWith(QLatin1String("./"))) {
            // "./" means the host root here, and the result is a full address:
            // it must not be made relative to the current directory as well.
            l.remove(QLatin1String("./"), Qt::CaseSensitive);
            l = currentHost + QLatin1Char('/') + l;
            absolute = true;
        }
        if (!absolute && !HasHostMarker(l))
            l = strCurDir + QLatin1Char('/') + l;
    }

    if (!l.contains(u'/'))
        l += QLatin1Char('/');
    for (int pass = 0; pass < 4; ++pass)
        CollapseSlashesOnce(l);
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

} // namespace corvantis::scan
