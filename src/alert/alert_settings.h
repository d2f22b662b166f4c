#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace corvantis::alert {

// The ways an alert goes; the history names them by WayName when one waits.
enum class Way { Mail, Webhook, Notification };
QString WayName(Way way);

// Where the alerts after a scan go. The window keeps these in the settings
// store; corvantis-scan takes them from its command line. The SMTP password and
// the webhook secret are not here: they live in the desktop's keyring.
struct AlertSettings {
    QString mailTo;           // "Alert e-mail to", one address or a comma list; empty: no e-mail
    QString mailFrom;         // "From"; empty: the first address it goes to
    QString smtpServer;       // "SMTP server", a URL: smtp://host:587 or smtps://host
    QString smtpUser;         // "SMTP user"; empty: no login
    QString webhookUrl;       // "Webhook URL"; empty: no webhook
    bool notify = false;      // a desktop notification
    bool alwaysAlert = false; // after every scan, not only one with a change
    // Whether an SMTP password and a webhook secret were kept in the keyring (the
    // settings remember it, never the value); none for settings from before that.
    std::optional<bool> smtpPasswordKept;
    std::optional<bool> webhookSecretKept;

    bool wantsMail() const { return !mailTo.isEmpty(); }
    bool wantsWebhook() const { return !webhookUrl.isEmpty(); }
    bool any() const { return wantsMail() || wantsWebhook() || notify; }
    bool wants(Way way) const;

    // The same as corvantis-scan options (--mail-to ADDR, ..., --notify), for a
    // scheduled check's command line.
    QStringList arguments() const;

    // The fields the window keeps, from the settings store, the two above with them.
    static AlertSettings FromSettings();
    void save() const;
    // Reads only the two above, for alerts whose other fields come from elsewhere.
    void readKeptSecrets();

    bool operator==(const AlertSettings&) const = default;
};

// A field of the settings that cannot be used, and why, for the user.
enum class AlertField { MailTo, MailFrom, SmtpServer, SmtpUser, WebhookUrl };
struct AlertProblem {
    AlertField field;
    QString why; // "not an address (local@domain): ..."
};

// Every field checked before anything is sent or scheduled: addresses are
// local@domain, the servers' URLs have a scheme the senders speak and a host, no
// value holds a control character (it would go onto the wire or end a unit file's
// line), and an e-mail needs its server. The first problem, or none.
std::optional<AlertProblem> CheckAlertSettings(const AlertSettings& settings);
// "--mail-to" and so on: corvantis-scan's name of the field.
QString OptionName(AlertField field);

// The addresses of a comma list, each trimmed.
QStringList MailRecipients(const QString& list);

// An address for messages: without its user part and query, which may hold a token.
QString ShownUrl(const QString& url);

} // namespace corvantis::alert
