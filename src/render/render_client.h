#pragma once

#include "session/page_renderer.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTimer>

#include <functional>

namespace corvantis::render {

// The page renderer as a process of its own (corvantis-render), started at the
// first request and kept while requests follow, so a scan that renders nothing
// never loads a web engine; after half a minute without one it ends. A renderer
// that does not answer in time is ended and started again for the next request.
class ProcessRenderer : public QObject, public scan::PageRenderer {
    Q_OBJECT
public:
    // program: corvantis-render; connectTo: where hosts are routed instead
    // (HOST[:PORT]:ADDR:PORT, as corvantis-scan --connect-to takes them), asked
    // when the process starts.
    ProcessRenderer(QString program, std::function<QStringList()> connectTo,
                    QObject* parent = nullptr);
    ~ProcessRenderer() override;

    void render(const QString& url, int timeoutMs, Done done) override;

    // corvantis-render beside this program, or where CORVANTIS_RENDER says.
    static QString DefaultProgram();

private:
    struct Pending {
        QString url;
        int timeoutMs;
        Done done;
    };
    void startNext();
    void onOutput();
    void fail(const QString& why);
    void answer(const Result& result);

    QString m_program;
    std::function<QStringList()> m_connectTo;
    QProcess m_process;
    QList<Pending> m_pending; // the first is under way when m_busy
    bool m_busy = false;
    bool m_ending = false; // told to end for want of requests
    QByteArray m_output;
    QTimer m_watchdog;
    QTimer m_idle; // ends the process when no request has come for a while
};

} // namespace corvantis::render
