#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace corvantis::testing {

// What a program run by a test did.
struct ProcessRun {
    int exitCode = -1; // -1 when it crashed or did not end in time
    QString out;
    QString err;
};

// Runs a program to its end while this process's event loop turns, so the test
// servers it talks to keep answering; kills it after timeoutMs.
ProcessRun RunProcess(const QString& program, const QStringList& args,
                      const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
                      const QString& folder = QString(), int timeoutMs = 30000);

} // namespace corvantis::testing
