#include "alert/secret_store.h"

#include "util/settings_store.h"

#include <qt6keychain/keychain.h>

#include <memory>

#include <QEventLoop>
#include <QTimer>

namespace corvantis::alert {

namespace {

const QString kService = QStringLiteral("Corvantis");
constexpr int kWaitMs = 10000;

// Runs the job and waits for it; false when the keyring did not answer in time.
bool RunJob(QKeychain::Job& job) {
    job.setAutoDelete(false);
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    timeout.start(kWaitMs);
    job.start();
    loop.exec();
    return timeout.isActive();
}

QString KeptKey(const QString& name) {
    return QStringLiteral("SecretKept/") + name;
}

QString Failed(const QString& name, const QString& why) {
    return QStringLiteral("The keyring could not be used for the %1: %2.").arg(name, why);
}

} // namespace

QString KeyringSecrets::read(const QString& name, QString& error) {
    error.clear();
    QKeychain::ReadPasswordJob job(kService);
    job.setKey(name);
    if (!RunJob(job)) {
        error = Failed(name, QStringLiteral("it did not answer"));
        return QString();
    }
    if (job.error() == QKeychain::EntryNotFound)
        return QString();
    if (job.error() != QKeychain::NoError)
        error = Failed(name, job.errorString());
    return job.textData();
}

QString KeyringSecrets::write(const QString& name, const QString& value) {
    std::unique_ptr<QKeychain::Job> job;
    if (value.isEmpty()) {
        job = std::make_unique<QKeychain::DeletePasswordJob>(kService);
    } else {
        auto writeJob = std::make_unique<QKeychain::WritePasswordJob>(kService);
        writeJob->setTextData(value);
        job = std::move(writeJob);
    }
    job->setKey(name);
    if (!RunJob(*job))
        return Failed(name, QStringLiteral("it did not answer"));
    if (job->error() != QKeychain::NoError &&
        !(value.isEmpty() && job->error() == QKeychain::EntryNotFound))
        return Failed(name, job->errorString());
    return QString();
}

QString KeepSecret(SecretStore& store, const QString& name, const QString& value) {
    const QString error = store.write(name, value);
    if (error.isEmpty())
        util::WriteSetting(KeptKey(name),
                           value.isEmpty() ? QStringLiteral("0") : QStringLiteral("1"));
    return error;
}

std::optional<bool> SecretKept(const QString& name) {
    const QString kept = util::ReadSetting(KeptKey(name), QString());
    if (kept.isEmpty())
        return std::nullopt;
    return kept == QLatin1String("1");
}

} // namespace corvantis::alert
