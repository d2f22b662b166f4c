#include "ui/common/standard_dialogs.h"

#include "ui/common/branding.h"

#include <QFileDialog>
#include <QMessageBox>

namespace corvantis::ui {

void MessageBoxes::inform(const QString& text, const QString& title) {
    QMessageBox::information(m_parent, title.isEmpty() ? BrandingRecord().productName : title,
                             text);
}

util::Answer MessageBoxes::ask(const QString& title, const QString& text, util::Question kind) {
    const QString caption = title.isEmpty() ? BrandingRecord().productName : title;
    if (kind == util::Question::YesNo)
        return QMessageBox::question(m_parent, caption, text, QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::Yes) == QMessageBox::Yes
                   ? util::Answer::Yes
                   : util::Answer::No;
    return QMessageBox::question(m_parent, caption, text, QMessageBox::Ok | QMessageBox::Cancel,
                                 QMessageBox::Ok) == QMessageBox::Ok
               ? util::Answer::Ok
               : util::Answer::Cancel;
}

QString FileDialogBoxes::openFile(const QString& title, const QString& startPath,
                                  const QString& filter) {
    return QFileDialog::getOpenFileName(m_parent, title, startPath, filter);
}

QString FileDialogBoxes::saveFile(const QString& title, const QString& startPath,
                                  const QString& filter) {
    // Whoever asks decides about replacing a file; the dialog does not ask twice.
    return QFileDialog::getSaveFileName(m_parent, title, startPath, filter, nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

} // namespace corvantis::ui
