#pragma once

#include "alert/alert_digest.h"
#include "alert/alert_settings.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace corvantis::alert {

// Each sender blocks until it is done or has given up (30 seconds at most), so
// the window calls them off its own thread. Each returns why it failed, one line
// for the user, or the empty text.

// The alert as a plain-text e-mail through the SMTP server the settings name:
// smtp:// upgraded with STARTTLS when the server offers it (required when a
// password would cross the network), or smtps://.
QString SendMail(const AlertSettings& settings, const QString& password, const Alert& alert);

// The message as it goes to the server: headers and body, lines ending in CRLF.
QByteArray MailMessage(const QString& from, const QString& to, const Alert& alert,
                       const QDateTime& date);

// "sha256=" and the lower-case hex HMAC-SHA256 of the body with the secret.
QByteArray WebhookSignature(const QByteArray& body, const QByteArray& secret);

// POSTs the scan's JSON document to the URL, signed when there is a secret.
QString PostWebhook(const QString& url, const QByteArray& json, const QString& secret);

// A notification through org.freedesktop.Notifications on the session bus.
QString NotifyDesktop(const QString& summary, const QString& body);
// Whether the desktop has a notification service to send one to.
bool DesktopNotificationsAvailable();

// The secrets the senders need; empty when there are none.
struct AlertSecrets {
    QString smtpPassword;
    QString webhookSecret;
};

// Sends the alert every way the settings ask for; one line per way that failed.
QStringList DeliverAlert(const Alert& alert, const AlertSettings& settings,
                         const AlertSecrets& secrets);

} // namespace corvantis::alert
