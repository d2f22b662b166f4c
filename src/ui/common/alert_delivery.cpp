#include "ui/common/alert_delivery.h"

#include "afterscan/after_scan.h"

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
        return afterscan::SendAndSettle(alert, settings, secrets, request);
    }));
}

} // namespace corvantis::ui
