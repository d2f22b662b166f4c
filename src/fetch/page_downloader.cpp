#include "fetch/page_downloader.h"

#include "fetch/tls_setup.h"
#include "page/http_response.h"
#include "util/text_utils.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace corvantis::scan {

namespace {
constexpr int kMaxRedirects = 10;

// The reply's status line and fields as they would stand on the wire, so the
// page is judged by the same rules as one the scan fetched itself.
QString HeaderBlock(const QNetworkReply& reply) {
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return QString();
    QByteArray block = "HTTP/1.1 " + QByteArray::number(status.toInt()) + ' ' +
                       reply.attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray() +
                       "\r\n";
    for (const auto& [name, value] : reply.rawHeaderPairs())
        block += name + ": " + value + "\r\n";
    return QString::fromLatin1(block + "\r\n");
}
// Whether the reply is the whole response: an HTTP error status is a whole
// answer; a network error (a close or reset midway) or a broken framing is not.
bool CameWhole(const QNetworkReply& reply) {
    const QNetworkReply::NetworkError e = reply.error();
    const bool network = e > QNetworkReply::NoError && e <= QNetworkReply::UnknownNetworkError;
    return reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid() && !network &&
           e != QNetworkReply::ProtocolFailure;
}
} // namespace

PageDownloader::PageDownloader(const HostRouter& router, QObject* parent)
    : QObject(parent), m_router(router), m_manager(new QNetworkAccessManager(this)) {
    UseTestCertificateAuthorities();
    m_manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

void PageDownloader::DownloadPage(QString& address, Done done) {
    DownloadResponse(address, [done = std::move(done)](const Response& r) { done(r.body); });
}

void PageDownloader::DownloadResponse(QString& address, ResponseDone done) {
    if (!util::ContainsCI(address, QStringLiteral("http://")) &&
        !util::StartsWithCI(address, QStringLiteral("https://")))
        address.prepend(QStringLiteral("http://"));
    const QUrl url(address, QUrl::TolerantMode);
    if (!url.isValid() || url.host().isEmpty()) {
        done(Response{url, {}, {}, false});
        return;
    }
    start(url, kMaxRedirects, std::move(done));
}

void PageDownloader::start(const QUrl& url, int hopsLeft, ResponseDone done) {
    // The request goes to the routed address; the Host header keeps the name.
    const bool tls = url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    const quint16 defaultPort = tls ? 443 : 80;
    const quint16 port = url.port() > 0 ? quint16(url.port()) : defaultPort;
    const Route route = m_router.route(url.host(), port);
    QUrl target = url;
    const bool routed =
        route.address.compare(url.host(), Qt::CaseInsensitive) != 0 || route.port != port;
    QNetworkRequest request;
    if (routed) {
        target.setHost(route.address);
        target.setPort(route.port);
        QString host = url.host();
        if (url.port() > 0)
            host += QLatin1Char(':') + QString::number(url.port());
        request.setRawHeader("Host", host.toLatin1());
        request.setPeerVerifyName(url.host()); // the certificate names the host, not the route
    }
    request.setUrl(target);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Mozilla"));
    request.setRawHeader("Pragma", "no-cache");
    request.setRawHeader("Cache-Control", "no-cache");
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setTransferTimeout(m_transferTimeoutMs);

    QNetworkReply* reply = m_manager->get(request);
    auto body = std::make_shared<QByteArray>();
    // Keep memory bounded: read as it arrives and drop what passes the ceiling.
    connect(reply, &QNetworkReply::readyRead, this, [reply, body] {
        const QByteArray chunk = reply->readAll();
        const qsizetype room = kMaxResponseBytes - body->size();
        if (room > 0)
            body->append(chunk.left(room));
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, body, url, hopsLeft, done] {
        reply->deleteLater();
        const QByteArray rest = reply->readAll();
        const qsizetype room = kMaxResponseBytes - body->size();
        if (room > 0)
            body->append(rest.left(room));
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QByteArray location = reply->rawHeader("Location");
        if (status >= 300 && status < 400 && !location.isEmpty() && hopsLeft > 0) {
            const QUrl next = url.resolved(QUrl::fromEncoded(location, QUrl::TolerantMode));
            const QString scheme = next.scheme().toLower();
            if (next.isValid() && !next.host().isEmpty() &&
                (scheme == QLatin1String("http") || scheme == QLatin1String("https"))) {
                start(next, hopsLeft - 1, done);
                return;
            }
        }
        done(Response{url, HeaderBlock(*reply), QString::fromLatin1(*body), CameWhole(*reply)});
    });
}

} // namespace corvantis::scan
