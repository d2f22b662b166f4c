#include "support/test_socks_proxy.h"

#include <QTcpSocket>

#include <memory>

namespace corvantis::testing {

TestSocksProxy::TestSocksProxy(quint16 targetPort, QObject* parent)
    : QObject(parent), m_target(targetPort) {
    m_lifetime.setSingleShot(true);
    connect(&m_lifetime, &QTimer::timeout, &m_server, &QTcpServer::close);
    connect(&m_server, &QTcpServer::newConnection, this, &TestSocksProxy::accept);
}

bool TestSocksProxy::start() {
    m_lifetime.start(120000);
    return m_server.listen(QHostAddress(QHostAddress::LocalHost), 0);
}

void TestSocksProxy::accept() {
    while (QTcpSocket* client = m_server.nextPendingConnection()) {
        client->setParent(this);
        auto* target = new QTcpSocket(client);
        for (QTcpSocket* s : {client, target})
            connect(&m_lifetime, &QTimer::timeout, s, &QTcpSocket::abort);
        connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
        connect(target, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
        connect(target, &QTcpSocket::readyRead, client,
                [client, target] { client->write(target->readAll()); });
        // The greeting, then the request, then bytes both ways.
        auto stage = std::make_shared<int>(0);
        auto buffer = std::make_shared<QByteArray>();
        connect(client, &QTcpSocket::readyRead, this, [this, client, target, stage, buffer] {
            *buffer += client->readAll();
            if (*stage == 2) {
                target->write(*buffer);
                buffer->clear();
                return;
            }
            const QByteArray& b = *buffer;
            if (*stage == 0 && b.size() >= 2 && b.size() >= 2 + uchar(b[1])) {
                buffer->remove(0, 2 + uchar(b[1]));
                client->write(QByteArray("\x05\x00", 2)); // no authentication
                *stage = 1;
            }
            if (*stage != 1 || b.size() < 5)
                return;
            // VER CMD RSV ATYP ADDR PORT; ATYP 1 IPv4, 3 a name, 4 IPv6.
            const int type = uchar(b[3]);
            const int length = type == 1 ? 4 : type == 4 ? 16 : uchar(b[4]) + 1;
            if (b.size() < 4 + length + 2)
                return;
            m_hosts.append(type == 3 ? b.mid(5, length - 1) : b.mid(4, length).toHex());
            buffer->clear(); // the client waits for the answer before it sends more
            *stage = 2;
            connect(target, &QTcpSocket::connected, client, [client] {
                client->write(QByteArray("\x05\x00\x00\x01\x00\x00\x00\x00\x00\x00", 10));
            });
            connect(target, &QTcpSocket::errorOccurred, client, &QTcpSocket::abort);
            target->connectToHost(QHostAddress(QHostAddress::LocalHost), m_target);
        });
    }
}

} // namespace corvantis::testing
