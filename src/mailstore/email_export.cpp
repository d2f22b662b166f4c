#include "mailstore/email_export.h"

namespace corvantis::mailstore {

QString ExportDelimiter(OutputType type, bool spaceBetween) {
    switch (type) {
    case OutputType::Tab:
        return QStringLiteral("\t");
    case OutputType::LineFeed:
        return QStringLiteral("\r\n");
    case OutputType::NoChoice:
    case OutputType::Semicolon:
        break;
    }
    return spaceBetween ? QStringLiteral("; ") : QStringLiteral(";");
}

QString BuildExportText(const QStringList& emails, const QString& delimiter) {
    QString text;
    qsizetype size = 2;
    for (const QString& email : emails)
        size += email.size() + delimiter.size();
    text.reserve(size);
    for (const QString& email : emails) {
        text += email;
        text += delimiter;
    }
    text += QStringLiteral("\r\n");
    return text;
}

} // namespace corvantis::mailstore
