#pragma once

// Fuzz body for ResolveLink and ParentDirectory. Input: host, line feed,
// directory, line feed, link (the rest).

#include "fuzz_support.h"
#include "page/url_rules.h"

namespace corvantis::fuzz {

using namespace corvantis::scan;

namespace url_rules_detail {

inline bool HasScheme(const QString& text) {
    return text.contains(QLatin1String("http://"), Qt::CaseInsensitive) ||
           text.contains(QLatin1String("https://"), Qt::CaseInsensitive);
}

inline void CheckParentDirectory(const QString& address) {
    const QString parent = ParentDirectory(address);
    FUZZ_CHECK(parent.endsWith(u'/'), address, parent);
    // Nothing is invented: the result is a cut of the address plus, at most, a slash.
    FUZZ_CHECK(HasPrefix(address, parent.chopped(1)), address, parent);
    if (QStringView(address).chopped(address.endsWith(u'/') ? 1 : 0).contains(u'/'))
        FUZZ_CHECK(HasPrefix(address, parent), address, parent);
}

// The ".." steps read literally: one rewrite of the whole text per step. Slow on
// long chains, which is why the real code counts instead; here it checks that
// code. Returns the directory followed by what is left of the link.
inline QString LiteralParentSteps(QString link, const QString& dir) {
    QString d = dir;
    while (link.startsWith(QLatin1String(".."))) {
        d = ParentDirectory(d);
        link = link.mid(3);
        link.replace(QLatin1String("/."), QLatin1String("."));
    }
    return d + link;
}

} // namespace url_rules_detail

inline int UrlRulesOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace url_rules_detail;
    const QStringList f = Fields(Latin1(data, size), 3);
    const QString& host = f[0];
    const QString& dir = f[1];
    const QString& link = f[2];

    CheckParentDirectory(host);
    CheckParentDirectory(dir);
    CheckParentDirectory(link);

    const QString resolved = ResolveLink(link, host, dir);
    const QString inputs = host + QLatin1Char('|') + dir + QLatin1Char('|') + link;

    // At most one slash is added to what the inputs hold, and four halving
    // passes take a run of up to sixteen slashes down to one.
    if (host.count(u'/') + dir.count(u'/') + link.count(u'/') <= 15)
        FUZZ_CHECK(!resolved.contains(QLatin1String("//")), inputs, resolved);

    // Host-rooted links keep the host in front: nothing of it is rewritten.
    // ("//" names a host of its own.)
    const bool hostRooted = (link.startsWith(u'/') && !link.startsWith(QLatin1String("//"))) ||
                            link.startsWith(QLatin1String("./"));
    if (hostRooted && !HasScheme(link) && !host.contains(u'/'))
        FUZZ_CHECK(HasPrefix(resolved, host), inputs, resolved);

    // The ".." branch against the literal rule: what it builds is finished by the
    // same later steps as an absolute address with nothing left to strip.
    // (Long chains are left out only to keep the literal rule's cost down.)
    if (link.startsWith(QLatin1String("..")) && link.size() <= 4096 && !HasScheme(link)) {
        const QString base = LiteralParentSteps(link, dir);
        if (!HasScheme(base) && !base.startsWith(u'/') && !base.startsWith(QLatin1String("..")) &&
            !base.startsWith(QLatin1String("./"))) {
            const QString expected = ResolveLink(QLatin1String("http://") + base, host, dir);
            FUZZ_CHECK(resolved == expected, inputs, resolved + QLatin1String(" != ") + expected);
        }
    }
    return 0;
}

} // namespace corvantis::fuzz
