#include "util/browse_address.h"

#include <QUrl>

namespace corvantis::util {

namespace {

// The characters of a URL's own syntax (RFC 3986 unreserved and reserved) and "%".
bool IsUrlCharacter(char16_t c) {
    if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9'))
        return true;
    return QStringView(u"-._~:/?#[]@!$&'()*+,;=%").contains(QChar(c));
}

void AppendEncoded(QString& out, QStringView part) {
    static const char kHex[] = "0123456789ABCDEF";
    for (const char byte : part.toUtf8()) {
        const auto b = static_cast<uchar>(byte);
        out += QLatin1Char('%');
        out += QLatin1Char(kHex[b >> 4]);
        out += QLatin1Char(kHex[b & 0x0F]);
    }
}

// The scheme an address names before its first ":", when it names one; a host
// with a port ("localhost:8080", "site.example:81") names none.
QString NamedScheme(const QString& address) {
    const qsizetype colon = address.indexOf(u':');
    if (colon <= 0)
        return QString();
    for (qsizetype i = 0; i < colon; ++i) {
        const char16_t c = address.at(i).unicode();
        const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
        const bool other = (c >= u'0' && c <= u'9') || c == u'+' || c == u'-';
        if (!letter && !(i > 0 && other))
            return QString();
    }
    if (colon + 1 < address.size() && address.at(colon + 1).isDigit())
        return QString();
    return address.left(colon).toLower();
}

} // namespace

std::optional<QString> PrepareBrowseAddress(const QString& address) {
    const QString trimmed = address.trimmed();
    QString prepared;
    qsizetype rest = 0;
    if (trimmed.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)) {
        prepared = QStringLiteral("http://");
        rest = 7;
    } else if (trimmed.startsWith(QLatin1String("https://"), Qt::CaseInsensitive)) {
        prepared = QStringLiteral("https://");
        rest = 8;
    } else {
        const QString scheme = NamedScheme(trimmed);
        if (!scheme.isEmpty() && scheme != QLatin1String("http") &&
            scheme != QLatin1String("https"))
            return std::nullopt;
        prepared = QStringLiteral("http://");
    }
    if (trimmed.size() - rest > kMaxBrowseAddressLength)
        return std::nullopt;

    prepared.reserve(prepared.size() + (trimmed.size() - rest) * 3 / 2);
    for (qsizetype i = rest; i < trimmed.size(); ++i) {
        const QChar c = trimmed.at(i);
        if (IsUrlCharacter(c.unicode())) {
            prepared += c;
            continue;
        }
        // Keep a surrogate pair together so it is one UTF-8 sequence.
        const qsizetype len =
            c.isHighSurrogate() && i + 1 < trimmed.size() && trimmed.at(i + 1).isLowSurrogate() ? 2
                                                                                                : 1;
        AppendEncoded(prepared, QStringView(trimmed).mid(i, len));
        i += len - 1;
    }
    if (prepared.size() > kMaxBrowseAddressLength)
        return std::nullopt;

    const QUrl url(prepared, QUrl::TolerantMode);
    const QString scheme = url.scheme();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return std::nullopt;
    return prepared;
}

} // namespace corvantis::util
