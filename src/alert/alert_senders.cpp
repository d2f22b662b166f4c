#include "alert/alert_senders.h"

#include "alert/secret_store.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QHostAddress>
#include <QLocale>
#include <QMessageAuthenticationCode>
#include <QUrl>
#include <QUuid>
#include <QVariantMap>

#include <curl/curl.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <optional>

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

// SMTP allows 998 octets a line; a longer one goes quoted-printable, whose
// lines stay within 76.
constexpr qsizetype kMaxMailLine = 998;

QByteArray QuotedPrintable(const QByteArray& text) {
    QByteArray out;
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        qsizetype width = 0;
        const QByteArray& line = lines[i];
        for (qsizetype j = 0; j < line.size(); ++j) {
            const uchar c = uchar(line[j]);
            const bool atEnd = j == line.size() - 1;
            const bool plain = (c >= 33 && c <= 126 && c != '=') || (c == ' ' && !atEnd);
            const QByteArray token =
                plain ? QByteArray(1, char(c))
                      : '=' + QByteArray::number(c, 16).toUpper().rightJustified(2, '0');
            if (width + token.size() > 75) {
                out += "=\r\n";
                width = 0;
            }
            out += token;
            width += token.size();
        }
        if (i + 1 < lines.size())
            out += "\r\n";
    }
    return out;
}

// The environment's value, else the store's. A secret kept but not to be had
// is an error; one whose keeping the settings do not know (they predate it)
// counts as none when the store cannot be asked, as it did then.
QString SecretFor(const char* variable, const QString& name, std::optional<bool> kept,
                  SecretStore& store, QString& error) {
    error.clear();
    if (qEnvironmentVariableIsSet(variable))
        return qEnvironmentVariable(variable);
    if (kept == false)
        return QString();
    const QString value = store.read(name, error);
    if (!kept)
        error.clear();
    else if (error.isEmpty() && value.isEmpty())
        error = QStringLiteral("The keyring holds no %1, though one was set.").arg(name);
    return value;
}

} // namespace

QByteArray MailMessage(const QString& from, const QStringList& to, const Alert& alert,
                       const QDateTime& date) {
    QByteArray m;
    const QByteArray domain = from.section(QLatin1Char('@'), 1).toLatin1();
    m += "Date: " +
         QLocale::c()
             .toString(date.toUTC(), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss"))
             .toLatin1() +
         " +0000\r\n";
    m += "From: <" + from.toUtf8() + ">\r\n";
    m += "To: <" + to.join(QStringLiteral(">, <")).toUtf8() + ">\r\n";
    m += "Subject: " + HeaderText(alert.subject) + "\r\n";
    m += "Message-ID: <" + QUuid::createUuid().toString(QUuid::WithoutBraces).toLatin1() + "@" +
         (domain.isEmpty() ? QByteArray("corvantis") : domain) + ">\r\n";
    m += "MIME-Version: 1.0\r\n";
    m += "Content-Type: text/plain; charset=UTF-8\r\n";
    QByteArray body = alert.body.toUtf8();
    body.replace("\r\n", "\n");
    const QList<QByteArray> lines = body.split('\n');
    if (std::any_of(lines.begin(), lines.end(),
                    [](const QByteArray& line) { return line.size() > kMaxMailLine; }))
        return m + "Content-Transfer-Encoding: quoted-printable\r\n\r\n" + QuotedPrintable(body);
    body.replace('\n', "\r\n");
    return m + "Content-Transfer-Encoding: 8bit\r\n\r\n" + body;
}

bool LoginMayGoInClear(const QString& smtpUrl) {
    const QString host = QUrl(smtpUrl).host();
    QHostAddress address;
    return host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
           (address.setAddress(host) && address.isLoopback());
}

QString SendMail(const AlertSettings& settings, const QString& password, const Alert& alert) {
    const QStringList to = MailRecipients(settings.mailTo);
    const QString from = settings.mailFrom.isEmpty() ? to.value(0) : settings.mailFrom;
    const QString scheme = QUrl(settings.smtpServer).scheme();
    if (scheme != QLatin1String("smtp") && scheme != QLatin1String("smtps"))
        return QStringLiteral("The alert e-mail was not sent: the SMTP server \"%1\" is not an "
                              "smtp:// or smtps:// address.")
            .arg(ShownUrl(settings.smtpServer));
    CurlHandle curl = NewHandle();
    if (!curl)
        return QStringLiteral("The alert e-mail was not sent: libcurl could not start.");
    const QByteArray url = settings.smtpServer.toUtf8();
    const QByteArray mailFrom = "<" + from.toUtf8() + ">";
    const QByteArray user = settings.smtpUser.toUtf8();
    const QByteArray pass = password.toUtf8();
    curl_slist* list = nullptr;
    for (const QString& address : to)
        list = curl_slist_append(list, QByteArray("<" + address.toUtf8() + ">").constData());
    CurlList rcpt(list, &curl_slist_free_all);
    Upload upload{MailMessage(from, to, alert, QDateTime::currentDateTime()), 0};
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
                     login && !LoginMayGoInClear(settings.smtpServer) ? CURLUSESSL_ALL
                                                                      : CURLUSESSL_TRY);
    if (login) {
        curl_easy_setopt(c, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(c, CURLOPT_PASSWORD, pass.constData());
    }
    const CURLcode code = curl_easy_perform(c);
    if (code == CURLE_OK)
        return QString();
    return QStringLiteral("The alert e-mail to %1 was not sent: %2.")
        .arg(to.join(QStringLiteral(", ")), CurlError(code, detail));
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
            .arg(ShownUrl(url));
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
            .arg(ShownUrl(url), CurlError(code, detail));
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    if (status >= 300)
        return QStringLiteral("The webhook %1 answered HTTP %2.").arg(ShownUrl(url)).arg(status);
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

namespace {

// How one way went: the empty error when the alert was delivered, and which of
// the earlier alerts it owed went out with it.
struct Delivery {
    Way way;
    QString error;
    QList<qint64> earlierDelivered;
};

QList<qint64> Ids(const QList<EarlierAlert>& alerts) {
    QList<qint64> out;
    for (const EarlierAlert& e : alerts)
        out.append(e.id);
    return out;
}

Delivery Mail(const Alert& alert, const AlertSettings& settings, SecretStore& secrets) {
    Delivery d{Way::Mail, {}, {}};
    QString password;
    if (!settings.smtpUser.isEmpty()) {
        password = SecretFor("CORVANTIS_SMTP_PASSWORD", kSmtpPasswordSecret,
                             settings.smtpPasswordKept, secrets, d.error);
        if (d.error.isEmpty() && password.isEmpty())
            d.error = QStringLiteral("The SMTP login %1 has no password (CORVANTIS_SMTP_PASSWORD "
                                     "or the keyring, from \"Schedule and Alerts\").")
                          .arg(settings.smtpUser);
        if (!d.error.isEmpty()) {
            d.error += QStringLiteral(" The alert e-mail was not sent.");
            return d;
        }
    }
    d.error = SendMail(settings, password, WithEarlier(alert, Way::Mail));
    if (d.error.isEmpty())
        d.earlierDelivered = Ids(alert.earlierFor(Way::Mail));
    return d;
}

// The earlier documents first, in the order of their scans; the first failure
// ends the round and leaves the rest waiting.
Delivery Webhook(const Alert& alert, const AlertSettings& settings, SecretStore& secrets) {
    Delivery d{Way::Webhook, {}, {}};
    const QString secret = SecretFor("CORVANTIS_WEBHOOK_SECRET", kWebhookSecret,
                                     settings.webhookSecretKept, secrets, d.error);
    if (!d.error.isEmpty()) {
        d.error += QStringLiteral(" The webhook was not called.");
        return d;
    }
    for (const EarlierAlert& e : alert.earlierFor(Way::Webhook)) {
        d.error = PostWebhook(settings.webhookUrl, e.json, secret);
        if (!d.error.isEmpty())
            return d;
        d.earlierDelivered.append(e.id);
    }
    d.error = PostWebhook(settings.webhookUrl, alert.json, secret);
    return d;
}

Delivery Notification(const Alert& alert) {
    const Alert a = WithEarlier(alert, Way::Notification);
    Delivery d{Way::Notification, NotifyDesktop(a.subject, a.partners), {}};
    if (d.error.isEmpty())
        d.earlierDelivered = Ids(alert.earlierFor(Way::Notification));
    return d;
}

} // namespace

SentAlert SendAlert(const Alert& alert, const AlertSettings& settings, SecretStore& secrets) {
    // A way gets an alert without news only when it is to tell every scan, or
    // when it owes an earlier one.
    const auto due = [&](Way way) {
        return settings.wants(way) &&
               (alert.news || settings.alwaysAlert || !alert.earlierFor(way).isEmpty());
    };
    QList<Delivery> done;
    if (due(Way::Mail))
        done.append(Mail(alert, settings, secrets));
    if (due(Way::Webhook))
        done.append(Webhook(alert, settings, secrets));
    if (due(Way::Notification))
        done.append(Notification(alert));
    SentAlert sent;
    for (const Delivery& d : done) {
        sent.earlierDelivered += d.earlierDelivered;
        if (d.error.isEmpty())
            continue;
        sent.failed.append(d.error);
        sent.undelivered.append(d.way);
    }
    return sent;
}

} // namespace corvantis::alert
