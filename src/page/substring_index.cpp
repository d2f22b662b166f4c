#include "page/substring_index.h"

#include "util/text_utils.h"

#include <QHash>
#include <QSet>
#include <QStringList>
#include <QVarLengthArray>

#include <algorithm>
#include <array>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace corvantis::scan {
namespace {

// Length of the grams the index is keyed on. Four characters keep the posting
// lists of page addresses short (page numbers and names rarely share four
// characters in a row) and still fit one 64-bit key.
constexpr qsizetype kGram = 4;

// The candidates of a needle are the texts that hold all of its rarest grams,
// up to this many of them...
constexpr std::size_t kJoined = 3;
// ...leaving out any gram whose list is this many times longer than the
// rarest: stepping through a gap-coded list costs about a nanosecond per entry,
// verifying a candidate some tens.
constexpr quint32 kJoinRatio = 16;

using Gram = quint64;
using Folded = std::u16string_view;

using util::FoldUnit;
using util::HasSurrogate;

// Up to four folded units packed into one key; short grams carry their length
// above the units so "a" and "\0a" differ.
Gram PackUnits(const char16_t* units, qsizetype count) {
    Gram g = 0;
    for (qsizetype i = 0; i < count; ++i)
        g = (g << 16) | units[i];
    return g;
}
Gram ShortGram(const char16_t* units, qsizetype count) {
    return (Gram(count) << 48) | PackUnits(units, count);
}

// The ids of the texts that hold one gram, ascending and each once, stored as
// variable-length gaps: most gaps of a busy gram fit in one byte. A gram seen
// in one text only keeps its id without a byte list: texts with long random
// tokens make millions of those, so an entry stays at 16 bytes and allocates
// nothing until a second text holds the gram.
class Postings {
public:
    Postings() = default;
    Postings(Postings&&) noexcept = default;
    Postings& operator=(Postings&&) noexcept = default;
    // The table that holds the lists wants them copyable, though it never
    // copies them here.
    Postings(const Postings& other)
        : m_bytes(other.m_bytes ? std::make_unique<Bytes>(*other.m_bytes) : nullptr),
          m_count(other.m_count), m_last(other.m_last) {}
    Postings& operator=(const Postings& other) {
        if (this != &other)
            *this = Postings(other);
        return *this;
    }

    quint32 count() const { return m_count; }

    void append(quint32 id) {
        if (m_count > 0 && id == m_last)
            return;
        if (m_count == 1) {
            m_bytes = std::make_unique<Bytes>();
            appendGap(m_last);
        }
        if (m_count > 0)
            appendGap(id - m_last);
        m_last = id;
        ++m_count;
    }

    // Walks the ids in ascending order.
    class Reader {
    public:
        Reader() = default; // an empty list
        explicit Reader(const Postings& p) : m_id(p.m_last), m_single(p.m_count == 1) {
            if (p.m_bytes) {
                m_pos = p.m_bytes->data();
                m_end = m_pos + p.m_bytes->size();
            }
        }

        quint32 id() const { return m_id; }

        // Moves to the next id; false at the end of the list.
        bool next() {
            if (m_single) {
                m_single = false;
                m_started = true;
                return true;
            }
            if (m_pos == m_end)
                return false;
            quint32 gap = 0;
            int shift = 0;
            quint8 byte;
            do {
                byte = *m_pos++;
                gap |= quint32(byte & 0x7f) << shift;
                shift += 7;
            } while (byte & 0x80);
            m_id = m_started ? m_id + gap : gap;
            m_started = true;
            return true;
        }

        // Moves to the first id not below target, staying put when already
        // there; false when the list runs out first.
        bool seek(quint32 target) {
            if (!m_started && !next())
                return false;
            while (m_id < target)
                if (!next())
                    return false;
            return true;
        }

    private:
        const quint8* m_pos = nullptr;
        const quint8* m_end = nullptr;
        quint32 m_id = 0;
        bool m_single = false;
        bool m_started = false;
    };

private:
    using Bytes = std::vector<quint8>;

    void appendGap(quint32 gap) {
        while (gap >= 0x80) {
            m_bytes->push_back(quint8(gap | 0x80));
            gap >>= 7;
        }
        m_bytes->push_back(quint8(gap));
    }

    std::unique_ptr<Bytes> m_bytes;
    quint32 m_count = 0;
    quint32 m_last = 0;
};

// Moves every reader to the next id that all of them hold (leapfrogging the
// others to the largest id seen); false when one list runs out.
bool NextInAll(std::span<Postings::Reader> readers) {
    if (!readers[0].next())
        return false;
    quint32 target = readers[0].id();
    std::size_t agreed = 1;
    for (std::size_t i = 1; agreed < readers.size(); i = (i + 1) % readers.size()) {
        if (!readers[i].seek(target))
            return false;
        if (readers[i].id() == target) {
            ++agreed;
        } else {
            target = readers[i].id();
            agreed = 1;
        }
    }
    return true;
}

} // namespace

size_t WholeHash(Folded text) {
    return qHashBits(text.data(), text.size() * sizeof(char16_t));
}

struct SubstringIndex::Impl {
    // Folded texts one after another; text i spans starts[i] to starts[i + 1].
    std::vector<char16_t> folded;
    std::vector<quint32> starts{0};
    QHash<Gram, Postings> grams;
    // Every folded text shorter than a gram that occurs somewhere: answers the
    // short needles without candidates.
    QSet<Gram> shortGrams;
    // Each whole folded text by its hash (one text per hash): a needle equal to
    // an added text, the usual question of the crawl, is answered by one lookup.
    QHash<size_t, quint32> wholeTexts;
    // Texts holding surrogates, as added: case folding of a surrogate pair
    // depends on both units, so needles with surrogates are checked here
    // directly. Addresses of pages never have them.
    QStringList withSurrogates;

    quint32 count() const { return quint32(starts.size() - 1); }

    Folded text(quint32 id) const {
        return Folded(folded.data() + starts[id], starts[id + 1] - starts[id]);
    }
    bool holds(quint32 id, Folded needle) const { return text(id).find(needle) != Folded::npos; }

    void add(const QString& s);
    bool containsFolded(Folded needle) const;
};

void SubstringIndex::Impl::add(const QString& s) {
    const quint32 id = count();
    const std::size_t begin = folded.size();
    for (QChar c : s)
        folded.push_back(FoldUnit(c.unicode()));
    starts.push_back(quint32(folded.size()));
    if (HasSurrogate(s))
        withSurrogates.append(s);

    const char16_t* units = folded.data() + begin;
    const qsizetype length = s.size();
    wholeTexts.insert(WholeHash(text(id)), id);
    for (qsizetype i = 0; i + kGram <= length; ++i)
        grams[PackUnits(units + i, kGram)].append(id);
    for (qsizetype n = 1; n < kGram; ++n)
        for (qsizetype i = 0; i + n <= length; ++i)
            shortGrams.insert(ShortGram(units + i, n));
}

bool SubstringIndex::Impl::containsFolded(Folded needle) const {
    if (const auto it = wholeTexts.constFind(WholeHash(needle));
        it != wholeTexts.cend() && text(*it) == needle)
        return true;
    const qsizetype length = qsizetype(needle.size());
    if (length < kGram)
        return shortGrams.contains(ShortGram(needle.data(), length));

    // Every gram of the needle must occur; the few rarest lists, kept sorted
    // rarest first, give the candidates.
    std::array<const Postings*, kJoined> rarest{};
    std::size_t found = 0;
    for (qsizetype i = 0; i + kGram <= length; ++i) {
        const auto it = grams.constFind(PackUnits(needle.data() + i, kGram));
        if (it == grams.cend())
            return false;
        const Postings* list = &*it;
        if (std::find(rarest.begin(), rarest.begin() + found, list) != rarest.begin() + found)
            continue;
        if (found < kJoined)
            rarest[found++] = list;
        else if (list->count() < rarest[kJoined - 1]->count())
            rarest[kJoined - 1] = list;
        else
            continue;
        for (std::size_t j = found - 1; j > 0 && rarest[j]->count() < rarest[j - 1]->count(); --j)
            std::swap(rarest[j], rarest[j - 1]);
    }

    // Candidates are the texts that hold all of the few rarest grams, taken
    // lazily in ascending order and verified one by one: a needle that many
    // texts hold (the site's host, a shared directory) is answered by the first
    // ones. A list much longer than the rarest costs more to walk than it saves.
    std::array<Postings::Reader, kJoined> readers;
    std::size_t joined = 0;
    while (joined < found && rarest[joined]->count() <= kJoinRatio * rarest[0]->count()) {
        readers[joined] = Postings::Reader(*rarest[joined]);
        ++joined;
    }
    while (NextInAll(std::span(readers.data(), joined)))
        if (holds(readers[0].id(), needle))
            return true;
    return false;
}

SubstringIndex::SubstringIndex() : m_impl(std::make_unique<Impl>()) {}
SubstringIndex::~SubstringIndex() = default;
SubstringIndex::SubstringIndex(SubstringIndex&&) noexcept = default;
SubstringIndex& SubstringIndex::operator=(SubstringIndex&&) noexcept = default;

void SubstringIndex::add(const QString& text) {
    m_impl->add(text);
}

bool SubstringIndex::anyContains(const QString& needle) const {
    if (needle.isEmpty())
        return size() > 0;
    if (HasSurrogate(needle))
        return std::any_of(
            m_impl->withSurrogates.cbegin(), m_impl->withSurrogates.cend(),
            [&](const QString& t) { return t.contains(needle, Qt::CaseInsensitive); });
    QVarLengthArray<char16_t, 256> folded;
    for (QChar c : needle)
        folded.append(FoldUnit(c.unicode()));
    return m_impl->containsFolded(Folded(folded.data(), std::size_t(folded.size())));
}

void SubstringIndex::clear() {
    *m_impl = Impl();
}

qsizetype SubstringIndex::size() const {
    return m_impl->count();
}

} // namespace corvantis::scan
