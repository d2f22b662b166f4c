#pragma once

#include "session/scan_model.h"

#include <QObject>
#include <QString>

namespace corvantis::scan {

// What a project file holds, with the flags of its file: the domain, the partner
// and result lists, the page-builder texts. The lists are edited through their
// models; everything else through the operations below.
class ScanProject : public QObject {
    Q_OBJECT
public:
    explicit ScanProject(QObject* parent = nullptr);

    PartnerListModel partners;
    // Written by each scan, kept with the project.
    ResultListModel results;

    // The page-builder texts.
    QString txtHTML1;
    QString txtHTML2;
    QString txtHTML3;

    const QString& domain() const { return m_domain; }
    // The domain as a scan takes it (and the history keeps it): no scheme, no "www.".
    static QString ScanDomain(const QString& entered);
    // Changes the domain text; every change counts as an edit of the project,
    // except the one change a project load announced through IgnoreNextDomainChange.
    void setDomain(const QString& domain);

    bool projectSaved() const { return m_projectSaved; }
    bool ignoreNextDomainChange() const { return m_ignoreNextDomainChange; }
    const QString& projectPath() const { return m_projectPath; } // last opened or saved
    void MarkProjectEdited();
    void MarkProjectSaved();
    void IgnoreNextDomainChange() { m_ignoreNextDomainChange = true; }
    void setProjectPath(const QString& path) { m_projectPath = path; }

Q_SIGNALS:
    void domainChanged(const QString& domain);
    void projectEditedChanged(bool saved);

private:
    QString m_domain;
    bool m_projectSaved = true;
    bool m_ignoreNextDomainChange = false;
    QString m_projectPath;
};

} // namespace corvantis::scan
