#include "scan/work_file.h"

#include <unistd.h>

namespace corvantis::scan {

void WorkFile::write(const QString& path, QByteArray bytes) {
    bytes += "\r\n"; // one write for the page and its line end
    begin(path);
    append(bytes);
    end();
}

void WorkFile::begin(const QString& path) {
    if (m_file.isOpen() && m_file.fileName() != path)
        m_file.close();
    if (!m_file.isOpen()) {
        m_file.setFileName(path);
        m_size = 0;
        if (!m_file.open(QIODevice::ReadWrite | QIODevice::Truncate | QIODevice::Unbuffered)) {
            m_ok = false;
            return;
        }
    }
    m_written = 0;
    m_ok = true;
}

void WorkFile::append(const QByteArray& bytes) {
    // Positioned writes: no seek to the start for every page.
    m_ok = m_ok && ::pwrite(m_file.handle(), bytes.constData(), size_t(bytes.size()),
                            off_t(m_written)) == bytes.size();
    m_written += bytes.size();
}

void WorkFile::finish() {
    append(QByteArrayLiteral("\r\n"));
    end();
}

void WorkFile::end() {
    // Overwritten in place; cut only when the new page is shorter than the old one.
    m_ok = m_ok && (m_written >= m_size || ::ftruncate(m_file.handle(), off_t(m_written)) == 0);
    m_size = m_ok ? m_written : 0;
    if (!m_ok)
        m_file.close(); // try afresh with the next page
}

} // namespace corvantis::scan
