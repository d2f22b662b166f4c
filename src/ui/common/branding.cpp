#include "ui/common/branding.h"

#include "version_record.h"

namespace corvantis::ui {

namespace {
Branding FromVersionRecord() {
    Branding b;
    b.productName = QStringLiteral(CORVANTIS_PRODUCT_NAME);
    b.companyName = QStringLiteral(CORVANTIS_COMPANY_NAME);
    b.websiteAddress = QStringLiteral(CORVANTIS_WEBSITE);
    b.versionMajor = CORVANTIS_VERSION_MAJOR;
    b.versionMinor = CORVANTIS_VERSION_MINOR;
    return b;
}
} // namespace

Branding& BrandingRecord() {
    static Branding record = FromVersionRecord();
    return record;
}

void FillBranding() {
    BrandingRecord() = FromVersionRecord();
}

} // namespace corvantis::ui
