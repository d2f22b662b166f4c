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

QByteArray FromQuotedPrintable(QByteArray text) {
    text.replace("=\r\n", "");
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool escape = text[i] == '=' && i + 2 < text.size();
        out += escape ? QByteArray::fromHex(text.mid(i + 1, 2)) : text.mid(i, 1);
        i += escape ? 2 : 0;
    }
    return out;
}

} // namespace corvantis::testing
