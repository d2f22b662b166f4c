#include "util/text_utils.h"

#include <limits>

namespace corvantis::util {

bool ContainsCI(const QString& text, const QString& part) {
    return text.contains(part, Qt::CaseInsensitive);
}

bool StartsWithCI(const QString& text, const QString& prefix) {
    return text.startsWith(prefix, Qt::CaseInsensitive);
}

QString ReplaceAllCI(QString text, const QString& before, const QString& after) {
    return text.replace(before, after, Qt::CaseInsensitive);
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
