#pragma once

#include <QHash>
#include <QString>

namespace corvantis::scan {

// Where a host's connections go. Without an entry a host is reached by its own
// name on port 80; an entry sends it to another address and port (tests, the
// command-line scanner's --connect-to).
struct Route {
    QString address;
    quint16 port = 80;
};

class HostRouter {
public:
    void add(const QString& host, const QString& address, quint16 port) {
        m_routes.insert(host.toLower(), Route{address, port});
    }
    // Accepts "HOST:ADDR:PORT"; returns false when the text is not of that form.
    bool addSpec(const QString& spec);
    Route route(const QString& host) const {
        const auto it = m_routes.constFind(host.toLower());
        return it != m_routes.constEnd() ? *it : Route{host, 80};
    }
    bool isEmpty() const { return m_routes.isEmpty(); }

private:
    QHash<QString, Route> m_routes;
};

} // namespace corvantis::scan
