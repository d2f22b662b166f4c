#pragma once

#include <QString>
#include <QStringView>

namespace corvantis::scan {

// Where a text stands decides one rule: in an attribute value, a named reference
// without its ";" that is followed by "=" or a letter or digit stays as written
// ("?a=1&copy=2" keeps "&copy").
enum class ReferenceContext { Text, Attribute };

// The text with its character references decoded as HTML's parser decodes them:
// named ones by the longest name that matches (legacy names need no ";"), numeric
// ones in decimal or hex. What is not a reference stays as written. Linear in the
// text's length; a text without "&" is returned as it is.
QString DecodeCharacterReferences(QStringView text, ReferenceContext context);

} // namespace corvantis::scan
