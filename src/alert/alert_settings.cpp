#include "alert/alert_settings.h"

#include "alert/secret_store.h"
#include "util/settings_store.h"

#include <QRegularExpression>
#include <QUrl>

#include <algorithm>
#include <utility>

namespace corvantis::alert {

namespace {

// The text fields, in AlertField's order: each with its key in the settings
// store and its corvantis-scan option. Read, written, passed on and checked from here.
struct TextField {
    QString AlertSettings::*value;
    const char* setting;
    const char* option;
};
constexpr TextField kTextFields[] = {
    {&AlertSettings::mailTo, "AlertMailTo", "--mail-to"},
    {&AlertSettings::mailFrom, "AlertMailFrom", "--mail-from"},
    {&AlertSettings::smtpServer, "SmtpServer", "--smtp"},
    {&AlertSettings::smtpUser, "SmtpUser", "--smtp-user"},
    {&AlertSettings::webhookUrl, "WebhookUrl", "--webhook"},
};
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
    for (const TextField& f : kTextFields)
        if (!(this->*f.value).isEmpty())
            out << QLatin1String(f.option) << this->*f.value;
    if (notify)
        out << QStringLiteral("--notify");
    if (alwaysAlert)
        out << QStringLiteral("--alert-always");
    return out;
}

AlertSettings AlertSettings::FromSettings() {
    AlertSettings s;
    for (const TextField& f : kTextFields)
        s.*f.value = util::ReadSetting(QLatin1String(f.setting), QString());
    s.alwaysAlert = util::ReadCheckSetting(kAlwaysAlert, false);
    s.readKeptSecrets();
    return s;
}

void AlertSettings::readKeptSecrets() {
    smtpPasswordKept = SecretKept(kSmtpPasswordSecret);
    webhookSecretKept = SecretKept(kWebhookSecret);
}

void AlertSettings::save() const {
    for (const TextField& f : kTextFields)
        util::WriteSetting(QLatin1String(f.setting), this->*f.value);
    util::WriteSetting(kAlwaysAlert, alwaysAlert ? QStringLiteral("1") : QStringLiteral("0"));
}

std::optional<AlertProblem> CheckAlertSettings(const AlertSettings& s) {
    for (int i = 0; i < int(std::size(kTextFields)); ++i) {
        const AlertField field = AlertField(i);
        const QString& value = s.*kTextFields[i].value;
        if (HasControl(value))
            return AlertProblem{
                field, QStringLiteral("a control character in ") +
                           (field == AlertField::SmtpServer || field == AlertField::WebhookUrl
                                ? ShownUrl(value)
                                : Printable(value))};
    }
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
    return QLatin1String(kTextFields[int(field)].option);
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
