#include "util/text_utils.h"

#include <QVarLengthArray>

#include <algorithm>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace corvantis::util {

namespace detail {
const std::array<char16_t, 256> kFoldTable = [] {
    std::array<char16_t, 256> folds{};
    for (char32_t c = 0; c < folds.size(); ++c)
        folds[c] = char16_t(QChar::toCaseFolded(c));
    return folds;
}();
} // namespace detail

bool HasSurrogate(QStringView s) {
    for (const QChar c : s)
        if (c.isSurrogate())
            return true;
    return false;
}

namespace {

// The first place of the needle in the haystack, or null. Candidates are the
// places where the needle's first and last bytes both stand, tested sixteen at a
// time and four blocks to a step (most steps hold none); only candidates are
// compared in full. On page text this runs several times faster than memmem,
// and the scan searches every page this way several times.
const char* FindBytes(const char* hay, std::size_t n, const char* needle, std::size_t m) {
    if (m == 0)
        return hay;
    if (m > n)
        return nullptr;
    if (m == 1)
        return static_cast<const char*>(memchr(hay, needle[0], n));
    std::size_t i = 0;
#if defined(__SSE2__)
    constexpr std::size_t kBlock = 16;
    constexpr std::size_t kStep = 4 * kBlock;
    const __m128i first = _mm_set1_epi8(needle[0]);
    const __m128i last = _mm_set1_epi8(needle[m - 1]);
    const auto candidates = [&](std::size_t at) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + at));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + at + m - 1));
        return unsigned(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
    };
    for (; i + m - 1 + kStep <= n; i += kStep) {
        const unsigned masks[4] = {candidates(i), candidates(i + kBlock),
                                   candidates(i + 2 * kBlock), candidates(i + 3 * kBlock)};
        if ((masks[0] | masks[1] | masks[2] | masks[3]) == 0)
            continue;
        for (std::size_t k = 0; k < 4; ++k) {
            for (unsigned mask = masks[k]; mask != 0; mask &= mask - 1) {
                const std::size_t at = i + k * kBlock + std::size_t(__builtin_ctz(mask));
                if (memcmp(hay + at + 1, needle + 1, m - 2) == 0)
                    return hay + at;
            }
        }
    }
#endif
    const void* rest = memmem(hay + i, n - i, needle, m);
    return static_cast<const char*>(rest);
}
} // namespace

// Within single-byte text the only character that folds outside the byte range
// is MICRO SIGN (to GREEK SMALL LETTER MU); it stands for itself in the byte form.
constexpr char16_t kMicroSign = 0xB5;
constexpr char16_t kGreekSmallMu = 0x3BC;

CaseFoldedText::CaseFoldedText(QStringView text) : m_text(text) {
    const qsizetype n = text.size();
    const char16_t* h = text.utf16();
    m_bytes.resize(n);
    char* b = m_bytes.data();
    // Single-byte folding is lower-casing A-Z and the accented capitals
    // (0xC0-0xDE but the multiplication sign); written without branches so the
    // compiler can do many characters at once.
    char16_t high = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = h[i];
        high |= c;
        const bool ascii = char16_t(c - u'A') < 26;
        const bool accented = char16_t(c - 0xC0) < 0x1F && c != 0xD7;
        b[i] = char(c + ((ascii | accented) << 5));
    }
    if (high < 256)
        return;
    m_bytesMode = false;
    m_bytes.clear();
    m_folded.resize(n);
    char16_t* d = reinterpret_cast<char16_t*>(m_folded.data());
    for (qsizetype i = 0; i < n; ++i)
        d[i] = FoldUnit(h[i]);
}

qsizetype CaseFoldedText::indexOf(QStringView part, qsizetype from) const {
    const qsizetype n = m_text.size();
    if (from < 0)
        from += n;
    if (from < 0 || from > n)
        return -1;
    // Characters outside the basic plane fold as pairs: leave those to Qt.
    if (HasSurrogate(part))
        return m_text.indexOf(part, from, Qt::CaseInsensitive);
    const qsizetype m = part.size();
    if (m == 0)
        return from;
    if (m_bytesMode) {
        QVarLengthArray<char, 64> needle(m);
        for (qsizetype j = 0; j < m; ++j) {
            const char16_t f = FoldUnit(part[j].unicode());
            if (f == kGreekSmallMu)
                needle[j] = char(kMicroSign);
            else if (f < 256)
                needle[j] = char(f);
            else
                return -1; // no single-byte character folds to it
        }
        const char* hit = FindBytes(m_bytes.constData() + from, std::size_t(n - from),
                                    needle.constData(), std::size_t(m));
        return hit ? hit - m_bytes.constData() : -1;
    }
    QVarLengthArray<char16_t, 64> folded(m);
    for (qsizetype j = 0; j < m; ++j)
        folded[j] = FoldUnit(part[j].unicode());
    return QStringView(m_folded).indexOf(QStringView(folded.constData(), folded.size()), from);
}

bool CaseFoldedText::matchesAt(QStringView part, qsizetype pos) const {
    if (pos < 0 || part.size() > m_text.size() - pos)
        return false;
    return EqualsCI(m_text.mid(pos, part.size()), part);
}

qsizetype IndexOfCI(QStringView text, QStringView part, qsizetype from) {
    const qsizetype n = text.size();
    const qsizetype m = part.size();
    if (from < 0) // counted from the end, as Qt does
        from += n;
    if (from < 0)
        return -1;
    if (m == 0)
        return from <= n ? from : -1;
    if (m > n - from)
        return -1;
    // Long texts (pages) are folded once and searched exactly.
    if (n - from >= 256 || HasSurrogate(part)) {
        const qsizetype at = CaseFoldedText(text.mid(from)).indexOf(part);
        return at >= 0 ? at + from : -1;
    }
    QVarLengthArray<char16_t, 64> folded(m);
    for (qsizetype j = 0; j < m; ++j)
        folded[j] = FoldUnit(part[j].unicode());
    // A place is tried only where the first character can match: an ASCII
    // character is compared as it stands with the first character's two ASCII
    // forms (ASCII folds only among itself); anything else is folded.
    const char16_t first = folded[0];
    const char16_t firstUpper = first >= u'a' && first <= u'z' ? char16_t(first - 32) : first;
    const char16_t* h = text.utf16();
    for (qsizetype i = from; i <= n - m; ++i) {
        const char16_t c = h[i];
        if (c < 0x80 ? c != first && c != firstUpper : FoldUnit(c) != first)
            continue;
        qsizetype j = 1;
        while (j < m && FoldUnit(h[i + j]) == folded[j])
            ++j;
        if (j == m)
            return i;
    }
    return -1;
}

bool EqualsCI(QStringView a, QStringView b) {
    return a.size() == b.size() && IndexOfCI(a, b) == 0;
}

bool ContainsCI(QStringView text, QStringView part) {
    return IndexOfCI(text, part) >= 0;
}

bool StartsWithCI(QStringView text, QStringView prefix) {
    return prefix.size() <= text.size() && IndexOfCI(text.left(prefix.size()), prefix) == 0;
}

bool EqualsLowerAsciiCI(QStringView text, QStringView lower) {
    // ASCII characters fold only among themselves, so they are compared directly
    // (from the end, where addresses differ most); a text with anything else (the
    // long s folds to "s", the Kelvin sign to "k") takes the full folding rule.
    for (qsizetype i = text.size() - 1; i >= 0; --i) {
        const char16_t c = text[i].unicode();
        if (c >= 0x80)
            return StartsWithCI(text, lower);
        if ((c >= u'A' && c <= u'Z' ? c + 32 : c) != lower[i].unicode())
            return false;
    }
    return true;
}

QString TrimSpaces(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    if (begin == 0 && end == text.size())
        return text;
    return text.mid(begin, end - begin);
}

QString StripSchemes(QString text) {
    text.remove(QLatin1String("http://"), Qt::CaseInsensitive);
    text.remove(QLatin1String("https://"), Qt::CaseInsensitive);
    return text;
}

QString ReplaceAllCI(const QString& text, QStringView before, QStringView after) {
    if (before.isEmpty())
        return text;
    qsizetype at = IndexOfCI(text, before);
    if (at < 0)
        return text;
    const CaseFoldedText folded(text);
    QString out;
    out.reserve(text.size());
    qsizetype pos = 0;
    while (at >= 0) {
        out += QStringView(text).mid(pos, at - pos);
        out += after;
        pos = at + before.size();
        at = folded.indexOf(before, pos);
    }
    out += QStringView(text).mid(pos);
    return out;
}

QString ReplaceAll(QString text, const QString& before, const QString& after) {
    return text.replace(before, after, Qt::CaseSensitive);
}

QString ZeroFilled(qint64 number) {
    QString s = QString::number(number);
    while (s.size() < 3)
        s.prepend(QLatin1Char('0'));
    return s;
}

namespace {
std::optional<qint64> ToInt64(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    bool ok = false;
    const qint64 v = t.toLongLong(&ok, 10);
    if (!ok)
        return std::nullopt;
    return v;
}

template <typename T> std::optional<T> ToIntRange(const QString& text) {
    const auto v = ToInt64(text);
    if (!v || *v < std::numeric_limits<T>::min() || *v > std::numeric_limits<T>::max())
        return std::nullopt;
    return static_cast<T>(*v);
}
} // namespace

std::optional<qint16> ToInt16(const QString& text) {
    return ToIntRange<qint16>(text);
}
std::optional<qint32> ToInt32(const QString& text) {
    return ToIntRange<qint32>(text);
}

bool IsBlank(const QString& text) {
    return text.isEmpty() || text == QStringLiteral(" ");
}

QString JoinCrLf(const QStringList& lines) {
    QString out;
    for (const QString& line : lines) {
        out += line;
        out += QStringLiteral("\r\n");
    }
    return out;
}

} // namespace corvantis::util
