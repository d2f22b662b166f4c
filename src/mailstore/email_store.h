#pragma once

#include "util/busy_wait.h"

#include <QString>
#include <QStringList>

namespace corvantis::mailstore {

// The store of found e-mail addresses: the SQLite file "spider.mdb" in the
// application folder, table emails, column email. It ships with the program;
// nothing here ever creates it. Each operation opens the file on a connection
// of its own and closes it again, so no handle outlives a call.

// The store's path in the application folder.
QString EmailStorePath();

struct EmailList {
    bool ok = false;
    QStringList emails; // in the order they were stored
    QString error;      // why the store could not be read, for the user
};

// Each waits up to busyTimeout for another program that is writing the file.

// Every stored address, oldest first. The file is opened read-only.
EmailList ReadAllEmails(const QString& storePath = EmailStorePath(),
                        std::chrono::milliseconds busyTimeout = util::kWindowBusyTimeout);

// Deletes every stored address in one write transaction. Returns the empty
// text on success, otherwise why nothing was deleted.
QString DeleteAllEmails(const QString& storePath = EmailStorePath(),
                        std::chrono::milliseconds busyTimeout = util::kWindowBusyTimeout);

} // namespace corvantis::mailstore
