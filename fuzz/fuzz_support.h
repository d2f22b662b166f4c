#pragma once

// Helpers shared by the fuzz targets and by the test that replays their corpus.

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace corvantis::fuzz {

// One byte is one character, as on the wire.
inline QString Latin1(const std::uint8_t* data, std::size_t size) {
    return QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size));
}

// The input cut at its first count - 1 line feeds; the last field keeps the rest
// (line feeds included). Missing fields are empty.
inline QStringList Fields(const QString& input, int count) {
    QStringList fields;
    qsizetype start = 0;
    for (int i = 0; i < count - 1; ++i) {
        const qsizetype lf = input.indexOf(u'\n', start);
        if (lf < 0) {
            fields.append(input.mid(start));
            start = input.size();
            break;
        }
        fields.append(input.mid(start, lf - start));
        start = lf + 1;
    }
    if (fields.size() < count)
        fields.append(input.mid(start));
    while (fields.size() < count)
        fields.append(QString());
    return fields;
}

// Control characters escaped, so a failing input can be read in the report.
inline QByteArray Show(const QString& text) {
    QByteArray out;
    for (QChar c : text) {
        const ushort u = c.unicode();
        if (u >= 0x20 && u < 0x7f && u != '\\') {
            out += char(u);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", unsigned(u));
            out += buf;
        }
    }
    return out;
}

[[noreturn]] inline void Fail(const char* check, const char* file, int line, const QString& a,
                              const QString& b) {
    std::fprintf(stderr, "%s:%d: broken: %s\n  [%s]\n  [%s]\n", file, line, check,
                 Show(a).constData(), Show(b).constData());
    std::abort();
}

// Prefix test by content: QString::startsWith says no for a null text even
// when the prefix is empty.
inline bool HasPrefix(const QString& text, const QString& prefix) {
    return text.size() >= prefix.size() && QStringView(text).left(prefix.size()) == prefix;
}

inline int CountCaseInsensitive(const QString& text, QLatin1String part) {
    return int(text.count(QString(part), Qt::CaseInsensitive));
}

} // namespace corvantis::fuzz

// Aborts with the two texts that explain the failure; libFuzzer keeps the input.
#define FUZZ_CHECK(cond, a, b)                                                                     \
    do {                                                                                           \
        if (!(cond))                                                                               \
            ::corvantis::fuzz::Fail(#cond, __FILE__, __LINE__, (a), (b));                          \
    } while (false)
