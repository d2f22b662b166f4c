#include "render/render_client.h"

#include "render/process_tree.h"
#include "render/render_environment.h"
#include "render/render_protocol.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <grp.h>
#include <limits>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace corvantis::render {

namespace {

// Beyond a page's own time-out, before the renderer is taken for stuck: its
// start and its web engine's, until it has answered once; then a margin for a
// busy machine.
constexpr int kStartAllowanceMs = 20000;
constexpr int kAnswerAllowanceMs = 5000;
constexpr int kMemoryCheckMs = 1000;
constexpr int kIdleMs = 30000;

QString Megabytes(qint64 bytes) {
    return QString::number(bytes / (1024 * 1024));
}

scan::PageRenderer::Result Failed(const QString& why) {
    return {false, {}, why};
}

} // namespace

ProcessRenderer::ProcessRenderer(QString program, std::function<QStringList()> connectTo,
                                 QObject* parent)
    : QObject(parent), m_program(std::move(program)), m_connectTo(std::move(connectTo)) {
    m_watchdog.setSingleShot(true);
    connect(&m_watchdog, &QTimer::timeout, this, &ProcessRenderer::checkWatchdog);
    m_memoryCheck.setInterval(kMemoryCheckMs);
    connect(&m_memoryCheck, &QTimer::timeout, this, &ProcessRenderer::checkMemory);
    m_idle.setSingleShot(true);
    m_idle.setInterval(kIdleMs);
    connect(&m_idle, &QTimer::timeout, this, &ProcessRenderer::endWhenIdle);
}

ProcessRenderer::~ProcessRenderer() {
    m_waiting.clear();
    m_underWay.clear();
    if (QProcess* p = std::exchange(m_process, nullptr)) {
        p->disconnect(this);
        p->closeWriteChannel(); // it ends at the end of its input
        if (!p->waitForFinished(3000)) {
            for (const qint64 pid : ProcessTree(p->processId()))
                ::kill(pid_t(pid), SIGKILL);
            p->waitForFinished(2000);
        }
    }
}

// Where corvantis-render is looked for, first found first:
// 1. $CORVANTIS_RENDER when set (a build's tests; a renderer elsewhere);
// 2. installed: lib/corvantis/ below the prefix of this program's bin/ folder
//    (/usr/bin/corvantis-scan finds /usr/lib/corvantis/corvantis-render, and so
//    under any other prefix or an unpacked package), out of PATH, as it is no
//    command a user types;
// 3. beside this program: the build tree, where src/app/ holds all three.
// With none there, the installed place, which the error then names.
QString ProcessRenderer::DefaultProgram() {
    if (qEnvironmentVariableIsSet("CORVANTIS_RENDER"))
        return qEnvironmentVariable("CORVANTIS_RENDER");
    const QString here = QCoreApplication::applicationDirPath();
    const QString installed = QDir::cleanPath(
        here + QStringLiteral("/" CORVANTIS_RENDER_FROM_BINDIR "/corvantis-render"));
    const QString beside = here + QStringLiteral("/corvantis-render");
    return !QFileInfo(installed).isExecutable() && QFileInfo(beside).isExecutable() ? beside
                                                                                    : installed;
}

qint64 ProcessRenderer::processId() const {
    return m_process ? m_process->processId() : 0;
}

void ProcessRenderer::setPagesAtOnce(int n) {
    m_pagesAtOnce = qBound(1, n, kMostPagesAtOnce);
    schedulePump();
}

void ProcessRenderer::setMemoryBound(qint64 bytes) {
    m_memoryBound = qMax<qint64>(1, bytes);
}

void ProcessRenderer::render(const QString& url, int timeoutMs, Done done) {
    m_waiting.enqueue(Waiting{url, timeoutMs, std::move(done)});
    schedulePump();
}

// Requests go out on a later turn of the event loop: an answer is never given
// inside render(), and the caller has dealt with one answer before the next
// request goes.
void ProcessRenderer::schedulePump() {
    if (std::exchange(m_pumpScheduled, true))
        return;
    QTimer::singleShot(0, this, &ProcessRenderer::pump);
}

void ProcessRenderer::pump() {
    m_pumpScheduled = false;
    if (m_waiting.isEmpty()) {
        if (m_underWay.empty() && m_process && !m_ending)
            m_idle.start();
        return;
    }
    m_idle.stop();
    if (m_ending)
        return; // its end pumps again
    if (!m_unavailable.isEmpty()) {
        failWaiting(m_unavailable);
        return;
    }
    if (!m_process) {
        const QString error = startProcess();
        if (!error.isEmpty()) {
            failWaiting(error);
            return;
        }
    }
    while (int(m_underWay.size()) < m_pagesAtOnce && !m_waiting.isEmpty()) {
        Waiting w = m_waiting.dequeue();
        const qint64 id = m_nextId++;
        UnderWay& u = m_underWay[id];
        u = UnderWay{w.url, w.timeoutMs, std::move(w.done), {}};
        u.sent.start();
        m_process->write(RequestLine(RenderRequest{id, w.url, w.timeoutMs}));
    }
    armWatchdog();
    if (!m_memoryCheck.isActive())
        m_memoryCheck.start();
}

QString ProcessRenderer::startProcess() {
    std::unique_ptr<QTemporaryDir> home;
    if (::getuid() == 0) {
        if (!m_runAs) {
            if (const QString why = checkUser(); !why.isEmpty()) {
                m_unavailable = QStringLiteral("pages are not rendered: corvantis-render cannot "
                                               "run as %1: %2")
                                    .arg(qEnvironmentVariable("CORVANTIS_RENDER_USER",
                                                              QStringLiteral("nobody")),
                                         why);
                return m_unavailable;
            }
        }
        QString error;
        home = makeHome(&error);
        if (!home)
            return QStringLiteral("the page renderer could not start: ") + error;
    }
    auto* p = new QProcess(this);
    prepare(*p, home.get());
    // The web engine's own chatter is no news for the scan's user.
    p->setStandardErrorFile(QProcess::nullDevice());
    QStringList args;
    for (const QString& spec : m_connectTo())
        args << QStringLiteral("--connect-to") << spec;
    p->setArguments(args);
    p->start();
    if (!p->waitForStarted(10000)) {
        const QString error = p->errorString();
        p->kill();
        p->waitForFinished(2000);
        delete p;
        return QStringLiteral("the page renderer could not start: ") + error;
    }
    m_process = p;
    ++m_starts;
    m_home = std::move(home);
    m_answered = false;
    m_output.clear();
    m_scanned = 0;
    connect(p, &QProcess::readyReadStandardOutput, this, &ProcessRenderer::onOutput);
    connect(p, &QProcess::finished, this, [this, p] { onEnded(p); });
    return {};
}

// Once, run as root: whether the renderer can run as its user at all, by
// running it so with --check.
QString ProcessRenderer::checkUser() {
    const QString name = qEnvironmentVariable("CORVANTIS_RENDER_USER", QStringLiteral("nobody"));
    passwd entry{};
    passwd* found = nullptr;
    QByteArray buffer(16384, Qt::Uninitialized);
    if (::getpwnam_r(name.toLocal8Bit().constData(), &entry, buffer.data(), size_t(buffer.size()),
                     &found) != 0 ||
        !found)
        return QStringLiteral("there is no such user");
    if (found->pw_uid == 0)
        return QStringLiteral("that user is root");
    m_runAs = RunAs{found->pw_uid, found->pw_gid, name};
    QString error;
    const std::unique_ptr<QTemporaryDir> home = makeHome(&error);
    if (!home) {
        m_runAs.reset();
        return error;
    }
    QProcess check;
    prepare(check, home.get());
    check.setArguments({QStringLiteral("--check")});
    check.start();
    QString why;
    if (!check.waitForStarted(10000))
        why = check.errorString();
    else if (!check.waitForFinished(10000))
        why = QStringLiteral("its check did not end");
    else if (check.exitStatus() != QProcess::NormalExit)
        why = QStringLiteral("its check crashed");
    else if (check.exitCode() == 127)
        why = QStringLiteral("it could not take on that user's identity");
    else if (check.exitCode() != 0) {
        why = QString::fromLocal8Bit(check.readAllStandardError())
                  .remove(QStringLiteral("corvantis-render: "))
                  .trimmed();
        if (why.isEmpty())
            why = QStringLiteral("its check failed (exit code %1)").arg(check.exitCode());
    }
    if (check.state() != QProcess::NotRunning) {
        check.kill();
        check.waitForFinished(2000);
    }
    if (!why.isEmpty())
        m_runAs.reset();
    return why;
}

// A new empty home for the renderer's user, with its runtime folder inside,
// both its own and closed to others.
std::unique_ptr<QTemporaryDir> ProcessRenderer::makeHome(QString* error) const {
    auto home = std::make_unique<QTemporaryDir>(QDir::tempPath() +
                                                QStringLiteral("/corvantis-render-XXXXXX"));
    if (!home->isValid()) {
        *error = QStringLiteral("no home folder: ") + home->errorString();
        return nullptr;
    }
    const QByteArray path = QFile::encodeName(home->path());
    const QByteArray runtime = path + "/runtime";
    for (const QByteArray& folder : {path, runtime}) {
        if ((folder == runtime && ::mkdir(folder.constData(), 0700) != 0) ||
            ::chmod(folder.constData(), 0700) != 0 ||
            ::chown(folder.constData(), m_runAs->uid, m_runAs->gid) != 0) {
            *error =
                QStringLiteral("its home folder %1 could not be made its own: %2")
                    .arg(QFile::decodeName(folder), QString::fromLocal8Bit(std::strerror(errno)));
            return nullptr;
        }
    }
    return home;
}

// The program, its environment from nothing and, run as root, its user.
void ProcessRenderer::prepare(QProcess& process, QTemporaryDir* home) const {
    process.setProgram(m_program);
    QProcessEnvironment env = RendererEnvironment(QProcessEnvironment::systemEnvironment());
    if (home && m_runAs) {
        const QString path = home->path();
        env.insert(QStringLiteral("HOME"), path);
        env.insert(QStringLiteral("XDG_CACHE_HOME"), path + QStringLiteral("/.cache"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), path + QStringLiteral("/.config"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), path + QStringLiteral("/.local/share"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), path + QStringLiteral("/runtime"));
        process.setWorkingDirectory(path);
        const uid_t uid = m_runAs->uid;
        const gid_t gid = m_runAs->gid;
        // In the child, before the program runs: only system calls here.
        process.setChildProcessModifier([uid, gid] {
            if (::setgroups(0, nullptr) != 0)
                ::_exit(127);
            if (::setgid(gid) != 0)
                ::_exit(127);
            if (::setuid(uid) != 0)
                ::_exit(127);
            if (::setuid(0) == 0) // root must be out of reach for good
                ::_exit(127);
        });
    }
    process.setProcessEnvironment(env);
}

void ProcessRenderer::onOutput() {
    QProcess* p = m_process;
    if (!p || m_ending)
        return;
    m_output += p->readAllStandardOutput();
    Answers answers;
    qsizetype newline;
    while (!m_ending && (newline = m_output.indexOf('\n', m_scanned)) >= 0) {
        const QByteArray line = m_output.left(newline);
        m_output.remove(0, newline + 1);
        m_scanned = 0;
        const std::optional<RenderReply> reply = ParseReply(line);
        if (!reply) {
            // Nothing after it can be trusted to be what it says.
            endProcess(QStringLiteral("the page renderer's answer could not be read"));
            break;
        }
        m_answered = true;
        const auto it = m_underWay.find(reply->id);
        if (it == m_underWay.end())
            continue; // an answer to no request under way
        Result result{reply->ok, reply->html, reply->error};
        if (result.ok && result.html.toUtf8().size() > kMaxDocumentBytes)
            result = Failed(QStringLiteral("the rendered document is over %1 MB")
                                .arg(Megabytes(kMaxDocumentBytes)));
        answers.append({std::move(it->second.done), result});
        m_underWay.erase(it);
    }
    if (!m_ending && m_process == p) {
        m_scanned = m_output.size();
        if (m_output.size() > kMaxAnswerLineBytes)
            endProcess(QStringLiteral("the page renderer's answer is over %1 MB")
                           .arg(Megabytes(kMaxAnswerLineBytes)));
    }
    if (!answers.isEmpty()) {
        armWatchdog();
        schedulePump();
    }
    deliver(std::move(answers));
}

// The process and its browser processes are killed at once, so that their
// memory goes now; the renders under way fail with why when it has ended.
void ProcessRenderer::endProcess(const QString& why) {
    QProcess* p = m_process;
    if (!p || m_ending)
        return;
    m_ending = true;
    m_endReason = why;
    for (const qint64 pid : ProcessTree(p->processId()))
        ::kill(pid_t(pid), SIGKILL);
    p->waitForFinished(3000); // its end is onEnded's
}

void ProcessRenderer::endWhenIdle() {
    QProcess* p = m_process;
    if (!p || m_ending || !m_underWay.empty() || !m_waiting.isEmpty())
        return;
    m_ending = true;
    p->closeWriteChannel(); // it ends at the end of its input
    QTimer::singleShot(5000, this, [this, started = m_starts] {
        if (m_process && m_starts == started) {
            m_ending = false;
            endProcess(QStringLiteral("the page renderer did not end"));
        }
    });
}

void ProcessRenderer::onEnded(QProcess* p) {
    if (p != m_process)
        return;
    if (!m_ending)
        onOutput(); // the answers it sent before it ended
    if (p != m_process)
        return;
    QString why = m_endReason;
    if (why.isEmpty())
        why = p->exitStatus() == QProcess::CrashExit
                  ? QStringLiteral("the page renderer crashed")
                  : QStringLiteral("the page renderer ended (exit code %1)").arg(p->exitCode());
    std::map<qint64, UnderWay> underWay = std::exchange(m_underWay, {});
    p->disconnect(this);
    p->deleteLater();
    m_process = nullptr;
    m_home.reset(); // its home goes with it
    m_ending = false;
    m_endReason.clear();
    m_output.clear();
    m_scanned = 0;
    m_watchdog.stop();
    m_memoryCheck.stop();
    Answers answers;
    for (auto& [id, u] : underWay)
        answers.append({std::move(u.done), Failed(why)});
    schedulePump(); // what waits goes to a new process
    deliver(std::move(answers));
}

void ProcessRenderer::armWatchdog() {
    if (m_underWay.empty()) {
        m_watchdog.stop();
        return;
    }
    const int allowance = m_answered ? kAnswerAllowanceMs : kStartAllowanceMs;
    qint64 soonest = std::numeric_limits<qint64>::max();
    for (const auto& [id, u] : m_underWay)
        soonest = qMin(soonest, u.timeoutMs + allowance - u.sent.elapsed());
    m_watchdog.start(int(std::clamp<qint64>(soonest, 0, 24 * 3600 * 1000)));
}

void ProcessRenderer::checkWatchdog() {
    const int allowance = m_answered ? kAnswerAllowanceMs : kStartAllowanceMs;
    for (const auto& [id, u] : m_underWay)
        if (u.sent.elapsed() >= u.timeoutMs + allowance) {
            endProcess(QStringLiteral("the page renderer did not answer in time"));
            return;
        }
    armWatchdog();
}

void ProcessRenderer::checkMemory() {
    if (!m_process || m_ending || m_underWay.empty()) {
        m_memoryCheck.stop();
        return;
    }
    const qint64 bytes = ResidentBytes(ProcessTree(m_process->processId()));
    if (bytes > m_memoryBound)
        endProcess(QStringLiteral("the page renderer took %1 MB of memory, over its bound of %2 MB")
                       .arg(Megabytes(bytes), Megabytes(m_memoryBound)));
}

void ProcessRenderer::failWaiting(const QString& why) {
    Answers answers;
    while (!m_waiting.isEmpty())
        answers.append({std::move(m_waiting.dequeue().done), Failed(why)});
    deliver(std::move(answers));
}

// Callers' code runs last, when this object's state is whole: it may ask for
// more, or even end this object.
void ProcessRenderer::deliver(Answers answers) {
    const QPointer<ProcessRenderer> self(this);
    for (auto& [done, result] : answers) {
        if (!self)
            return;
        if (done)
            done(result);
    }
}

} // namespace corvantis::render
