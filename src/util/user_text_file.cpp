#include "util/user_text_file.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

namespace corvantis::util {

QString FromWindows1252(const QByteArray& bytes) {
    // 0x80..0x9F; 0 marks the five codes Windows-1252 leaves undefined (kept as Latin-1).
    static const char16_t kHigh[32] = {
        0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    QString out;
    out.resize(bytes.size());
    QChar* d = out.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const uchar b = static_cast<uchar>(bytes.at(i));
        char16_t c = b;
        if (b >= 0x80 && b <= 0x9F && kHigh[b - 0x80] != 0)
            c = kHigh[b - 0x80];
        d[i] = QChar(c);
    }
    return out;
}

QString DecodeUserText(const QByteArray& bytes) {
    // The decoder keeps the byte order mark so that only the file's own is taken
    // off below; a second U+FEFF is text.
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = FromWindows1252(bytes);
    else if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    // A DOS end-of-file mark (Ctrl-Z) ends the text; it is not part of it.
    if (text.endsWith(QChar(0x1A)))
        text.chop(1);
    return text;
}

TextFileRead ReadUserTextFile(const QString& path) {
    TextFileRead result;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        result.error = f.errorString();
        return result;
    }
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        result.error = f.errorString();
        return result;
    }
    result.text = DecodeUserText(bytes);
    result.ok = true;
    return result;
}

QString WriteUserTextFile(const QString& path, const QString& text) {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return f.errorString();
    const QByteArray bytes = text.toUtf8();
    if (f.write(bytes) != bytes.size()) {
        const QString why = f.errorString();
        f.cancelWriting();
        return why;
    }
    if (!f.commit())
        return f.errorString();
    return QString();
}

} // namespace corvantis::util
