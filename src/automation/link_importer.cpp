#include "automation/link_importer.h"

#include "automation/import_list_model.h"
#include "fetch/page_downloader.h"

#include <QDeadlineTimer>
#include <QTimer>

namespace corvantis::automation {

namespace {
// One step's share of the event loop, and the most rows one step adds.
constexpr int kStepMs = 15;
constexpr int kRowsPerStep = 5000;
} // namespace

LinkImporter::LinkImporter(const scan::HostRouter& router, ImportListModel& list, QObject* parent)
    : QObject(parent), m_downloader(new scan::PageDownloader(router, this)), m_list(list) {}

LinkImporter::~LinkImporter() = default;

void LinkImporter::setTransferTimeout(int ms) {
    m_downloader->setTransferTimeout(ms);
}

bool LinkImporter::GetLinksSimple(const QString& linksPageAddress) {
    if (isRunning())
        return false;
    m_advanced = false;
    m_base = ImportBaseFor(linksPageAddress);
    download(linksPageAddress);
    return true;
}

bool LinkImporter::GetLinksAdvanced(const QString& scriptAddress, const QString& delimiter) {
    if (isRunning() || delimiter.isEmpty())
        return false;
    m_advanced = true;
    m_delimiter = delimiter;
    download(scriptAddress);
    return true;
}

void LinkImporter::download(const QString& address) {
    m_list.clear();
    m_step = Step::Downloading;
    Q_EMIT status(QStringLiteral("Conecting to ") + address);
    m_address = address;
    // The downloader goes with this object, and with it any answer still due.
    m_downloader->DownloadPage(m_address, [this](const QString& page) { downloaded(page); });
}

void LinkImporter::downloaded(const QString& page) {
    if (m_advanced) {
        m_stripper = std::make_unique<TagStripper>(ScriptOutputWithoutLineEnds(page));
        m_step = Step::Stripping;
    } else {
        m_extractor = std::make_unique<PageLinkExtractor>(page, m_base);
        m_step = Step::Extracting;
    }
    // Also when the answer came at once (an address that cannot be opened).
    QTimer::singleShot(0, this, &LinkImporter::work);
}

void LinkImporter::startFilling(const QString& listText, const QString& delimiter) {
    m_entries = std::make_unique<EntryReader>(listText, delimiter);
    m_pieces = 0;
    m_step = Step::Filling;
}

void LinkImporter::work() {
    const QDeadlineTimer deadline(kStepMs);
    switch (m_step) {
    case Step::Idle:
    case Step::Downloading:
        return;
    case Step::Extracting: {
        const int before = m_extractor->count();
        const bool done = m_extractor->run(deadline);
        if (m_extractor->count() != before)
            Q_EMIT status(QStringLiteral("Extracted %1 link(s)").arg(m_extractor->count()));
        if (done) {
            startFilling(m_extractor->result(), QString());
            m_extractor.reset();
        }
        break;
    }
    case Step::Stripping:
        if (m_stripper->run(deadline)) {
            startFilling(SpacesAsDelimiter(m_stripper->text(), m_delimiter), m_delimiter);
            m_stripper.reset();
        }
        break;
    case Step::Filling: {
        QStringList batch;
        while (!m_entries->atEnd() && batch.size() < kRowsPerStep && !deadline.hasExpired())
            batch.append(m_entries->next());
        if (!batch.isEmpty()) {
            m_pieces += int(batch.size());
            m_list.appendRows(batch);
            Q_EMIT status(QStringLiteral("Added %1 link(s)").arg(m_pieces));
        }
        if (m_entries->atEnd()) {
            finish();
            return;
        }
        break;
    }
    }
    QTimer::singleShot(0, this, &LinkImporter::work);
}

void LinkImporter::finish() {
    m_step = Step::Idle;
    m_entries.reset();
    Q_EMIT status(QStringLiteral("Finished Downloading - %1 links found.").arg(m_pieces));
    Q_EMIT finished(m_pieces);
}

} // namespace corvantis::automation
