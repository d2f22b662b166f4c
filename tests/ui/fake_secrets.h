#pragma once

#include "alert/secret_store.h"

#include <QHash>
#include <QString>

namespace corvantis::testing {

// The keyring, in memory.
class FakeSecrets : public alert::SecretStore {
public:
    QString read(const QString& name, QString& error) override {
        error.clear();
        return values.value(name);
    }
    QString write(const QString& name, const QString& value) override {
        values.insert(name, value);
        return QString();
    }
    QHash<QString, QString> values;
};

} // namespace corvantis::testing
