#include "support/test_process.h"

#include <QProcess>
#include <QSignalSpy>

namespace corvantis::testing {

ProcessRun RunProcess(const QString& program, const QStringList& args,
                      const QProcessEnvironment& env, const QString& folder, int timeoutMs) {
    QProcess p;
    p.setProgram(program);
    p.setArguments(args);
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(folder);
    QSignalSpy finished(&p, &QProcess::finished);
    p.start();
    ProcessRun r;
    if (!finished.wait(timeoutMs)) {
        p.kill();
        p.waitForFinished(5000);
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

} // namespace corvantis::testing
