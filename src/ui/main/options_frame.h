#pragma once

#include "session/scan_options.h"

#include <QGroupBox>
#include <QList>

#include <utility>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace corvantis::ui {

// "Options" (Frame4): when to go to the next site, the time-out, how many sites
// at once, redirected links, invalid certificates, link values, starting with
// the pages where the links stood last time, pages as a browser shows them,
// connections kept open, when a link is lost, what to do after the last site,
// and the sound cues. Each option is read from the settings store at the load step, stored the
// moment its control changes, and handed to the session for the next page.
class OptionsFrame : public QGroupBox {
    Q_OBJECT
public:
    OptionsFrame(QWidget* client, scan::ScanOptions& options);

    void loadOptions();

private:
    QCheckBox* check(const char* name, const char* caption, const QString& toolTip);
    QCheckBox* wrappedCheck(const char* name, const char* labelName, const char* caption,
                            const QString& toolTip);
    // A whole-number option: its box, caption, settings key, largest value and field.
    struct NumberOption {
        const char* name;
        const char* labelName;
        const char* caption;
        const char* key;
        int max;
        int scan::ScanOptions::*field;
    };
    QLineEdit* numberBox(const NumberOption& option, const QString& toolTip);
    void keepNumbers(const scan::ScanOptions& inUse);
    void buildPageRules();
    void buildCheckRules();
    void applyOptions();

    scan::ScanOptions& m_options;
    QCheckBox* m_auto = nullptr;
    QCheckBox* m_auto2 = nullptr;
    QComboBox* m_advance = nullptr;
    QLineEdit* m_timeout = nullptr;
    QCheckBox* m_redirect = nullptr;
    QCheckBox* m_insecure = nullptr;    // accept invalid certificates
    QCheckBox* m_linkValue = nullptr;   // check link value
    QCheckBox* m_fromHistory = nullptr; // start with the page where the link stood last time
    QCheckBox* m_render = nullptr;      // look at pages as a browser does
    QCheckBox* m_keepAlive = nullptr;   // keep connections open between pages
    QLineEdit* m_lostAfter = nullptr;   // read scans without a link before it is lost
    QLineEdit* m_sitesAtOnce = nullptr;
    QList<std::pair<QLineEdit*, NumberOption>> m_numbers;
    QComboBox* m_lastSearch = nullptr;
    QCheckBox* m_audioEmail = nullptr;
    QCheckBox* m_audioNext = nullptr;
    QCheckBox* m_audioFinished = nullptr;
    qint32 m_pageLimit = 500;
};

} // namespace corvantis::ui
