#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>

namespace corvantis::util {

// Containment and replacement in the two comparison rules the program uses:
// case-insensitive for containment and prefix tests, exact for computed texts.
// The case-insensitive ones mean exactly what Qt::CaseInsensitive means, and are
// quick on the single-byte texts of pages: they run over every page a scan reads.
qsizetype IndexOfCI(QStringView text, QStringView part, qsizetype from = 0);
bool ContainsCI(QStringView text, QStringView part);
bool StartsWithCI(QStringView text, QStringView prefix);
bool EqualsCI(QStringView a, QStringView b);
QString ReplaceAllCI(const QString& text, QStringView before, QStringView after);
QString ReplaceAll(QString text, const QString& before, const QString& after);

// The text without the spaces at its start and end (other white space stays).
QString TrimSpaces(const QString& text);

// The text with every "http://" and then every "https://" taken out, letter case
// ignored: how typed and stored addresses lose their scheme.
QString StripSchemes(QString text);

// Case folding of one UTF-16 unit, as Qt's case-insensitive comparison applies
// it to every unit outside a surrogate pair; the first 256 codes from a table.
// A surrogate folds to itself here, so a needle without surrogates never
// matches across one.
namespace detail {
extern const std::array<char16_t, 256> kFoldTable;
}
inline char16_t FoldUnit(char16_t c) {
    return c < 256 ? detail::kFoldTable[c] : char16_t(QChar::toCaseFolded(char32_t(c)));
}
bool HasSurrogate(QStringView text);

// Case-insensitive equality of a text with a lower-case ASCII text of the same
// length, as Qt::CaseInsensitive compares: quick for the short tests made per link.
bool EqualsLowerAsciiCI(QStringView text, QStringView lower);

// A text folded once for many case-insensitive searches in it (a page searched
// for several markers, or for every "href="). Single-byte texts, which every
// page is, are kept and searched as bytes. The text must outlive it.
class CaseFoldedText {
public:
    explicit CaseFoldedText(QStringView text);
    // As IndexOfCI on the original text.
    qsizetype indexOf(QStringView part, qsizetype from = 0) const;
    bool contains(QStringView part) const { return indexOf(part) >= 0; }
    // True when the part stands at pos, letter case ignored.
    bool matchesAt(QStringView part, qsizetype pos) const;

private:
    QStringView m_text;
    bool m_bytesMode = true;
    QByteArray m_bytes; // folded, when every character fits one byte
    QString m_folded;   // folded, otherwise
};

// A decimal number with "0" in front until it is at least three characters (7 -> "007").
QString ZeroFilled(qint64 number);

// Decimal conversion with range checks; surrounding spaces are allowed, anything
// else that is not a plain signed decimal number gives no value.
std::optional<qint16> ToInt16(const QString& text);
std::optional<qint32> ToInt32(const QString& text);

// True when the text is empty or a single space: the program's "left empty" test.
bool IsBlank(const QString& text);

// Joins lines with CR LF and ends with one CR LF: the line form of every file the user keeps.
QString JoinCrLf(const QStringList& lines);

} // namespace corvantis::util
