#pragma once

#include <QHash>
#include <QString>

class QSettings;

namespace corvantis::util {

// The per-user option store: INI file in the user's configuration folder,
// organisation and application "Corvantis", group "Settings". Values are texts.
// One QSettings object serves the whole program. Writes are cheap: they are
// held in memory and handed to the file at most about once a second (the scan
// counts every page), and sync() hands over whatever is still held.
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
    void flush();

    QSettings* m_settings;
    QHash<QString, QString> m_pending; // written but not yet handed to m_settings
    bool m_flushScheduled = false;
};

QString ReadSetting(const QString& key, const QString& defaultValue);
void WriteSetting(const QString& key, const QString& value);

// Options as a hand-edited store may hold them, read by one rule for the window
// and the command-line scanner: a value that is not valid for its key gives the
// key's default.
// A check box: "1" ticked, "0" clear.
bool ReadCheckSetting(const QString& key, bool byDefault);
// A list position from 0 to count - 1, or the "nothing chosen" -1 when that is the default.
int ReadPositionSetting(const QString& key, int byDefault, int count);

} // namespace corvantis::util
