#include "ui/windows/export_window.h"

#include "ui/common/widgets.h"

#include "mailstore/email_export.h"
#include "mailstore/email_store.h"
#include "util/app_folder.h"
#include "util/user_text_file.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QVBoxLayout>

namespace corvantis::ui {

ExportWindow::ExportWindow(util::Messages& messages, util::FileDialogs& dialogs, QWidget* parent)
    : QDialog(parent), m_messages(messages), m_dialogs(dialogs) {
    setObjectName(QStringLiteral("frmExport"));
    setWindowTitle(QStringLiteral("Export Emails"));

    m_outputLabel = Named(new QLabel(QStringLiteral("Output Type:"), this),
                          QStringLiteral("Label1"), QStringLiteral("Output Type:"));
    m_outputType =
        Named(new QComboBox(this), QStringLiteral("Combo1"), QStringLiteral("Output Type:"));
    m_outputType->addItems({QStringLiteral("Semi-Colon Delimited (;)"),
                            QStringLiteral("Tab Delimited (^t)"),
                            QStringLiteral("Line Feed Delimited (one per line)")});
    // Nothing picked yet means the semicolon; the placeholder says so.
    m_outputType->setPlaceholderText(QStringLiteral("Semi-Colon delimited (;)"));
    m_outputType->setCurrentIndex(-1);
    // Drawn like a picked item: the greyed placeholder looked like a disabled box.
    QPalette palette = m_outputType->palette();
    palette.setColor(QPalette::PlaceholderText, palette.color(QPalette::Text));
    m_outputType->setPalette(palette);
    m_outputLabel->setBuddy(m_outputType);

    m_spaceBetween =
        Named(new QCheckBox(QStringLiteral("Put a space between each entry"), this),
              QStringLiteral("Check2"), QStringLiteral("Put a space between each entry"));
    m_deleteWhenFinished =
        Named(new QCheckBox(QStringLiteral("Delete all emails when finished"), this),
              QStringLiteral("Check1"), QStringLiteral("Delete all emails when finished"));
    m_export = Named(new QPushButton(QStringLiteral("Export"), this), QStringLiteral("Command1"),
                     QStringLiteral("Export"));
    m_export->setDefault(true);

    auto* typeRow = new QHBoxLayout;
    typeRow->addWidget(m_outputLabel);
    typeRow->addWidget(m_outputType, 1);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(m_export);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(typeRow);
    layout->addWidget(m_spaceBetween);
    layout->addWidget(m_deleteWhenFinished);
    layout->addSpacing(6);
    layout->addStretch(1);
    layout->addLayout(buttonRow);

    connect(m_export, &QPushButton::clicked, this, &ExportWindow::ExportEmails);
}

void ExportWindow::ExportEmails() {
    const QString path =
        m_dialogs.saveFile(windowTitle(), util::AppFilePath(QStringLiteral("export.txt")),
                           QStringLiteral("Text Files (*.txt);;All Files (*)"));
    if (path.isEmpty())
        return; // cancelled: nothing is written and the window stays

    const QString delimiter =
        mailstore::ExportDelimiter(static_cast<mailstore::OutputType>(m_outputType->currentIndex()),
                                   m_spaceBetween->isChecked());
    const mailstore::EmailList stored = mailstore::ReadAllEmails();
    if (!stored.ok) {
        m_messages.inform(stored.error + QStringLiteral(" Nothing was exported."), windowTitle());
        return;
    }
    const QString failed =
        util::WriteUserTextFile(path, mailstore::BuildExportText(stored.emails, delimiter));
    if (!failed.isEmpty()) {
        // Without an export the addresses must not be offered for deletion.
        m_messages.inform(QStringLiteral("The export file \"%1\" could not be written: %2")
                              .arg(QDir::toNativeSeparators(path), failed),
                          windowTitle());
        return;
    }

    if (m_deleteWhenFinished->isChecked() &&
        m_messages.ask(QCoreApplication::applicationName(),
                       QStringLiteral("Are you sure you want to delete all emails?"),
                       util::Question::YesNo) == util::Answer::Yes) {
        const QString notDeleted = mailstore::DeleteAllEmails();
        if (notDeleted.isEmpty())
            Q_EMIT emailsDeleted();
        else
            m_messages.inform(notDeleted +
                                  QStringLiteral(" The addresses were exported, not deleted."),
                              windowTitle());
    }
    close();
}

} // namespace corvantis::ui
