#include "scan/scan_session.h"

#include "util/settings_store.h"
#include "util/text_utils.h"

namespace corvantis::scan {

using util::ReadSetting;

const QStringList& PageLimitItems() {
    static const QStringList items = {
        QStringLiteral("01"),     QStringLiteral("10"),      QStringLiteral("50"),
        QStringLiteral("100"),    QStringLiteral("500"),     QStringLiteral("1,000"),
        QStringLiteral("5,000"),  QStringLiteral("10,000"),  QStringLiteral("20,000"),
        QStringLiteral("50,000"), QStringLiteral("100,000"), QStringLiteral("200,000"),
        QStringLiteral("500,000")};
    return items;
}

qint32 PageLimitForPosition(int position, qint32 current) {
    static const qint32 limits[] = {1,     10,    50,    100,    500,    1000,  5000,
                                    10000, 20000, 50000, 100000, 200000, 500000};
    if (position < 0 || position >= int(std::size(limits)))
        return current;
    return limits[position];
}

ScanOptions ScanOptions::FromSettings() {
    ScanOptions o;
    const auto flag = [](const char* key, const char* def) {
        return ReadSetting(QLatin1String(key), QLatin1String(def)) == QLatin1String("1");
    };
    o.chkAuto = flag("chkAuto", "1");
    o.chkAuto2 = flag("chkAuto2", "1");
    o.chkRedirect = flag("chkRedirect", "0");
    o.chkAudioEmail = flag("chkAudioEmail", "1");
    o.chkAudioNext = flag("chkAudioNext", "1");
    o.chkAudioFinished = flag("chkAudioFinished", "1");
    o.txtTimeout = ReadSetting(QStringLiteral("txtTimeout"), QStringLiteral("60"));
    const auto pos = util::ToInt16(ReadSetting(QStringLiteral("cmbAdvance"), QStringLiteral("4")));
    o.PageLimit = PageLimitForPosition(pos.value_or(4), 500);
    return o;
}

ScanSession::ScanSession(QObject* parent) : QObject(parent) {}

void ScanSession::setDomain(const QString& domain) {
    if (domain == m_domain)
        return;
    m_domain = domain;
    if (ignoreNextDomainChange)
        ignoreNextDomainChange = false;
    else
        MarkProjectEdited();
    Q_EMIT domainChanged(m_domain);
}

void ScanSession::MarkProjectEdited() {
    const bool changed = projectSaved;
    projectSaved = false;
    if (changed)
        Q_EMIT projectEditedChanged(projectSaved);
}

} // namespace corvantis::scan
