#pragma once

#include <QList>
#include <QObject>
#include <QTcpServer>
#include <QTimer>

namespace corvantis::testing {

// A TLS server in front of a plain one on 127.0.0.1: every connection's
// plaintext goes to the port given and back. All its connections share one
// OpenSSL context, as real servers do, so a client can resume its session on a
// new connection; the front tells which handshakes did. Runs on the caller's
// event loop; stops by itself after its lifetime (120 s unless given) and when
// destroyed.
class TlsFront : public QObject {
    Q_OBJECT
public:
    explicit TlsFront(QObject* parent = nullptr);
    ~TlsFront() override;

    // False when the certificate or key could not be read or no port opened.
    bool start(const QString& certificatePem, const QString& keyPem, quint16 targetPort,
               int lifetimeMs = 120000);
    void stop();
    quint16 port() const { return m_server.serverPort(); }

    // One entry per finished handshake, in order: whether it resumed a session.
    const QList<bool>& handshakes() const { return m_handshakes; }

private:
    friend class TlsPipe;
    void acceptPending();

    QTcpServer m_server;
    QTimer m_lifetime;
    void* m_context = nullptr; // SSL_CTX
    quint16 m_target = 0;
    QList<bool> m_handshakes;
};

} // namespace corvantis::testing
