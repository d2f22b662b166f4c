#pragma once

#include "alert/alert_digest.h"
#include "alert/alert_settings.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace corvantis::alert {

class SecretStore;

// Each sender blocks until it is done or has given up (30 seconds at most), so
// the window calls them off its own thread. Each returns why it failed, one line
// for the user, or the empty text.

// The alert as a plain-text e-mail through the SMTP server the settings name, to
// each address of the list: smtp:// upgraded with STARTTLS when the server offers
// it (required when a password would cross the network), or smtps://.
QString SendMail(const AlertSettings& settings, const QString& password, const Alert& alert);

// The message as it goes to the server: headers and body, lines ending in CRLF;
// a body with a line over SMTP's 998 octets goes quoted-printable.
QByteArray MailMessage(const QString& from, const QStringList& to, const Alert& alert,
                       const QDateTime& date);

// Whether a login may go to the SMTP server without TLS: only to this machine,
// "localhost" or a loopback address, never a name that merely looks like one.
bool LoginMayGoInClear(const QString& smtpUrl);

// "sha256=" and the lower-case hex HMAC-SHA256 of the body with the secret.
QByteArray WebhookSignature(const QByteArray& body, const QByteArray& secret);

// POSTs the scan's JSON document to the URL, signed when there is a secret.
QString PostWebhook(const QString& url, const QByteArray& json, const QString& secret);

// A notification through org.freedesktop.Notifications on the session bus.
QString NotifyDesktop(const QString& summary, const QString& body);
// Whether the desktop has a notification service to send one to.
bool DesktopNotificationsAvailable();

// How an alert went: one line per way that failed, for the user; the earlier
// alerts that went out with it; and the ways it was due that did not deliver it.
struct SentAlert {
    QStringList failed;
    QList<qint64> earlierDelivered;
    QList<Way> undelivered;
};

// Sends the alert every way the settings ask for, each with the earlier alerts
// it owes; an alert without news goes only to a way that owes one, unless every
// scan is to be told. The SMTP password and webhook secret come from the environment
// (CORVANTIS_SMTP_PASSWORD, CORVANTIS_WEBHOOK_SECRET) or else the store; a way
// whose secret was kept but cannot be had is not tried, never sent unsigned or
// with an empty password. Blocks until done (the window calls it off its thread);
// afterscan::SendAndSettle then settles what went out in the history.
SentAlert SendAlert(const Alert& alert, const AlertSettings& settings, SecretStore& secrets);

} // namespace corvantis::alert
