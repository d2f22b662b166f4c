#include "ui/common/browser_view.h"

#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace corvantis::ui {

void ConfigureBrowserView(QWebEngineView* view) {
    QWebEngineSettings* settings = view->settings();
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    settings->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);

    QWebEnginePage* page = view->page();
    QObject::connect(page, &QWebEnginePage::newWindowRequested, view,
                     [view](QWebEngineNewWindowRequest& request) {
                         const QUrl url = request.requestedUrl();
                         if (url.scheme() != QLatin1String("http") &&
                             url.scheme() != QLatin1String("https"))
                             return;
                         // Left unhandled the request is dropped; the address is
                         // loaded once the engine is done with the request.
                         QMetaObject::invokeMethod(
                             view, [view, url] { view->load(url); }, Qt::QueuedConnection);
                     });
}

} // namespace corvantis::ui
