#pragma once

#include "session/page_renderer.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QProcess>
#include <QQueue>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace corvantis::render {

// The page renderer as a process of its own (corvantis-render), started at the
// first request and kept while requests follow, so a scan that renders nothing
// never loads a web engine; after half a minute without one it ends. It holds
// up to pagesAtOnce() pages at once; more requests wait here, in order. Each
// request has an id its answer repeats, so answers land on their own requests
// in whatever order they come.
//
// The process is ended, and the renders under way in it fail, when it sends a
// line that cannot be read or is too long, when it does not answer in time,
// or when it and its browser processes hold more memory than memoryBound()
// (what they hold themselves: process_tree.h);
// what waits here goes to a new one.
//
// It never runs as root: when this program does, the renderer runs as `nobody`
// (or the user CORVANTIS_RENDER_USER names) with a new empty home folder,
// removed when it ends. Its environment holds only what the browser needs
// (render_environment.h), none of this program's secrets.
class ProcessRenderer : public QObject, public scan::PageRenderer {
    Q_OBJECT
public:
    static constexpr qint64 kDefaultMemoryBound = 1536LL * 1024 * 1024;

    // program: corvantis-render; connectTo: where hosts are routed instead
    // (HOST[:PORT]:ADDR:PORT, as corvantis-scan --connect-to takes them), asked
    // when the process starts.
    ProcessRenderer(QString program, std::function<QStringList()> connectTo,
                    QObject* parent = nullptr);
    ~ProcessRenderer() override;

    void render(const QString& url, int timeoutMs, Done done) override;

    // Pages under way in the renderer at once, 1 to kMostPagesAtOnce; 1 unless set.
    void setPagesAtOnce(int n) override;
    int pagesAtOnce() const { return m_pagesAtOnce; }
    // Resident bytes of the renderer and its browser processes together above
    // which it is ended; kDefaultMemoryBound unless set.
    void setMemoryBound(qint64 bytes);
    qint64 memoryBound() const { return m_memoryBound; }

    // Why no page can be rendered here at all (run as root, the renderer cannot
    // run as its user), found at the first render and said by every render
    // after; empty while pages can be rendered.
    QString unavailableReason() const override { return m_unavailable; }
    // The renderer's process while it runs, else 0.
    qint64 processId() const;

    // corvantis-render where CORVANTIS_RENDER says, else installed (lib/corvantis/
    // beside this program's bin/), else beside this program (the build tree).
    static QString DefaultProgram();

private:
    struct Waiting {
        QString url;
        int timeoutMs;
        Done done;
    };
    struct UnderWay {
        QString url;
        int timeoutMs;
        Done done;
        QElapsedTimer sent;
    };
    struct RunAs {
        quint32 uid;
        quint32 gid;
        QString name;
    };
    using Answers = QList<std::pair<Done, Result>>;

    void schedulePump();
    void pump();
    QString startProcess();
    QString checkUser();
    std::unique_ptr<QTemporaryDir> makeHome(QString* error) const;
    void prepare(QProcess& process, QTemporaryDir* home) const;
    void onOutput();
    void onEnded(QProcess* process);
    void endProcess(const QString& why);
    void endWhenIdle();
    void armWatchdog();
    void checkWatchdog();
    void checkMemory();
    void failWaiting(const QString& why);
    void deliver(Answers answers);

    QString m_program;
    std::function<QStringList()> m_connectTo;
    QProcess* m_process = nullptr;         // the renderer while it runs (a child of this)
    quint64 m_starts = 0;                  // processes started: which one a later check is about
    std::unique_ptr<QTemporaryDir> m_home; // its home folder, run as another user
    QQueue<Waiting> m_waiting;
    std::map<qint64, UnderWay> m_underWay; // by id
    qint64 m_nextId = 1;                   // never reused, not even by a new process
    int m_pagesAtOnce = 1;
    qint64 m_memoryBound = kDefaultMemoryBound;
    bool m_answered = false; // the process has answered: its web engine is up
    bool m_ending = false;   // it was told to end; its end is awaited
    QString m_endReason;     // why, for the renders under way
    QByteArray m_output;
    qsizetype m_scanned = 0; // of m_output, known to hold no end of line
    bool m_pumpScheduled = false;
    std::optional<RunAs> m_runAs;
    QString m_unavailable;
    QTimer m_watchdog;
    QTimer m_memoryCheck;
    QTimer m_idle; // ends the process when no request has come for a while
};

} // namespace corvantis::render
