#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

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
        qsizetype length; // the value as written, which ranks the rules
    };
    std::vector<Rule> m_rules;
};

} // namespace corvantis::scan
