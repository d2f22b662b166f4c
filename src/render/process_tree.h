#pragma once

#include <QList>
#include <QtGlobal>

namespace corvantis::render {

// A process and all its descendants, read from /proc: the process first, then
// the rest in no set order. Empty when the process is gone.
QList<qint64> ProcessTree(qint64 pid);

// The resident memory they hold themselves (RssAnon and RssShmem of
// /proc/<pid>/status), added up, in bytes; a process that has ended meanwhile
// counts nothing. The program files every browser process maps (VmRSS counts
// them in each, some 70 MB) are left out: ten pages at once would count them
// fourteen times.
qint64 ResidentBytes(const QList<qint64>& pids);

} // namespace corvantis::render
