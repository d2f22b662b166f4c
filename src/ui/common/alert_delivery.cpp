#include "ui/common/alert_delivery.h"

#include "afterscan/after_scan.h"
#include "alert/alert_senders.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

namespace corvantis::ui {

void SendAlertInBackground(QObject* context, const alert::Alert& alert,
                           const alert::AlertSettings& settings, alert::SecretStore& secrets,
                           const afterscan::AfterScanRequest& request,
                           std::function<void(const QStringList&)> done) {
    auto* watcher = new QFutureWatcher<QStringList>(context);
    QObject::connect(watcher, &QFutureWatcher<QStringList>::finished, context,
                     [watcher, done = std::move(done)] {
                         done(watcher->result());
                         watcher->deleteLater();
                     });
    watcher->setFuture(QtConcurrent::run([alert, settings, &secrets, request] {
        const alert::SentAlert sent = alert::SendAlert(alert, settings, secrets);
        QStringList failed = sent.failed;
        if (const QString error = afterscan::SettleAlert(alert, sent, request); !error.isEmpty())
            failed.append(error);
        return failed;
    }));
}

} // namespace corvantis::ui
