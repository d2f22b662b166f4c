#include "page/partner_address.h"

#include "page/url_rules.h"
#include "util/text_utils.h"

namespace corvantis::scan {

namespace {
const QString kHttps = QStringLiteral("https://");
const QString kWww = QStringLiteral("www.");
} // namespace

SchemeAndRest SplitScheme(const QString& address) {
    if (util::StartsWithCI(address, kHttps))
        return {true, address.mid(kHttps.size())};
    return {false, address};
}

QString EnteredPartnerAddress(const QString& typed) {
    const bool https = SplitScheme(typed.trimmed()).https;
    const QString bare = util::StripSchemes(typed);
    if (https && !util::IsBlank(bare))
        return kHttps + bare.trimmed();
    return bare;
}

QString AddressHost(const QString& address) {
    return SplitPageAddress(address).host.section(u':', 0, 0).toLower();
}

QString WithoutLeadingWww(const QString& host) {
    return util::StartsWithCI(host, kWww) ? host.mid(kWww.size()) : host;
}

bool IsSameHost(const QString& a, const QString& b) {
    return util::EqualsCI(a, b) || util::EqualsCI(WithoutLeadingWww(a), b) ||
           util::EqualsCI(a, WithoutLeadingWww(b));
}

QString PartnerKey(const QString& address) {
    return SplitScheme(address).rest.remove(kWww, Qt::CaseSensitive).toLower();
}

bool AsciiPartnerKey(QStringView address, PartnerKeyBuffer& key) {
    key.clear();
    for (qsizetype i = 0; i < address.size();) {
        const char16_t c = address[i].unicode();
        if (c >= 0x80)
            return false;
        if (c == u'w' && address.mid(i, 4) == u"www.") {
            i += 4;
            continue;
        }
        key.append(c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c);
        ++i;
    }
    return true;
}

QString WithoutEveryWww(const QString& text) {
    return util::ReplaceAllCI(text, kWww, u"");
}

} // namespace corvantis::scan
