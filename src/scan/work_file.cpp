#include "scan/work_file.h"

namespace corvantis::scan {

void WorkFile::write(const QString& path, const QString& text) {
    if (m_file.isOpen() && m_file.fileName() != path)
        m_file.close();
    if (!m_file.isOpen()) {
        m_file.setFileName(path);
        if (!m_file.open(QIODevice::ReadWrite | QIODevice::Truncate))
            return;
    }
    const QByteArray bytes = text.toLatin1();
    const bool ok = m_file.seek(0) && m_file.write(bytes) == bytes.size() && m_file.write("\r\n", 2) == 2 &&
                    m_file.flush() && m_file.resize(bytes.size() + 2);
    if (!ok)
        m_file.close(); // try afresh with the next page
}

} // namespace corvantis::scan
