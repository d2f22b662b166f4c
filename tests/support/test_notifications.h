#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QVariantMap>

namespace corvantis::testing {

// A private D-Bus session bus for one test, with a stand-in of the desktop's
// notification service on it that keeps each notification's summary and body.
// The bus daemon is this process's child and ends with it (or after two minutes).
class TestNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    ~TestNotifications() override;
    // Starts the bus and offers the service; false when dbus-daemon is missing.
    bool start();
    QString address() const { return m_address; }
    QStringList received; // "summary\nbody", in order

public Q_SLOTS:
    uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints,
                int timeout);

private:
    QProcess m_daemon;
    QString m_address;
};

} // namespace corvantis::testing
