#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

namespace corvantis::scan {

// Adds the certificate authorities of the PEM file named by CORVANTIS_TEST_CA_FILE
// to the ones every TLS connection of the process trusts, once; without the
// variable it does nothing. Tests use it to reach local servers whose
// certificates a local authority signed, without touching the system's store.
void UseTestCertificateAuthorities();

// The TLS sessions of the hosts a scan has talked to, as Qt keeps them (a
// QSslConfiguration session ticket), so that a new connection to one of them
// resumes its session instead of a whole handshake. Shared by the scan's fetchers
// on one thread; a key names the host and where its connections go.
class TlsSessions {
public:
    QByteArray ticket(const QString& key) const { return m_tickets.value(key); }
    void keep(const QString& key, const QByteArray& ticket) { m_tickets.insert(key, ticket); }
    void clear() { m_tickets.clear(); }

private:
    QHash<QString, QByteArray> m_tickets;
};

} // namespace corvantis::scan
