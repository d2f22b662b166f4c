#pragma once

#include "session/scan_project.h"
#include "util/seams.h"

#include <QString>

namespace corvantis::output {

// The three page-builder texts (before the links, the links, after the links),
// by number 0..2, and their keys in the settings store.
inline const QString kPageBuilderKeys[3] = {QStringLiteral("txtHTML1"), QStringLiteral("txtHTML2"),
                                            QStringLiteral("txtHTML3")};
QString& PageBuilderText(scan::ScanProject& project, int which);
const QString& PageBuilderText(const scan::ScanProject& project, int which);

// Sets one text and stores it in the settings at once, as every change of these texts is.
void SetPageBuilderText(scan::ScanProject& project, int which, const QString& text);

// The texts a fresh start shows when the settings hold none.
inline const QString kStartupHtml[3] = {
    QStringLiteral("Paste all the HTML that you want to come before the links on your page here.  "
                   "This will be the first part of your generated webpage."),
    QStringLiteral("Your link HTML will be generated here.  This will be the second part of your "
                   "generated webpage."),
    QStringLiteral("Paste all the HTML that you want to come after the links on your page here.  "
                   "This will be the third part of your generated webpage.")};

// The texts "New" puts in; the middle one has always read "generate" here.
inline const QString kNewProjectHtml[3] = {
    kStartupHtml[0],
    QStringLiteral("Your link HTML will be generate here.  This will be the second part of your "
                   "generated webpage."),
    kStartupHtml[2]};

enum class PartnerField { LinkUrl, LinkText, Description };

// The first non-empty value of the field among the partner rows whose address
// equals the site exactly; otherwise the site itself (link URL, link text) or
// the empty text (description).
QString PartnerFieldForSite(const scan::PartnerListModel& partners, const QString& site,
                            PartnerField field);

// One link entry per partner site whose first linking result ("direct" in its
// status, any letter case) appears in the result list, in list order, each
// followed by "<br><br>" and CR LF. Empty when no result qualifies.
QString BuildLinksHtml(const scan::PartnerListModel& partners, const scan::ResultListModel& results,
                       bool bulleted, bool newWindow);

// "Generate Links": replaces the generated-links text. With an empty result list
// it tells the user and changes nothing; returns whether the text was replaced.
bool GenerateLinksHtml(scan::ScanProject& project, util::Messages& messages, bool bulleted,
                       bool newWindow);

inline const QString kNoLinksToGenerate = QStringLiteral(
    "No links were found in your Links List to generate HTML from.  Please scan for links first.");

// The page "Save Webpage" writes: the three texts joined by blank lines, with a final line end.
QString WebpageText(const scan::ScanProject& project);

inline const QString kWebpageFilter = QStringLiteral("Web Files (*.htm *.asp *.php *.html)");

// "Save Webpage": asks for a file and writes the page there. The old file is
// replaced only by a complete new one; a failure is told to the user. Returns
// whether the page was written.
bool SaveWebpage(const scan::ScanProject& project, util::Messages& messages,
                 util::FileDialogs& dialogs);

} // namespace corvantis::output
