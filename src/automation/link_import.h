#pragma once

#include "session/scan_model.h"
#include "util/text_utils.h"

#include <QDeadlineTimer>
#include <QHash>
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
// before the first ">". A tag that occurs once is cut from the front without a
// pass over the rest; only a repeated one costs a pass. Works a step at a time.
class TagStripper {
public:
    explicit TagStripper(QString text);
    // Goes on until the deadline passes or no tag is left; true when done.
    bool run(const QDeadlineTimer& deadline = QDeadlineTimer(QDeadlineTimer::Forever));
    // The text as stripped so far.
    QString text() const { return m_done + QStringView(m_text).mid(m_read); }

private:
    void removeEverywhere(qsizetype open, qsizetype close);
    void countTags();

    QString m_done; // the front, which holds no "<" or ">" any more
    QString m_text; // the rest from m_read on
    qsizetype m_read = 0;
    // How many times each tag ends a stretch between two ">", by hash: a tag
    // without a second "<" occurs only there. A shared hash costs a pass, never
    // a wrong result.
    QHash<size_t, int> m_tagCounts;
};

// The script output without its CR LF pairs, before the tags are stripped.
QString ScriptOutputWithoutLineEnds(const QString& output);
// Every space of the stripped output turned into the delimiter.
QString SpacesAsDelimiter(QString text, const QString& delimiter);

// Reads the entries of a list text one at a time: they end at every "," and,
// when a delimiter is given, at every occurrence of it (letter case ignored,
// leftmost first), which is the same as first turning each delimiter into ",".
// Outer spaces are removed; an empty text has no entries.
class EntryReader {
public:
    explicit EntryReader(const QString& text, QString delimiter = QString());
    bool atEnd() const { return m_done; }
    QString next();

private:
    bool delimiterAt(qsizetype pos) const;

    QString m_text;
    QString m_delimiter;
    QChar m_delimiterFirst;
    qsizetype m_pos = 0;
    bool m_done;
};

// The Advanced way's rows of a script output in one go, for callers that need no steps.
QStringList ScriptEntries(const QString& output, const QString& delimiter);

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
