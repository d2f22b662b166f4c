#include "util/url_encode.h"

#include "util/text_utils.h"

namespace corvantis::util {

namespace {
void AppendByte(QString& out, uchar b) {
    static const char kHex[] = "0123456789ABCDEF";
    out += QLatin1Char('%');
    out += QLatin1Char(kHex[b >> 4]);
    out += QLatin1Char(kHex[b & 0x0F]);
}

bool IsKept(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') ||
           c == u'*' || c == u'-' || c == u'.' || c == u'_';
}
} // namespace

std::optional<QString> UrlEncode(const QString& text) {
    if (text.size() > kUrlEncodeMaxLength)
        return std::nullopt;
    const QString prefix = QStringLiteral("http://");
    const bool hadPrefix = ContainsCI(text, prefix);
    const QString rest = hadPrefix ? ReplaceAllCI(text, prefix, QString()) : text;

    QString out;
    out.reserve(rest.size() * 3 + prefix.size());
    if (hadPrefix)
        out += prefix;
    for (qsizetype i = 0; i < rest.size(); ++i) {
        const QChar c = rest.at(i);
        if (IsKept(c.unicode())) {
            out += c;
        } else if (c == QLatin1Char(' ')) {
            out += QLatin1Char('+');
        } else if (c.unicode() < 0x100) {
            AppendByte(out, static_cast<uchar>(c.unicode()));
        } else {
            // Outside the 8-bit set: encode the character's UTF-8 bytes, keeping
            // surrogate pairs together.
            qsizetype len = 1;
            if (c.isHighSurrogate() && i + 1 < rest.size() && rest.at(i + 1).isLowSurrogate())
                len = 2;
            const QByteArray utf8 = rest.mid(i, len).toUtf8();
            for (const char b : utf8)
                AppendByte(out, static_cast<uchar>(b));
            i += len - 1;
        }
    }
    return out;
}

} // namespace corvantis::util
