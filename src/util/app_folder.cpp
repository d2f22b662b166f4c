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

void CopyAssetsInto(const QString& folder) {
    const QString root = QStringLiteral(":/assets");
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = folder + source.mid(root.size());
        if (QFile::exists(target))
            continue;
        QDir().mkpath(QFileInfo(target).absolutePath());
        if (QFile::copy(source, target))
            QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                              QFile::ReadOther);
    }
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
