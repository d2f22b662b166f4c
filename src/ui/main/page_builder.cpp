#include "ui/main/page_builder.h"

#include "output/links_page.h"
#include "session/scan_project.h"
#include "ui/common/stored_controls.h"
#include "ui/common/widgets.h"
#include "util/settings_store.h"

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>

namespace corvantis::ui {

namespace {
struct HtmlText {
    const char* key;
    const char* label;
    const char* labelName;
    const char* toolTip;
    const char* byDefault;
};
constexpr HtmlText kHtmlTexts[3] = {
    {"txtHTML1", "Pre-Links HTML", "Label12",
     "All HTML on your page that comes before your links goes here.",
     "Paste all the HTML that you want to come before the links on your page here.  This will be "
     "the first part of your generated webpage."},
    {"txtHTML2", "Generated Links", "Label13",
     "Links will be generated here based on your Links List.  You can edit it afterwards if you "
     "wish.",
     "Your link HTML will be generated here.  This will be the second part of your generated "
     "webpage."},
    {"txtHTML3", "Post-Links HTML", "Label14",
     "All HTML on your page that comes after your links goes here.",
     "Paste all the HTML that you want to come after the links on your page here.  This will be "
     "the third part of your generated webpage."},
};

// Multi-line texts are kept with CR LF line ends; the text boxes use LF.
QString WithLf(QString text) {
    return text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
}
// What the user typed in a box, with CR LF line breaks. The raw text keeps
// no-break spaces and U+2028, which the box's plain text would turn into a space
// and a line break; its paragraph separators are the line breaks.
QString TypedText(const QPlainTextEdit* box) {
    return box->document()->toRawText().replace(QChar::ParagraphSeparator, QLatin1String("\r\n"));
}
} // namespace

PageBuilder::PageBuilder(QWidget* parent, scan::ScanProject& project, util::Messages& messages,
                         util::FileDialogs& dialogs)
    : QGroupBox(QStringLiteral("Page Builder"), parent), m_project(project), m_messages(messages),
      m_dialogs(dialogs) {
    Named(this, QStringLiteral("Frame5"), title());
    auto* generate =
        Named(Button(this, QStringLiteral("Generate Links")), QStringLiteral("Command5"));
    auto* save = Named(Button(this, QStringLiteral("Save Webpage")), QStringLiteral("Command6"));
    connect(generate, &QPushButton::clicked, this, [this] {
        if (output::GenerateLinksHtml(m_project, m_messages, m_bullet->isChecked(),
                                      m_newWindow->isChecked()))
            showTexts();
    });
    connect(save, &QPushButton::clicked, this,
            [this] { output::SaveWebpage(m_project, m_messages, m_dialogs); });
    Named(Caption(this, QStringLiteral("Options")), QStringLiteral("Label18"));
    m_bullet = Named(new QCheckBox(QStringLiteral("Bulleted List"), this),
                     QStringLiteral("chkBullet"), QStringLiteral("Bulleted List"));
    m_newWindow = Named(new QCheckBox(QStringLiteral("Links open in new window"), this),
                        QStringLiteral("chkNewWin"), QStringLiteral("Links open in new window"));
    for (int i = 0; i < 3; ++i) {
        const HtmlText& t = kHtmlTexts[i];
        auto* label = Named(Caption(this, QLatin1String(t.label)), QLatin1String(t.labelName));
        m_html[i] = Named(Labelled(new QPlainTextEdit(this), label, QLatin1String(t.toolTip)),
                          QLatin1String(t.key));
    }
}

void PageBuilder::loadOptions() {
    KeepStored(m_newWindow, util::ReadCheckSetting(m_newWindow->objectName(), true));
    KeepStored(m_bullet, util::ReadCheckSetting(m_bullet->objectName(), false));
    for (int i = 0; i < 3; ++i)
        output::PageBuilderText(m_project, i) = util::ReadSetting(
            QLatin1String(kHtmlTexts[i].key), QLatin1String(kHtmlTexts[i].byDefault));
    showTexts();
    for (int i = 0; i < 3; ++i)
        connect(m_html[i], &QPlainTextEdit::textChanged, this, [this, i] {
            if (m_showing)
                return; // only the user's own edits change the text
            m_shown[i] = TypedText(m_html[i]);
            output::SetPageBuilderText(m_project, i, m_shown[i]);
        });
}

void PageBuilder::showTexts() {
    for (int i = 0; i < 3; ++i) {
        const QString& text = output::PageBuilderText(m_project, i);
        if (text == m_shown[i])
            continue;
        m_shown[i] = text;
        m_showing = true;
        m_html[i]->setPlainText(WithLf(text));
        m_showing = false;
    }
}

} // namespace corvantis::ui
