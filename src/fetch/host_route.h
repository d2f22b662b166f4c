#pragma once

#include <QHash>
#include <QPair>
#include <QString>
#include <QStringList>

namespace corvantis::scan {

// Where a host's connections go. Without an entry a host is reached by its own
// name on the port asked for (80, or 443 for a site on https); an entry sends
// one port of a host to another address and port (tests, the command-line
// scanner's --connect-to).
struct Route {
    QString address;
    quint16 port = 80;
};

class HostRouter {
public:
    // Port 80 of the host.
    void add(const QString& host, const QString& address, quint16 port) {
        add(host, 80, address, port);
    }
    void add(const QString& host, quint16 hostPort, const QString& address, quint16 port) {
        m_routes.insert({host.toLower(), hostPort}, Route{address, port});
    }
    // Accepts "HOST:ADDR:PORT" (port 80 of the host) and curl's
    // "HOST:PORT:ADDR:PORT"; returns false when the text is of neither form.
    bool addSpec(const QString& spec);
    Route route(const QString& host, quint16 port = 80) const {
        const auto it = m_routes.constFind({host.toLower(), port});
        return it != m_routes.constEnd() ? *it : Route{host, port};
    }
    bool isEmpty() const { return m_routes.isEmpty(); }
    const QHash<QPair<QString, quint16>, Route>& routes() const { return m_routes; }
    // Every route as addSpec takes it: "HOST:PORT:ADDR:PORT".
    QStringList specs() const {
        QStringList out;
        for (auto it = m_routes.cbegin(); it != m_routes.cend(); ++it)
            out << QStringLiteral("%1:%2:%3:%4")
                       .arg(it.key().first)
                       .arg(it.key().second)
                       .arg(it->address)
                       .arg(it->port);
        return out;
    }

private:
    QHash<QPair<QString, quint16>, Route> m_routes;
};

} // namespace corvantis::scan
