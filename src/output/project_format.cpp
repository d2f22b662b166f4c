#include "output/project_format.h"

#include "util/text_utils.h"

#include <QStringView>

#include <algorithm>

namespace corvantis::output {

using scan::PartnerSite;
using scan::ResultRow;

namespace {

const QString kCrLf = QStringLiteral("\r\n");
const QString kBreakCode = QStringLiteral("|||");
const QChar kBar = QLatin1Char('|');

// One line of a file: where its text lies and how long its line end is (0 for a
// last line without one). CR LF, a lone CR and a lone LF all end a line, so files
// edited on any system read the same.
struct LineSpan {
    qsizetype start;
    qsizetype length;
    qsizetype endLength;
};

QList<LineSpan> SplitLines(const QString& text) {
    QList<LineSpan> lines;
    const qsizetype n = text.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r')) {
            const qsizetype end = (i + 1 < n && text.at(i + 1) == QLatin1Char('\n')) ? 2 : 1;
            lines.append({start, i - start, end});
            i += end - 1;
            start = i + 1;
        } else if (c == QLatin1Char('\n')) {
            lines.append({start, i - start, 1});
            start = i + 1;
        }
    }
    if (start < n)
        lines.append({start, n - start, 0});
    return lines;
}

// Text files hold no control characters besides tab and the line ends; anything
// else means the user picked a file that is not a project (a binary, a UTF-16 file).
bool LooksLikeText(const QString& text) {
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r' && u != u'\f' && u != u'\v')
            return false;
    }
    return true;
}

// What the writer puts in a field the reader reads back: a line break inside a
// one-line field would split the record in two, and any other control character
// but tab would make the file look like no text at all; each becomes a space.
bool IsStrayControl(QChar c) {
    return c.unicode() < 0x20 && c != QLatin1Char('\t');
}

QString Spaced(QString text) {
    for (QChar& c : text)
        if (IsStrayControl(c))
            c = QLatin1Char(' ');
    return text;
}

QString OneLine(const QString& field) {
    if (std::none_of(field.begin(), field.end(), IsStrayControl))
        return field;
    QString out = field;
    out.replace(kCrLf, QStringLiteral(" ")); // one line end, one space
    return Spaced(std::move(out));
}

// Every line break of a page-builder text, whatever its form, is stored as "|||"
// so the text stays on its one line.
QString EncodeSection(const QString& text) {
    QString out = text;
    out.replace(kCrLf, kBreakCode);
    out.replace(QLatin1Char('\r'), kBreakCode);
    out.replace(QLatin1Char('\n'), kBreakCode);
    return Spaced(std::move(out));
}

std::optional<ResultRow> ParseResultLine(const QString& line) {
    const QStringList fields = util::ReplaceAll(line, kResultMarker, QString()).split(kBar);
    if (fields.size() < 5)
        return std::nullopt;
    const auto marker = util::ToInt32(fields.at(0));
    if (!marker)
        return std::nullopt;
    ResultRow row;
    row.marker = static_cast<scan::RowMarker>(*marker);
    // Colours are not stored: a linking row is drawn blue, a non-linking one red.
    row.colour = row.marker == scan::RowMarker::Linking      ? scan::RowColour::Blue
                 : row.marker == scan::RowMarker::NotLinking ? scan::RowColour::Red
                                                             : scan::RowColour::Default;
    row.site = fields.at(1);
    row.status = fields.at(2);
    row.number = fields.at(3);
    row.url = fields.at(4);
    // The link value and anchor text follow, in files that hold them; the anchor
    // text is the last field and may hold the separator itself.
    row.value = fields.value(5);
    row.anchor = fields.mid(6).join(kBar);
    return row;
}

PartnerSite ParsePartnerLine(const QString& line) {
    const QStringList f = line.split(kBar);
    const auto field = [&f](int i) { return i < f.size() ? f.at(i) : QString(); };
    return PartnerSite{field(0), field(1), field(2), field(3), field(4)};
}

} // namespace

ProjectParse ParseProjectText(const QString& text) {
    ProjectParse parse;
    if (text.isEmpty() || !LooksLikeText(text))
        return parse;
    parse.isProject = true;
    const QList<LineSpan> lines = SplitLines(text);
    ProjectData& data = parse.data;
    data.domain = text.mid(lines.first().start, lines.first().length);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QString line = text.mid(lines.at(i).start, lines.at(i).length);
        if (util::IsBlank(line))
            continue;
        bool section = false;
        for (int s = 0; s < 3; ++s) {
            if (line.startsWith(kHtmlMarkers[s])) {
                QString body = util::ReplaceAll(line, kHtmlMarkers[s], QString());
                data.html[s] = util::ReplaceAll(body, kBreakCode, kCrLf);
                section = true;
                break;
            }
        }
        if (section)
            continue;
        if (line.startsWith(kResultMarker)) {
            const auto row = ParseResultLine(line);
            if (!row) {
                parse.badLine = int(i + 1);
                parse.badLineText = line;
                break;
            }
            data.results.append(*row);
            continue;
        }
        data.partners.append(ParsePartnerLine(line));
    }
    return parse;
}

QString FormatResultLine(const ResultRow& row) {
    QString line = kResultMarker + QString::number(int(row.marker)) + kBar + OneLine(row.site) +
                   kBar + OneLine(row.status) + kBar + OneLine(row.number) + kBar +
                   OneLine(row.url);
    // Rows without a link back keep the line older versions wrote.
    if (!row.value.isEmpty() || !row.anchor.isEmpty())
        line += kBar + OneLine(row.value) + kBar + OneLine(row.anchor);
    return line;
}

QString FormatProjectText(const QString& domain, const QList<PartnerSite>& partners,
                          const std::array<QString, 3>& html, const QList<ResultRow>& results) {
    QString out;
    out += OneLine(domain) + kCrLf;
    for (const PartnerSite& p : partners) {
        out += OneLine(p.address) + kBar + OneLine(p.linksExpected) + kBar + OneLine(p.htmlLink) +
               kBar + OneLine(p.htmlName) + kBar + OneLine(p.description) + kCrLf;
    }
    for (int s = 0; s < 3; ++s)
        out += kHtmlMarkers[s] + EncodeSection(html[s]) + kCrLf;
    for (const ResultRow& r : results)
        out += FormatResultLine(r) + kCrLf;
    out += kCrLf;
    return out;
}

QString ReplaceResultLines(const QString& projectText, const QList<ResultRow>& rows) {
    QString block;
    for (const ResultRow& r : rows)
        block += FormatResultLine(r) + kCrLf;

    const QStringView text(projectText);
    const QList<LineSpan> lines = SplitLines(projectText);
    const auto lineAt = [&](qsizetype i) {
        return text.mid(lines.at(i).start, lines.at(i).length);
    };

    // Where the new block goes: at the first old result line, otherwise after the
    // last line that is not blank (the domain line at the least).
    qsizetype firstResult = -1;
    qsizetype lastFilled = lines.isEmpty() ? -1 : 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QStringView line = lineAt(i);
        if (firstResult < 0 && line.startsWith(kResultMarker))
            firstResult = i;
        if (!line.isEmpty() && line != QLatin1String(" "))
            lastFilled = i;
    }

    QString out;
    out.reserve(projectText.size() + block.size());
    if (lines.isEmpty())
        out += block;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const LineSpan& l = lines.at(i);
        if (i > 0 && lineAt(i).startsWith(kResultMarker)) {
            if (i == firstResult)
                out += block;
            continue;
        }
        out += text.mid(l.start, l.length + l.endLength);
        if (firstResult < 0 && i == lastFilled && !block.isEmpty()) {
            if (l.endLength == 0)
                out += kCrLf;
            out += block;
        }
    }
    return out;
}

} // namespace corvantis::output
