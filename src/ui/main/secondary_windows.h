#pragma once

#include "ui/common/window_registry.h"
#include "util/seams.h"

#include <QObject>
#include <QPointer>

namespace corvantis::alert {
class SecretStore;
}
namespace corvantis::scan {
class HostRouter;
class ScanSession;
} // namespace corvantis::scan

namespace corvantis::ui {

class AboutWindow;
class AutomationWindow;
class ExportWindow;
class HelpWindow;
class PartnerHistoryWindow;
class ScheduleWindow;
class SiteEditorDialog;
class SplashWindow;
class WebsiteWindow;

// The main window's secondary windows, one rule for all: each is made when first
// asked for, as a child of the main window (so it goes with it, and the session
// and seams it holds outlive it), joins the registry, and is brought forward when
// asked for again. The website window alone has no parent: it may stay open
// after the main window has closed, and the program then ends with it.
class SecondaryWindows : public QObject {
    Q_OBJECT
public:
    SecondaryWindows(scan::ScanSession& session, util::Messages& messages,
                     util::FileDialogs& dialogs, const scan::HostRouter& router,
                     alert::SecretStore& secrets, QWidget* mainWindow);
    ~SecondaryWindows() override;

    void openAutomation();
    void openExport();
    void openHelp();
    void openAbout();
    void openWebsite();
    void openSchedule();
    // The history of one partner's scans for the session's domain.
    void openPartnerHistory(const QString& partner);
    // The site editor on a partner row; not modal, so a second Edit brings it
    // forward on the newly chosen row.
    void editPartner(int row);

    // The splash: the main window takes its icon and unloads it on closing.
    void adoptSplash(SplashWindow* splash);
    void add(QWidget* window) { m_registry.add(window); }
    const WindowRegistry& registry() const { return m_registry; }

    // The main window closes: so do the others, but for an open website window.
    void closeAll();
    // True once the main window closed while the website window was open.
    static bool endWithBrowser();

private:
    scan::ScanSession& m_session;
    util::Messages& m_messages;
    util::FileDialogs& m_dialogs;
    const scan::HostRouter& m_router;
    alert::SecretStore& m_secrets;
    QWidget* m_main;
    WindowRegistry m_registry;
    QPointer<AutomationWindow> m_automation;
    QPointer<ExportWindow> m_export;
    QPointer<HelpWindow> m_help;
    QPointer<AboutWindow> m_about;
    QPointer<PartnerHistoryWindow> m_history;
    QPointer<ScheduleWindow> m_schedule;
    QPointer<SiteEditorDialog> m_siteEditor;
    QPointer<WebsiteWindow> m_website;
};

} // namespace corvantis::ui
