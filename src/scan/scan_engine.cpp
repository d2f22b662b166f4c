#include "scan/scan_engine.h"

#include "fetch/host_route.h"
#include "render/render_client.h"
#include "run/scan_driver.h"

namespace corvantis::scan {

class ScanEngine::Events final : public ScanEvents {
public:
    explicit Events(ScanEngine& engine) : e(engine) {}
    void statusText(StatusPanel panel, const QString& text) override {
        Q_EMIT e.statusText(panel, text);
    }
    void progressChanged(int percent) override { Q_EMIT e.progressChanged(percent); }
    void controlsChanged(const ScanControls& controls) override {
        Q_EMIT e.controlsChanged(controls);
    }
    void focusRequested(EntryField field) override { Q_EMIT e.focusRequested(field); }
    void pageFetched() override { Q_EMIT e.pageFetched(); }
    void scanEnded() override { Q_EMIT e.scanEnded(); }
    void scanStopped() override { Q_EMIT e.scanStopped(); }

private:
    ScanEngine& e;
};

ScanEngine::ScanEngine(ScanSession& session, util::Messages& messages, util::SoundPlayer& sound,
                       const HostRouter& router, QObject* parent)
    : ScanEngine(session, messages, sound, router, Options{}, parent) {}

ScanEngine::ScanEngine(ScanSession& session, util::Messages& messages, util::SoundPlayer& sound,
                       const HostRouter& router, Options options, QObject* parent)
    : QObject(parent), m_session(session), m_events(std::make_unique<Events>(*this)),
      m_ownRenderer(options.renderer ? nullptr
                                     : std::make_unique<render::ProcessRenderer>(
                                           render::ProcessRenderer::DefaultProgram(),
                                           [&router] { return router.specs(); })),
      d(std::make_unique<ScanDriver>(*m_events, this, session, messages, sound, router,
                                     options.readAhead,
                                     options.renderer ? options.renderer : m_ownRenderer.get())) {}

ScanEngine::~ScanEngine() = default;

const ScanControls& ScanEngine::controls() const {
    return d->controls();
}
bool ScanEngine::readAheadEnabled() const {
    return d->readAheadEnabled();
}
const QList<PartnerVerdict>& ScanEngine::verdicts() const {
    return d->verdicts();
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
