#include "ui/main/options_frame.h"

#include "session/scan_options.h"
#include "ui/common/stored_controls.h"
#include "ui/common/widgets.h"
#include "util/settings_store.h"
#include "util/text_utils.h"

#include <QCheckBox>
#include <QComboBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>

namespace corvantis::ui {

namespace {
const QString kTimeoutDefault = QStringLiteral("60");
const QString kPageRuleHelp =
    QStringLiteral("If the specified number of pages have been scaned the search will "
                   "automatically skip to the next site.");
} // namespace

OptionsFrame::OptionsFrame(QWidget* client, scan::ScanOptions& options)
    : QGroupBox(QStringLiteral("Options"), client), m_options(options) {
    Named(this, QStringLiteral("Frame4"), title());
    buildPageRules();
    buildCheckRules();
}

QCheckBox* OptionsFrame::check(const char* name, const char* caption, const QString& toolTip) {
    auto* box = Named(new QCheckBox(QLatin1String(caption), this), QLatin1String(name),
                      QLatin1String(caption));
    box->setToolTip(toolTip);
    return box;
}

// A long caption wraps in a label beside its box; a click on it ticks the box.
QCheckBox* OptionsFrame::wrappedCheck(const char* name, const char* labelName, const char* caption,
                                      const QString& toolTip) {
    auto* box = Named(new QCheckBox(this), QLatin1String(name), QLatin1String(caption));
    box->setToolTip(toolTip);
    auto* label = Named(Caption(this, QLatin1String(caption)), QLatin1String(labelName));
    label->setWordWrap(true);
    label->setToolTip(toolTip);
    label->setBuddy(box);
    ClickThroughLabel(label, box);
    return box;
}

void OptionsFrame::buildPageRules() {
    Named(Caption(this, QStringLiteral("Go to the next site:")), QStringLiteral("Label5"));
    m_auto2 =
        wrappedCheck("chkAuto2", "lblAuto2", "When the expected number of links has been found",
                     QStringLiteral("Skipping to the next site as soon as the expected number "
                                    "of links are found will increase the speed of your "
                                    "searches significantly"));
    m_auto = wrappedCheck("chkAuto", "lblAuto",
                          "When this many pages have been scanned:", kPageRuleHelp);
    m_advance = Named(new QComboBox(this), QStringLiteral("cmbAdvance"),
                      QStringLiteral("When this many pages have been scanned:"));
    m_advance->addItems(scan::PageLimitItems());
    m_advance->setToolTip(kPageRuleHelp);
    auto* timeoutLabel = Named(Caption(this, QStringLiteral("Timeout:")), QStringLiteral("Label7"));
    Named(Caption(this, QStringLiteral("After")), QStringLiteral("Label8"));
    m_timeout = Named(Labelled(new QLineEdit(this), timeoutLabel, kPageRuleHelp),
                      QStringLiteral("txtTimeout"));
    Named(Caption(this, QStringLiteral("seconds")), QStringLiteral("Label9"));
    m_sitesAtOnce = numberBox(
        {"txtSitesAtOnce", "lblSitesAtOnce", "Sites at once:", "SitesAtOnce", scan::kMaxSitesAtOnce,
         &scan::ScanOptions::sitesAtOnce},
        QStringLiteral("How many partner sites are scanned at the same time (1 to 10), each "
                       "page by page on its own connection. The lists come out the same; "
                       "more sites at once finish sooner on the web."));
}

// A whole-number option in a box beside its caption.
QLineEdit* OptionsFrame::numberBox(const NumberOption& option, const QString& toolTip) {
    auto* label =
        Named(Caption(this, QLatin1String(option.caption)), QLatin1String(option.labelName));
    label->setWordWrap(true);
    auto* box = Named(Labelled(new QLineEdit(this), label, toolTip), QLatin1String(option.name));
    box->setValidator(new QIntValidator(1, option.max, box));
    m_numbers.append({box, option});
    return box;
}

// Shown from the options in use; stored under its key as soon as it holds a number
// in range. An empty box stores nothing; a number out of range gives way to the one in use.
void OptionsFrame::keepNumbers(const scan::ScanOptions& inUse) {
    for (const auto& [box, option] : std::as_const(m_numbers)) {
        box->setText(QString::number(inUse.*option.field));
        connect(box, &QLineEdit::textChanged, this,
                [this, box = box, option = option](const QString& text) {
                    if (box->hasAcceptableInput()) {
                        util::WriteSetting(QLatin1String(option.key), text);
                        applyOptions();
                    } else if (!text.isEmpty()) {
                        box->setText(QString::number(m_options.*option.field));
                    }
                });
    }
}

void OptionsFrame::buildCheckRules() {
    m_redirect = check("chkRedirect", "Redirected Links:",
                       QStringLiteral("Attempt to find links that go through a redirect script, "
                                      "and treat them as valid."));
    m_insecure = check("chkAcceptInvalidCerts", "Accept invalid certificates",
                       QStringLiteral("Read pages of https sites whose certificate fails "
                                      "verification. They are still listed as errors."));
    m_linkValue =
        wrappedCheck("chkLinkValue", "lblLinkValue", "Check link value (rel, robots)",
                     QStringLiteral("Tell whether each link back passes its value to search "
                                    "engines: its rel attribute, the page's robots tags and "
                                    "the site's robots.txt (one more request per site)."));
    m_fromHistory = wrappedCheck(
        "chkFromHistory", "lblFromHistory", "Start with the page where the link stood last time",
        QStringLiteral("Ask first for the pages where each partner's links stood in its last "
                       "scan, and crawl the site only when they are no longer there. Unchanged "
                       "sites then cost one page each."));
    m_render = wrappedCheck(
        "chkRender", "lblRender", "Look at pages as a browser does",
        QStringLiteral("When a site's HTML shows fewer links than expected, look at the page "
                       "where the link stood last time and the start page as a browser shows "
                       "them, once their scripts have run (and tell links the browser hides)."));
    m_keepAlive = wrappedCheck(
        "chkKeepAlive", "lblKeepAlive", "Keep connections open between pages",
        QStringLiteral("Ask for a site's pages over one open connection, and resume the TLS "
                       "session of an https site on a new one, instead of a new connection "
                       "and handshake for every page. The results are the same."));
    m_lostAfter = numberBox(
        {"txtLostAfter", "lblLostAfter", "Call a link lost after this many scans in a row:",
         "LostAfter", scan::kMaxLostAfter, &scan::ScanOptions::lostAfter},
        QStringLiteral("A link counts as lost only once this many scans in a row read the "
                       "partner's pages and found none; until then it is \"Unconfirmed\"."));
    auto* lastLabel =
        Named(Caption(this, QStringLiteral("When finished scanning the last website:")),
              QStringLiteral("Label10"));
    lastLabel->setWordWrap(true);
    m_lastSearch = Named(Labelled(new QComboBox(this), lastLabel), QStringLiteral("cmbLastSearch"));
    m_lastSearch->addItems(
        {QStringLiteral("Stop Immediately"), QStringLiteral("Continue Until Stopped")});
    Named(Caption(this, QStringLiteral("Audio:")), QStringLiteral("Label11"));
    m_audioEmail = check("chkAudioEmail", "On Link Found", {});
    m_audioNext = check("chkAudioNext", "On Next Website", {});
    m_audioFinished = check("chkAudioFinished", "On Finished", {});
}

void OptionsFrame::loadOptions() {
    // The scan's own options by the rule the command-line scanner reads them with.
    const scan::ScanOptions o = scan::ScanOptions::FromSettings();
    const QString timeout = util::ReadSetting(m_timeout->objectName(), kTimeoutDefault);
    m_timeout->setText(util::ToInt16(timeout) ? timeout : kTimeoutDefault);
    const std::pair<QCheckBox*, bool> checks[] = {{m_redirect, o.chkRedirect},
                                                  {m_insecure, o.acceptInvalidCertificates},
                                                  {m_linkValue, o.checkLinkValue},
                                                  {m_fromHistory, o.startFromHistory},
                                                  {m_render, o.renderPages},
                                                  {m_keepAlive, o.keepAlive},
                                                  {m_auto, o.chkAuto},
                                                  {m_auto2, o.chkAuto2},
                                                  {m_audioEmail, o.chkAudioEmail},
                                                  {m_audioNext, o.chkAudioNext},
                                                  {m_audioFinished, o.chkAudioFinished}};
    for (const auto& [box, on] : checks) {
        KeepStored(box, on);
        connect(box, &QCheckBox::toggled, this, &OptionsFrame::applyOptions);
    }
    KeepStored(m_advance,
               util::ReadPositionSetting(m_advance->objectName(), scan::kPageLimitDefaultPosition,
                                         m_advance->count()));
    m_pageLimit = o.PageLimit;
    connect(m_advance, &QComboBox::currentIndexChanged, this, [this](int position) {
        m_pageLimit = scan::PageLimitForPosition(position, m_pageLimit);
        applyOptions();
    });
    keepNumbers(o);
    KeepStored(m_lastSearch,
               util::ReadPositionSetting(m_lastSearch->objectName(), 0, m_lastSearch->count()));
    applyOptions();
    // An empty box stores nothing; a text that is not a 16-bit number becomes "60".
    connect(m_timeout, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!text.isEmpty()) {
            if (!util::ToInt16(text)) {
                m_timeout->setText(kTimeoutDefault);
                return;
            }
            util::WriteSetting(m_timeout->objectName(), text);
        }
        applyOptions();
    });
}

void OptionsFrame::applyOptions() {
    scan::ScanOptions o;
    o.chkAuto = m_auto->isChecked();
    o.chkAuto2 = m_auto2->isChecked();
    o.PageLimit = m_pageLimit;
    o.timeoutSeconds = scan::TimeoutFromText(m_timeout->text());
    o.chkRedirect = m_redirect->isChecked();
    o.acceptInvalidCertificates = m_insecure->isChecked();
    o.checkLinkValue = m_linkValue->isChecked();
    o.startFromHistory = m_fromHistory->isChecked();
    o.renderPages = m_render->isChecked();
    o.keepAlive = m_keepAlive->isChecked();
    // While a box is empty, the number in use stays.
    for (const auto& [box, option] : std::as_const(m_numbers))
        o.*option.field = box->hasAcceptableInput() ? box->text().toInt() : m_options.*option.field;
    o.chkAudioEmail = m_audioEmail->isChecked();
    o.chkAudioNext = m_audioNext->isChecked();
    o.chkAudioFinished = m_audioFinished->isChecked();
    m_options = o;
}

} // namespace corvantis::ui
