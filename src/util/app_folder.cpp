#include "util/app_folder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QStandardPaths>

namespace corvantis::util {

namespace {
QString& CachedFolder() {
    static QString folder;
    return folder;
}

// Each shipped file is copied in once: the list of those already given is kept in
// the folder, so a file the user removed later (the help file, say) stays removed,
// while a file a newer version ships arrives, and nothing the user has is replaced.
void CopyAssetsInto(const QString& folder) {
    const QString root = QStringLiteral(":/assets");
    QFile record(folder + QStringLiteral("/.shipped"));
    QStringList given;
    if (record.open(QIODevice::ReadOnly))
        given = QString::fromUtf8(record.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    record.close();
    const qsizetype before = given.size();
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString name = source.mid(root.size() + 1);
        const QString target = folder + QLatin1Char('/') + name;
        if (given.contains(name))
            continue;
        given.append(name);
        if (QFile::exists(target))
            continue;
        QDir().mkpath(QFileInfo(target).absolutePath());
        if (QFile::copy(source, target))
            QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                              QFile::ReadOther);
    }
    if (given.size() != before && record.open(QIODevice::WriteOnly | QIODevice::Truncate))
        record.write(given.join(QLatin1Char('\n')).toUtf8() + '\n');
    QDir(folder).mkpath(QStringLiteral("Project Files"));
}
} // namespace

QString AppFolder() {
    QString& folder = CachedFolder();
    if (!folder.isEmpty())
        return folder;
    QString chosen = qEnvironmentVariable("CORVANTIS_HOME");
    if (chosen.isEmpty())
        chosen = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    chosen = QDir::cleanPath(QDir(chosen).absolutePath());
    QDir().mkpath(chosen);
    CopyAssetsInto(chosen);
    folder = chosen;
    return folder;
}

QString AppFilePath(const QString& relative) {
    return AppFolder() + QLatin1Char('/') + relative;
}

void ResetAppFolderForTests() {
    CachedFolder().clear();
}

} // namespace corvantis::util
