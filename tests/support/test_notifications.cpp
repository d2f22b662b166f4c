#include "support/test_notifications.h"

#include <QStandardPaths>

namespace corvantis::testing {

TestNotifications::~TestNotifications() {
    QDBusConnection::disconnectFromBus(QStringLiteral("test-notifications"));
    // timeout(1) passes the terminate signal on to the daemon.
    if (m_daemon.state() != QProcess::NotRunning) {
        m_daemon.terminate();
        if (!m_daemon.waitForFinished(5000))
            m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }
}

bool TestNotifications::start() {
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty())
        return false;
    // The daemon prints its address, then stays until killed; timeout(1) bounds it.
    m_daemon.start(QStringLiteral("timeout"),
                   {QStringLiteral("120"), daemon, QStringLiteral("--session"),
                    QStringLiteral("--nofork"), QStringLiteral("--print-address")});
    if (!m_daemon.waitForStarted(5000))
        return false;
    for (int i = 0; i < 50 && !m_daemon.canReadLine(); ++i)
        m_daemon.waitForReadyRead(100);
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    if (m_address.isEmpty())
        return false;
    QDBusConnection bus =
        QDBusConnection::connectToBus(m_address, QStringLiteral("test-notifications"));
    return bus.isConnected() &&
           bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                              QDBusConnection::ExportAllSlots) &&
           bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
}

uint TestNotifications::Notify(const QString&, uint, const QString&, const QString& summary,
                               const QString& body, const QStringList&, const QVariantMap&, int) {
    received.append(summary + QLatin1Char('\n') + body);
    return uint(received.size());
}

} // namespace corvantis::testing
