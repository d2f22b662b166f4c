#include "util/settings_store.h"

#include "util/text_utils.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTimer>

namespace corvantis::util {

namespace {
const QString kGroup = QStringLiteral("Settings");
const QString kName = QStringLiteral("Corvantis");
// How long a write may wait in memory before it goes to the file.
constexpr int kFlushDelayMs = 1000;
} // namespace

SettingsStore::SettingsStore()
    : m_settings(new QSettings(QSettings::IniFormat, QSettings::UserScope, kName, kName)) {}

SettingsStore::~SettingsStore() {
    flush();
    m_settings->sync();
    delete m_settings;
}

SettingsStore& SettingsStore::instance() {
    static SettingsStore store;
    return store;
}

QString SettingsStore::read(const QString& key, const QString& defaultValue) const {
    const auto pending = m_pending.constFind(key);
    if (pending != m_pending.constEnd())
        return *pending;
    const QVariant v = m_settings->value(kGroup + QLatin1Char('/') + key);
    return v.isValid() ? v.toString() : defaultValue;
}

void SettingsStore::write(const QString& key, const QString& value) {
    m_pending.insert(key, value);
    if (m_flushScheduled)
        return;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        flush();
        return;
    }
    m_flushScheduled = true;
    QTimer::singleShot(kFlushDelayMs, app, [this] { flush(); });
}

void SettingsStore::flush() {
    m_flushScheduled = false;
    for (auto it = m_pending.constBegin(); it != m_pending.constEnd(); ++it)
        m_settings->setValue(kGroup + QLatin1Char('/') + it.key(), it.value());
    m_pending.clear();
}

void SettingsStore::sync() {
    flush();
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

bool ReadCheckSetting(const QString& key, bool byDefault) {
    const auto v = ToInt16(ReadSetting(key, byDefault ? QStringLiteral("1") : QStringLiteral("0")));
    return v && (*v == 0 || *v == 1) ? *v == 1 : byDefault;
}

int ReadPositionSetting(const QString& key, int byDefault, int count) {
    const auto v = ToInt16(ReadSetting(key, QString::number(byDefault)));
    return v && *v >= qMin(byDefault, 0) && *v < count ? *v : byDefault;
}

} // namespace corvantis::util
