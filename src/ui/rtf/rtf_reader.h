#pragma once

#include <QByteArray>

class QTextDocument;

namespace corvantis::ui {

// Groups nested deeper than this are read but not shown, so hostile nesting
// costs neither stack nor memory.
inline constexpr int kRtfMaxGroupDepth = 256;

// Reads the part of Rich Text Format a help file uses into the document,
// replacing what it held: paragraphs, line breaks, bold, italic, underline,
// font sizes, centred and right-aligned paragraphs, \'hh (Windows-1252) and \uN
// characters. Font, colour and style tables, pictures and every other
// destination are skipped. Bad input shows whatever text could be read; the
// result is false when the text was not whole (no "{\rtf" start, unbalanced
// braces, or nesting beyond kRtfMaxGroupDepth).
bool ReadRtf(const QByteArray& rtf, QTextDocument* document);

} // namespace corvantis::ui
