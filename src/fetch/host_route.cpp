#include "fetch/host_route.h"

#include <optional>

namespace corvantis::scan {

namespace {
std::optional<quint16> Port(QStringView text) {
    bool ok = false;
    const uint port = text.toUInt(&ok);
    if (!ok || port == 0 || port > 65535)
        return std::nullopt;
    return quint16(port);
}
} // namespace

bool HostRouter::addSpec(const QString& spec) {
    // HOST[:PORT]:ADDR:PORT; ADDR may be a bracketed IPv6 address.
    const qsizetype first = spec.indexOf(QLatin1Char(':'));
    const qsizetype last = spec.lastIndexOf(QLatin1Char(':'));
    if (first <= 0 || last <= first + 1)
        return false;
    const std::optional<quint16> port = Port(QStringView(spec).mid(last + 1));
    if (!port)
        return false;
    quint16 hostPort = 80;
    qsizetype addressStart = first + 1;
    const qsizetype second = spec.indexOf(QLatin1Char(':'), first + 1);
    if (second > first + 1 && second < last) {
        if (const std::optional<quint16> p =
                Port(QStringView(spec).mid(first + 1, second - first - 1))) {
            hostPort = *p;
            addressStart = second + 1;
        }
    }
    QString address = spec.mid(addressStart, last - addressStart);
    if (address.startsWith(QLatin1Char('[')) && address.endsWith(QLatin1Char(']')))
        address = address.mid(1, address.size() - 2);
    if (address.isEmpty())
        return false;
    add(spec.left(first), hostPort, address, *port);
    return true;
}

} // namespace corvantis::scan
