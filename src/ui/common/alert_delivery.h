#pragma once

#include "afterscan/after_scan.h"
#include "alert/alert_digest.h"
#include "alert/alert_settings.h"

#include <QStringList>

#include <functional>

class QObject;

namespace corvantis::alert {
class SecretStore;
}

namespace corvantis::ui {

// Sends the alert off the window's thread and settles it
// in the request's history (afterscan::SendAndSettle), so a slow mail server never
// freezes the window; done gets one line per failure, on the window's thread,
// unless context is gone by then.
void SendAlertInBackground(QObject* context, const alert::Alert& alert,
                           const alert::AlertSettings& settings, alert::SecretStore& secrets,
                           const afterscan::AfterScanRequest& request,
                           std::function<void(const QStringList&)> done);

} // namespace corvantis::ui
