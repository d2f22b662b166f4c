#include "page/work_file.h"

#include <sys/uio.h>
#include <unistd.h>

namespace corvantis::scan {

void WorkFile::write(const QString& path, const QByteArray& bytes) {
    begin(path);
    // The page and its line end in one positioned write, without joining them first.
    static const char lineEnd[] = "\r\n";
    const iovec pieces[] = {{const_cast<char*>(bytes.constData()), size_t(bytes.size())},
                            {const_cast<char*>(lineEnd), 2}};
    const qsizetype total = bytes.size() + 2;
    m_ok = m_ok && ::pwritev(m_file.handle(), pieces, 2, 0) == total;
    m_written = total;
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
