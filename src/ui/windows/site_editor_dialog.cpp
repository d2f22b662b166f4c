#include "ui/windows/site_editor_dialog.h"

#include "ui/common/widgets.h"

#include "session/scan_project.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace corvantis::ui {

namespace {

struct Field {
    const char* name;
    const char* label;
    const char* toolTip;
};
constexpr Field kFields[5] = {
    {"Text1", "Website URL:", "Enter the URL of the website/page you want to search for links."},
    {"Text2", "Links expected:",
     "Optional - Enter the number of links you expect to be on this site.  Default is 1."},
    {"Text3", "Link Page URL:",
     "Optional - Enter the URL you would to use for this site in your generated HTML pages."},
    {"Text4", "Link Page Text:",
     "Optional - Enter the link text you would to use for this site in your generated HTML "
     "pages."},
    {"Text5", "Description:", ""},
};

} // namespace

SiteEditorDialog::SiteEditorDialog(scan::ScanProject& project, QWidget* parent)
    : QDialog(parent), m_project(project) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Edit an entry"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);

    auto* grid = new QGridLayout(this);
    for (int i = 0; i < 5; ++i) {
        const QString caption = QString::fromUtf8(kFields[i].label);
        auto* label = Named(new QLabel(caption, this), {}, caption);
        m_text[i] =
            Named(Labelled(new QLineEdit(this), label, QString::fromUtf8(kFields[i].toolTip)),
                  QString::fromUtf8(kFields[i].name));
        m_text[i]->setMinimumWidth(320);
        grid->addWidget(label, i, 0);
        grid->addWidget(m_text[i], i, 1);
        if (i < 4)
            connect(m_text[i], &QLineEdit::returnPressed, this, &SiteEditorDialog::SavePartnerEdit);
    }
    auto* ok = Named(Button(this, QStringLiteral("OK"),
                            QStringLiteral("Save this project to a file so that you can run it "
                                           "any time")),
                     QStringLiteral("cmdSave"));
    // Enter in the description box does nothing, so OK must not be the default button.
    ok->setAutoDefault(false);
    ok->setDefault(false);
    grid->addWidget(ok, 5, 1, Qt::AlignRight);
    connect(ok, &QPushButton::clicked, this, &SiteEditorDialog::SavePartnerEdit);

    setFixedSize(sizeHint());
}

void SiteEditorDialog::editRow(int row) {
    m_row = QPersistentModelIndex(m_project.partners.index(row, 0));
    if (!m_row.isValid())
        return;
    const scan::PartnerSite& site = m_project.partners.at(row);
    const QString values[5] = {site.address, site.linksExpected, site.htmlLink, site.htmlName,
                               site.description};
    for (int i = 0; i < 5; ++i)
        m_text[i]->setText(values[i]);
}

void SiteEditorDialog::SavePartnerEdit() {
    if (m_row.isValid()) {
        m_project.partners.replace(m_row.row(),
                                   scan::PartnerSite{m_text[0]->text().trimmed(), m_text[1]->text(),
                                                     m_text[2]->text(), m_text[3]->text(),
                                                     m_text[4]->text()});
        m_project.MarkProjectEdited();
    }
    close();
}

} // namespace corvantis::ui
