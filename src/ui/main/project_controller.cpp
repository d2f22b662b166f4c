#include "ui/main/project_controller.h"

#include "output/project_commands.h"
#include "session/scan_session.h"
#include "ui/common/branding.h"

#include <QFileInfo>
#include <QWidget>

namespace corvantis::ui {

ProjectController::ProjectController(scan::ScanSession& session, util::Messages& messages,
                                     util::FileDialogs& dialogs, QWidget* window)
    : QObject(window), m_session(session), m_messages(messages), m_dialogs(dialogs),
      m_window(window) {}

void ProjectController::newProject() {
    output::NewProject(m_session);
    Q_EMIT entryCleared();
    m_session.project.setProjectPath({});
    Q_EMIT textsReplaced();
    showCaption();
}

void ProjectController::openProject() {
    if (output::OpenProject(m_session.project, m_messages, m_dialogs)) {
        Q_EMIT textsReplaced();
        showCaption();
    }
}

void ProjectController::saveProject() {
    output::SaveProject(m_session.project, m_messages, m_dialogs);
    showCaption();
}

bool ProjectController::mayClose() {
    const bool mayClose = output::RunExitCheck(m_session.project, m_messages, m_dialogs);
    showCaption();
    return mayClose;
}

void ProjectController::showCaption() {
    const Branding& brand = BrandingRecord();
    QString title = brand.productName + QStringLiteral(" by ") + brand.companyName;
    if (!m_session.project.projectPath().isEmpty())
        title += QStringLiteral(" - ") + QFileInfo(m_session.project.projectPath()).fileName();
    m_window->setWindowTitle(title);
}

} // namespace corvantis::ui
