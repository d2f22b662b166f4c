#pragma once

#include <QString>

#include <memory>

namespace corvantis::scan {

// Answers "does any of the added texts contain this text?" with letter case
// ignored, without a scan over every text added: a gram index narrows the
// candidates, which are then verified. Cost per query grows with the candidates
// that share the query's rarest gram, not with the number of texts.
class SubstringIndex {
public:
    SubstringIndex();
    ~SubstringIndex();
    SubstringIndex(SubstringIndex&&) noexcept;
    SubstringIndex& operator=(SubstringIndex&&) noexcept;

    void add(const QString& text);
    bool anyContains(const QString& needle) const;
    void clear();
    qsizetype size() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace corvantis::scan
