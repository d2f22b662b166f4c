#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace corvantis::scan {

// The encoding of a page, by the browser's order: a byte-order mark; the charset
// of the Content-Type header; a <meta charset> or <meta http-equiv="Content-Type">
// in the page's first 1024 bytes; else windows-1252. Its canonical name ("UTF-8",
// "windows-1252", "UTF-16LE", "Shift_JIS", ...). A label no browser knows, or one
// for an encoding this Qt cannot decode, is passed over like a missing one.
// headerBlock is the response's header lines as received (may be empty); of
// several Content-Type headers the last counts, as in a browser.
QByteArray PageEncoding(QByteArrayView page, QStringView headerBlock);

// The page's text in that encoding (a byte-order mark is not part of it). Bytes
// that are not valid in the encoding become U+FFFD. Linear in the page's length.
QString DecodePage(QByteArrayView page, QStringView headerBlock);

// The character a byte stands for in windows-1252; the bytes it leaves
// unassigned keep their own code point.
char16_t Windows1252Char(unsigned char byte);

} // namespace corvantis::scan
