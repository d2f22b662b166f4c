#pragma once

// Fuzz body for the help file's RTF reader. Input: the file's bytes.

#include "fuzz_support.h"
#include "ui/rtf/rtf_reader.h"

#include <QTextDocument>

namespace corvantis::fuzz {

inline int RtfReaderOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    QTextDocument document;
    corvantis::ui::ReadRtf(input, &document);
    const QString text = document.toRawText();

    // Every character shown, paragraph ends included, comes from at least one byte.
    FUZZ_CHECK(text.size() <= input.size(), Latin1(data, size), text);

    // Nothing unprintable reaches the window, and no half of a surrogate pair.
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        const bool control = (c < 0x20 && c != u'\t') || (c >= 0x7F && c < 0xA0);
        FUZZ_CHECK(!control, Latin1(data, size), text);
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else
            FUZZ_CHECK(!QChar::isSurrogate(c), Latin1(data, size), text);
    }

    // Plain printable text without RTF's three special characters is shown as
    // it is, line ends aside.
    bool plain = true;
    QString expected;
    for (const char b : input) {
        if (b == '\r' || b == '\n')
            continue;
        if (b < 0x20 || b > 0x7E || b == '\\' || b == '{' || b == '}') {
            plain = false;
            break;
        }
        expected += QLatin1Char(b);
    }
    if (plain)
        FUZZ_CHECK(text == expected, expected, text);
    return 0;
}

} // namespace corvantis::fuzz
