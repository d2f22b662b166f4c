#include "session/scan_options.h"

#include "util/settings_store.h"
#include "util/text_utils.h"

#include <iterator>

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

qint16 TimeoutFromText(const QString& text) {
    return util::ToInt16(text).value_or(60);
}

int SitesAtOnceFromText(const QString& text) {
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    return ok && n >= 1 && n <= kMaxSitesAtOnce ? n : ScanOptions{}.sitesAtOnce;
}

int LostAfterFromText(const QString& text) {
    bool ok = false;
    const int k = text.trimmed().toInt(&ok);
    return ok && k >= 1 && k <= kMaxLostAfter ? k : 1;
}

ScanOptions ScanOptions::FromSettings() {
    ScanOptions o;
    const auto flag = [](const char* key, bool byDefault) {
        return util::ReadCheckSetting(QLatin1String(key), byDefault);
    };
    o.chkAuto = flag("chkAuto", o.chkAuto);
    o.chkAuto2 = flag("chkAuto2", o.chkAuto2);
    o.chkRedirect = flag("chkRedirect", o.chkRedirect);
    o.chkAudioEmail = flag("chkAudioEmail", o.chkAudioEmail);
    o.chkAudioNext = flag("chkAudioNext", o.chkAudioNext);
    o.chkAudioFinished = flag("chkAudioFinished", o.chkAudioFinished);
    o.acceptInvalidCertificates = flag("chkAcceptInvalidCerts", o.acceptInvalidCertificates);
    o.checkLinkValue = flag("chkLinkValue", o.checkLinkValue);
    o.startFromHistory = flag("chkFromHistory", o.startFromHistory);
    o.renderPages = flag("chkRender", o.renderPages);
    o.keepAlive = flag("chkKeepAlive", o.keepAlive);
    o.timeoutSeconds = TimeoutFromText(ReadSetting(QStringLiteral("txtTimeout"), QString()));
    o.lostAfter = LostAfterFromText(ReadSetting(QStringLiteral("LostAfter"), QString()));
    o.sitesAtOnce = SitesAtOnceFromText(ReadSetting(QStringLiteral("SitesAtOnce"), QString()));
    o.PageLimit = PageLimitForPosition(util::ReadPositionSetting(QStringLiteral("cmbAdvance"),
                                                                 kPageLimitDefaultPosition,
                                                                 int(PageLimitItems().size())),
                                       o.PageLimit);
    return o;
}

} // namespace corvantis::scan
