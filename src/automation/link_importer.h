#pragma once

#include "automation/link_import.h"

#include <QObject>
#include <QString>

#include <memory>

namespace corvantis::scan {
class HostRouter;
class PageDownloader;
} // namespace corvantis::scan

namespace corvantis::automation {

class ImportListModel;

// "Get Links": downloads the user's links page or script output and fills the
// import list from it. Everything after the download runs in short steps
// through the event loop, so the windows and a running scan stay responsive;
// statuses come once per step.
class LinkImporter : public QObject {
    Q_OBJECT
public:
    LinkImporter(const scan::HostRouter& router, ImportListModel& list, QObject* parent = nullptr);
    ~LinkImporter() override;

    bool isRunning() const { return m_step != Step::Idle; }
    // The Simple way: the outgoing links of the links page. False while a run is under way.
    bool GetLinksSimple(const QString& linksPageAddress);
    // The Advanced way: the entries the script prints, separated by the delimiter.
    bool GetLinksAdvanced(const QString& scriptAddress, const QString& delimiter);

    void setTransferTimeout(int ms);

Q_SIGNALS:
    void status(const QString& text);
    void finished(int linksFound);

private:
    enum class Step { Idle, Downloading, Extracting, Stripping, Filling };

    void download(const QString& address);
    void downloaded(const QString& page);
    void startFilling(const QString& listText, const QString& delimiter);
    void work();
    void finish();

    scan::PageDownloader* m_downloader;
    ImportListModel& m_list;
    Step m_step = Step::Idle;
    bool m_advanced = false;
    QString m_address;
    QString m_delimiter;
    ImportBase m_base;
    std::unique_ptr<PageLinkExtractor> m_extractor;
    std::unique_ptr<TagStripper> m_stripper;
    std::unique_ptr<EntryReader> m_entries;
    int m_pieces = 0;
};

} // namespace corvantis::automation
