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
    void write(const QString& path, const QByteArray& bytes);

    // The same in pieces: begin, append as often as needed, finish (which adds the CR LF).
    void begin(const QString& path);
    void append(const QByteArray& bytes);
    void finish();

private:
    void end(); // cuts what an older, longer page left behind

    qint64 m_written = 0; // bytes written since begin
    bool m_ok = false;
    QFile m_file;
    qint64 m_size = 0; // bytes the file holds
};

} // namespace corvantis::scan
