#include "support/test_tls_front.h"

#include <QTcpSocket>

#include <openssl/err.h>
#include <openssl/ssl.h>

namespace corvantis::testing {

// One client connection: TLS through memory buffers on one side, the plain
// server's connection on the other.
class TlsPipe : public QObject {
public:
    TlsPipe(TlsFront* front, QTcpSocket* client)
        : QObject(front), m_front(front), m_client(client),
          m_ssl(SSL_new(static_cast<SSL_CTX*>(front->m_context))) {
        m_client->setParent(this);
        m_in = BIO_new(BIO_s_mem());
        m_out = BIO_new(BIO_s_mem());
        SSL_set_bio(m_ssl, m_in, m_out); // the SSL owns both from here
        SSL_set_accept_state(m_ssl);
        m_upstream.connectToHost(QHostAddress(QHostAddress::LocalHost), front->m_target);
        connect(m_client, &QTcpSocket::readyRead, this, &TlsPipe::fromClient);
        connect(&m_upstream, &QTcpSocket::readyRead, this, &TlsPipe::fromServer);
        connect(&m_upstream, &QTcpSocket::disconnected, this, [this] {
            fromServer();
            SSL_shutdown(m_ssl);
            flush();
            m_client->disconnectFromHost();
        });
        connect(m_client, &QTcpSocket::disconnected, this, &TlsPipe::drop);
        if (m_client->bytesAvailable() > 0)
            fromClient();
    }
    ~TlsPipe() override { SSL_free(m_ssl); }

    void drop() {
        m_client->disconnect(this);
        m_upstream.disconnect(this);
        m_client->abort();
        m_upstream.abort();
        deleteLater();
    }

private:
    void fromClient() {
        const QByteArray data = m_client->readAll();
        BIO_write(m_in, data.constData(), int(data.size()));
        if (!SSL_is_init_finished(m_ssl)) {
            const int done = SSL_do_handshake(m_ssl);
            flush();
            if (done != 1) {
                const int error = SSL_get_error(m_ssl, done);
                ERR_clear_error();
                if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE)
                    drop();
                return;
            }
            m_front->m_handshakes.append(SSL_session_reused(m_ssl) == 1);
            fromServer(); // what the server said before the handshake ended
        }
        char buffer[16384];
        int n = 0;
        while ((n = SSL_read(m_ssl, buffer, sizeof buffer)) > 0)
            m_upstream.write(buffer, n);
        ERR_clear_error();
        flush();
    }

    void fromServer() {
        if (!SSL_is_init_finished(m_ssl))
            return;
        const QByteArray data = m_upstream.readAll();
        if (!data.isEmpty())
            SSL_write(m_ssl, data.constData(), int(data.size()));
        flush();
    }

    // What TLS has to send goes to the client.
    void flush() {
        char buffer[16384];
        int n = 0;
        while ((n = BIO_read(m_out, buffer, sizeof buffer)) > 0)
            m_client->write(buffer, n);
    }

    TlsFront* m_front;
    QTcpSocket* m_client;
    QTcpSocket m_upstream;
    SSL* m_ssl;
    BIO* m_in = nullptr;
    BIO* m_out = nullptr;
};

TlsFront::TlsFront(QObject* parent) : QObject(parent) {
    m_lifetime.setSingleShot(true);
    connect(&m_lifetime, &QTimer::timeout, this, &TlsFront::stop);
    connect(&m_server, &QTcpServer::newConnection, this, &TlsFront::acceptPending);
}

TlsFront::~TlsFront() {
    stop();
    SSL_CTX_free(static_cast<SSL_CTX*>(m_context));
}

bool TlsFront::start(const QString& certificatePem, const QString& keyPem, quint16 targetPort,
                     int lifetimeMs) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    m_context = ctx;
    if (!ctx ||
        SSL_CTX_use_certificate_chain_file(ctx, certificatePem.toLocal8Bit().constData()) != 1 ||
        SSL_CTX_use_PrivateKey_file(ctx, keyPem.toLocal8Bit().constData(), SSL_FILETYPE_PEM) != 1)
        return false;
    m_target = targetPort;
    if (!m_server.listen(QHostAddress(QHostAddress::LocalHost), 0))
        return false;
    m_lifetime.start(lifetimeMs);
    return true;
}

void TlsFront::stop() {
    m_lifetime.stop();
    m_server.close();
    for (TlsPipe* pipe : findChildren<TlsPipe*>(Qt::FindDirectChildrenOnly))
        pipe->drop();
}

void TlsFront::acceptPending() {
    while (QTcpSocket* socket = m_server.nextPendingConnection())
        new TlsPipe(this, socket);
}

} // namespace corvantis::testing
