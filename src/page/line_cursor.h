#pragma once

#include <QString>
#include <QStringView>

namespace corvantis::scan {

// Reads a text line by line (a line ends at CR LF, CR or LF). The next CR and
// the next LF are found with the fast search and remembered, so a page is
// walked in a few quick passes rather than character by character.
class LineCursor {
public:
    void reset(const QString& text, qsizetype pos = 0) {
        m_text = QStringView(text);
        m_pos = pos;
        m_cr = m_lf = kUnknown;
    }
    bool atEnd() const { return m_pos >= m_text.size(); }
    qsizetype pos() const { return m_pos; }

    QStringView next() {
        const qsizetype n = m_text.size();
        if (m_cr != kNone && m_cr < m_pos)
            m_cr = m_text.indexOf(u'\r', m_pos);
        if (m_lf != kNone && m_lf < m_pos)
            m_lf = m_text.indexOf(u'\n', m_pos);
        qsizetype end = n;
        if (m_cr >= 0)
            end = m_cr;
        if (m_lf >= 0 && m_lf < end)
            end = m_lf;
        const QStringView line = m_text.mid(m_pos, end - m_pos);
        if (end < n)
            end += (m_text[end] == u'\r' && end + 1 < n && m_text[end + 1] == u'\n') ? 2 : 1;
        m_pos = end;
        return line;
    }

private:
    static constexpr qsizetype kNone = -1;    // no such character further on
    static constexpr qsizetype kUnknown = -2; // not looked for yet
    QStringView m_text;
    qsizetype m_pos = 0;
    qsizetype m_cr = kUnknown;
    qsizetype m_lf = kUnknown;
};

} // namespace corvantis::scan
