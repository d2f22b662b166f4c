#include "schedule/project_check.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

namespace corvantis::schedule {

QString ProjectPath(const QString& projectFile) {
    QString path = QFileInfo(projectFile).absoluteFilePath();
    // Links to links are followed as far as the system itself would go.
    for (int i = 0; i < 40 && QFileInfo(path).isSymLink(); ++i)
        path = QFileInfo(path).symLinkTarget();
    const QFileInfo info(path);
    const QString folder = info.dir().canonicalPath(); // empty when the folder is gone
    return folder.isEmpty() ? QDir::cleanPath(path) : QDir(folder).filePath(info.fileName());
}

QString UnitBaseName(const QString& projectFile) {
    const QFileInfo info(ProjectPath(projectFile));
    QString name = info.completeBaseName().left(64);
    for (QChar& c : name)
        if (c.unicode() >= 128 || !(c.isLetterOrNumber() || c == u'_' || c == u'-'))
            c = u'-';
    if (name.isEmpty())
        name = QStringLiteral("project");
    const QByteArray hash =
        QCryptographicHash::hash(info.absoluteFilePath().toUtf8(), QCryptographicHash::Sha256);
    return QStringLiteral("corvantis-") + name + u'-' + QString::fromLatin1(hash.toHex().left(8));
}

ScheduledCheck CheckOfProject(const QString& projectFile, const Schedule& when,
                              const QString& scanProgram, const QStringList& arguments) {
    QStringList environment;
    // The service starts in another folder: a relative one would be another folder there.
    if (const QString home = qEnvironmentVariable("CORVANTIS_HOME"); !home.isEmpty())
        environment << QStringLiteral("CORVANTIS_HOME=") +
                           QDir::cleanPath(QDir(home).absolutePath());
    return ScheduledCheck{ProjectPath(projectFile), when, scanProgram, arguments, environment};
}

} // namespace corvantis::schedule
