#include "output/project_file.h"

#include "output/links_page.h"
#include "util/user_text_file.h"

#include <QFileInfo>

namespace corvantis::output {

namespace {

// Long lines are cut in messages so a message box stays readable.
QString Shortened(const QString& text) {
    constexpr qsizetype kMax = 200;
    return text.size() <= kMax ? text : text.left(kMax) + QStringLiteral("...");
}

struct ProjectRead {
    QString text;
    ProjectParse parse;
    QString error;
};

ProjectRead ReadProjectFile(const QString& path) {
    ProjectRead out;
    const QFileInfo info(path);
    if (info.exists() && info.size() > kMaxProjectFileBytes) {
        out.error = QStringLiteral("\"%1\" is too large to be a project file; nothing was changed.")
                        .arg(path);
        return out;
    }
    const util::TextFileRead read = util::ReadUserTextFile(path);
    if (!read.ok) {
        out.error =
            QStringLiteral("The project file \"%1\" could not be read: %2").arg(path, read.error);
        return out;
    }
    out.text = read.text;
    out.parse = ParseProjectText(read.text);
    if (!out.parse.isProject) {
        out.error =
            read.text.isEmpty()
                ? QStringLiteral("\"%1\" is empty; it is not a project file. Nothing was changed.")
                      .arg(path)
                : QStringLiteral("\"%1\" is not a project file. Nothing was changed.").arg(path);
    }
    return out;
}

} // namespace

ProjectData ProjectFromSession(const scan::ScanProject& project) {
    ProjectData p;
    p.domain = project.domain();
    p.partners = project.partners.rows();
    for (int s = 0; s < 3; ++s)
        p.html[s] = PageBuilderText(project, s);
    p.results = project.results.rows();
    return p;
}

QString ProjectTextFromSession(const scan::ScanProject& project) {
    return FormatProjectText(project.domain(), project.partners.rows(),
                             {project.txtHTML1, project.txtHTML2, project.txtHTML3},
                             project.results.rows());
}

void ApplyProject(scan::ScanProject& project, const ProjectData& data) {
    project.partners.clear();
    project.results.clear();
    project.MarkProjectSaved();
    // Loading the domain is no edit; if it equals the current text there is no
    // change, and the flag then absorbs the user's next change instead.
    project.IgnoreNextDomainChange();
    project.setDomain(data.domain);
    for (int s = 0; s < 3; ++s) {
        if (data.html[s])
            PageBuilderText(project, s) = *data.html[s];
    }
    project.partners.setRows(data.partners);
    project.results.setRows(data.results);
}

ProjectLoadResult LoadProjectFile(const QString& path, scan::ScanProject& project) {
    ProjectLoadResult result;
    const ProjectRead read = ReadProjectFile(path);
    if (!read.error.isEmpty()) {
        result.error = read.error;
        return result;
    }
    ApplyProject(project, read.parse.data);
    project.setProjectPath(path);
    result.loaded = true;
    if (read.parse.badLine > 0) {
        result.badLine = read.parse.badLine;
        result.warning =
            QStringLiteral("Line %1 of the project file \"%2\" could not be read:\n%3\n"
                           "The project was opened up to that line; the lines after "
                           "it were not read.")
                .arg(QString::number(read.parse.badLine), path, Shortened(read.parse.badLineText));
    }
    return result;
}

QString ProjectFileError(const QString& path) {
    return ReadProjectFile(path).error;
}

QString WriteProjectFile(const QString& path, const scan::ScanProject& project) {
    return util::WriteUserTextFile(path, ProjectTextFromSession(project));
}

QString WriteProjectResults(const QString& path, const QList<scan::ResultRow>& rows) {
    const ProjectRead read = ReadProjectFile(path);
    if (!read.error.isEmpty())
        return read.error;
    const QString why = util::WriteUserTextFile(path, ReplaceResultLines(read.text, rows));
    if (!why.isEmpty())
        return QStringLiteral("The project file \"%1\" could not be written: %2").arg(path, why);
    return QString();
}

} // namespace corvantis::output
