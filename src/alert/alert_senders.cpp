#include "alert/alert_senders.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QLocale>
#include <QMessageAuthenticationCode>
#include <QUrl>
#include <QUuid>
#include <QVariantMap>

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace corvantis::alert {

namespace {

constexpr long kTimeoutSeconds = 30;

// libcurl wants its global set-up once, before any handle.
void InitCurl() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

using CurlHandle = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;
using CurlList = std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)>;

CurlHandle NewHandle() {
    InitCurl();
    CurlHandle curl(curl_easy_init(), &curl_easy_cleanup);
    if (curl) {
        curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT, kTimeoutSeconds);
        curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
    }
    return curl;
}

// Feeds a byte array to an upload.
struct Upload {
    QByteArray data;
    qsizetype at = 0;
};

size_t ReadUpload(char* buffer, size_t size, size_t count, void* user) {
    Upload* up = static_cast<Upload*>(user);
    const size_t n = std::min(size * count, size_t(up->data.size() - up->at));
    memcpy(buffer, up->data.constData() + up->at, n);
    up->at += qsizetype(n);
    return n;
}

size_t IgnoreBody(char*, size_t size, size_t count, void*) {
    return size * count;
}

// The text of a failed transfer: libcurl's own detail when it gave one.
QString CurlError(CURLcode code, const char* detail) {
    return QString::fromUtf8(detail[0] != 0 ? detail : curl_easy_strerror(code));
}

// A header's text, encoded when it is not plain ASCII.
QByteArray HeaderText(const QString& text) {
    for (const QChar c : text)
        if (c.unicode() > 126 || c.unicode() < 32)
            return "=?UTF-8?B?" + text.toUtf8().toBase64() + "?=";
    return text.toLatin1();
}

bool IsLoopback(const QString& url) {
    const QString host = QUrl(url).host();
    return host == QLatin1String("localhost") || host.startsWith(QLatin1String("127."));
}

} // namespace

QByteArray MailMessage(const QString& from, const QString& to, const Alert& alert,
                       const QDateTime& date) {
    QByteArray m;
    const QByteArray domain = from.section(QLatin1Char('@'), 1).toLatin1();
    m += "Date: " +
         QLocale::c()
             .toString(date.toUTC(), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss"))
             .toLatin1() +
         " +0000\r\n";
    m += "From: <" + from.toUtf8() + ">\r\n";
    m += "To: <" + to.toUtf8() + ">\r\n";
    m += "Subject: " + HeaderText(alert.subject) + "\r\n";
    m += "Message-ID: <" + QUuid::createUuid().toString(QUuid::WithoutBraces).toLatin1() + "@" +
         (domain.isEmpty() ? QByteArray("corvantis") : domain) + ">\r\n";
    m += "MIME-Version: 1.0\r\n";
    m += "Content-Type: text/plain; charset=UTF-8\r\n";
    m += "Content-Transfer-Encoding: 8bit\r\n";
    m += "\r\n";
    QByteArray body = alert.body.toUtf8();
    body.replace("\r\n", "\n");
    body.replace('\n', "\r\n");
    return m + body;
}

QString SendMail(const AlertSettings& settings, const QString& password, const Alert& alert) {
    const QString from = settings.mailFrom.isEmpty() ? settings.mailTo : settings.mailFrom;
    const QString scheme = QUrl(settings.smtpServer).scheme();
    if (scheme != QLatin1String("smtp") && scheme != QLatin1String("smtps"))
        return QStringLiteral("The alert e-mail was not sent: the SMTP server \"%1\" is not an "
                              "smtp:// or smtps:// address.")
            .arg(settings.smtpServer);
    CurlHandle curl = NewHandle();
    if (!curl)
        return QStringLiteral("The alert e-mail was not sent: libcurl could not start.");
    const QByteArray url = settings.smtpServer.toUtf8();
    const QByteArray mailFrom = "<" + from.toUtf8() + ">";
    const QByteArray user = settings.smtpUser.toUtf8();
    const QByteArray pass = password.toUtf8();
    const QByteArray mailTo = "<" + settings.mailTo.toUtf8() + ">";
    CurlList rcpt(curl_slist_append(nullptr, mailTo.constData()), &curl_slist_free_all);
    Upload upload{MailMessage(from, settings.mailTo, alert, QDateTime::currentDateTime()), 0};
    char detail[CURL_ERROR_SIZE] = {};
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, url.constData());
    curl_easy_setopt(c, CURLOPT_MAIL_FROM, mailFrom.constData());
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, rcpt.get());
    curl_easy_setopt(c, CURLOPT_READFUNCTION, &ReadUpload);
    curl_easy_setopt(c, CURLOPT_READDATA, &upload);
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, detail);
    // A password never crosses the network in the clear: with a login, smtp://
    // must be upgraded, except to this machine itself.
    const bool login = !settings.smtpUser.isEmpty();
    curl_easy_setopt(c, CURLOPT_USE_SSL,
                     login && !IsLoopback(settings.smtpServer) ? CURLUSESSL_ALL : CURLUSESSL_TRY);
    if (login) {
        curl_easy_setopt(c, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(c, CURLOPT_PASSWORD, pass.constData());
    }
    const CURLcode code = curl_easy_perform(c);
    if (code == CURLE_OK)
        return QString();
    return QStringLiteral("The alert e-mail to %1 was not sent: %2.")
        .arg(settings.mailTo, CurlError(code, detail));
}

QByteArray WebhookSignature(const QByteArray& body, const QByteArray& secret) {
    return "sha256=" +
           QMessageAuthenticationCode::hash(body, secret, QCryptographicHash::Sha256).toHex();
}

QString PostWebhook(const QString& url, const QByteArray& json, const QString& secret) {
    const QString scheme = QUrl(url).scheme();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return QStringLiteral("The webhook was not called: \"%1\" is not an http:// or https:// "
                              "address.")
            .arg(url);
    CurlHandle curl = NewHandle();
    if (!curl)
        return QStringLiteral("The webhook was not called: libcurl could not start.");
    CurlList headers(curl_slist_append(nullptr, "Content-Type: application/json"),
                     &curl_slist_free_all);
    curl_slist_append(headers.get(), "Expect:");
    if (!secret.isEmpty())
        curl_slist_append(headers.get(), QByteArray("X-Corvantis-Signature: " +
                                                    WebhookSignature(json, secret.toUtf8()))
                                             .constData());
    const QByteArray address = url.toUtf8();
    char detail[CURL_ERROR_SIZE] = {};
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, address.constData());
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, json.constData());
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, long(json.size()));
    curl_easy_setopt(c, CURLOPT_USERAGENT, "Corvantis");
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &IgnoreBody);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, detail);
    const CURLcode code = curl_easy_perform(c);
    if (code != CURLE_OK)
        return QStringLiteral("The webhook %1 was not called: %2.")
            .arg(url, CurlError(code, detail));
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    if (status >= 300)
        return QStringLiteral("The webhook %1 answered HTTP %2.").arg(url).arg(status);
    return QString();
}

QString NotifyDesktop(const QString& summary, const QString& body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return QStringLiteral("No desktop notification: there is no session bus (%1).")
            .arg(bus.lastError().message());
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << QStringLiteral("Corvantis") << uint(0) << QStringLiteral("corvantis") << summary << body
         << QStringList() << QVariantMap() << int(-1);
    const QDBusMessage reply = bus.call(call, QDBus::Block, int(kTimeoutSeconds) * 1000);
    if (reply.type() == QDBusMessage::ErrorMessage)
        return QStringLiteral("No desktop notification: %1.").arg(reply.errorMessage());
    return QString();
}

bool DesktopNotificationsAvailable() {
    const QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() &&
           bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.Notifications"));
}

QStringList DeliverAlert(const Alert& alert, const AlertSettings& settings,
                         const AlertSecrets& secrets) {
    QStringList failed;
    if (settings.wantsMail())
        failed.append(SendMail(settings, secrets.smtpPassword, alert));
    if (settings.wantsWebhook())
        failed.append(PostWebhook(settings.webhookUrl, alert.json, secrets.webhookSecret));
    if (settings.notify)
        failed.append(NotifyDesktop(alert.subject, alert.partners));
    failed.removeAll(QString());
    return failed;
}

} // namespace corvantis::alert
