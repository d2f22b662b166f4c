#pragma once

#include "fetch/host_route.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;

namespace corvantis::scan {

// Downloads a whole page through Qt's HTTP client, without cache, with the agent
// name "Mozilla", following redirects, and hands the body to the callback: also
// for error statuses; the empty text when nothing could be fetched. Connections
// follow the host router, redirects included.
class PageDownloader : public QObject {
    Q_OBJECT
public:
    // The response where the redirects ended: its address, its status line and
    // fields as a header block (empty when no response came), its body, and
    // whether it came whole (not cut off by a close or reset).
    struct Response {
        QUrl url;
        QString header;
        QString body;
        bool whole = false;
    };
    using Done = std::function<void(const QString& body)>;
    using ResponseDone = std::function<void(const Response& response)>;

    PageDownloader(const HostRouter& router, QObject* parent = nullptr);

    // "http://" is put in front of an address that has no scheme; the address
    // as requested is returned through `address`.
    void DownloadPage(QString& address, Done done);
    // The same, with the final response's header block.
    void DownloadResponse(QString& address, ResponseDone done);

    // Gives up on a transfer that stalls this long (milliseconds).
    void setTransferTimeout(int ms) { m_transferTimeoutMs = ms; }

private:
    void start(const QUrl& url, int hopsLeft, ResponseDone done);

    const HostRouter& m_router;
    QNetworkAccessManager* m_manager;
    int m_transferTimeoutMs = 60000;
};

} // namespace corvantis::scan
