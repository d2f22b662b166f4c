#pragma once

#include <QString>

namespace corvantis::ui {

// The product's names as the windows show them: captions, the website button,
// the About window. The values come from the program's version record.
struct Branding {
    QString productName; // also the settings store's application key
    QString companyName;
    QString websiteAddress; // a bare domain, no scheme
    int versionMajor = 0;
    int versionMinor = 0;
    bool useSplashIcon = true; // the main window takes the splash window's icon
    bool SkinEnabled = false;  // no skin engine: the desktop's own style is used
};

// The one record every window reads. It holds the version record's values from
// the start; FillBranding puts them back (the splash window's load step).
Branding& BrandingRecord();
void FillBranding();

} // namespace corvantis::ui
