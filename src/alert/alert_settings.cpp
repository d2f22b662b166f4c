#include "alert/alert_settings.h"

#include "util/settings_store.h"

namespace corvantis::alert {

namespace {

const QString kMailTo = QStringLiteral("AlertMailTo");
const QString kMailFrom = QStringLiteral("AlertMailFrom");
const QString kSmtpServer = QStringLiteral("SmtpServer");
const QString kSmtpUser = QStringLiteral("SmtpUser");
const QString kWebhookUrl = QStringLiteral("WebhookUrl");

} // namespace

AlertSettings AlertSettings::FromSettings() {
    AlertSettings s;
    s.mailTo = util::ReadSetting(kMailTo, QString());
    s.mailFrom = util::ReadSetting(kMailFrom, QString());
    s.smtpServer = util::ReadSetting(kSmtpServer, QString());
    s.smtpUser = util::ReadSetting(kSmtpUser, QString());
    s.webhookUrl = util::ReadSetting(kWebhookUrl, QString());
    return s;
}

void AlertSettings::save() const {
    util::WriteSetting(kMailTo, mailTo);
    util::WriteSetting(kMailFrom, mailFrom);
    util::WriteSetting(kSmtpServer, smtpServer);
    util::WriteSetting(kSmtpUser, smtpUser);
    util::WriteSetting(kWebhookUrl, webhookUrl);
}

} // namespace corvantis::alert
