#include "ui/rtf/rtf_reader.h"

#include <QList>
#include <QString>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

namespace corvantis::ui {

namespace {

constexpr int kMaxControlWordLength = 32;
constexpr int kMaxParameterDigits = 10; // longer runs are read but the value saturates
constexpr int kParameterLimit = 1'000'000'000;
constexpr int kDefaultHalfPoints = 24; // 12 pt
constexpr int kMinHalfPoints = 2;
constexpr int kMaxHalfPoints = 288;
constexpr int kMaxUnicodeSkip = 16;
constexpr int kMaxIndentTwips = 14400; // ten inches
constexpr double kTwipsPerPixel = 15.0;

// Windows-1252 for 0x80..0x9F; 0 marks the five unassigned codes. Above 0x9F it
// is Latin-1.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char16_t FromCp1252(uchar byte) {
    if (byte >= 0x80 && byte < 0xA0)
        return kCp1252High[byte - 0x80];
    return byte;
}

// Destinations whose text is not part of the document.
bool IsSkippedDestination(std::string_view word) {
    static constexpr std::string_view kSkipped[] = {
        "author",    "buptim",      "colortbl",  "comment",  "creatim",  "doccomm",
        "falt",      "filetbl",     "fonttbl",   "footer",   "footerf",  "footerl",
        "footerr",   "footnote",    "ftncn",     "ftnsep",   "ftnsepc",  "header",
        "headerf",   "headerl",     "headerr",   "info",     "keywords", "listoverridetable",
        "listtable", "object",      "objdata",   "operator", "pict",     "printim",
        "private",   "revtbl",      "revtim",    "rsidtbl",  "rxe",      "stylesheet",
        "subject",   "tc",          "themedata", "title",    "txe",      "xe",
        "xmlnstbl",  "latentstyles"};
    return std::find(std::begin(kSkipped), std::end(kSkipped), word) != std::end(kSkipped);
}

// The character a control word stands for, or 0 when it stands for none.
char16_t WordCharacter(std::string_view word) {
    struct Symbol {
        std::string_view word;
        char16_t character;
    };
    static constexpr Symbol kSymbols[] = {
        {"line", u'\u2028'},   {"tab", u'\t'},           {"emdash", u'\u2014'},
        {"endash", u'\u2013'}, {"bullet", u'\u2022'},    {"lquote", u'\u2018'},
        {"rquote", u'\u2019'}, {"ldblquote", u'\u201C'}, {"rdblquote", u'\u201D'}};
    for (const Symbol& s : kSymbols)
        if (s.word == word)
            return s.character;
    return 0;
}

// What RTF keeps per paragraph and this reader shows; indents in twips.
struct ParagraphLook {
    Qt::Alignment alignment = Qt::AlignLeft;
    int leftIndent = 0;
    int firstIndent = 0; // relative to leftIndent; negative for a hanging indent
};

struct GroupState {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool hidden = false;
    int halfPoints = kDefaultHalfPoints;
    int unicodeSkip = 1;
    bool skipped = false; // inside a destination that is not shown
    ParagraphLook paragraph;

    bool sameLook(const GroupState& o) const {
        return bold == o.bold && italic == o.italic && underline == o.underline &&
               halfPoints == o.halfPoints;
    }
    void resetCharacter() {
        bold = italic = underline = hidden = false;
        halfPoints = kDefaultHalfPoints;
    }
};

class RtfParser {
public:
    RtfParser(const QByteArray& rtf, QTextDocument* document)
        : m_pos(rtf.constData()), m_end(rtf.constData() + rtf.size()), m_cursor(document) {}

    bool run() {
        const char* start = m_pos;
        while (start < m_end && IsSpace(*start))
            ++start;
        const bool rtfStart = std::string_view(start, size_t(m_end - start)).starts_with("{\\rtf");

        while (m_pos < m_end)
            step();
        flush();
        endParagraph(m_blockLook, false);
        return rtfStart && m_whole && m_stack.isEmpty();
    }

private:
    static bool IsSpace(char c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t'; }
    static bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
    static int HexValue(char c) {
        if (IsDigit(c))
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    void step() {
        const char c = *m_pos;
        if (c == '{') {
            ++m_pos;
            m_pendingSkip = 0;
            openGroup();
        } else if (c == '}') {
            ++m_pos;
            m_pendingSkip = 0;
            closeGroup();
        } else if (c == '\\') {
            ++m_pos;
            readControl();
        } else if (c == '\r' || c == '\n') {
            ++m_pos; // line ends in the file carry no meaning
        } else {
            ++m_pos;
            if (consumeSkip())
                return;
            addChar(FromCp1252(uchar(c)));
        }
    }

    // After \uN the writer put N stand-in characters for older readers; each
    // byte, \'hh or control counts as one.
    bool consumeSkip() {
        if (m_pendingSkip == 0)
            return false;
        --m_pendingSkip;
        return true;
    }

    void openGroup() {
        if (m_overflowDepth > 0 || m_stack.size() >= kRtfMaxGroupDepth) {
            ++m_overflowDepth;
            m_whole = false;
            return;
        }
        m_stack.append(m_state);
    }

    void closeGroup() {
        if (m_overflowDepth > 0) {
            --m_overflowDepth;
            return;
        }
        if (m_stack.isEmpty()) {
            m_whole = false; // one brace too many: keep reading what follows
            return;
        }
        m_state = m_stack.takeLast();
    }

    void readControl() {
        if (m_pos >= m_end)
            return;
        const char c = *m_pos;
        if (!IsLetter(c)) {
            ++m_pos;
            readSymbol(c);
            return;
        }
        const char* wordStart = m_pos;
        while (m_pos < m_end && IsLetter(*m_pos))
            ++m_pos;
        const std::string_view word(wordStart, size_t(m_pos - wordStart));

        bool hasParameter = false;
        bool negative = false;
        int parameter = 0;
        if (m_pos < m_end && *m_pos == '-' && m_pos + 1 < m_end && IsDigit(m_pos[1])) {
            negative = true;
            ++m_pos;
        }
        int digits = 0;
        while (m_pos < m_end && IsDigit(*m_pos)) {
            hasParameter = true;
            if (digits < kMaxParameterDigits)
                parameter = int(std::min<std::int64_t>(
                    std::int64_t(parameter) * 10 + (*m_pos - '0'), kParameterLimit));
            ++digits;
            ++m_pos;
        }
        if (negative)
            parameter = -parameter;
        if (m_pos < m_end && *m_pos == ' ')
            ++m_pos; // the delimiting space belongs to the control word

        if (consumeSkip())
            return;
        if (word.size() > size_t(kMaxControlWordLength))
            return;
        controlWord(word, hasParameter, parameter);
    }

    void readSymbol(char c) {
        if (c == '\'') {
            const int high = m_pos < m_end ? HexValue(m_pos[0]) : -1;
            if (high < 0)
                return; // broken escape: nothing to show
            ++m_pos;
            const int low = m_pos < m_end ? HexValue(m_pos[0]) : -1;
            if (low < 0)
                return;
            ++m_pos;
            if (consumeSkip())
                return;
            addChar(FromCp1252(uchar(high * 16 + low)));
            return;
        }
        if (consumeSkip())
            return;
        switch (c) {
        case '\\':
        case '{':
        case '}':
            addChar(char16_t(c));
            break;
        case '~':
            addChar(u'\u00A0');
            break;
        case '_':
            addChar(u'\u2011');
            break;
        case '*':
            m_state.skipped = true; // an optional destination this reader does not know
            break;
        case '\r':
        case '\n':
            paragraph();
            break;
        default:
            break; // \- (optional hyphen), \: and the rest show nothing
        }
    }

    void controlWord(std::string_view w, bool hasParameter, int n) {
        if (setCharacterLook(w, hasParameter, n) || setParagraphLook(w, n))
            return;
        if (const char16_t c = WordCharacter(w)) {
            addChar(c);
        } else if (w == "par") {
            paragraph();
        } else if (w == "uc") {
            m_state.unicodeSkip = std::clamp(n, 0, kMaxUnicodeSkip);
        } else if (w == "u") {
            unicodeChar(n);
        } else if (w == "bin") {
            // Raw bytes follow; none of them is text.
            const std::int64_t left = m_end - m_pos;
            m_pos += std::clamp<std::int64_t>(n, 0, left);
        } else if (IsSkippedDestination(w)) {
            m_state.skipped = true;
        }
    }

    // The words for how characters look; false for any other word.
    bool setCharacterLook(std::string_view w, bool hasParameter, int n) {
        const bool on = !hasParameter || n != 0;
        if (w == "b") {
            m_state.bold = on;
        } else if (w == "i") {
            m_state.italic = on;
        } else if (w == "ul") {
            m_state.underline = on;
        } else if (w == "ulnone") {
            m_state.underline = false;
        } else if (w == "v") {
            m_state.hidden = on;
        } else if (w == "fs") {
            m_state.halfPoints =
                n > 0 ? std::clamp(n, kMinHalfPoints, kMaxHalfPoints) : kDefaultHalfPoints;
        } else if (w == "plain") {
            m_state.resetCharacter();
        } else {
            return false;
        }
        return true;
    }

    // The words for how paragraphs look; false for any other word.
    bool setParagraphLook(std::string_view w, int n) {
        ParagraphLook& look = m_state.paragraph;
        if (w == "pard") {
            look = ParagraphLook();
        } else if (w == "ql") {
            look.alignment = Qt::AlignLeft;
        } else if (w == "qc") {
            look.alignment = Qt::AlignHCenter;
        } else if (w == "qr") {
            look.alignment = Qt::AlignRight;
        } else if (w == "qj") {
            look.alignment = Qt::AlignJustify;
        } else if (w == "li") {
            look.leftIndent = std::clamp(n, 0, kMaxIndentTwips);
        } else if (w == "fi") {
            look.firstIndent = std::clamp(n, -kMaxIndentTwips, kMaxIndentTwips);
        } else {
            return false;
        }
        return true;
    }

    void unicodeChar(int n) {
        // Writers give code units above 32767 as negative numbers.
        if (n < 0)
            n += 65536;
        addChar(n >= 0 && n <= 0xFFFF ? char16_t(n) : u'\uFFFD');
        m_pendingSkip = m_state.unicodeSkip;
    }

    bool shown() const { return !m_state.skipped && !m_state.hidden && m_overflowDepth == 0; }

    void addChar(char16_t c) {
        if (!shown())
            return;
        // Control characters would show as boxes; the tab and the breaks are ours.
        if ((c < 0x20 && c != u'\t') || (c >= 0x7F && c < 0xA0) || c == 0)
            return;
        if (!m_pending.isEmpty() && !m_pendingState.sameLook(m_state))
            flush();
        if (m_pending.isEmpty())
            m_pendingState = m_state;
        m_pending.append(QChar(c));
        m_blockLook = m_state.paragraph;
    }

    void flush() {
        if (m_pending.isEmpty())
            return;
        // A surrogate without its partner is no character.
        for (qsizetype i = 0; i < m_pending.size(); ++i) {
            const QChar ch = m_pending.at(i);
            if (ch.isHighSurrogate() && i + 1 < m_pending.size() &&
                m_pending.at(i + 1).isLowSurrogate()) {
                ++i;
            } else if (ch.isSurrogate()) {
                m_pending[i] = QChar(QChar::ReplacementCharacter);
            }
        }
        QTextCharFormat format;
        format.setFontWeight(m_pendingState.bold ? QFont::Bold : QFont::Normal);
        format.setFontItalic(m_pendingState.italic);
        format.setFontUnderline(m_pendingState.underline);
        format.setFontPointSize(m_pendingState.halfPoints / 2.0);
        m_cursor.insertText(m_pending, format);
        m_pending.clear();
    }

    void paragraph() {
        if (m_state.skipped || m_overflowDepth > 0)
            return;
        flush();
        endParagraph(m_state.paragraph, true);
    }

    // The paragraph format in force at the paragraph's end is the paragraph's;
    // the last paragraph, without a \par, keeps the one of its last character.
    void endParagraph(const ParagraphLook& look, bool startNext) {
        QTextBlockFormat block = m_cursor.blockFormat();
        block.setAlignment(look.alignment);
        const int first = std::max(look.firstIndent, -look.leftIndent);
        block.setLeftMargin(look.leftIndent / kTwipsPerPixel);
        block.setTextIndent(first / kTwipsPerPixel);
        // A hanging indent has a tab stop where the following lines start, so
        // "bullet, tab, text" lines the text up. Stops count from the line's start.
        QList<QTextOption::Tab> tabs;
        if (first < 0)
            tabs.append(QTextOption::Tab(-first / kTwipsPerPixel, QTextOption::LeftTab));
        block.setTabPositions(tabs);
        m_cursor.setBlockFormat(block);
        if (startNext) {
            m_cursor.insertBlock();
            m_blockLook = m_state.paragraph;
        }
    }

    const char* m_pos;
    const char* m_end;
    QTextCursor m_cursor;
    QList<GroupState> m_stack;
    GroupState m_state;
    int m_overflowDepth = 0;
    int m_pendingSkip = 0;
    bool m_whole = true;
    ParagraphLook m_blockLook;
    QString m_pending;
    GroupState m_pendingState;
};

} // namespace

bool ReadRtf(const QByteArray& rtf, QTextDocument* document) {
    document->clear();
    RtfParser parser(rtf, document);
    return parser.run();
}

} // namespace corvantis::ui
