#include "util/file_utils.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace corvantis::util {

void CopyFileQuiet(const QString& source, const QString& destination) {
    QFile in(source);
    if (!QFileInfo(source).isFile() || !in.open(QIODevice::ReadOnly))
        return;
    // The destination is replaced only once the copy is whole.
    QSaveFile out(destination);
    if (!out.open(QIODevice::WriteOnly))
        return;
    while (!in.atEnd()) {
        const QByteArray block = in.read(64 * 1024);
        if (block.isEmpty() || out.write(block) != block.size()) {
            out.cancelWriting();
            return;
        }
    }
    out.commit();
}

bool FileExists(const QString& path) {
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && info.isFile() && !info.isHidden();
}

QString FileNameFromPath(const QString& path) {
    const qsizetype cut = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return path.mid(cut + 1);
}

} // namespace corvantis::util
