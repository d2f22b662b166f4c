#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <QObject>
#include <QTcpServer>
#include <QTimer>

namespace corvantis::testing {

// A mail server inside the test process, on 127.0.0.1 and a port the system
// picks: it speaks enough SMTP (EHLO, AUTH PLAIN, MAIL, RCPT, DATA, QUIT) to take
// a message, offers a login but never STARTTLS, and keeps what it received. It
// stops by itself after two minutes and when destroyed.
class TestSmtpServer : public QObject {
    Q_OBJECT
public:
    struct Mail {
        QByteArray from;   // MAIL FROM's address
        QByteArrayList to; // each RCPT TO's address
        QByteArray data;   // the message as sent, CRLF lines, without the final dot
    };

    explicit TestSmtpServer(QObject* parent = nullptr);
    bool start();
    quint16 port() const { return m_server.serverPort(); }
    const QList<Mail>& mails() const { return m_mails; }
    // The credentials of each login, as sent (base64 of "\0user\0password").
    const QByteArrayList& logins() const { return m_logins; }
    void clear() { m_mails.clear(); }

private:
    void accept();

    QTcpServer m_server;
    QTimer m_lifetime;
    QList<Mail> m_mails;
    QByteArrayList m_logins;
};

} // namespace corvantis::testing
