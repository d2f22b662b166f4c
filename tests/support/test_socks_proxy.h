#pragma once

#include <QByteArrayList>
#include <QObject>
#include <QTcpServer>
#include <QTimer>

namespace corvantis::testing {

// A SOCKS5 proxy inside the test process, on 127.0.0.1 and a port the system
// picks, that sends every connection to one port of 127.0.0.1 whatever host it
// names: with socks5h:// a client's host name reaches a local server without a
// name lookup. Keeps the hosts asked for; stops by itself after two minutes and
// when destroyed.
class TestSocksProxy : public QObject {
    Q_OBJECT
public:
    explicit TestSocksProxy(quint16 targetPort, QObject* parent = nullptr);
    bool start();
    quint16 port() const { return m_server.serverPort(); }
    const QByteArrayList& hostsAsked() const { return m_hosts; }

private:
    void accept();

    QTcpServer m_server;
    QTimer m_lifetime;
    quint16 m_target;
    QByteArrayList m_hosts;
};

} // namespace corvantis::testing
