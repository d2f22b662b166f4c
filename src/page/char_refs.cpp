#include "page/char_refs.h"

#include "page/page_encoding.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace corvantis::scan {
namespace {

struct NamedReference {
    std::string_view name; // without the "&"; ends in ";" unless it is a legacy name
    char32_t first;
    char32_t second; // 0 when the name stands for one code point
};

constexpr NamedReference kNamed[] = {
#include "char_refs_table.inc"
};
// The lookup narrows a range of this array character by character.
static_assert(std::is_sorted(std::begin(kNamed), std::end(kNamed),
                             [](const auto& a, const auto& b) { return a.name < b.name; }));

constexpr char32_t kReplacement = 0xFFFD;
// Any value above the last code point decodes the same, so reading stops growing here.
constexpr std::uint32_t kNumberCap = 0x110000;

bool IsAsciiAlnum(QChar c) {
    const char16_t u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
}

int DigitValue(char16_t u, int base) {
    if (u >= '0' && u <= '9')
        return u - '0';
    if (base == 16 && (u | 0x20) >= 'a' && (u | 0x20) <= 'f')
        return (u | 0x20) - 'a' + 10;
    return -1;
}

void AppendCodePoint(QString& out, char32_t c) {
    if (QChar::requiresSurrogates(c)) {
        out.append(QChar(QChar::highSurrogate(c)));
        out.append(QChar(QChar::lowSurrogate(c)));
    } else {
        out.append(QChar(char16_t(c)));
    }
}

struct Decoded {
    qsizetype length = 0; // characters taken from the "&" on; 0 when nothing decodes
    char32_t first = 0;
    char32_t second = 0;
};

// A reference "&#..." starting at at.
Decoded DecodeNumeric(QStringView text, qsizetype at) {
    qsizetype i = at + 2;
    int base = 10;
    if (i < text.size() && (text[i] == u'x' || text[i] == u'X')) {
        base = 16;
        ++i;
    }
    const qsizetype digits = i;
    std::uint32_t value = 0;
    for (int d; i < text.size() && (d = DigitValue(text[i].unicode(), base)) >= 0; ++i)
        value = std::min<std::uint32_t>(value * base + d, kNumberCap);
    if (i == digits)
        return {};
    if (i < text.size() && text[i] == u';')
        ++i;
    char32_t c = value;
    if (value == 0 || value >= kNumberCap || (value >= 0xD800 && value <= 0xDFFF))
        c = kReplacement;
    else if (value >= 0x80 && value <= 0x9F)
        c = Windows1252Char(static_cast<unsigned char>(value)); // what pages writing them mean
    return {i - at, c, 0};
}

// A named reference starting at at: the longest name in the table that the
// text continues with. Names are at most a few dozen characters, so the range
// runs empty quickly however long the run of letters is.
Decoded DecodeNamed(QStringView text, qsizetype at, ReferenceContext context) {
    if (at + 1 == text.size() || !IsAsciiAlnum(text[at + 1]))
        return {}; // every name starts with a letter; spares "&&&" and "a & b" the search
    const NamedReference* lo = std::begin(kNamed);
    const NamedReference* hi = std::end(kNamed);
    const NamedReference* match = nullptr;
    for (qsizetype i = at + 1, k = 0; i < text.size() && text[i].unicode() < 0x80; ++i, ++k) {
        // Within [lo, hi) every name has the same first k characters; names that
        // end there sort before those that go on.
        const char c = char(text[i].unicode());
        lo = std::partition_point(lo, hi, [&](const NamedReference& r) {
            return std::size_t(k) >= r.name.size() || r.name[k] < c;
        });
        hi = std::partition_point(lo, hi, [&](const NamedReference& r) { return r.name[k] == c; });
        if (lo == hi)
            break;
        if (lo->name.size() == std::size_t(k + 1))
            match = lo;
    }
    if (!match)
        return {};
    const qsizetype end = at + 1 + qsizetype(match->name.size());
    if (context == ReferenceContext::Attribute && !match->name.ends_with(';') &&
        end < text.size() && (text[end] == u'=' || IsAsciiAlnum(text[end])))
        return {};
    return {end - at, match->first, match->second};
}

} // namespace

QString DecodeCharacterReferences(QStringView text, ReferenceContext context) {
    qsizetype amp = text.indexOf(u'&');
    if (amp < 0)
        return text.toString();
    QString out;
    out.reserve(text.size()); // a reference is never shorter than what it decodes to
    qsizetype copied = 0;     // text before this is in out
    for (; amp >= 0; amp = text.indexOf(u'&', amp + 1)) {
        const bool numeric = amp + 1 < text.size() && text[amp + 1] == u'#';
        const Decoded d = numeric ? DecodeNumeric(text, amp) : DecodeNamed(text, amp, context);
        if (d.length == 0)
            continue; // stays as written
        out.append(text.sliced(copied, amp - copied));
        AppendCodePoint(out, d.first);
        if (d.second)
            AppendCodePoint(out, d.second);
        copied = amp + d.length;
        amp = copied - 1;
    }
    out.append(text.sliced(copied));
    return out;
}

} // namespace corvantis::scan
