#include "session/scan_project.h"

#include "page/partner_address.h"

#include "util/text_utils.h"

namespace corvantis::scan {

ScanProject::ScanProject(QObject* parent) : QObject(parent) {}

void ScanProject::setDomain(const QString& domain) {
    if (domain == m_domain)
        return;
    m_domain = domain;
    if (m_ignoreNextDomainChange)
        m_ignoreNextDomainChange = false;
    else
        MarkProjectEdited();
    Q_EMIT domainChanged(m_domain);
}

QString ScanProject::ScanDomain(const QString& entered) {
    QString domain = util::StripSchemes(entered);
    // The domain "www." alone stays as it is.
    return domain.size() > 4 ? WithoutLeadingWww(domain) : domain;
}

void ScanProject::MarkProjectEdited() {
    const bool changed = m_projectSaved;
    m_projectSaved = false;
    if (changed)
        Q_EMIT projectEditedChanged(false);
}

void ScanProject::MarkProjectSaved() {
    const bool changed = !m_projectSaved;
    m_projectSaved = true;
    if (changed)
        Q_EMIT projectEditedChanged(true);
}

} // namespace corvantis::scan
