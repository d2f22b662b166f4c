#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTcpServer>
#include <QTimer>

namespace corvantis::testing {

// A mail server inside the test process, on 127.0.0.1 and a port the system
// picks: it speaks enough SMTP (EHLO, MAIL, RCPT, DATA, QUIT) to take a message,
// offers neither STARTTLS nor a login, and keeps what it received. It stops by
// itself after two minutes and when destroyed.
class TestSmtpServer : public QObject {
    Q_OBJECT
public:
    struct Mail {
        QByteArray from; // MAIL FROM's address
        QByteArray to;   // RCPT TO's address
        QByteArray data; // the message as sent, CRLF lines, without the final dot
    };

    explicit TestSmtpServer(QObject* parent = nullptr);
    bool start();
    quint16 port() const { return m_server.serverPort(); }
    const QList<Mail>& mails() const { return m_mails; }
    void clear() { m_mails.clear(); }

private:
    void accept();

    QTcpServer m_server;
    QTimer m_lifetime;
    QList<Mail> m_mails;
};

} // namespace corvantis::testing
