#include "scan/substring_index.h"

#include <QStringList>

namespace corvantis::scan {

// Placeholder: a plain scan, replaced by the gram index.
struct SubstringIndex::Impl {
    QStringList texts;
};

SubstringIndex::SubstringIndex() : m_impl(std::make_unique<Impl>()) {}
SubstringIndex::~SubstringIndex() = default;
SubstringIndex::SubstringIndex(SubstringIndex&&) noexcept = default;
SubstringIndex& SubstringIndex::operator=(SubstringIndex&&) noexcept = default;

void SubstringIndex::add(const QString& text) { m_impl->texts.append(text); }

bool SubstringIndex::anyContains(const QString& needle) const {
    for (const QString& t : m_impl->texts)
        if (t.contains(needle, Qt::CaseInsensitive))
            return true;
    return false;
}

void SubstringIndex::clear() { m_impl->texts.clear(); }
qsizetype SubstringIndex::size() const { return m_impl->texts.size(); }

} // namespace corvantis::scan
