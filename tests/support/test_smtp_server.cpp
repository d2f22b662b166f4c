#include "support/test_smtp_server.h"

#include <QTcpSocket>

namespace corvantis::testing {

TestSmtpServer::TestSmtpServer(QObject* parent) : QObject(parent) {
    m_lifetime.setSingleShot(true);
    connect(&m_lifetime, &QTimer::timeout, &m_server, &QTcpServer::close);
    connect(&m_server, &QTcpServer::newConnection, this, &TestSmtpServer::accept);
}

bool TestSmtpServer::start() {
    m_lifetime.start(120000);
    return m_server.listen(QHostAddress(QHostAddress::LocalHost), 0);
}

void TestSmtpServer::accept() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        connect(&m_lifetime, &QTimer::timeout, socket, &QTcpSocket::abort);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        // The mail being taken, and whether its data is coming in.
        auto mail = std::make_shared<Mail>();
        auto inData = std::make_shared<bool>(false);
        auto inLogin = std::make_shared<bool>(false);
        socket->write("220 localhost test SMTP\r\n");
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, mail, inData, inLogin] {
            while (socket->canReadLine()) {
                const QByteArray line = socket->readLine();
                if (*inData) {
                    if (line == ".\r\n") {
                        *inData = false;
                        m_mails.append(*mail);
                        socket->write("250 taken\r\n");
                    } else {
                        // A leading dot was doubled by the sender.
                        mail->data += line.startsWith("..") ? line.mid(1) : line;
                    }
                    continue;
                }
                if (*inLogin) {
                    *inLogin = false;
                    m_logins.append(line.trimmed());
                    socket->write("235 welcome\r\n");
                    continue;
                }
                const QByteArray verb = line.left(4).toUpper();
                const auto address = [&line] {
                    return line.mid(line.indexOf('<') + 1,
                                    line.indexOf('>') - line.indexOf('<') - 1);
                };
                if (verb == "EHLO") {
                    socket->write("250-localhost\r\n250-AUTH PLAIN\r\n250 8BITMIME\r\n");
                } else if (verb == "AUTH") {
                    const QByteArray initial = line.trimmed().mid(11); // "AUTH PLAIN "
                    if (initial.isEmpty()) {
                        *inLogin = true;
                        socket->write("334 \r\n");
                    } else {
                        m_logins.append(initial);
                        socket->write("235 welcome\r\n");
                    }
                } else if (verb == "MAIL") {
                    *mail = Mail{address(), {}, {}};
                    socket->write("250 ok\r\n");
                } else if (verb == "RCPT") {
                    mail->to.append(address());
                    socket->write("250 ok\r\n");
                } else if (verb == "DATA") {
                    *inData = true;
                    socket->write("354 go on\r\n");
                } else if (verb == "QUIT") {
                    socket->write("221 bye\r\n");
                    socket->disconnectFromHost();
                } else {
                    socket->write("250 ok\r\n");
                }
            }
        });
    }
}

} // namespace corvantis::testing
