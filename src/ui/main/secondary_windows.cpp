#include "ui/main/secondary_windows.h"

#include "history/history_store.h"
#include "session/scan_session.h"
#include "ui/common/branding.h"
#include "ui/main/email_commands.h"
#include "ui/windows/about_window.h"
#include "ui/windows/automation_window.h"
#include "ui/windows/export_window.h"
#include "ui/windows/help_window.h"
#include "ui/windows/partner_history_window.h"
#include "ui/windows/schedule_window.h"
#include "ui/windows/site_editor_dialog.h"
#include "ui/windows/splash_window.h"
#include "ui/windows/website_window.h"

namespace corvantis::ui {

namespace {
bool s_endWithBrowser = false;

void BringForward(QWidget* window) {
    window->show();
    window->raise();
    window->activateWindow();
}
} // namespace

SecondaryWindows::SecondaryWindows(scan::ScanSession& session, util::Messages& messages,
                                   util::FileDialogs& dialogs, const scan::HostRouter& router,
                                   alert::SecretStore& secrets, QWidget* mainWindow)
    : QObject(mainWindow), m_session(session), m_messages(messages), m_dialogs(dialogs),
      m_router(router), m_secrets(secrets), m_main(mainWindow) {}

SecondaryWindows::~SecondaryWindows() {
    delete m_website; // unless it was left open to end the program
}

bool SecondaryWindows::endWithBrowser() {
    return s_endWithBrowser;
}

void SecondaryWindows::openAutomation() {
    if (!m_automation) {
        m_automation =
            new AutomationWindow(m_session.project, m_messages, m_dialogs, m_router, m_main);
        add(m_automation);
    }
    BringForward(m_automation);
}

void SecondaryWindows::openExport() {
    if (!m_export) {
        m_export = new ExportWindow(m_messages, m_dialogs, m_main);
        m_export->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_export, &ExportWindow::emailsDeleted, this,
                [this] { ForgetLinksFound(m_session); });
        add(m_export);
    }
    BringForward(m_export);
}

void SecondaryWindows::openHelp() {
    if (!m_help) {
        m_help = new HelpWindow(m_main);
        add(m_help);
    }
    m_help->openIfPresent();
}

void SecondaryWindows::openAbout() {
    if (!m_about) {
        m_about = new AboutWindow(m_main);
        connect(m_about, &AboutWindow::websiteRequested, this, &SecondaryWindows::openWebsite);
        add(m_about);
    }
    m_about->show();
    m_about->raise();
}

void SecondaryWindows::openPartnerHistory(const QString& partner) {
    if (!m_history) {
        m_history = new PartnerHistoryWindow(m_main);
        m_history->setAttribute(Qt::WA_DeleteOnClose);
        add(m_history);
    }
    m_history->showPartner(history::HistoryStore::DefaultPath(), m_session.project.domain(),
                           partner);
    BringForward(m_history);
}

void SecondaryWindows::openSchedule() {
    if (!m_schedule) {
        m_schedule = new ScheduleWindow(m_session, m_secrets, m_main);
        m_schedule->setAttribute(Qt::WA_DeleteOnClose);
        add(m_schedule);
        m_schedule->load();
    }
    BringForward(m_schedule);
}

void SecondaryWindows::openWebsite() {
    if (!m_website)
        m_website = new WebsiteWindow;
    m_website->open(BrandingRecord().websiteAddress);
}

void SecondaryWindows::editPartner(int row) {
    if (!m_siteEditor) {
        m_siteEditor = new SiteEditorDialog(m_session.project, m_main);
        m_siteEditor->setAttribute(Qt::WA_QuitOnClose, false);
        add(m_siteEditor);
    }
    m_siteEditor->editRow(row);
    BringForward(m_siteEditor);
}

void SecondaryWindows::adoptSplash(SplashWindow* splash) {
    if (BrandingRecord().useSplashIcon)
        m_main->setWindowIcon(splash->windowIcon());
    add(splash);
}

void SecondaryWindows::closeAll() {
    m_registry.closeAll();
    if (m_website && m_website->isOpen()) {
        s_endWithBrowser = true;
        WebsiteWindow* browser = m_website;
        connect(browser, &WebsiteWindow::closed, browser, &QObject::deleteLater);
        m_website = nullptr;
    }
}

} // namespace corvantis::ui
