#include "alert/alert_settings.h"

#include "alert/secret_store.h"
#include "util/settings_store.h"

#include <QRegularExpression>
#include <QUrl>

#include <algorithm>
#include <utility>

namespace corvantis::alert {

namespace {

const QString kMailTo = QStringLiteral("AlertMailTo");
const QString kMailFrom = QStringLiteral("AlertMailFrom");
const QString kSmtpServer = QStringLiteral("SmtpServer");
const QString kSmtpUser = QStringLiteral("SmtpUser");
const QString kWebhookUrl = QStringLiteral("WebhookUrl");
const QString kAlwaysAlert = QStringLiteral("AlertAlways");

bool HasControl(const QString& text) {
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.category() == QChar::Other_Control; });
}

// The text with its control characters written out, so a message stays one line.
QString Printable(const QString& text) {
    QString out;
    for (const QChar c : text) {
        if (c == u'\r')
            out += QStringLiteral("\\r");
        else if (c == u'\n')
            out += QStringLiteral("\\n");
        else if (c.category() == QChar::Other_Control)
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

// local@domain, without what would end the address in "<...>" or in a list.
bool IsAddress(const QString& text) {
    static const QRegularExpression address(QRegularExpression::anchoredPattern(
        QStringLiteral("[^\\s\\p{Cc}<>()\\[\\]\\\\,;:@\"]+@[^\\s\\p{Cc}<>()\\[\\]\\\\,;:@\"]+")));
    return address.match(text).hasMatch();
}

// Why the URL is not one of the schemes with a host, or empty.
QString UrlProblem(const QString& text, const QStringList& schemes) {
    const QUrl url(text, QUrl::StrictMode);
    if (url.isValid() && schemes.contains(url.scheme()) && !url.host().isEmpty())
        return {};
    return QStringLiteral("not an %1:// or %2:// address with a host: ")
               .arg(schemes.at(0), schemes.at(1)) +
           ShownUrl(text);
}

} // namespace

QString WayName(Way way) {
    switch (way) {
    case Way::Mail:
        return QStringLiteral("mail");
    case Way::Webhook:
        return QStringLiteral("webhook");
    case Way::Notification:
        break;
    }
    return QStringLiteral("notification");
}

bool AlertSettings::wants(Way way) const {
    switch (way) {
    case Way::Mail:
        return wantsMail();
    case Way::Webhook:
        return wantsWebhook();
    case Way::Notification:
        break;
    }
    return notify;
}

QStringList AlertSettings::arguments() const {
    QStringList out;
    const std::pair<const char*, const QString*> valued[] = {
        {"--mail-to", &mailTo},     {"--mail-from", &mailFrom}, {"--smtp", &smtpServer},
        {"--smtp-user", &smtpUser}, {"--webhook", &webhookUrl},
    };
    for (const auto& [option, value] : valued)
        if (!value->isEmpty())
            out << QLatin1String(option) << *value;
    if (notify)
        out << QStringLiteral("--notify");
    if (alwaysAlert)
        out << QStringLiteral("--alert-always");
    return out;
}

AlertSettings AlertSettings::FromSettings() {
    AlertSettings s;
    s.mailTo = util::ReadSetting(kMailTo, QString());
    s.mailFrom = util::ReadSetting(kMailFrom, QString());
    s.smtpServer = util::ReadSetting(kSmtpServer, QString());
    s.smtpUser = util::ReadSetting(kSmtpUser, QString());
    s.webhookUrl = util::ReadSetting(kWebhookUrl, QString());
    s.alwaysAlert = util::ReadCheckSetting(kAlwaysAlert, false);
    s.readKeptSecrets();
    return s;
}

void AlertSettings::readKeptSecrets() {
    smtpPasswordKept = SecretKept(kSmtpPasswordSecret);
    webhookSecretKept = SecretKept(kWebhookSecret);
}

void AlertSettings::save() const {
    util::WriteSetting(kMailTo, mailTo);
    util::WriteSetting(kMailFrom, mailFrom);
    util::WriteSetting(kSmtpServer, smtpServer);
    util::WriteSetting(kSmtpUser, smtpUser);
    util::WriteSetting(kWebhookUrl, webhookUrl);
    util::WriteSetting(kAlwaysAlert, alwaysAlert ? QStringLiteral("1") : QStringLiteral("0"));
}

std::optional<AlertProblem> CheckAlertSettings(const AlertSettings& s) {
    const std::pair<AlertField, const QString*> fields[] = {
        {AlertField::MailTo, &s.mailTo},         {AlertField::MailFrom, &s.mailFrom},
        {AlertField::SmtpServer, &s.smtpServer}, {AlertField::SmtpUser, &s.smtpUser},
        {AlertField::WebhookUrl, &s.webhookUrl},
    };
    for (const auto& [field, value] : fields)
        if (HasControl(*value))
            return AlertProblem{
                field, QStringLiteral("a control character in ") +
                           (field == AlertField::SmtpServer || field == AlertField::WebhookUrl
                                ? ShownUrl(*value)
                                : Printable(*value))};
    const QString notAddress = QStringLiteral("not an address (local@domain): ");
    if (s.wantsMail()) {
        const QStringList to = MailRecipients(s.mailTo);
        if (to.isEmpty())
            return AlertProblem{AlertField::MailTo, notAddress + s.mailTo};
        for (const QString& address : to)
            if (!IsAddress(address))
                return AlertProblem{AlertField::MailTo, notAddress + address};
    }
    if (!s.mailFrom.isEmpty() && !IsAddress(s.mailFrom))
        return AlertProblem{AlertField::MailFrom, notAddress + s.mailFrom};
    if (s.wantsMail() && s.smtpServer.isEmpty())
        return AlertProblem{AlertField::SmtpServer,
                            QStringLiteral("an alert e-mail needs the SMTP server")};
    const struct {
        AlertField field;
        const QString* url;
        QStringList schemes;
    } urls[] = {
        {AlertField::SmtpServer, &s.smtpServer, {QStringLiteral("smtp"), QStringLiteral("smtps")}},
        {AlertField::WebhookUrl, &s.webhookUrl, {QStringLiteral("http"), QStringLiteral("https")}},
    };
    for (const auto& [field, url, schemes] : urls) {
        if (url->isEmpty())
            continue;
        if (const QString why = UrlProblem(*url, schemes); !why.isEmpty())
            return AlertProblem{field, why};
    }
    return std::nullopt;
}

QString OptionName(AlertField field) {
    static const char* const names[] = {"--mail-to", "--mail-from", "--smtp", "--smtp-user",
                                        "--webhook"};
    return QLatin1String(names[int(field)]);
}

QStringList MailRecipients(const QString& list) {
    QStringList out;
    for (const QString& address : list.split(u',', Qt::SkipEmptyParts))
        if (!address.trimmed().isEmpty())
            out.append(address.trimmed());
    return out;
}

QString ShownUrl(const QString& text) {
    const QUrl url(text);
    if (HasControl(text) || !url.isValid() || url.host().isEmpty())
        return Printable(text);
    return url.toDisplayString(QUrl::RemoveUserInfo | QUrl::RemoveQuery | QUrl::RemoveFragment) +
           (url.hasQuery() ? QStringLiteral("?...") : QString());
}

} // namespace corvantis::alert
