#include "util/text_utils.h"

#include <QHash>
#include <QVarLengthArray>

#include <algorithm>
#include <limits>

namespace corvantis::util {

namespace {
// Case folding as Qt compares case-insensitively, looked up for the first 256 codes.
struct FoldTable {
    char16_t code[256];
    FoldTable() {
        for (char32_t c = 0; c < 256; ++c)
            code[c] = char16_t(QChar::toCaseFolded(c));
    }
};

inline char16_t Fold(char16_t c) {
    static const FoldTable table;
    return c < 256 ? table.code[c] : char16_t(QChar::toCaseFolded(char32_t(c)));
}

bool HasSurrogate(QStringView s) {
    for (const QChar c : s)
        if (c.isSurrogate())
            return true;
    return false;
}
} // namespace

// Every code unit that folds to the given one (the letter in both cases, and the
// odd sign such as KELVIN SIGN for "k"), found once per folded unit and kept.
const QVarLengthArray<char16_t, 4>& Unfoldings(char16_t folded) {
    static QHash<char16_t, QVarLengthArray<char16_t, 4>> cache;
    auto it = cache.find(folded);
    if (it == cache.end()) {
        QVarLengthArray<char16_t, 4> units;
        for (char32_t c = 0; c < 0x10000; ++c)
            if (!QChar::isSurrogate(c) && Fold(char16_t(c)) == folded)
                units.append(char16_t(c));
        it = cache.insert(folded, units);
    }
    return *it;
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
    // Characters outside the basic plane fold as pairs: leave those to Qt.
    if (HasSurrogate(part))
        return text.indexOf(part, from, Qt::CaseInsensitive);
    QVarLengthArray<char16_t, 64> folded(m);
    for (qsizetype j = 0; j < m; ++j)
        folded[j] = Fold(part[j].unicode());

    const char16_t* h = text.utf16();
    const auto matchesAt = [&](qsizetype i) {
        qsizetype j = 1;
        while (j < m && Fold(h[i + j]) == folded[j])
            ++j;
        return j == m;
    };
    // Short texts (addresses) are walked directly.
    if (n - from < 256) {
        for (qsizetype i = from; i <= n - m; ++i)
            if (Fold(h[i]) == folded[0] && matchesAt(i))
                return i;
        return -1;
    }

    // In long texts (pages) candidates are found with the fast exact search, once
    // for each way of writing the first character; only they are compared in full.
    const QVarLengthArray<char16_t, 4>& firsts = Unfoldings(folded[0]);
    QVarLengthArray<qsizetype, 4> next(firsts.size());
    for (qsizetype k = 0; k < firsts.size(); ++k)
        next[k] = text.indexOf(QChar(firsts[k]), from);
    for (;;) {
        qsizetype i = -1;
        for (const qsizetype p : next)
            if (p >= 0 && (i < 0 || p < i))
                i = p;
        if (i < 0 || i > n - m)
            return -1;
        if (matchesAt(i))
            return i;
        for (qsizetype k = 0; k < firsts.size(); ++k)
            if (next[k] == i)
                next[k] = text.indexOf(QChar(firsts[k]), i + 1);
    }
}

bool ContainsCI(QStringView text, QStringView part) {
    return IndexOfCI(text, part) >= 0;
}

bool StartsWithCI(QStringView text, QStringView prefix) {
    return prefix.size() <= text.size() && IndexOfCI(text.left(prefix.size()), prefix) == 0;
}

QString ReplaceAllCI(const QString& text, QStringView before, QStringView after) {
    if (before.isEmpty())
        return text;
    qsizetype at = IndexOfCI(text, before);
    if (at < 0)
        return text;
    QString out;
    out.reserve(text.size());
    qsizetype pos = 0;
    while (at >= 0) {
        out += QStringView(text).mid(pos, at - pos);
        out += after;
        pos = at + before.size();
        at = IndexOfCI(text, before, pos);
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
