#pragma once

#include "scan/scan_model.h"
#include "util/text_utils.h"

#include <QDeadlineTimer>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace corvantis::automation {

// Where the links of the user's own links page are resolved and what counts as
// his own site.
struct ImportBase {
    // The page's address without "http://", "https://" and "www." (any letter
    // case), cut just after its first "/": links containing it are the user's own.
    QString base;
    // The page's directory, scheme-less and ending in "/": "./" and ".." links
    // are resolved against it.
    QString directory;
};
ImportBase ImportBaseFor(const QString& linksPageAddress);

// The scheme-less address of one link of the links page: the scan's link rules,
// with "/" and plain relative links put below the base, "./" and ".." below the
// page's directory.
QString ResolveImportLink(const QString& link, const ImportBase& base);

// Lists the outgoing links of the user's links page, each followed by ",".
// Works a piece at a time so a large page does not hold up the event loop.
class PageLinkExtractor {
public:
    PageLinkExtractor(const QString& page, ImportBase base);
    PageLinkExtractor(const PageLinkExtractor&) = delete;
    PageLinkExtractor& operator=(const PageLinkExtractor&) = delete;

    // Goes on until the deadline passes or the page is done; true when done.
    bool run(const QDeadlineTimer& deadline = QDeadlineTimer(QDeadlineTimer::Forever));
    int count() const { return m_count; }
    const QString& result() const { return m_result; }

private:
    const QString m_page;
    const util::CaseFoldedText m_folded; // views m_page
    const ImportBase m_base;
    qsizetype m_next; // where the next "href=" is, -1 at the end
    int m_count = 0;
    QString m_result;
};
QString ExtractPageLinks(const QString& page, const ImportBase& base);

// The delimiter of the user's script output: the chosen item of the delimiter
// box, or the text typed into it. No value when there is none (nothing chosen,
// nothing typed, or the box still shows its prompt).
inline const QString kDelimiterPrompt = QStringLiteral("Select or Type a Delimiter");
const QStringList& DelimiterItems();
std::optional<QString> ChosenDelimiter(int itemIndex, const QString& typedText);

// Takes the tags out of the script output: the first tag, from the first "<" to
// the first ">", is removed everywhere, then the next, as long as a "<" comes
// before the first ">". A step at a time, since each step is a pass over the text.
class TagStripper {
public:
    explicit TagStripper(QString text) : m_text(std::move(text)) {}
    bool run(const QDeadlineTimer& deadline = QDeadlineTimer(QDeadlineTimer::Forever));
    const QString& text() const { return m_text; }

private:
    QString m_text;
    qsizetype m_from = 0; // nothing before it is "<" or ">"
};

// The Advanced way's list text from the script output: CR LF pairs removed, tags
// stripped, then spaces and the delimiter turned into ",".
QString ScriptOutputWithoutLineEnds(const QString& output);
QString SeparateEntries(QString text, const QString& delimiter);
QString ScriptListText(const QString& output, const QString& delimiter);

// Rows of the import list from a list text: split at ",", outer spaces removed.
// An empty list text gives no rows.
QStringList ListEntries(const QString& listText);
QString TrimSpaces(const QString& text);

// Partners from the lines of an import file: "address" (1 link expected) or
// "address|expected"; empty lines and lines of one space are skipped.
QList<scan::PartnerSite> ParseImportLines(const QString& text);

struct ImportFile {
    bool ok = false;
    QString error;
    QList<scan::PartnerSite> sites;
};
// Reads an import file: UTF-8, or Windows-1252 when it is not valid UTF-8.
ImportFile ReadImportFile(const QString& path);

} // namespace corvantis::automation
