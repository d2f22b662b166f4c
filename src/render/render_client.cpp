#include "render/render_client.h"

#include "render/render_protocol.h"

#include <QCoreApplication>

#include <utility>

namespace corvantis::render {

namespace {
// Beyond the page's own time-out: the renderer's start and its web engine's.
constexpr int kStartAllowanceMs = 20000;
} // namespace

ProcessRenderer::ProcessRenderer(QString program, std::function<QStringList()> connectTo,
                                 QObject* parent)
    : QObject(parent), m_program(std::move(program)), m_connectTo(std::move(connectTo)) {
    // The web engine's own chatter is no news for the scan's user.
    m_process.setStandardErrorFile(QProcess::nullDevice());
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &ProcessRenderer::onOutput);
    connect(&m_process, &QProcess::finished, this, [this] {
        if (m_busy)
            fail(QStringLiteral("the page renderer ended"));
    });
    connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart && m_busy)
            fail(QStringLiteral("the page renderer could not start: ") + m_process.errorString());
    });
    m_idle.setSingleShot(true);
    m_idle.setInterval(30000);
    connect(&m_idle, &QTimer::timeout, this, [this] {
        if (!m_busy && m_process.state() != QProcess::NotRunning) {
            m_process.closeWriteChannel(); // it ends at the end of its input
            m_ending = true;
        }
    });
    m_watchdog.setSingleShot(true);
    connect(&m_watchdog, &QTimer::timeout, this, [this] {
        m_process.kill();
        m_process.waitForFinished(2000);
        fail(QStringLiteral("the page renderer did not answer in time"));
    });
}

ProcessRenderer::~ProcessRenderer() {
    m_pending.clear();
    m_busy = false;
    if (m_process.state() != QProcess::NotRunning) {
        m_process.closeWriteChannel(); // it ends at the end of its input
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
    }
}

QString ProcessRenderer::DefaultProgram() {
    if (qEnvironmentVariableIsSet("CORVANTIS_RENDER")) // a build's tests, elsewhere
        return qEnvironmentVariable("CORVANTIS_RENDER");
    return QCoreApplication::applicationDirPath() + QStringLiteral("/corvantis-render");
}

void ProcessRenderer::render(const QString& url, int timeoutMs, Done done) {
    m_pending.append(Pending{url, timeoutMs, std::move(done)});
    if (!m_busy)
        startNext();
}

void ProcessRenderer::startNext() {
    if (m_pending.isEmpty())
        return;
    m_busy = true;
    m_idle.stop();
    if (std::exchange(m_ending, false) && !m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
    const Pending& next = m_pending.first();
    if (m_process.state() == QProcess::NotRunning) {
        m_output.clear();
        QStringList args;
        for (const QString& spec : m_connectTo())
            args << QStringLiteral("--connect-to") << spec;
        m_process.start(m_program, args);
        if (!m_process.waitForStarted(10000)) {
            fail(QStringLiteral("the page renderer could not start: ") + m_process.errorString());
            return;
        }
    }
    m_watchdog.start(next.timeoutMs + kStartAllowanceMs);
    m_process.write(RequestLine(RenderRequest{next.url, next.timeoutMs}));
}

void ProcessRenderer::onOutput() {
    m_output += m_process.readAllStandardOutput();
    qsizetype newline;
    while (m_busy && (newline = m_output.indexOf('\n')) >= 0) {
        const QByteArray line = m_output.left(newline);
        m_output.remove(0, newline + 1);
        const std::optional<RenderReply> reply = ParseReply(line);
        if (!reply) {
            fail(QStringLiteral("the page renderer's answer could not be read"));
            return;
        }
        answer(Result{reply->ok, reply->html, reply->error});
    }
}

void ProcessRenderer::fail(const QString& why) {
    answer(Result{false, {}, why});
}

// The request under way is answered; the next one starts on a later turn of the
// event loop, after the caller has dealt with this answer.
void ProcessRenderer::answer(const Result& result) {
    m_watchdog.stop();
    if (!m_busy || m_pending.isEmpty())
        return;
    Done done = std::move(m_pending.first().done);
    m_pending.removeFirst();
    m_busy = false;
    QTimer::singleShot(0, this, [this] {
        if (!m_busy)
            startNext();
        if (!m_busy)
            m_idle.start();
    });
    if (done)
        done(result);
}

} // namespace corvantis::render
