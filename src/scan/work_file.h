#pragma once

#include <QFile>
#include <QString>

namespace corvantis::scan {

// A work file rewritten for every page. It stays open between pages and is
// overwritten in place, which costs far less than deleting and creating it each
// time; a file that cannot be written is skipped without a word.
class WorkFile {
public:
    // Replaces the file's content with the bytes and a final CR LF.
    void write(const QString& path, QByteArray bytes);

private:
    QFile m_file;
    qint64 m_size = 0; // bytes the file holds
};

} // namespace corvantis::scan
