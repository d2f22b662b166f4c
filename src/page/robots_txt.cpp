#include "page/robots_txt.h"

#include "page/http_response.h"
#include "page/line_cursor.h"

#include <QUrl>

#include <initializer_list>

namespace corvantis::scan {

namespace {

constexpr QChar kWildcard = u'*';

bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

// Only spaces and tabs: bytes such as 0xA0 are parts of UTF-8 characters here.
QStringView TrimBlanks(QStringView s) {
    while (!s.isEmpty() && IsBlank(s.front()))
        s = s.mid(1);
    while (!s.isEmpty() && IsBlank(s.back()))
        s.chop(1);
    return s;
}

int HexValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

bool IsUnreserved(int c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

void AppendEscaped(QString& out, uchar byte) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += u'%';
    out += QLatin1Char(kHex[byte >> 4]);
    out += QLatin1Char(kHex[byte & 15]);
}

// One form for paths and rules, so that equal addresses compare equal: %XX of
// unreserved characters decoded, the other %XX in capitals, and characters that
// cannot stand bare in an address escaped (one character up to 0xFF is one byte
// as received; beyond that it is escaped as UTF-8). In a path '*' is a plain
// character; in a rule it is the wildcard. '$' is always plain here: a rule's
// closing '$' is taken off before.
QString Normalise(QStringView text, bool isRule) {
    QString out;
    out.reserve(text.size() + 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
            HexValue(text[i + 2]) >= 0) {
            const int value = HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]);
            if (IsUnreserved(value))
                out += QLatin1Char(char(value));
            else
                AppendEscaped(out, uchar(value));
            i += 2;
        } else if (c == kWildcard) {
            if (!isRule)
                AppendEscaped(out, '*');
            else if (!out.endsWith(kWildcard)) // a run of wildcards is one
                out += kWildcard;
        } else if (c == u'$' || c.unicode() <= 0x20 ||
                   (c.unicode() >= 0x7f && c.unicode() <= 0xff)) {
            AppendEscaped(out, uchar(c.unicode()));
        } else if (c.unicode() > 0xff) {
            const qsizetype width = c.isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
            for (const char byte : text.mid(i, width).toUtf8())
                AppendEscaped(out, uchar(byte));
            i += width - 1;
        } else {
            out += c;
        }
    }
    return out;
}

// Whether the pattern matches the start of the path (all of it when anchored).
// Each wildcard takes the shortest run that lets the rest match; on a mismatch
// only the last wildcard takes one character more, which is enough because the
// pattern has no other kind of wildcard. At most O(path * pattern) steps.
bool Matches(QStringView pattern, bool anchored, QStringView path) {
    const qsizetype n = path.size();
    const qsizetype m = pattern.size();
    qsizetype i = 0;
    qsizetype j = 0;
    qsizetype star = -1; // position of the last wildcard seen
    qsizetype mark = 0;  // where the path stood after it
    while (i < n) {
        if (j == m && !anchored)
            return true;
        if (j < m && pattern[j] == kWildcard) {
            star = j++;
            mark = i;
        } else if (j < m && pattern[j] == path[i]) {
            ++i;
            ++j;
        } else if (star >= 0) {
            j = star + 1;
            i = ++mark;
        } else {
            return false;
        }
    }
    while (j < m && pattern[j] == kWildcard)
        ++j;
    return j == m;
}

// The product token a user-agent line names: its leading letters, '_' and '-'.
bool NamesAgent(QStringView value, QStringView agent) {
    qsizetype end = 0;
    while (end < value.size()) {
        const char16_t c = value[end].unicode();
        if (!((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || c == u'-'))
            break;
        ++end;
    }
    return end > 0 && value.left(end).compare(agent, Qt::CaseInsensitive) == 0;
}

// A key as Google reads it: any letter case, its common misspellings too.
bool IsKey(QStringView key, std::initializer_list<const char*> spellings) {
    for (const char* spelling : spellings)
        if (key.compare(QLatin1String(spelling), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// "*", or "*" and a blank before other text, which Google still takes for "*".
bool NamesEveryAgent(QStringView value) {
    return value.startsWith(kWildcard) && (value.size() == 1 || IsBlank(value[1]));
}

// The length that ranks a rule: its octets once percent-encoded, so a character
// beyond ASCII (one byte per character here) counts three.
qsizetype EncodedLength(QStringView value) {
    qsizetype length = value.size();
    for (const QChar c : value)
        if (c.unicode() >= 0x80)
            length += 2;
    return length;
}

// Google keeps this much of a line and ignores the rest of it.
constexpr qsizetype kMaxLineBytes = 2083 * 8 - 1;

bool IsLineEnd(char c) {
    return c == '\r' || c == '\n';
}

// The bytes that count: the first kMaxRobotsTxtBytes, without a line the bound
// cuts through (its rule would be a shorter, different one), and without as
// much of a BOM as the file starts with (Google skips a part of one too).
QString CountedText(QByteArrayView bytes) {
    if (bytes.size() > kMaxRobotsTxtBytes) {
        qsizetype keep = kMaxRobotsTxtBytes;
        if (!IsLineEnd(bytes[keep]) && !IsLineEnd(bytes[keep - 1])) {
            while (keep > 0 && !IsLineEnd(bytes[keep - 1]))
                --keep;
        }
        bytes = bytes.first(keep);
    }
    const QByteArrayView bom = "\xEF\xBB\xBF";
    qsizetype start = 0;
    while (start < bom.size() && start < bytes.size() && bytes[start] == bom[start])
        ++start;
    return QString::fromLatin1(bytes.sliced(start));
}

} // namespace

RobotsFetch RobotsVerdictForStatus(int status) {
    if (status >= 200 && status <= 299)
        return RobotsFetch::Rules;
    if (status >= 300 && status <= 499)
        return RobotsFetch::Allowed;
    return RobotsFetch::Unreachable;
}

RobotsTxt RobotsTxt::Parse(QByteArrayView bytes, QStringView agent) {
    const QString text = CountedText(bytes);
    std::vector<Rule> agentRules;
    std::vector<Rule> starRules;
    bool agentNamed = false; // some group names the agent
    bool starNamed = false;
    bool groupForAgent = false; // the group being read
    bool groupForStar = false;
    bool inAgentLines = false; // a further user-agent line joins the same group

    LineCursor lines;
    lines.reset(text);
    while (!lines.atEnd()) {
        QStringView line = lines.next().left(kMaxLineBytes);
        if (const qsizetype hash = line.indexOf(u'#'); hash >= 0)
            line = line.left(hash);
        const qsizetype colon = line.indexOf(u':');
        if (colon < 0)
            continue;
        const QStringView key = TrimBlanks(line.left(colon));
        const QStringView value = TrimBlanks(line.mid(colon + 1));
        if (IsKey(key, {"user-agent", "useragent", "user agent"})) {
            if (!inAgentLines)
                groupForAgent = groupForStar = false;
            inAgentLines = true;
            if (NamesEveryAgent(value))
                groupForStar = starNamed = true;
            else if (NamesAgent(value, agent))
                groupForAgent = agentNamed = true;
            continue;
        }
        const bool allow = IsKey(key, {"allow"});
        if (!allow &&
            !IsKey(key, {"disallow", "disalow", "dissallow", "dissalow", "diasllow", "disallaw"}))
            continue; // sitemap and unknown keys leave the group as it is
        inAgentLines = false;
        if (value.isEmpty() || !(groupForAgent || groupForStar))
            continue;
        const bool anchored = value.endsWith(u'$');
        const Rule rule{Normalise(anchored ? value.chopped(1) : value, true), anchored, allow,
                        EncodedLength(value)};
        if (groupForAgent)
            agentRules.push_back(rule);
        if (groupForStar)
            starRules.push_back(rule);
    }

    RobotsTxt robots;
    if (agentNamed)
        robots.m_rules = std::move(agentRules);
    else if (starNamed)
        robots.m_rules = std::move(starRules);
    return robots;
}

bool RobotsTxt::allows(QStringView pathAndQuery) const {
    const QString path = Normalise(pathAndQuery.isEmpty() ? u"/" : pathAndQuery, false);
    if (path == QLatin1String("/robots.txt"))
        return true;
    // The longest matching rule decides; of two as long, the allowing one.
    const Rule* best = nullptr;
    for (const Rule& rule : m_rules) {
        if (best && (rule.length < best->length ||
                     (rule.length == best->length && (best->allow || !rule.allow))))
            continue; // could not take over from the best so far
        if (Matches(rule.pattern, rule.anchored, path))
            best = &rule;
    }
    return !best || best->allow;
}

void SiteRobots::clear() {
    *this = SiteRobots{};
}

SiteRobots::Request SiteRobots::begin(const QString& host, bool tls) {
    clear();
    m_begun = m_underWay = true;
    m_request = Request{host, QStringLiteral("/robots.txt"), tls};
    return m_request;
}

std::optional<SiteRobots::Request> SiteRobots::take(int status, QStringView header,
                                                    QStringView body) {
    if (status >= 300 && status <= 399 && m_redirects < kMaxRobotsTxtRedirects) {
        // Followed wherever it leads, as long as the fetch can reach it: the
        // scheme's own port, http or https.
        const QUrl from((m_request.tls ? QStringLiteral("https://") : QStringLiteral("http://")) +
                        m_request.host + m_request.path);
        const QUrl to =
            from.resolved(QUrl(RedirectLocation(header).value_or(QString()), QUrl::TolerantMode));
        const QString scheme = to.scheme().toLower();
        const bool tls = scheme == QLatin1String("https");
        if ((tls || scheme == QLatin1String("http")) && !to.host().isEmpty() &&
            (to.port() == -1 || to.port() == (tls ? 443 : 80))) {
            ++m_redirects;
            m_request = Request{to.host(), RequestTarget(to), tls};
            return m_request;
        }
    }
    m_underWay = false;
    switch (RobotsVerdictForStatus(status)) {
    case RobotsFetch::Rules:
        // One more byte than is read, so that a line cut at the bound is seen cut.
        m_rules = RobotsTxt::Parse(body.left(kMaxRobotsTxtBytes + 1).toLatin1(), u"googlebot");
        m_verdict = RobotsRule::Allowed;
        break;
    case RobotsFetch::Allowed:
        m_verdict = RobotsRule::Allowed;
        break;
    case RobotsFetch::Unreachable:
        m_verdict = RobotsRule::Unreachable;
        break;
    }
    return std::nullopt;
}

RobotsRule SiteRobots::rule(QStringView pathAndQuery) const {
    if (m_verdict != RobotsRule::Allowed)
        return m_verdict;
    return m_rules.allows(pathAndQuery) ? RobotsRule::Allowed : RobotsRule::Blocked;
}

} // namespace corvantis::scan
