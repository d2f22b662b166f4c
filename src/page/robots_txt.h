#pragma once

#include "page/link_value.h"

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>
#include <vector>

namespace corvantis::scan {

// Only this much of a robots.txt is read, as Google reads it; the rest is ignored.
inline constexpr qsizetype kMaxRobotsTxtBytes = 512000;

// Redirects followed when fetching robots.txt; beyond them it counts as missing.
inline constexpr int kMaxRobotsTxtRedirects = 5;

// What a robots.txt response means for the site's pages.
enum class RobotsFetch {
    Allowed,     // no usable file (4xx, redirects ran out): every page may be read
    Rules,       // 2xx: the file's rules decide
    Unreachable, // 5xx or no response: the site cannot be judged
};

// The meaning of the final status of a robots.txt fetch (0: no response).
// Redirects are followed by the caller; a 3xx reaching here means they ran out.
RobotsFetch RobotsVerdictForStatus(int status);

// The rules of one robots.txt for one crawler. A default-made one allows everything.
class RobotsTxt {
public:
    // Reads the file (bytes as received) and keeps the rules of the group for
    // agent (a product token such as "googlebot", any letter case), else those
    // of the "*" group.
    static RobotsTxt Parse(QByteArrayView text, QStringView agent);

    // Whether the page with this path and query (starting with "/") may be read.
    bool allows(QStringView pathAndQuery) const;

    qsizetype ruleCount() const { return qsizetype(m_rules.size()); }

private:
    struct Rule {
        QString pattern; // normalised; '*' stands for any run of characters
        bool anchored;   // ended in '$': must match to the end of the path
        bool allow;
        qsizetype length; // the value's octets once percent-encoded, which rank the rules
    };
    std::vector<Rule> m_rules;
};

} // namespace corvantis::scan

namespace corvantis::scan {

// The robots.txt of the site under scan: where to ask for it, the redirects it
// takes, and what it says of each page once it has come.
class SiteRobots {
public:
    struct Request {
        QString host;
        QString path;
        bool tls = false;
    };

    // Forgets the last site's file; the rule of every page is NotChecked again.
    void clear();
    // The first request for the file of a site on this host.
    Request begin(const QString& host, bool tls);
    bool begun() const { return m_begun; }
    bool underWay() const { return m_underWay; }
    // Takes the final status (0: no response), header and body of a response.
    // A redirect it can follow is the next request; otherwise the file is settled.
    std::optional<Request> take(int status, QStringView header, QStringView body);
    // The file is left unread (the site ended first): pages stay NotChecked.
    void abandon() { m_underWay = false; }

    // What the file says of the page with this path and query.
    RobotsRule rule(QStringView pathAndQuery) const;

private:
    Request m_request;
    bool m_begun = false;
    bool m_underWay = false;
    int m_redirects = 0;
    RobotsRule m_verdict = RobotsRule::NotChecked; // Allowed: rules decide
    RobotsTxt m_rules;
};

} // namespace corvantis::scan
