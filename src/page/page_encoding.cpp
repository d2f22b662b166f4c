#include "page/page_encoding.h"

#include <QList>
#include <QStringDecoder>

#include <optional>

namespace corvantis::scan {

namespace {

// The encodings decoded here; every other one goes through Qt (ICU).
enum class Kind : quint8 { Utf8, Windows1252, Utf16LE, Utf16BE, ThroughQt };

struct Encoding {
    Kind kind = Kind::Windows1252;
    const char* name = "windows-1252"; // canonical, as browsers name it
    const char* decoder = nullptr;     // Qt's name of its decoder, for ThroughQt
};

constexpr Encoding kUtf8{Kind::Utf8, "UTF-8"};
constexpr Encoding kWindows1252{Kind::Windows1252, "windows-1252"};
constexpr Encoding kUtf16LE{Kind::Utf16LE, "UTF-16LE"};
constexpr Encoding kUtf16BE{Kind::Utf16BE, "UTF-16BE"};
constexpr Encoding QtCodec(const char* name, const char* decoder = nullptr) {
    return {Kind::ThroughQt, name, decoder ? decoder : name};
}

// Every label browsers accept and the encoding it stands for. Where a browser
// decodes a superset of the named encoding (GBK as gb18030, EUC-KR as windows-949,
// Big5 with HKSCS), Qt's decoder of that superset is used. ISO-8859-1 and ASCII
// are windows-1252 to a browser; x-user-defined is taken as windows-1252 too. The
// "replacement" labels (ISO-2022-KR, HZ, ...) are left out: a browser shows such a
// page as one U+FFFD, which is no use for finding links.
struct LabelRow {
    Encoding encoding;
    const char* labels; // lower case, separated by single spaces
};
const LabelRow kLabels[] = {
    {kUtf8, "unicode-1-1-utf-8 unicode11utf8 unicode20utf8 utf-8 utf8 x-unicode20utf8"},
    {kWindows1252, "ansi_x3.4-1968 ascii cp1252 cp819 csisolatin1 ibm819 iso-8859-1 iso-ir-100 "
                   "iso8859-1 iso88591 iso_8859-1 iso_8859-1:1987 l1 latin1 us-ascii "
                   "windows-1252 x-cp1252 x-user-defined"},
    {kUtf16LE, "csunicode iso-10646-ucs-2 ucs-2 unicode unicodefeff utf-16 utf-16le"},
    {kUtf16BE, "unicodefffe utf-16be"},
    {QtCodec("IBM866"), "866 cp866 csibm866 ibm866"},
    {QtCodec("ISO-8859-2"), "csisolatin2 iso-8859-2 iso-ir-101 iso8859-2 iso88592 iso_8859-2 "
                            "iso_8859-2:1987 l2 latin2"},
    {QtCodec("ISO-8859-3"), "csisolatin3 iso-8859-3 iso-ir-109 iso8859-3 iso88593 iso_8859-3 "
                            "iso_8859-3:1988 l3 latin3"},
    {QtCodec("ISO-8859-4"), "csisolatin4 iso-8859-4 iso-ir-110 iso8859-4 iso88594 iso_8859-4 "
                            "iso_8859-4:1988 l4 latin4"},
    {QtCodec("ISO-8859-5"), "csisolatincyrillic cyrillic iso-8859-5 iso-ir-144 iso8859-5 iso88595 "
                            "iso_8859-5 iso_8859-5:1988"},
    {QtCodec("ISO-8859-6"), "arabic asmo-708 csiso88596e csiso88596i csisolatinarabic ecma-114 "
                            "iso-8859-6 iso-8859-6-e iso-8859-6-i iso-ir-127 iso8859-6 iso88596 "
                            "iso_8859-6 iso_8859-6:1987"},
    {QtCodec("ISO-8859-7"), "csisolatingreek ecma-118 elot_928 greek greek8 iso-8859-7 iso-ir-126 "
                            "iso8859-7 iso88597 iso_8859-7 iso_8859-7:1987 sun_eu_greek"},
    {QtCodec("ISO-8859-8"),
     "csiso88598e csisolatinhebrew hebrew iso-8859-8 iso-8859-8-e iso-ir-138 "
     "iso8859-8 iso88598 iso_8859-8 iso_8859-8:1988 visual"},
    {QtCodec("ISO-8859-8-I", "ISO-8859-8"), "csiso88598i iso-8859-8-i logical"},
    {QtCodec("ISO-8859-10"), "csisolatin6 iso-8859-10 iso-ir-157 iso8859-10 iso885910 l6 latin6"},
    {QtCodec("ISO-8859-13"), "iso-8859-13 iso8859-13 iso885913"},
    {QtCodec("ISO-8859-14"), "iso-8859-14 iso8859-14 iso885914"},
    {QtCodec("ISO-8859-15"), "csisolatin9 iso-8859-15 iso8859-15 iso885915 iso_8859-15 l9"},
    {QtCodec("ISO-8859-16"), "iso-8859-16"},
    {QtCodec("KOI8-R"), "cskoi8r koi koi8 koi8-r koi8_r"},
    {QtCodec("KOI8-U"), "koi8-ru koi8-u"},
    {QtCodec("macintosh"), "csmacintosh mac macintosh x-mac-roman"},
    {QtCodec("windows-874"), "dos-874 iso-8859-11 iso8859-11 iso885911 tis-620 windows-874"},
    {QtCodec("windows-1250"), "cp1250 windows-1250 x-cp1250"},
    {QtCodec("windows-1251"), "cp1251 windows-1251 x-cp1251"},
    {QtCodec("windows-1253"), "cp1253 windows-1253 x-cp1253"},
    {QtCodec("windows-1254"), "cp1254 csisolatin5 iso-8859-9 iso-ir-148 iso8859-9 iso88599 "
                              "iso_8859-9 iso_8859-9:1989 l5 latin5 windows-1254 x-cp1254"},
    {QtCodec("windows-1255"), "cp1255 windows-1255 x-cp1255"},
    {QtCodec("windows-1256"), "cp1256 windows-1256 x-cp1256"},
    {QtCodec("windows-1257"), "cp1257 windows-1257 x-cp1257"},
    {QtCodec("windows-1258"), "cp1258 windows-1258 x-cp1258"},
    {QtCodec("x-mac-cyrillic"), "x-mac-cyrillic x-mac-ukrainian"},
    {QtCodec("GBK", "GB18030"), "chinese csgb2312 csiso58gb231280 gb2312 gb_2312 gb_2312-80 gbk "
                                "iso-ir-58 x-gbk"},
    {QtCodec("gb18030", "GB18030"), "gb18030"},
    {QtCodec("Big5", "Big5-HKSCS"), "big5 big5-hkscs cn-big5 csbig5 x-x-big5"},
    {QtCodec("EUC-JP"), "cseucpkdfmtjapanese euc-jp x-euc-jp"},
    {QtCodec("ISO-2022-JP"), "csiso2022jp iso-2022-jp"},
    {QtCodec("Shift_JIS"), "csshiftjis ms932 ms_kanji shift-jis shift_jis sjis windows-31j x-sjis"},
    {QtCodec("EUC-KR", "windows-949"),
     "cseuckr csksc56011987 euc-kr iso-ir-149 korean "
     "ks_c_5601-1987 ks_c_5601-1989 ksc5601 ksc_5601 windows-949"},
};

bool IsAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c;
}

// The encoding a label stands for, when browsers know the label and Qt can
// decode it: one this program cannot decode counts as no label at all.
std::optional<Encoding> FromLabel(QByteArrayView label) {
    while (!label.isEmpty() && IsAsciiSpace(label.front()))
        label = label.sliced(1);
    while (!label.isEmpty() && IsAsciiSpace(label.back()))
        label.chop(1);
    char lower[24]; // longer than every label
    if (label.isEmpty() || label.size() > qsizetype(sizeof lower))
        return std::nullopt;
    for (qsizetype i = 0; i < label.size(); ++i)
        lower[i] = AsciiLower(label[i]);
    const QByteArrayView key(lower, label.size());
    for (const LabelRow& row : kLabels) {
        const QByteArrayView labels(row.labels);
        for (qsizetype start = 0; start < labels.size();) {
            qsizetype end = labels.indexOf(' ', start);
            if (end < 0)
                end = labels.size();
            if (labels.sliced(start, end - start) == key) {
                if (row.encoding.kind == Kind::ThroughQt &&
                    !QStringDecoder(row.encoding.decoder).isValid())
                    return std::nullopt;
                return row.encoding;
            }
            start = end + 1;
        }
    }
    return std::nullopt;
}

// --- The Content-Type header -------------------------------------------------

bool IsHttpSpace(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

bool IsTokenChar(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') ||
           QStringView(u"!#$%&'*+-.^_`|~").contains(c);
}

bool IsToken(QStringView s) {
    if (s.isEmpty())
        return false;
    for (QChar c : s)
        if (!IsTokenChar(c))
            return false;
    return true;
}

QStringView TrimHttpSpace(QStringView s) {
    while (!s.isEmpty() && IsHttpSpace(s.front()))
        s = s.sliced(1);
    while (!s.isEmpty() && IsHttpSpace(s.back()))
        s.chop(1);
    return s;
}

// One MIME type of a Content-Type value: its type/subtype in lower case and its
// first charset parameter (nothing when absent). Nothing at all when it is not a
// MIME type, so that a stray value does not undo a good one before it.
struct MimeType {
    QString essence;
    std::optional<QString> charset;
};

std::optional<MimeType> ParseMimeType(QStringView s) {
    s = TrimHttpSpace(s);
    const qsizetype slash = s.indexOf(u'/');
    if (slash < 0)
        return std::nullopt;
    qsizetype pos = s.indexOf(u';', slash);
    if (pos < 0)
        pos = s.size();
    const QStringView type = s.first(slash);
    QStringView subtype = s.sliced(slash + 1, pos - slash - 1);
    while (!subtype.isEmpty() && IsHttpSpace(subtype.back()))
        subtype.chop(1);
    if (!IsToken(type) || !IsToken(subtype))
        return std::nullopt;
    MimeType mime{(type.toString() + u'/' + subtype.toString()).toLower(), std::nullopt};
    while (pos < s.size()) {
        ++pos; // past ';'
        while (pos < s.size() && IsHttpSpace(s[pos]))
            ++pos;
        const qsizetype nameStart = pos;
        while (pos < s.size() && s[pos] != u';' && s[pos] != u'=')
            ++pos;
        const QStringView name = s.sliced(nameStart, pos - nameStart);
        if (pos >= s.size() || s[pos] == u';')
            continue;
        ++pos; // past '='
        QString value;
        if (pos < s.size() && s[pos] == u'"') {
            // A quoted string: a backslash keeps the character after it.
            for (++pos; pos < s.size() && s[pos] != u'"'; ++pos) {
                if (s[pos] == u'\\' && pos + 1 < s.size())
                    ++pos;
                value += s[pos];
            }
            while (pos < s.size() && s[pos] != u';')
                ++pos;
        } else {
            const qsizetype valueStart = pos;
            while (pos < s.size() && s[pos] != u';')
                ++pos;
            value = TrimHttpSpace(s.sliced(valueStart, pos - valueStart)).toString();
            if (value.isEmpty())
                continue;
        }
        if (!mime.charset && IsToken(name) && name.compare(u"charset", Qt::CaseInsensitive) == 0)
            mime.charset = value;
    }
    return mime;
}

// The charset of the response's Content-Type, as browsers read it: every
// Content-Type line's values in order, the last MIME type counting; a charset
// carries over from an earlier value of the same type that has one. (The
// program's HeaderValue takes the first line, which a browser does not.)
std::optional<QString> HeaderCharset(QStringView headerBlock) {
    std::optional<QString> charset;
    QString essence;
    const auto take = [&](QStringView value) {
        const std::optional<MimeType> mime = ParseMimeType(value);
        if (!mime || mime->essence == u"*/*")
            return;
        if (mime->essence != essence) {
            essence = mime->essence;
            charset = mime->charset;
        } else if (mime->charset) {
            charset = mime->charset;
        }
    };
    for (qsizetype start = 0; start < headerBlock.size();) {
        qsizetype end = headerBlock.indexOf(u'\n', start);
        if (end < 0)
            end = headerBlock.size();
        const QStringView line = headerBlock.sliced(start, end - start);
        start = end + 1;
        const qsizetype colon = line.indexOf(u':');
        if (colon < 0 ||
            line.first(colon).trimmed().compare(u"content-type", Qt::CaseInsensitive) != 0)
            continue;
        // Values are split at commas outside quoted strings.
        const QStringView value = line.sliced(colon + 1);
        bool quoted = false;
        qsizetype from = 0;
        for (qsizetype i = 0; i < value.size(); ++i) {
            if (quoted && value[i] == u'\\')
                ++i;
            else if (value[i] == u'"')
                quoted = !quoted;
            else if (!quoted && value[i] == u',') {
                take(value.sliced(from, i - from));
                from = i + 1;
            }
        }
        take(value.sliced(from));
    }
    return charset;
}

// --- The prescan of the page's first bytes ----------------------------------

// The bytes that follow "charset" and "=" in a meta's content attribute, or
// nothing. The value is in lower case already.
std::optional<QByteArrayView> CharsetInContent(QByteArrayView content) {
    qsizetype pos = 0;
    for (;;) {
        const qsizetype at = content.indexOf("charset", pos);
        if (at < 0)
            return std::nullopt;
        pos = at + 7;
        while (pos < content.size() && IsAsciiSpace(content[pos]))
            ++pos;
        if (pos < content.size() && content[pos] == '=')
            break;
    }
    ++pos;
    while (pos < content.size() && IsAsciiSpace(content[pos]))
        ++pos;
    if (pos >= content.size())
        return std::nullopt;
    const char quote = content[pos];
    if (quote == '"' || quote == '\'') {
        const qsizetype close = content.indexOf(quote, pos + 1);
        if (close < 0)
            return std::nullopt;
        return content.sliced(pos + 1, close - pos - 1);
    }
    qsizetype end = pos;
    while (end < content.size() && !IsAsciiSpace(content[end]) && content[end] != ';')
        ++end;
    return content.sliced(pos, end - pos);
}

// Reads tags the way a browser does before it knows the encoding: comments and
// the attributes of other tags are passed over, so that neither a charset in a
// comment nor a '>' in a quoted attribute value misleads it.
class Prescan {
public:
    explicit Prescan(QByteArrayView bytes) : m_s(bytes) {}

    std::optional<Encoding> run() {
        while (m_pos < m_s.size()) {
            if (m_s[m_pos] != '<') {
                ++m_pos;
                continue;
            }
            const QByteArrayView rest = m_s.sliced(m_pos);
            if (rest.startsWith("<!--")) {
                // "<!-->" closes at once: the dashes of "-->" may be those of "<!--".
                const qsizetype close = m_s.indexOf("-->", m_pos + 2);
                if (close < 0)
                    return std::nullopt;
                m_pos = close + 3;
            } else if (rest.size() > 5 && IsMetaStart(rest)) {
                m_pos += 6;
                if (std::optional<Encoding> found = readMeta())
                    return found;
                if (m_ended)
                    return std::nullopt;
                ++m_pos;
            } else if (rest.size() > 1 &&
                       (IsAsciiLetter(rest[1]) ||
                        (rest[1] == '/' && rest.size() > 2 && IsAsciiLetter(rest[2])))) {
                while (m_pos < m_s.size() && !IsAsciiSpace(m_s[m_pos]) && m_s[m_pos] != '>')
                    ++m_pos;
                while (nextAttribute()) {
                }
                if (m_ended)
                    return std::nullopt;
                ++m_pos;
            } else if (rest.startsWith("<!") || rest.startsWith("</") || rest.startsWith("<?")) {
                const qsizetype close = m_s.indexOf('>', m_pos);
                if (close < 0)
                    return std::nullopt;
                m_pos = close + 1;
            } else {
                ++m_pos;
            }
        }
        return std::nullopt;
    }

private:
    static bool IsAsciiLetter(char c) { return AsciiLower(c) >= 'a' && AsciiLower(c) <= 'z'; }
    static bool IsMetaStart(QByteArrayView rest) {
        for (int i = 1; i < 5; ++i)
            if (AsciiLower(rest[i]) != "<meta"[i])
                return false;
        return IsAsciiSpace(rest[5]) || rest[5] == '/';
    }

    // The attributes of a <meta>, when they name an encoding.
    std::optional<Encoding> readMeta() {
        enum class Charset { None, Unknown, Found };
        Charset state = Charset::None;
        Encoding charset;
        bool gotPragma = false;
        std::optional<bool> needPragma;
        QList<QByteArray> seen;
        while (nextAttribute()) {
            if (seen.contains(m_name)) // the first of a repeated attribute counts
                continue;
            seen.append(m_name);
            if (m_name == "http-equiv") {
                gotPragma = gotPragma || m_value == "content-type";
            } else if (m_name == "content" && state == Charset::None) {
                if (const auto label = CharsetInContent(m_value))
                    if (const auto encoding = FromLabel(*label)) {
                        charset = *encoding;
                        state = Charset::Found;
                        needPragma = true;
                    }
            } else if (m_name == "charset") {
                const std::optional<Encoding> encoding = FromLabel(m_value);
                state = encoding ? Charset::Found : Charset::Unknown;
                charset = encoding.value_or(kWindows1252);
                needPragma = false;
            }
        }
        if (m_ended || !needPragma || (*needPragma && !gotPragma) || state != Charset::Found)
            return std::nullopt;
        // A page read this far as ASCII cannot be UTF-16, whatever it says.
        if (charset.kind == Kind::Utf16LE || charset.kind == Kind::Utf16BE)
            return kUtf8;
        return charset;
    }

    // The next attribute of a tag into m_name and m_value (both in lower case),
    // or false at the tag's '>' or at the end of the bytes (m_ended).
    bool nextAttribute() {
        m_name.resize(0);
        m_value.resize(0);
        while (m_pos < m_s.size() && (IsAsciiSpace(m_s[m_pos]) || m_s[m_pos] == '/'))
            ++m_pos;
        if (m_pos >= m_s.size())
            return end();
        if (m_s[m_pos] == '>')
            return false;
        for (;; ++m_pos) {
            if (m_pos >= m_s.size())
                return end();
            const char c = m_s[m_pos];
            if (c == '=' && !m_name.isEmpty())
                break;
            if (IsAsciiSpace(c)) {
                while (m_pos < m_s.size() && IsAsciiSpace(m_s[m_pos]))
                    ++m_pos;
                if (m_pos >= m_s.size())
                    return end();
                if (m_s[m_pos] != '=')
                    return true;
                break;
            }
            if (c == '/' || c == '>')
                return true;
            m_name += AsciiLower(c);
        }
        ++m_pos; // past '='
        while (m_pos < m_s.size() && IsAsciiSpace(m_s[m_pos]))
            ++m_pos;
        if (m_pos >= m_s.size())
            return end();
        const char quote = m_s[m_pos];
        if (quote == '"' || quote == '\'') {
            for (++m_pos; m_pos < m_s.size(); ++m_pos) {
                if (m_s[m_pos] == quote) {
                    ++m_pos;
                    return true;
                }
                m_value += AsciiLower(m_s[m_pos]);
            }
            return end();
        }
        if (quote == '>')
            return true;
        for (; m_pos < m_s.size(); ++m_pos) {
            if (IsAsciiSpace(m_s[m_pos]) || m_s[m_pos] == '>')
                return true;
            m_value += AsciiLower(m_s[m_pos]);
        }
        return end();
    }

    // A tag cut off by the end of the bytes names nothing.
    bool end() {
        m_ended = true;
        return false;
    }

    QByteArrayView m_s;
    qsizetype m_pos = 0;
    bool m_ended = false;
    QByteArray m_name;
    QByteArray m_value;
};

// --- Decoding ----------------------------------------------------------------

struct Detected {
    Encoding encoding;
    qsizetype bomLength = 0;
};

Detected Detect(QByteArrayView page, QStringView headerBlock) {
    if (page.startsWith("\xEF\xBB\xBF"))
        return {kUtf8, 3};
    if (page.startsWith("\xFE\xFF"))
        return {kUtf16BE, 2};
    if (page.startsWith("\xFF\xFE"))
        return {kUtf16LE, 2};
    if (const std::optional<QString> label = HeaderCharset(headerBlock))
        if (const std::optional<Encoding> encoding = FromLabel(label->toLatin1()))
            return {*encoding};
    if (const std::optional<Encoding> encoding =
            Prescan(page.first(qMin<qsizetype>(page.size(), 1024))).run())
        return {*encoding};
    return {kWindows1252};
}

// Where windows-1252 differs from Latin-1: 0x80-0x9F. The five bytes it leaves
// undefined keep their Latin-1 code points, as browsers do.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

char16_t Windows1252Char(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : char16_t(byte);
}

namespace {

QString DecodeWindows1252(QByteArrayView bytes) {
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char c : bytes) {
        const uchar b = uchar(c);
        *out++ = QChar(Windows1252Char(b));
    }
    return text;
}

// UTF-16 as browsers decode it: a lone surrogate and an odd last byte become U+FFFD.
QString DecodeUtf16(QByteArrayView bytes, bool bigEndian) {
    const qsizetype units = bytes.size() / 2;
    QString text(units + bytes.size() % 2, Qt::Uninitialized);
    QChar* out = text.data();
    const auto unit = [&](qsizetype i) -> char16_t {
        const uchar a = uchar(bytes[2 * i]), b = uchar(bytes[2 * i + 1]);
        return bigEndian ? char16_t(a << 8 | b) : char16_t(b << 8 | a);
    };
    for (qsizetype i = 0; i < units; ++i) {
        const char16_t u = unit(i);
        if (QChar::isHighSurrogate(u) && i + 1 < units && QChar::isLowSurrogate(unit(i + 1))) {
            *out++ = QChar(u);
            *out++ = QChar(unit(++i));
        } else {
            *out++ = QChar::isSurrogate(u) ? QChar(QChar::ReplacementCharacter) : QChar(u);
        }
    }
    if (bytes.size() % 2)
        *out++ = QChar(QChar::ReplacementCharacter);
    return text;
}

} // namespace

QByteArray PageEncoding(QByteArrayView page, QStringView headerBlock) {
    return QByteArray(Detect(page, headerBlock).encoding.name);
}

QString DecodePage(QByteArrayView page, QStringView headerBlock) {
    const Detected found = Detect(page, headerBlock);
    const QByteArrayView body = page.sliced(found.bomLength);
    switch (found.encoding.kind) {
    case Kind::Utf8:
        return QString::fromUtf8(body);
    case Kind::Windows1252:
        return DecodeWindows1252(body);
    case Kind::Utf16LE:
        return DecodeUtf16(body, false);
    case Kind::Utf16BE:
        return DecodeUtf16(body, true);
    case Kind::ThroughQt:
        break;
    }
    QStringDecoder decoder(found.encoding.decoder, QStringConverter::Flag::Stateless);
    return decoder.decode(body);
}

} // namespace corvantis::scan
