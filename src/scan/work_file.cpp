#include "scan/work_file.h"

namespace corvantis::scan {

void WorkFile::write(const QString& path, QByteArray bytes) {
    if (m_file.isOpen() && m_file.fileName() != path)
        m_file.close();
    if (!m_file.isOpen()) {
        m_file.setFileName(path);
        if (!m_file.open(QIODevice::ReadWrite | QIODevice::Truncate))
            return;
        m_size = 0;
    }
    bytes += "\r\n";
    // Overwritten in place; cut only when the new page is shorter than the old one.
    const bool ok = m_file.seek(0) && m_file.write(bytes) == bytes.size() && m_file.flush() &&
                    (bytes.size() >= m_size || m_file.resize(bytes.size()));
    m_size = ok ? bytes.size() : 0;
    if (!ok)
        m_file.close(); // try afresh with the next page
}

} // namespace corvantis::scan
