#pragma once

#include "util/seams.h"

#include <QGroupBox>
#include <QUrl>

#include <array>

class QTabWidget;
class QTreeView;
class QWebEngineView;

namespace corvantis::scan {
class ScanSession;
}

namespace corvantis::output {
struct ReportBuild;
}

namespace corvantis::ui {

class DisplayPacing;
class PageBuilder;
class BrowserControls;

// "Link Results" (Frame2): the tab strip with its four views over it: "Links"
// (the result and error lists and their actions), "Web" (the browser and its
// controls), "Pages" (the page builder) and "Reports" (the scan's report).
class ResultsFrame : public QGroupBox {
    Q_OBJECT
public:
    ResultsFrame(QWidget* client, scan::ScanSession& session, util::Messages& messages,
                 util::FileDialogs& dialogs, DisplayPacing& pacing);

    // 1 "Links", 2 "Web", 3 "Pages", 4 "Reports".
    void selectTab(int tab);
    // The "Web" tab shows the website (loaded when the tab is first shown); the
    // report view starts blank.
    void showStartPages(const QString& websiteAddress);
    // Shows the scan's report on "Reports" (loaded when the tab is shown), or says
    // why there is none.
    void showReport(const output::ReportBuild& report);
    // Once the designed widths are set: the result list's columns become what the
    // user left last time (widths and order), and each change he makes is kept.
    void keepResultColumns();

    PageBuilder* pageBuilder() const { return m_pageBuilder; }
    QTreeView* resultList() const { return m_results; }
    QTreeView* errorList() const { return m_errors; }

Q_SIGNALS:
    // What the browser or a list action has to say, for the status bar at once.
    void status(const QString& text);
    // "Partner History" on the result list's menu.
    void historyRequested(const QString& partner);

private:
    void buildLists(DisplayPacing& pacing);
    void buildBrowserControls();
    void buildReport();
    void browse(const QString& address);
    void showCurrentTab();

    scan::ScanSession& m_session;
    util::Messages& m_messages;
    util::FileDialogs& m_dialogs;
    QTabWidget* m_tabs = nullptr;
    QTreeView* m_results = nullptr;
    QTreeView* m_errors = nullptr;
    QWebEngineView* m_browser = nullptr;
    BrowserControls* m_webTab = nullptr;
    PageBuilder* m_pageBuilder = nullptr;
    QWebEngineView* m_report = nullptr;
    QUrl m_webToLoad;                            // the website, until "Web" is first shown
    QUrl m_reportToLoad;                         // the last report, until "Reports" is shown
    std::array<QList<QWidget*>, 4> m_shownByTab; // the views each tab shows
};

} // namespace corvantis::ui
