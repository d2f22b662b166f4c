#include "alert/alert_settings.h"

#include "util/settings_store.h"

#include <utility>

namespace corvantis::alert {

namespace {

const QString kMailTo = QStringLiteral("AlertMailTo");
const QString kMailFrom = QStringLiteral("AlertMailFrom");
const QString kSmtpServer = QStringLiteral("SmtpServer");
const QString kSmtpUser = QStringLiteral("SmtpUser");
const QString kWebhookUrl = QStringLiteral("WebhookUrl");
const QString kAlwaysAlert = QStringLiteral("AlertAlways");

} // namespace

QStringList AlertSettings::arguments() const {
    QStringList out;
    const std::pair<const char*, const QString*> valued[] = {
        {"--mail-to", &mailTo},     {"--mail-from", &mailFrom}, {"--smtp", &smtpServer},
        {"--smtp-user", &smtpUser}, {"--webhook", &webhookUrl},
    };
    for (const auto& [option, value] : valued)
        if (!value->isEmpty())
            out << QLatin1String(option) << *value;
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
    return s;
}

void AlertSettings::save() const {
    util::WriteSetting(kMailTo, mailTo);
    util::WriteSetting(kMailFrom, mailFrom);
    util::WriteSetting(kSmtpServer, smtpServer);
    util::WriteSetting(kSmtpUser, smtpUser);
    util::WriteSetting(kWebhookUrl, webhookUrl);
    util::WriteSetting(kAlwaysAlert, alwaysAlert ? QStringLiteral("1") : QStringLiteral("0"));
}

} // namespace corvantis::alert
