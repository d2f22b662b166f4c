#pragma once

// Fuzz body for project files: the file's bytes are decoded as when a project is
// opened, read, written back and read again; the result lines are rewritten as
// when a scan's results are saved into an existing file. Input: the file's bytes.

#include "fuzz_support.h"
#include "output/project_format.h"
#include "util/user_text_file.h"

namespace corvantis::fuzz {

using namespace corvantis::output;

namespace project_file_detail {

// Windows-1252 leaves these five codes undefined; they stay as they are.
inline bool IsUndefinedC1(char16_t c) {
    return c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D;
}

inline void CheckDecoding(const QByteArray& file, const QString& text) {
    // A DOS end-of-file mark (Ctrl-Z, the same byte in either encoding) is no text.
    const QByteArray bytes = file.endsWith('\x1a') ? file.chopped(1) : file;
    const QString shown = QString::fromLatin1(bytes);
    // Every character comes from at least one byte.
    FUZZ_CHECK(text.size() <= bytes.size(), shown, text);
    // Read behind a letter, so that a byte order mark in front is kept as text.
    const QByteArray behind = QByteArray("a") + bytes;
    const QString utf8 = QString::fromUtf8(behind);
    if (utf8.toUtf8() == behind) {
        // Valid UTF-8 is taken as it is, less one byte order mark in front.
        const QString expected = utf8.mid(utf8.size() > 1 && utf8.at(1) == QChar(0xFEFF) ? 2 : 1);
        FUZZ_CHECK(text == expected, expected, text);
    } else {
        // Anything else is Windows-1252: one character per byte, and the C1
        // codes it defines are mapped.
        FUZZ_CHECK(text.size() == bytes.size(), shown, text);
        for (const QChar c : text) {
            const char16_t u = c.unicode();
            FUZZ_CHECK(u < 0x80 || u >= 0xA0 || IsUndefinedC1(u), shown, text);
        }
    }
}

// The lines of a text, split at CR LF, a lone CR and a lone LF.
inline QStringList Lines(const QString& text) {
    QStringList lines;
    QString line;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != u'\r' && c != u'\n') {
            line += c;
            continue;
        }
        if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
            ++i;
        lines.append(line);
        line.clear();
    }
    if (!line.isEmpty())
        lines.append(line);
    return lines;
}

inline bool IsSection(const QString& line) {
    for (const QString& marker : kHtmlMarkers) {
        if (line.startsWith(marker))
            return true;
    }
    return false;
}

// The text without its result lines (the first line never counts as one), every
// other line and line end kept.
inline QString WithoutResultLines(const QString& text) {
    QString out;
    qsizetype start = 0;
    bool first = true;
    while (start < text.size()) {
        qsizetype end = start;
        while (end < text.size() && text.at(end) != u'\r' && text.at(end) != u'\n')
            ++end;
        const qsizetype lineEnd = end;
        if (end < text.size())
            end += (text.at(end) == u'\r' && end + 1 < text.size() && text.at(end + 1) == u'\n')
                       ? 2
                       : 1;
        if (first || !QStringView(text).mid(start, lineEnd - start).startsWith(kResultMarker))
            out += QStringView(text).mid(start, end - start);
        first = false;
        start = end;
    }
    return out;
}

inline QString Describe(const ProjectData& p) {
    QString out = p.domain;
    for (const auto& s : p.partners)
        out += QStringLiteral("\nP ") + s.address + u'|' + s.linksExpected + u'|' + s.htmlLink +
               u'|' + s.htmlName + u'|' + s.description;
    for (int s = 0; s < 3; ++s)
        out += QStringLiteral("\nH%1 ").arg(s) + p.html[s].value_or(QStringLiteral("(none)"));
    for (const auto& r : p.results)
        out += QStringLiteral("\nR %1 ").arg(int(r.marker)) + r.site + u'|' + r.status + u'|' +
               r.number + u'|' + r.url;
    return out;
}

// The marker is taken out wherever it stands in its line, so a field that still
// holds one after that is not read back as it was.
inline bool ReadsBack(const scan::ResultRow& r) {
    for (const QString* field : {&r.site, &r.status, &r.number, &r.url, &r.value, &r.anchor}) {
        if (field->contains(kResultMarker))
            return false;
    }
    return true;
}

inline bool ResultsReadBack(const QList<scan::ResultRow>& rows,
                            const QList<scan::ResultRow>& back) {
    if (rows.size() != back.size())
        return false;
    // A control character is saved as a space (a row keeps to its one line), so
    // such a row reads back as its saved line says.
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (ReadsBack(rows.at(i)) && !(rows.at(i) == back.at(i)) &&
            FormatResultLine(rows.at(i)) != FormatResultLine(back.at(i)))
            return false;
    }
    return true;
}

} // namespace project_file_detail

inline int ProjectFileOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace project_file_detail;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString text = util::DecodeUserText(bytes);
    CheckDecoding(bytes, text);

    const ProjectParse parse = ParseProjectText(text);
    const ProjectData& p = parse.data;
    if (!parse.isProject) {
        FUZZ_CHECK(p.domain.isEmpty() && p.partners.isEmpty() && p.results.isEmpty() &&
                       parse.badLine == 0,
                   text, Describe(p));
        return 0;
    }

    // Reading stops at the first result line it cannot read; every line before it
    // was taken, in its kind, and nothing after it.
    const QStringList lines = Lines(text);
    FUZZ_CHECK(parse.badLine >= 0 && parse.badLine <= lines.size(), text, parse.badLineText);
    FUZZ_CHECK(p.domain == lines.value(0), text, p.domain);
    const qsizetype read = parse.badLine > 0 ? parse.badLine - 1 : lines.size();
    if (parse.badLine > 0) {
        FUZZ_CHECK(parse.badLine >= 2 && lines.at(read) == parse.badLineText, text,
                   parse.badLineText);
        FUZZ_CHECK(parse.badLineText.startsWith(kResultMarker), text, parse.badLineText);
    }
    qsizetype partners = 0;
    qsizetype results = 0;
    for (qsizetype i = 1; i < read; ++i) {
        const QString& line = lines.at(i);
        if (line.isEmpty() || line == QLatin1String(" ") || IsSection(line))
            continue;
        ++(line.startsWith(kResultMarker) ? results : partners);
    }
    FUZZ_CHECK(p.partners.size() == partners && p.results.size() == results, text, Describe(p));

    // Written and read again, a project comes back as it was (a control
    // character comes back as the space it was saved as); a missing text is
    // written empty.
    std::array<QString, 3> html;
    for (int s = 0; s < 3; ++s)
        html[s] = p.html[s].value_or(QString());
    const QString written = FormatProjectText(p.domain, p.partners, html, p.results);
    FUZZ_CHECK(written.endsWith(QLatin1String("\r\n\r\n")), Describe(p), written);
    const ProjectParse again = ParseProjectText(written);
    FUZZ_CHECK(again.isProject && again.badLine == 0, written, again.badLineText);
    const auto savedHead = [](const ProjectData& d) {
        return FormatProjectText(d.domain, d.partners, {}, {});
    };
    FUZZ_CHECK(savedHead(again.data) == savedHead(p), Describe(p), Describe(again.data));
    for (int s = 0; s < 3; ++s) {
        QString saved = html[s]; // its line breaks were read from "|||"
        for (QChar& c : saved)
            if (c.unicode() < 0x20 && c != u'\t' && c != u'\r' && c != u'\n')
                c = u' ';
        if (!html[s].contains(kHtmlMarkers[s]))
            FUZZ_CHECK(again.data.html[s] == saved, Describe(p), Describe(again.data));
    }
    FUZZ_CHECK(ResultsReadBack(p.results, again.data.results), Describe(p), Describe(again.data));
    // Saved as UTF-8, the file decodes to the same text (a byte order mark in
    // front of the domain would be taken for the file's own).
    if (!written.startsWith(QChar(0xFEFF)))
        FUZZ_CHECK(util::DecodeUserText(written.toUtf8()) == written, written,
                   util::DecodeUserText(written.toUtf8()));

    // Saving results into the file touches its result lines only, and they read back.
    const QString kept = WithoutResultLines(text);
    FUZZ_CHECK(ReplaceResultLines(text, {}) == kept, kept, ReplaceResultLines(text, {}));
    const QString replaced = ReplaceResultLines(text, p.results);
    const ProjectParse saved = ParseProjectText(replaced);
    FUZZ_CHECK(saved.isProject && saved.badLine == 0 && saved.data.domain == p.domain, replaced,
               Describe(saved.data));
    FUZZ_CHECK(ResultsReadBack(p.results, saved.data.results), Describe(p), Describe(saved.data));
    FUZZ_CHECK(WithoutResultLines(replaced).remove(QLatin1String("\r\n")) ==
                   QString(kept).remove(QLatin1String("\r\n")),
               kept, replaced);
    return 0;
}

} // namespace corvantis::fuzz
