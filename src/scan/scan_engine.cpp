#include "scan/scan_engine.h"

#include "scan/scan_driver.h"

namespace corvantis::scan {

ScanEngine::ScanEngine(ScanSession& session, util::Messages& messages, util::SoundPlayer& sound,
                       const HostRouter& router, QObject* parent)
    : ScanEngine(session, messages, sound, router, Options{}, parent) {}

ScanEngine::ScanEngine(ScanSession& session, util::Messages& messages, util::SoundPlayer& sound,
                       const HostRouter& router, Options options, QObject* parent)
    : QObject(parent), m_session(session),
      d(std::make_unique<ScanDriver>(*this, session, messages, sound, router, options)) {}

ScanEngine::~ScanEngine() = default;

const ScanControls& ScanEngine::controls() const {
    return d->controls();
}
bool ScanEngine::readAheadEnabled() const {
    return d->readAheadEnabled();
}
const QList<EndedSite>& ScanEngine::endedSites() const {
    return d->endedSites();
}
void ScanEngine::StartScan() {
    d->StartScan();
}
void ScanEngine::NextSite() {
    d->NextSite();
}
void ScanEngine::StopScan() {
    d->StopScan();
}
bool ScanEngine::AddPartnerSite(PartnerEntry& fields) {
    return d->AddPartnerSite(fields);
}
void ScanEngine::DeletePartnerSite(int selectedRow) {
    d->DeletePartnerSite(selectedRow);
}
QString ScanEngine::CheckLinksExpected(const QString& text) {
    return d->CheckLinksExpected(text);
}

} // namespace corvantis::scan
