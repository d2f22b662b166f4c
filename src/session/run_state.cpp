#include "session/run_state.h"

#include "util/settings_store.h"
#include "util/text_utils.h"

#include <limits>

namespace corvantis::scan {

RunState::RunState(QObject* parent) : QObject(parent) {}

void RunState::LoadCounters() {
    const auto read = [](const QString& key) {
        return util::ToInt32(util::ReadSetting(key, QStringLiteral("0"))).value_or(0);
    };
    m_counters.lHistEmailFound = read(QStringLiteral("lHistEmailFound"));
    m_counters.lHistWebScanned = read(QStringLiteral("lHistWebScanned"));
    Q_EMIT statisticsChanged(m_counters);
}

void RunState::resetRunCounters() {
    m_counters.runPagesScanned = 0;
    m_counters.runPagesFound = 0;
    m_counters.runLinksFound = 0;
}

void RunState::resetLinksFound() {
    m_counters.runLinksFound = 0;
    Q_EMIT statisticsChanged(m_counters);
}

void RunState::CountScanEvent(ScanEvent kind) {
    // A counter at its 32-bit ceiling stays there.
    const auto bump = [](qint32& n) {
        if (n < std::numeric_limits<qint32>::max())
            ++n;
    };
    ScanCounters& c = m_counters;
    switch (kind) {
    case ScanEvent::PageScanned:
        bump(c.runPagesScanned);
        bump(c.lHistWebScanned);
        util::WriteSetting(QStringLiteral("lHistWebScanned"), QString::number(c.lHistWebScanned));
        break;
    case ScanEvent::PageQueued:
        bump(c.runPagesFound);
        break;
    case ScanEvent::ItemFound:
        bump(c.runLinksFound);
        bump(c.lHistEmailFound);
        util::WriteSetting(QStringLiteral("lHistEmailFound"), QString::number(c.lHistEmailFound));
        break;
    }
    Q_EMIT statisticsChanged(c);
}

} // namespace corvantis::scan
