#include "output/project_commands.h"

#include "output/links_page.h"
#include "output/project_file.h"
#include "util/app_folder.h"
#include "util/text_utils.h"

namespace corvantis::output {

QString ProjectFolder() {
    return util::AppFilePath(QStringLiteral("Project Files"));
}

QString DefaultProjectFileName(const QString& domain) {
    if (domain.isEmpty())
        return QStringLiteral("Unnamed.prj");
    QString name = util::ReplaceAll(domain, QStringLiteral("."), QString());
    name = util::StripSchemes(name);
    const qsizetype slash = name.indexOf(QLatin1Char('/'), 1);
    if (slash > 0)
        name.truncate(slash);
    return name + QStringLiteral(".prj");
}

void NewProject(scan::ScanSession& session) {
    session.project.partners.clear();
    session.run.queue.clear();
    session.project.results.clear();
    session.project.setDomain(QString());
    for (int s = 0; s < 3; ++s)
        SetPageBuilderText(session.project, s, kNewProjectHtml[s]);
}

bool OpenProject(scan::ScanProject& project, util::Messages& messages, util::FileDialogs& dialogs) {
    const QString title = QStringLiteral("Open Project");
    const QString path = dialogs.openFile(title, ProjectFolder(), kProjectFilter);
    if (path.isEmpty())
        return false;
    const QString before[3] = {project.txtHTML1, project.txtHTML2, project.txtHTML3};
    const ProjectLoadResult load = LoadProjectFile(path, project);
    if (!load.loaded) {
        messages.inform(load.error, title);
        return false;
    }
    // The texts a project brought in are kept in the settings like any other change.
    for (int s = 0; s < 3; ++s) {
        if (PageBuilderText(project, s) != before[s])
            SetPageBuilderText(project, s, PageBuilderText(project, s));
    }
    if (load.badLine > 0)
        messages.inform(load.warning, title);
    return true;
}

bool SaveProject(scan::ScanProject& project, util::Messages& messages, util::FileDialogs& dialogs) {
    const QString title = QStringLiteral("Save Project");
    QString proposed = DefaultProjectFileName(project.domain());
    for (int attempt = 1; attempt <= 2; ++attempt) {
        const QString path =
            dialogs.saveFile(title, ProjectFolder() + QLatin1Char('/') + proposed, kProjectFilter);
        if (path.isEmpty())
            return false;
        const QString why = WriteProjectFile(path, project);
        if (why.isEmpty()) {
            project.setProjectPath(path);
            project.MarkProjectSaved();
            return true;
        }
        QString text = QStringLiteral("The project could not be saved as \"%1\":\n%2\n"
                                      "Any file that was there before is unchanged.")
                           .arg(path, why);
        if (attempt == 1)
            text += QStringLiteral("\nPlease choose another name.");
        messages.inform(text, title);
        proposed = QStringLiteral("unnamed.prj");
    }
    return false;
}

bool RunExitCheck(scan::ScanProject& project, util::Messages& messages,
                  util::FileDialogs& dialogs) {
    if (project.projectSaved())
        return true;
    if (messages.ask(kSaveQuestionTitle, kSaveQuestionText, util::Question::YesNo) !=
        util::Answer::Yes)
        return true;
    return SaveProject(project, messages, dialogs);
}

} // namespace corvantis::output
