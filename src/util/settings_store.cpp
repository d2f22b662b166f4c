#include "util/settings_store.h"

#include <QSettings>

namespace corvantis::util {

namespace {
const QString kGroup = QStringLiteral("Settings");
const QString kName = QStringLiteral("Corvantis");
} // namespace

SettingsStore::SettingsStore()
    : m_settings(new QSettings(QSettings::IniFormat, QSettings::UserScope, kName, kName)) {}

SettingsStore::~SettingsStore() {
    m_settings->sync();
    delete m_settings;
}

SettingsStore& SettingsStore::instance() {
    static SettingsStore store;
    return store;
}

QString SettingsStore::read(const QString& key, const QString& defaultValue) const {
    const QVariant v = m_settings->value(kGroup + QLatin1Char('/') + key);
    return v.isValid() ? v.toString() : defaultValue;
}

void SettingsStore::write(const QString& key, const QString& value) {
    m_settings->setValue(kGroup + QLatin1Char('/') + key, value);
}

void SettingsStore::sync() {
    m_settings->sync();
}

QString SettingsStore::fileName() const {
    return m_settings->fileName();
}

QString ReadSetting(const QString& key, const QString& defaultValue) {
    return SettingsStore::instance().read(key, defaultValue);
}

void WriteSetting(const QString& key, const QString& value) {
    SettingsStore::instance().write(key, value);
}

} // namespace corvantis::util
