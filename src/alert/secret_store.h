#pragma once

#include <QString>

#include <optional>

namespace corvantis::alert {

// Where the SMTP password and the webhook secret are kept: the desktop's keyring
// for the program, a stand-in for tests. Never the settings file.
class SecretStore {
public:
    virtual ~SecretStore() = default;
    // The secret's value, empty when none is kept; error says why the keyring
    // could not be asked (empty when it could).
    virtual QString read(const QString& name, QString& error) = 0;
    // Keeps the value, or forgets the secret when it is empty; why it failed, or empty.
    virtual QString write(const QString& name, const QString& value) = 0;
};

// Keeps the value in the store, or forgets the secret when it is empty, and
// remembers in the settings whether one is kept (never the value), so a
// sender knows a secret the keyring cannot give is missing, not absent.
// Why it failed, or empty.
QString KeepSecret(SecretStore& store, const QString& name, const QString& value);
// Whether a secret was kept; none for settings from before this was remembered.
// The settings store is the window's thread's: read it there (AlertSettings).
std::optional<bool> SecretKept(const QString& name);

inline const QString kSmtpPasswordSecret = QStringLiteral("smtp-password");
inline const QString kWebhookSecret = QStringLiteral("webhook-secret");

// The desktop's keyring (Secret Service or KWallet) through QtKeychain. Each call
// waits for the keyring's answer, at most ten seconds.
class KeyringSecrets : public SecretStore {
public:
    QString read(const QString& name, QString& error) override;
    QString write(const QString& name, const QString& value) override;
};

} // namespace corvantis::alert
