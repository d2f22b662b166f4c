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

ProjectData ProjectFromSession(const scan::ScanSession& session) {
    ProjectData p;
    p.domain = session.domain();
    p.partners = session.partners.rows();
    for (int s = 0; s < 3; ++s)
        p.html[s] = PageBuilderText(session, s);
    p.results = session.results.rows();
    return p;
}

QString ProjectTextFromSession(const scan::ScanSession& session) {
    return FormatProjectText(session.domain(), session.partners.rows(),
                             {session.txtHTML1, session.txtHTML2, session.txtHTML3},
                             session.results.rows());
}

void ApplyProject(scan::ScanSession& session, const ProjectData& project) {
    session.partners.clear();
    session.results.clear();
    session.MarkProjectSaved();
    // Loading the domain is no edit; if it equals the current text there is no
    // change, and the flag then absorbs the user's next change instead.
    session.IgnoreNextDomainChange();
    session.setDomain(project.domain);
    for (int s = 0; s < 3; ++s) {
        if (project.html[s])
            PageBuilderText(session, s) = *project.html[s];
    }
    session.partners.setRows(project.partners);
    session.results.setRows(project.results);
}

ProjectLoadResult LoadProjectFile(const QString& path, scan::ScanSession& session) {
    ProjectLoadResult result;
    const ProjectRead read = ReadProjectFile(path);
    if (!read.error.isEmpty()) {
        result.error = read.error;
        return result;
    }
    ApplyProject(session, read.parse.data);
    session.setProjectPath(path);
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

QString WriteProjectFile(const QString& path, const scan::ScanSession& session) {
    return util::WriteUserTextFile(path, ProjectTextFromSession(session));
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
