#pragma once

#include <QString>
#include <QStringList>

namespace corvantis::alert {

// Where the alerts after a scan go. The window keeps these in the settings
// store; corvantis-scan takes them from its command line. The SMTP password and
// the webhook secret are not here: they live in the desktop's keyring.
struct AlertSettings {
    QString mailTo;           // "Alert e-mail to"; empty: no e-mail
    QString mailFrom;         // "From"; empty: the address it goes to
    QString smtpServer;       // "SMTP server", a URL: smtp://host:587 or smtps://host
    QString smtpUser;         // "SMTP user"; empty: no login
    QString webhookUrl;       // "Webhook URL"; empty: no webhook
    bool notify = false;      // a desktop notification
    bool alwaysAlert = false; // after every scan, not only one with a change

    bool wantsMail() const { return !mailTo.isEmpty(); }
    bool wantsWebhook() const { return !webhookUrl.isEmpty(); }
    bool any() const { return wantsMail() || wantsWebhook() || notify; }

    // The same as corvantis-scan options (--mail-to ADDR, ...; --notify left out,
    // a scheduled check always gives it), for a scheduled check's command line.
    QStringList arguments() const;

    // The fields the window keeps, from the settings store.
    static AlertSettings FromSettings();
    void save() const;

    bool operator==(const AlertSettings&) const = default;
};

} // namespace corvantis::alert
