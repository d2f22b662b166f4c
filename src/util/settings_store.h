#pragma once

#include <QString>

class QSettings;

namespace corvantis::util {

// The per-user option store: INI file in the user's configuration folder,
// organisation and application "Corvantis", group "Settings". Values are texts.
// One QSettings object serves the whole program, so writes are cheap (they go
// to memory and reach the disk on the next sync).
class SettingsStore {
public:
    static SettingsStore& instance();

    QString read(const QString& key, const QString& defaultValue) const;
    void write(const QString& key, const QString& value);
    // Flushes pending writes to disk; the program calls it before exiting.
    void sync();
    QString fileName() const;

private:
    SettingsStore();
    ~SettingsStore();
    QSettings* m_settings;
};

QString ReadSetting(const QString& key, const QString& defaultValue);
void WriteSetting(const QString& key, const QString& value);

} // namespace corvantis::util
