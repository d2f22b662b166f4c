#include "support/test_env.h"

#include "util/settings_store.h"

#include <QDir>
#include <QFile>
#include <QSettings>

namespace corvantis::testing {

void ClearSettingsStore() {
    util::SettingsStore::instance().sync();
    QSettings file(util::SettingsStore::instance().fileName(), QSettings::IniFormat);
    file.clear();
    file.sync();
    util::SettingsStore::instance().sync();
}

TestEnvironment::TestEnvironment() {
    const QString config = m_dir.path() + QStringLiteral("/config");
    const QString home = m_dir.path() + QStringLiteral("/app");
    QDir().mkpath(config);
    qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
    qputenv("CORVANTIS_HOME", home.toLocal8Bit());
}

QByteArray ReadBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace corvantis::testing
