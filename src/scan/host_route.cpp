#include "scan/host_route.h"

#include <QStringList>

namespace corvantis::scan {

bool HostRouter::addSpec(const QString& spec) {
    // HOST:ADDR:PORT; ADDR may be a bracketed IPv6 address.
    const qsizetype first = spec.indexOf(QLatin1Char(':'));
    const qsizetype last = spec.lastIndexOf(QLatin1Char(':'));
    if (first <= 0 || last <= first + 1)
        return false;
    bool ok = false;
    const uint port = spec.mid(last + 1).toUInt(&ok);
    if (!ok || port == 0 || port > 65535)
        return false;
    QString address = spec.mid(first + 1, last - first - 1);
    if (address.startsWith(QLatin1Char('[')) && address.endsWith(QLatin1Char(']')))
        address = address.mid(1, address.size() - 2);
    add(spec.left(first), address, quint16(port));
    return true;
}

} // namespace corvantis::scan
