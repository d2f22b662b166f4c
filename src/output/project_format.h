#pragma once

#include "session/scan_model.h"

#include <QList>
#include <QString>

#include <array>
#include <optional>

namespace corvantis::output {

// What a project file holds, as plain data: the text format on one side, the
// session on the other. The command-line scanner works on this as well.
struct ProjectData {
    QString domain;
    QList<scan::PartnerSite> partners;
    // The three page-builder texts, with CR LF line breaks. A file without a
    // text's line leaves the program's text as it was, hence optional.
    std::array<std::optional<QString>, 3> html;
    QList<scan::ResultRow> results;
};

struct ProjectParse {
    // False when the text is no project at all (empty, or binary); nothing else is set then.
    bool isProject = false;
    ProjectData data;
    // A "RESULT:" line that could not be read ends the reading there: everything
    // before it is in data. 1-based line number, 0 when every line was read.
    int badLine = 0;
    QString badLineText;
};

// The line markers of the file; compared with exact letter case.
inline const QString kHtmlMarkers[3] = {QStringLiteral("HTML01:"), QStringLiteral("HTML02:"),
                                        QStringLiteral("HTML03:")};
inline const QString kResultMarker = QStringLiteral("RESULT:");

// Reads project text: line 1 the domain, then partner lines "a|b|c|d|e", the
// "HTML0n:" section lines ("|||" for a line break) and "RESULT:" lines, in any order.
ProjectParse ParseProjectText(const QString& text);

// The whole file text: domain, partner lines, the three section lines, result
// lines, each ending in CR LF, and one more CR LF at the end.
QString FormatProjectText(const QString& domain, const QList<scan::PartnerSite>& partners,
                          const std::array<QString, 3>& html,
                          const QList<scan::ResultRow>& results);

// One "RESULT:" line, without its line end.
QString FormatResultLine(const scan::ResultRow& row);

// Puts the given rows in place of the text's "RESULT:" lines and keeps every
// other line, and every line end, exactly as it was. The new lines stand where
// the first old result line stood, or after the last non-empty line when there
// was none.
QString ReplaceResultLines(const QString& projectText, const QList<scan::ResultRow>& rows);

} // namespace corvantis::output
