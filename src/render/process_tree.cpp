#include "render/process_tree.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QHash>

namespace corvantis::render {

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The parent in /proc/<pid>/stat: the fourth field, after the name in
// parentheses (which may itself hold spaces and parentheses).
qint64 ParentOf(const QString& pid) {
    const QByteArray stat = ReadAll(QStringLiteral("/proc/") + pid + QStringLiteral("/stat"));
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0)
        return -1;
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() : -1;
}

} // namespace

QList<qint64> ProcessTree(qint64 pid) {
    if (pid <= 0 || !QFile::exists(QStringLiteral("/proc/%1").arg(pid)))
        return {};
    // One pass over /proc; a child's children may be started later than it,
    // so the tree is walked from the parent map rather than in pid order.
    QMultiHash<qint64, qint64> children;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        bool number = false;
        const qint64 child = entry.toLongLong(&number);
        if (number)
            children.insert(ParentOf(entry), child);
    }
    QList<qint64> tree{pid};
    for (qsizetype i = 0; i < tree.size() && tree.size() < 10000; ++i)
        tree.append(children.values(tree.at(i)));
    return tree;
}

qint64 ResidentBytes(const QList<qint64>& pids) {
    qint64 total = 0;
    for (const qint64 pid : pids) {
        const QList<QByteArray> lines =
            ReadAll(QStringLiteral("/proc/%1/status").arg(pid)).split('\n');
        for (const QByteArray& line : lines)
            if (line.startsWith("RssAnon:") || line.startsWith("RssShmem:")) {
                const QByteArray kb = line.mid(line.indexOf(':') + 1).trimmed(); // "1234 kB"
                total += kb.left(kb.indexOf(' ')).toLongLong() * 1024;
            }
    }
    return total;
}

} // namespace corvantis::render
