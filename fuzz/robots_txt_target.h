#pragma once

// Fuzz body for the robots.txt rules. The whole input is read as a robots.txt
// and asked about paths taken from its own lines; answers must not change when
// only the form changes (CR LF or CR for LF, a BOM, the agent's letter case, escaped
// letters in the path). Then the first three lines, cut down to a few
// characters, become a disallow pattern, a path and an allow pattern, and the
// answer is checked against a plain table-filling matcher.

#include "fuzz_support.h"
#include "page/robots_txt.h"

#include <vector>

namespace corvantis::fuzz {

using namespace corvantis::scan;

namespace robots_txt_detail {

const QByteArray kBom = "\xEF\xBB\xBF";

// "/", "/robots.txt" and the values of the first lines, as paths.
inline QStringList PathsFrom(const QString& text) {
    QStringList paths{QStringLiteral("/"), QStringLiteral("/robots.txt")};
    const QStringList lines = text.split(u'\n');
    for (qsizetype i = 0; i < lines.size() && paths.size() < 10; ++i) {
        const QString value = lines[i].mid(lines[i].indexOf(u':') + 1).trimmed();
        paths.append(value.startsWith(u'/') ? value : QLatin1Char('/') + value);
    }
    return paths;
}

inline QString Answers(const RobotsTxt& robots, const QStringList& paths) {
    QString answers;
    for (const QString& path : paths)
        answers += QLatin1Char(robots.allows(path) ? '1' : '0');
    return answers;
}

// Letters and digits written as %xx, which must compare as the letters themselves.
inline QString EscapeLetters(const QString& path) {
    QString out;
    for (QChar c : path) {
        if (c.unicode() < 0x80 && c.isLetterOrNumber())
            out += QStringLiteral("%%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

// Input characters mapped onto a small alphabet (its own characters stay), so
// patterns and paths meet often.
inline QString Small(const QString& field, QLatin1String alphabet) {
    QString out;
    for (QChar c : field.left(40))
        out += alphabet.contains(c) ? c : QChar(alphabet[c.unicode() % alphabet.size()]);
    return out;
}

// Whether a rule value (no escapes, '*' any run, a final '$' the end) matches
// the start of the path: reach[j] says the first j pattern characters can match
// the path read so far.
inline bool ReferenceMatch(QString pattern, const QString& path) {
    const bool anchored = pattern.endsWith(u'$');
    if (anchored)
        pattern.chop(1);
    const qsizetype m = pattern.size();
    std::vector<bool> reach(m + 1, false);
    reach[0] = true;
    for (qsizetype j = 1; j <= m; ++j)
        reach[j] = reach[j - 1] && pattern[j - 1] == u'*';
    for (QChar c : path) {
        if (reach[m] && !anchored)
            return true;
        std::vector<bool> next(m + 1, false);
        for (qsizetype j = 1; j <= m; ++j)
            next[j] = pattern[j - 1] == u'*' ? next[j - 1] || reach[j]
                                             : reach[j - 1] && pattern[j - 1] == c;
        reach.swap(next);
    }
    return reach[m];
}

} // namespace robots_txt_detail

inline int RobotsTxtOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace robots_txt_detail;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString text = Latin1(data, size);
    const QStringList paths = PathsFrom(text);

    const RobotsTxt robots = RobotsTxt::Parse(bytes, u"googlebot");
    const QString answers = Answers(robots, paths);
    FUZZ_CHECK(robots.allows(u"/robots.txt"), text.left(200), answers);
    if (robots.ruleCount() == 0)
        FUZZ_CHECK(!answers.contains(u'0'), text.left(200), answers);
    const auto sameAnswers = [&](const QByteArray& other, QStringView agent) {
        const QString otherAnswers = Answers(RobotsTxt::Parse(other, agent), paths);
        FUZZ_CHECK(otherAnswers == answers, text.left(200), otherAnswers);
    };
    sameAnswers(bytes, u"GoogleBot");
    if (bytes.size() < kMaxRobotsTxtBytes / 2 && !bytes.contains('\r')) {
        sameAnswers(QByteArray(bytes).replace("\n", "\r\n"), u"googlebot");
        sameAnswers(QByteArray(bytes).replace('\n', '\r'), u"googlebot");
    }
    // A file starting with a part of a BOM loses that part; behind a whole BOM it would not.
    if (bytes.size() < kMaxRobotsTxtBytes - 3 && !bytes.startsWith(kBom.front()))
        sameAnswers(kBom + bytes, u"googlebot");
    for (const QString& path : paths)
        if (!path.contains(u'%'))
            FUZZ_CHECK(robots.allows(EscapeLetters(path)) == robots.allows(path), text.left(200),
                       path);

    const QStringList f = Fields(text, 4);
    const QString disallow = Small(f[0], QLatin1String("ab/*.$"));
    QString path = Small(f[1], QLatin1String("ab/.$"));
    if (!path.startsWith(u'/'))
        path.prepend(u'/');
    const QString allow = Small(f[2], QLatin1String("ab/*.$"));
    const QString rules = QLatin1String("User-agent: *\nDisallow: ") + disallow +
                          QLatin1String("\nAllow: ") + allow + QLatin1Char('\n');
    const bool denied = !disallow.isEmpty() && ReferenceMatch(disallow, path);
    const bool allowed = !allow.isEmpty() && ReferenceMatch(allow, path);
    const bool expected = !denied || (allowed && allow.size() >= disallow.size());
    FUZZ_CHECK(RobotsTxt::Parse(rules.toLatin1(), u"googlebot").allows(path) == expected, rules,
               path);
    return 0;
}

} // namespace corvantis::fuzz
