#include "util/file_utils.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace corvantis::util {

QString CopyFileSafely(const QString& source, const QString& destination) {
    QFile in(source);
    if (!QFileInfo(source).isFile())
        return QStringLiteral("No such file: ") + source;
    if (!in.open(QIODevice::ReadOnly))
        return in.errorString();
    QSaveFile out(destination);
    if (!out.open(QIODevice::WriteOnly))
        return out.errorString();
    while (!in.atEnd()) {
        const QByteArray block = in.read(64 * 1024);
        if (in.error() != QFileDevice::NoError) {
            out.cancelWriting();
            return in.errorString();
        }
        if (out.write(block) != block.size()) {
            const QString why = out.errorString();
            out.cancelWriting();
            return why;
        }
    }
    if (!out.commit())
        return out.errorString();
    return QString();
}

void CopyFileQuiet(const QString& source, const QString& destination) {
    (void)CopyFileSafely(source, destination);
}

bool FileExists(const QString& path) {
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && info.isFile() && !info.isHidden();
}

QString FileNameFromPath(const QString& path) {
    const qsizetype cut =
        std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return path.mid(cut + 1);
}

} // namespace corvantis::util
