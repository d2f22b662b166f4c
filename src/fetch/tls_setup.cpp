#include "fetch/tls_setup.h"

#include <QSslCertificate>
#include <QSslConfiguration>
#include <QString>

#include <mutex>

namespace corvantis::scan {

void UseTestCertificateAuthorities() {
    static std::once_flag once;
    std::call_once(once, [] {
        const QString path = qEnvironmentVariable("CORVANTIS_TEST_CA_FILE");
        if (path.isEmpty())
            return;
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        config.addCaCertificates(QSslCertificate::fromPath(path, QSsl::Pem));
        QSslConfiguration::setDefaultConfiguration(config);
    });
}

} // namespace corvantis::scan
